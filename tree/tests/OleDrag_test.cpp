// OLE drag and drop with real mouse input through the system's drag loop:
// between two trees of this process (copy, move with Shift, inside one tree)
// and into a tree of another process. Nodes, their order, children and check
// states arrive; moved nodes leave the source exactly once; the picture of
// the dragged nodes is shown during the drag and gone afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <sstream>

#include "HandleWatermark.h"
#include "InputDriver.h"
#include "TransferTree.h"
#include "TreeTestSupport.h"
#include "tree/DragImage.h"
#include "win/testing/Harness.h"

namespace {

bool gImageSeen = false;
std::atomic<bool>* gDraggingStarted = nullptr;

std::string ReadWholeFile(const std::wstring& name) {
  std::ifstream in(name.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One absolute mouse event at p (screen).
void SendMouse(DWORD flags, TPoint p) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  in.mi.dx = static_cast<LONG>((p.X * 65536 + width / 2) / width);
  in.mi.dy = static_cast<LONG>((p.Y * 65536 + height / 2) / height);
  in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}

struct OleDragTest : ::testing::Test {
  void SetUp() override {
    transfer::gFreed.clear();
    gImageSeen = false;
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 440, 260);
    source = MakeTree(0);
    target = MakeTree(220);
    transfer::Fill(source, 1, 6);
    transfer::Fill(target, 50, 2);
    // While the drag runs over the target, the source's picture is on screen.
    target->OnDragOver = [](TBaseVirtualTree*, TObject* from, TShiftState, TDragStateKind, TPoint, TDropMode, int&,
                            bool& accept) {
      if (auto* tree = dynamic_cast<TBaseVirtualTree*>(from); tree != nullptr && tree->DragImage()->Visible())
        gImageSeen = IsWindowVisible(tree->DragImage()->Window());
      accept = true;
    };
    form->Show();
    SetForegroundWindow(form->Handle());
    source->SetFocus();
    qvtest::Pump(20);
  }
  void TearDown() override { form->Free(); }
  TVirtualStringTree* MakeTree(int left) {
    auto* tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(left, 0, 200, 220);
    transfer::SetUp(tree);
    return tree;
  }
  PVirtualNode TopLevel(TBaseVirtualTree* tree, int i) {
    PVirtualNode run = tree->GetFirst();
    while (i-- > 0) run = run->NextSibling;
    return run;
  }
  // Selects top-level nodes 0 and 3 (both with children) and 4 of the source,
  // presses on node 3 (pressX into its label) and drops on to's label of node.
  void DragSelectionTo(TBaseVirtualTree* to, PVirtualNode node, int pressX = 3) {
    source->ClearSelection();
    for (int i : {0, 3, 4}) source->AddToSelection(TopLevel(source, i));
    source->SetFocusedNode(TopLevel(source, 3));
    TRect from = source->GetDisplayRect(TopLevel(source, 3), NoColumn, true);
    TRect label = to->GetDisplayRect(node, NoColumn, true);
    TPoint drop = source->ScreenToClient(to->ClientToScreen(TPoint{label.Left + 3, label.Top + 3}));
    TInputDriver input(source);
    input.Drag(from.Left + pressX, from.Top + 3, drop.X, drop.Y);
    qvtest::Pump(20);
  }
  TForm* form = nullptr;
  TVirtualStringTree* source = nullptr;
  TVirtualStringTree* target = nullptr;
};

const char kSourceBefore[] = "1 x\n  101\n  102\n2\n3\n4 x\n  401\n  402\n5\n6\n";

}  // namespace

TEST_F(OleDragTest, CopiedIntoAnotherTreeInOrderWithChildrenAndChecks) {
  ASSERT_EQ(transfer::Describe(source), kSourceBefore);
  DragSelectionTo(target, target->GetFirst());
  EXPECT_EQ(transfer::Describe(target), "50 x\n  5001\n  5002\n  1 x\n    101\n    102\n  4 x\n    401\n    402\n  5\n51\n");
  EXPECT_EQ(transfer::Describe(source), kSourceBefore);
  EXPECT_TRUE(gImageSeen);
  EXPECT_FALSE(source->DragImage()->Visible());
  EXPECT_EQ(source->DragImage()->Window(), nullptr);
  for (TVirtualTreeState state : {tsOLEDragging, tsOLEDragPending, tsLeftButtonDown, tsClearPending})
    EXPECT_FALSE(source->TreeStates().Contains(state)) << state;
  EXPECT_TRUE(source->DragSelection().empty());
  EXPECT_EQ(target->DropTargetNode(), nullptr);
}

