// Entry points around selection and editing: the clipboard (ours only is
// emptied), cut nodes deleted after a paste, standard actions, SetTopNode of
// nothing, a refused focus, check boxes and Ctrl+click with the mouse, and the
// frame painted for wParam 1.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>

#include "InputDriver.h"
#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

bool ClipboardHoldsText() {
  if (!OpenClipboard(nullptr)) return false;
  bool result = IsClipboardFormatAvailable(CF_UNICODETEXT) || IsClipboardFormatAvailable(CF_TEXT);
  CloseClipboard();
  return result;
}

bool ClipboardHoldsNodes() {
  if (!OpenClipboard(nullptr)) return false;
  bool result = IsClipboardFormatAvailable(CF_VIRTUALTREE);
  CloseClipboard();
  return result;
}

struct InteractionTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 420, 300);
    tree = New<TVirtualDrawTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
    tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
    tree->SetClipboardFormats({"Virtual Tree Data"});
    tree->OnGetNodeWidth = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, int& width) { width = 60; };
    tree->SetNodeDataSize(0);
    tree->SetRootNodeCount(4);
    form->Show();
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    qvtest::Pump(20);
  }
  void TearDown() override {
    if (form != nullptr) form->Free();
    OleSetClipboard(nullptr);
  }
  PVirtualNode Node(int i) {
    PVirtualNode run = tree->GetFirst();
    while (i-- > 0) run = tree->GetNextSibling(run);
    return run;
  }
  TForm* form = nullptr;
  TVirtualDrawTree* tree = nullptr;
};

}  // namespace

TEST_F(InteractionTest, ClearEmptiesTheClipboardOnlyWhileItHoldsOurData) {
  tree->CopyToClipBoard();  // nothing selected: nothing happens
  EXPECT_FALSE(tree->TreeStates().Contains(tsCopyPending));
  tree->AddToSelection(Node(1));
  tree->CopyToClipBoard();
  EXPECT_TRUE(tree->TreeStates().Contains(tsCopyPending));
  EXPECT_TRUE(Node(1)->States & vsCutOrCopy);
  EXPECT_TRUE(ClipboardHoldsNodes());

  // Another program takes the clipboard; clearing the tree leaves its data alone.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL foreign = GlobalAlloc(GMEM_MOVEABLE, 6);
  std::memcpy(GlobalLock(foreign), "other", 6);
  GlobalUnlock(foreign);
  SetClipboardData(CF_TEXT, foreign);
  CloseClipboard();
  tree->Clear();
  EXPECT_TRUE(ClipboardHoldsText());

  // Our own data goes with a clear.
  tree->SetRootNodeCount(4);
  tree->AddToSelection(Node(2));
  tree->CopyToClipBoard();
  ASSERT_TRUE(ClipboardHoldsNodes());
  tree->Clear();
  EXPECT_FALSE(ClipboardHoldsNodes());
}

TEST_F(InteractionTest, CutOnAReadOnlyTreeAndStandardActions) {
  tree->AddToSelection(Node(0));
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toReadOnly));
  tree->CutToClipBoard();
  EXPECT_FALSE(tree->TreeStates().Contains(tsCutPending));
  EXPECT_FALSE(tree->ExecuteAction(saCut));
  EXPECT_FALSE(tree->ExecuteAction(saDelete));
  EXPECT_TRUE(tree->ExecuteAction(saSelectAll));
  EXPECT_EQ(tree->SelectedCount(), 4u);
  tree->TreeOptions()->SetMiscOptions(misc.Exclude(toReadOnly));
  EXPECT_TRUE(tree->ExecuteAction(saCut));
  EXPECT_TRUE(tree->TreeStates().Contains(tsCutPending));
  tree->CancelCutOrCopy();
  EXPECT_FALSE(tree->TreeStates().Contains(tsCutPending));
  EXPECT_FALSE(Node(0)->States & vsCutOrCopy);
  EXPECT_TRUE(tree->ExecuteAction(saDelete));
  EXPECT_EQ(tree->GetFirst(), nullptr);
}

TEST_F(InteractionTest, DeletingCutNodesAlsoInsideACutSubtree) {
  tree->SetChildCount(Node(1), 3);
  tree->SetChildCount(Node(1)->FirstChild, 2);
  tree->AddToSelection(Node(1));
  tree->AddToSelection(Node(1)->FirstChild);
  tree->AddToSelection(Node(3));
  tree->CutToClipBoard();
  ASSERT_TRUE(tree->TreeStates().Contains(tsCutPending));
  tree->DeleteMarkedCutNodes();
  EXPECT_FALSE(tree->TreeStates().Contains(tsCutPending));
  EXPECT_EQ(tree->GetRootNodeCount(), 2u);
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
}

TEST_F(InteractionTest, SetTopNodeOfNothingAndARefusedFocus) {
  tree->SetRootNodeCount(100);
  tree->SetTopNode(tree->GetLast());
  int offset = tree->OffsetY();
  EXPECT_LT(offset, 0);
  tree->SetTopNode(nullptr);
  EXPECT_EQ(tree->OffsetY(), offset);

  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toEditable));
  tree->OnFocusChanging = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, TColumnIndex,
                             bool& allowed) { allowed = false; };
  EXPECT_FALSE(tree->EditNode(tree->GetFirst(), NoColumn));
  EXPECT_NE(tree->FocusedNode(), tree->GetFirst());
}

