// Nodes pasted from a tree of another process: this test program starts a
// copy of itself that puts its nodes on the clipboard and serves them until
// the paste is done. The data arrives; the other process's tree reference is
// not taken for a tree of this one.
#include <gtest/gtest.h>

#include <cstring>

#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

const wchar_t kReadyEvent[] = L"QuorvanellTreeClipboardReady";
const wchar_t kDoneEvent[] = L"QuorvanellTreeClipboardDone";

// A draw tree whose nodes carry an int that travels in the stream.
TVirtualDrawTree* MakeIdTree(TForm* form) {
  auto* tree = New<TVirtualDrawTree>(form);
  tree->SetParent(form);
  tree->SetNodeDataSize(sizeof(int));
  tree->SetClipboardFormats({"Virtual Tree Data"});
  tree->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->WriteBuffer(sender->GetNodeData(node), sizeof(int));
  };
  tree->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
  };
  return tree;
}

std::string Shape(TBaseVirtualTree* tree, PVirtualNode parent) {
  std::string out;
  for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling) {
    out += std::to_string(*static_cast<int*>(tree->GetNodeData(run)));
    if (run->FirstChild != nullptr) out += "(" + Shape(tree, run) + ")";
    out += " ";
  }
  return out;
}

// Pumps messages until event is set or timeoutMs passed; true when it was set.
bool WaitPumping(HANDLE event, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    DWORD result = MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace

// The other process's part (run only by PasteFromAnotherProcess).
TEST(CrossProcess, ChildOffersNodes) {
  if (GetEnvironmentVariableW(L"QV_CLIPBOARD_CHILD", nullptr, 0) == 0)
    GTEST_SKIP() << "started by CrossProcess.PasteFromAnotherProcess";
  Application->Initialize();
  OleInitialize(nullptr);
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, kReadyEvent);
  HANDLE done = OpenEventW(SYNCHRONIZE, FALSE, kDoneEvent);
  ASSERT_TRUE(ready != nullptr && done != nullptr);
  auto* form = New<TForm>(Application);
  TVirtualDrawTree* tree = MakeIdTree(form);
  for (int id = 1; id <= 4; ++id) {
    PVirtualNode node = tree->AddChild(nullptr);
    *static_cast<int*>(tree->GetNodeData(node)) = id;
    if (id != 3) continue;
    for (int child = 31; child <= 32; ++child)
      *static_cast<int*>(tree->GetNodeData(tree->AddChild(node))) = child;
  }
  TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  tree->SelectAll(false);
  tree->CopyToClipBoard();
  SetEvent(ready);
  EXPECT_TRUE(WaitPumping(done, 30000));
  form->Free();
  CloseHandle(ready);
  CloseHandle(done);
}

TEST(CrossProcess, PasteFromAnotherProcess) {
  Application->Initialize();
  OleInitialize(nullptr);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, kDoneEvent);
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=CrossProcess.ChildOffersNodes";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  SetEnvironmentVariableW(L"QV_CLIPBOARD_CHILD", L"1");
  BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process);
  SetEnvironmentVariableW(L"QV_CLIPBOARD_CHILD", nullptr);
  ASSERT_TRUE(started);
  ASSERT_TRUE(WaitPumping(ready, 30000)) << "the other process did not copy";

  auto* form = New<TForm>(Application);
  TVirtualDrawTree* tree = MakeIdTree(form);
  IDataObject* data = nullptr;
  ASSERT_EQ(OleGetClipboard(&data), S_OK);
  EXPECT_EQ(tree->GetTreeFromDataObject(data), nullptr);
  data->Release();
  EXPECT_TRUE(tree->PasteFromClipboard());
  EXPECT_EQ(Shape(tree, tree->RootNode()), "1 2 3(31 32 ) 4 ");

  SetEvent(done);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(ready);
  CloseHandle(done);
  form->Free();
}