TEST_F(OleDragTest, ManyDragsLeaveNoHandlesBehind) {
  // Presses alternate between two places: the same place twice would be a double click.
  int count = 0;
  auto drag = [&] { DragSelectionTo(target, target->GetFirst(), ++count % 2 ? 3 : 12); };
  for (int i = 0; i < 3; ++i) drag();
  unsigned gdi = GdiWatermark(), user = UserWatermark();
  for (int i = 0; i < 15; ++i) drag();
  EXPECT_TRUE(gImageSeen);
  EXPECT_LE(GdiWatermark(), gdi + 10);
  EXPECT_LE(UserWatermark(), user + 10);
  EXPECT_EQ(target->GetFirst()->ChildCount, 2u + 18 * 3);
}

TEST_F(OleDragTest, MovedLeavesTheSourceOnce) {
  TVTAutoOptions autoOptions = source->TreeOptions()->AutoOptions();
  source->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoDeleteMovedNodes));
  // Only moving is allowed, so the drop moves without keys (Shift at the press would select a range).
  source->SetDragOperations({doMove});
  DragSelectionTo(target, target->GetFirst()->NextSibling);
  EXPECT_EQ(transfer::Describe(target), "50 x\n  5001\n  5002\n51\n  1 x\n    101\n    102\n  4 x\n    401\n    402\n  5\n");
  EXPECT_EQ(transfer::Describe(source), "2\n3\n6\n");
  EXPECT_EQ(CheckTreeInvariants(*source), "");
  for (int id : {1, 101, 102, 4, 401, 402, 5}) EXPECT_EQ(transfer::gFreed[id], 1) << id;  // the old records, once
  EXPECT_EQ(transfer::gFreed[2], 0);
}

TEST_F(OleDragTest, ADropHandlerMayFreeTheSourceTree) {
  static TVirtualStringTree* doomed;
  doomed = source;
  target->OnDragDrop = [](TBaseVirtualTree* sender, TObject*, IDataObject* data, const TFormatArray&, TShiftState,
                          TPoint, int& effect, TDropMode mode) {
    sender->ProcessDrop(data, sender->DropTargetNode(), effect, transfer::AttachModeFor(mode));
    doomed->Free();
  };
  DragSelectionTo(target, target->GetFirst());
  source = nullptr;
  EXPECT_EQ(transfer::Describe(target), "50 x\n  5001\n  5002\n  1 x\n    101\n    102\n  4 x\n    401\n    402\n  5\n51\n");
  EXPECT_EQ(form->ControlCount(), 1);
}

TEST_F(OleDragTest, MovedInsideOneTreeIsRelinkedNotDeleted) {
  TVTAutoOptions autoOptions = source->TreeOptions()->AutoOptions();
  source->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoDeleteMovedNodes));
  // Without keys a drag inside the tree moves; onto node 2 the nodes become its children.
  DragSelectionTo(source, TopLevel(source, 1));
  EXPECT_EQ(transfer::Describe(source), "2\n  1 x\n    101\n    102\n  4 x\n    401\n    402\n  5\n3\n6\n");
  EXPECT_TRUE(transfer::gFreed.empty());
  EXPECT_EQ(CheckTreeInvariants(*source), "");
}

// Starts the drop-target process; ready and result are its two files (none
// yet) and at the screen point of its first node's label once it is shown.
// False when it did not start or show itself within 10 s.
static bool StartDropTarget(PROCESS_INFORMATION& process, std::wstring& ready, std::wstring& result, int& x, int& y) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  std::wstring exe = folder + L"tree_drop_target.exe";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  ready = std::wstring(temp) + L"qv_drop_ready.txt";
  result = std::wstring(temp) + L"qv_drop_result.txt";
  DeleteFileW(ready.c_str());
  DeleteFileW(result.c_str());
  std::wstring command = L"\"" + exe + L"\" \"" + ready + L"\" \"" + result + L"\"";
  STARTUPINFOW startup{sizeof startup};
  process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  return qvtest::PumpUntil([&] { return std::istringstream(ReadWholeFile(ready)) >> x >> y ? true : false; }, 60000);
}