TEST_F(InteractionTest, CheckBoxReleasedOutsideKeepsItsState) {
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toCheckSupport));
  for (int i = 0; i < 4; ++i) tree->SetCheckType(Node(i), ctCheckBox);
  TInputDriver input(tree);
  int boxX = tree->Indent() + 4;  // inside the box after the root's indent
  input.Drag(boxX, 9, 200, 150);
  EXPECT_EQ(tree->GetCheckState(Node(0)), csUncheckedNormal);
  input.Click(boxX, 9);
  EXPECT_EQ(tree->GetCheckState(Node(0)), csCheckedNormal);
}

TEST_F(InteractionTest, CtrlClickOnADraggableSelectedNodeTogglesOnRelease) {
  tree->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
  TInputDriver input(tree);
  int labelX = tree->Indent() + tree->Margin() + 10;
  input.Click(labelX, 9);
  input.Click(labelX, 27, {VK_CONTROL});
  EXPECT_EQ(tree->SelectedCount(), 2u);
  // Press with Ctrl on the selected node (no double click): still selected while the button is down.
  qvtest::Pump(static_cast<int>(GetDoubleClickTime()) + 50);
  INPUT down{};
  down.type = INPUT_MOUSE;
  down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input.KeyDown(VK_CONTROL);
  SendInput(1, &down, sizeof down);
  input.Sync();
  EXPECT_TRUE(tree->GetSelected(Node(1)));
  INPUT up = down;
  up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &up, sizeof up);
  input.KeyUp(VK_CONTROL);
  input.Sync();
  EXPECT_FALSE(tree->GetSelected(Node(1)));
  EXPECT_TRUE(tree->GetSelected(Node(0)));
}

TEST_F(InteractionTest, FramePaintForTheWholeFrame) {
  // wParam 1 is no region handle: the whole frame is painted, nothing is freed twice.
  tree->Perform(WM_NCPAINT, 1, 0);
  HRGN region = CreateRectRgn(0, 0, 50, 50);
  tree->Perform(WM_NCPAINT, reinterpret_cast<WPARAM>(region), 0);
  RECT box{};
  EXPECT_NE(GetRgnBox(region, &box), 0);  // the caller's region stays the caller's
  DeleteObject(region);
}

TEST_F(InteractionTest, RubberBandInBothReadingDirections) {
  TInputDriver input(tree);
  for (TBiDiMode mode : {bdLeftToRight, bdRightToLeft}) {
    tree->SetBiDiMode(mode);
    tree->ClearSelection();
    qvtest::Pump(20);
    int width = tree->ClientWidth();
    bool rtl = mode == bdRightToLeft;
    // From beside the labels over the labels of rows 0 to 2 (labels start at indent + margin).
    int labelX = tree->Indent() + tree->Margin() + 20;
    int fromX = rtl ? 20 : width - 20, toX = rtl ? width - labelX : labelX;
    input.Drag(fromX, 5, toX, 45);
    EXPECT_TRUE(tree->GetSelected(Node(0)) && tree->GetSelected(Node(1)) && tree->GetSelected(Node(2)))
        << (rtl ? "RTL" : "LTR");
    EXPECT_FALSE(tree->GetSelected(Node(3))) << (rtl ? "RTL" : "LTR");
    // With Ctrl the band toggles what it covers.
    input.Drag(fromX, 23, toX, 63, {VK_CONTROL});
    EXPECT_TRUE(tree->GetSelected(Node(0)));
    EXPECT_FALSE(tree->GetSelected(Node(1)) || tree->GetSelected(Node(2))) << (rtl ? "RTL" : "LTR");
    EXPECT_TRUE(tree->GetSelected(Node(3))) << (rtl ? "RTL" : "LTR");
  }
}

TEST_F(InteractionTest, PrintClientPaintsTheTreeIntoTheGivenDc) {
  tree->SetFocusedNode(Node(0));
  tree->AddToSelection(Node(0));
  int width = tree->ClientWidth(), height = tree->ClientHeight();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  std::memset(bits, 0x5A, static_cast<size_t>(width) * height * 4);
  tree->Perform(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  GdiFlush();
  auto pixel = [&](int x, int y) { return static_cast<uint32_t*>(bits)[y * width + x] & 0xFFFFFF; };
  // The selected row and an empty row below the nodes were both painted, differently.
  EXPECT_NE(pixel(tree->Indent() + tree->Margin() + 10, 9), 0x5A5A5Au);
  EXPECT_NE(pixel(width - 5, height - 5), 0x5A5A5Au);
  EXPECT_NE(pixel(tree->Indent() + tree->Margin() + 10, 9), pixel(width - 5, height - 5));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(InteractionTest, FontAndColourChangesReachTheHeaderAndTheButtons) {
  TVTHeader* header = tree->Header();
  header->SetParentFont(true);
  tree->Font()->SetSize(17);
  EXPECT_EQ(header->Font()->Size(), 17);
  // Colour and system colour changes redraw the buttons on a living window.
  tree->SetColor(clYellow);
  SendMessageW(tree->Handle(), WM_SYSCOLORCHANGE, 0, 0);
  qvtest::Pump(10);
  EXPECT_TRUE(tree->HandleAllocated());
  EXPECT_EQ(tree->Color(), clYellow);
}
