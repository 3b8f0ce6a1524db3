// The explorer tree's side of background enumeration: starting the thread,
// polling for its result with timer 101, building the hidden root's children
// from it, the animation shown while a listing takes long, and ending a
// running enumeration.
#include "shell/ExplorerTree.h"

#include "shell/VirtualBackGndEnumThread.h"
#include "win/controls/ComCtrls.h"

namespace {

// Ticks of 50 ms before an enumeration counts as long (about a second).
constexpr int kLengthyTicks = 21;

}  // namespace

void TCustomVirtualExplorerTree::StartEnumThread(LPCITEMIDLIST pidl) {
  TerminateEnumThread();
  HandleNeeded();
  DoEnumThreadStart();
  // Suspended until the hand-over names it: a quick thread must find itself there.
  auto* thread = New<TVirtualBackGndEnumThread>(/*createSuspended=*/true, this, pidl);
  enumHandOver->Lock();
  enumHandOver->Thread = thread;
  enumHandOver->Unlock();
  thread->SetPriority(3);
  thread->SetSuspended(false);
  SetEnumTimer(true);
}

void TCustomVirtualExplorerTree::TerminateEnumThread() {
  enumHandOver->Lock();
  bool wasRunning = enumHandOver->Thread != nullptr || enumHandOver->Result != nullptr || enumTimer != 0;
  SetEnumTimer(false);
  FreeAndNil(animation);
  enumHandOver->FreeResult();
  // The thread tests its flag under this lock: from here on it delivers nothing
  // and frees itself with what it listed.
  if (enumHandOver->Thread != nullptr) enumHandOver->Thread->Terminate();
  enumHandOver->Thread = nullptr;
  enumHandOver->Unlock();
  // The hourglass of the abandoned enumeration goes with it.
  if (wasRunning) SetCursor(crDefault);
}

bool TCustomVirtualExplorerTree::EnumThreadRunning() const {
  enumHandOver->Lock();
  bool running = enumHandOver->Thread != nullptr || enumHandOver->Result != nullptr;
  enumHandOver->Unlock();
  return running;
}

void TCustomVirtualExplorerTree::SetEnumTimer(bool value) {
  if (value) {
    if (!HandleAllocated()) return;
    enumTimer = SetTimer(Handle(), kEnumTimer, 50, nullptr);
    enumTimerTicks = 0;
    return;
  }
  if (enumTimer == 0) return;
  enumTimer = 0;
  if (!HandleAllocated()) return;
  HWND window = Handle();
  KillTimer(window, kEnumTimer);
  // A tick already queued must not reach the next enumeration; the tree's other timers still run.
  MSG msg;
  while (PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    if (msg.wParam == kEnumTimer) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TCustomVirtualExplorerTree::WMTimer(TMessage& m) {
  if (m.WParam != kEnumTimer) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  if (enumTimer == 0) return;  // a tick of an enumeration that has ended
  ++enumTimerTicks;
  TPIDLList* list = nullptr;
  LPITEMIDLIST folder = nullptr;
  enumHandOver->Lock();
  if (enumHandOver->Result != nullptr && HandleAllocated()) {
    list = enumHandOver->Result;
    folder = enumHandOver->ResultFolder;
    enumHandOver->Result = nullptr;
    enumHandOver->ResultFolder = nullptr;
    TerminateEnumThread();
  }
  enumHandOver->Unlock();
  if (list != nullptr) {
    BuildFromEnumResult(list, folder);
    return;
  }
  if (enumTimerTicks < kLengthyTicks) return;
  bool showAnimation = true;
  DoEnumThreadLengthyOperation(showAnimation);
  if (showAnimation) ShowAnimation();
}

void TCustomVirtualExplorerTree::BuildFromEnumResult(TPIDLList* list, LPITEMIDLIST folder) {
  struct TTaken {
    TPIDLList* list;
    LPITEMIDLIST folder;
    ~TTaken() {
      FreeAndNil(list);
      CoTaskMemFree(folder);
    }
  } taken{list, folder};
  // A result for a folder other than the one shown now is not this tree's any more.
  TNamespace* rootNs = NodeNamespace(RootNode());
  if (!active || rootNs == nullptr || !TPIDLManager::EqualPIDL(rootNs->AbsolutePIDL(), folder)) return;
  BeginUpdate();
  try {
    if (headerWasVisible) {
      Header()->SetOptions(Header()->Options().Include(hoVisible));
      headerWasVisible = false;
    }
    RebuildColumns(rootNamespace);
    DeleteChildren(RootNode());
    for (int i = 0; i < list->Count(); ++i) {
      // Each PIDL leaves the list as its item takes it over.
      auto pidl = static_cast<LPITEMIDLIST>(list->Items(i));
      list->Put(i, nullptr);
      AddEnumeratedChild(RootNode(), New<TNamespace>(pidl, rootNs));
    }
    DoCustomNamespace(RootNode());
    if (RootNode()->FirstChild != nullptr) {
      RootNode()->States |= vsHasChildren;
      Sort(RootNode(), HeaderSortColumn(), HeaderSortDirection(), false);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  DoEnumFinished();
}

void TCustomVirtualExplorerTree::ShowAnimation() {
  if (animation != nullptr) return;
  TVTHeader* header = Header();
  header->Columns()->Clear();
  if (header->Options().Contains(hoVisible)) {
    headerWasVisible = true;
    header->SetOptions(header->Options().Exclude(hoVisible));
  }
  animation = New<TAnimate>(nullptr);
  animation->SetVisible(false);
  animation->SetParent(AnimationParent());
  animation->SetAlign(alClient);
  animation->SetCommonAVI(aviFindFolder);
  animation->SetVisible(true);
  animation->SetActive(true);
}

void TCustomVirtualExplorerTree::DoEnumThreadStart() { SetCursor(crHourGlass); }

void TCustomVirtualExplorerTree::DoEnumThreadLengthyOperation(bool& showAnimation) {
  if (OnEnumThreadLengthyOperation) OnEnumThreadLengthyOperation(this, showAnimation);
}