TEST_F(OleDragTest, DroppedIntoAnotherProcess) {
  std::wstring ready, result;
  PROCESS_INFORMATION process{};
  int x = 0, y = 0;
  // The other process says where its first node's label is on the screen.
  ASSERT_TRUE(StartDropTarget(process, ready, result, x, y)) << GetLastError();

  // The other window may have taken the activation: keys go to this one again.
  SetForegroundWindow(form->Handle());
  source->SetFocus();
  qvtest::Pump(20);
  TVTAutoOptions autoOptions = source->TreeOptions()->AutoOptions();
  source->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoDeleteMovedNodes));
  source->SetDragOperations({doMove});
  source->ClearSelection();
  for (int i : {0, 3, 4}) source->AddToSelection(TopLevel(source, i));
  // Input goes to the window that holds the mouse when it is sent: the moves
  // onto the other window and the release wait until the drag loop holds it.
  TRect from = source->GetDisplayRect(TopLevel(source, 3), NoColumn, true);
  TPoint start = source->ClientToScreen(TPoint{from.Left + 3, from.Top + 3});
  SendMouse(MOUSEEVENTF_MOVE, start);
  SendMouse(MOUSEEVENTF_LEFTDOWN, start);
  SendMouse(MOUSEEVENTF_MOVE, TPoint{start.X + 10, start.Y + 4});
  std::atomic<bool> dragging = false;
  gDraggingStarted = &dragging;
  source->OnStateChange = [](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates) {
    if (enter.Contains(tsOLEDragging)) gDraggingStarted->store(true);
  };
  std::thread mover([&] {
    for (int i = 0; i < 500 && !dragging; ++i) Sleep(10);
    for (int i = 1; i <= 4; ++i) {
      SendMouse(MOUSEEVENTF_MOVE, TPoint{start.X + (x - start.X) * i / 4, start.Y + (y - start.Y) * i / 4});
      Sleep(60);
    }
    SendMouse(MOUSEEVENTF_LEFTUP, TPoint{x, y});
  });
  ASSERT_TRUE(qvtest::PumpUntil([&] { return ReadWholeFile(result).find("end\n") != std::string::npos; }, 90000));
  mover.join();
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // A move into another process copies through the node stream; the source deletes its nodes once.
  EXPECT_EQ(ReadWholeFile(result),
            "70 x\n  7001\n  7002\n  1 x\n    101\n    102\n  4 x\n    401\n    402\n  5\n71\nend\n");
  EXPECT_EQ(transfer::Describe(source), "2\n3\n6\n");
  for (int id : {1, 101, 102, 4, 401, 402, 5}) EXPECT_EQ(transfer::gFreed[id], 1) << id;
  DeleteFileW(ready.c_str());
  DeleteFileW(result.c_str());
}

// A window of another process made from the same window classes is none of
// this process's controls: its control slot holds an address of that
// process. (A tree losing the focus while the mouse was last over such a
// window, as when its form goes after a drop into another process, asked
// what control lay there and read whatever that address held here.)
TEST_F(OleDragTest, AWindowOfAnotherProcessIsNoControlOfThisOne) {
  std::wstring ready, result;
  PROCESS_INFORMATION process{};
  int x = 0, y = 0;
  ASSERT_TRUE(StartDropTarget(process, ready, result, x, y)) << GetLastError();
  HWND foreign = WindowFromPoint(POINT{x, y});
  DWORD owner = 0;
  GetWindowThreadProcessId(foreign, &owner);
  EXPECT_EQ(owner, process.dwProcessId);
  EXPECT_NE(GetClassLongPtrW(foreign, GCW_ATOM), 0u);
  EXPECT_EQ(FindControl(foreign), nullptr);
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  DeleteFileW(ready.c_str());
  DeleteFileW(result.c_str());
}
