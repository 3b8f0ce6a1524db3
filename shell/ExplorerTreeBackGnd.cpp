// The explorer tree's side of background enumeration: starting the thread,
// polling for its result with timer 101, building the hidden root's children
// from it, the animation shown while a listing takes long, and ending a
// running enumeration.
#include "shell/ExplorerTree.h"

#include "shell/ShellUtilities.h"
#include "shell/VirtualBackGndEnumThread.h"
#include "win/controls/ComCtrls.h"

namespace {

// Ticks of 50 ms before an enumeration counts as long (about a second).
constexpr int kLengthyTicks = 21;

}  // namespace

void TCustomVirtualExplorerTree::StartEnumThread(LPCITEMIDLIST pidl) {
  // Ending the running listing dispatches the tree's other timers, whose
  // handlers may free the item that owns pidl: the thread gets a copy made first.
  struct TCopy {
    LPITEMIDLIST pidl;
    ~TCopy() { NamespacePIDLManager->FreePIDL(pidl); }
  } folder{NamespacePIDLManager->CopyPIDL(pidl)};
  TerminateEnumThread();
  // A going tree lists nothing: it has no window to list into.
  if (Going()) return;
  HandleNeeded();
  DoEnumThreadStart();
  ++enumListings;
  // Suspended until the hand-over names it: a quick thread must find itself there.
  auto* thread = New<TVirtualBackGndEnumThread>(/*createSuspended=*/true, this, folder.pidl);
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
  enumHandOver->FreeResult();
  // The thread tests its flag under this lock: from here on it delivers nothing
  // and frees itself with what it listed.
  if (enumHandOver->Thread != nullptr) enumHandOver->Thread->Terminate();
  enumHandOver->Thread = nullptr;
  enumHandOver->Unlock();
  FreeAndNil(animation);
  // The header the animation hid comes back with its end, however the listing ends.
  if (headerWasVisible) {
    headerWasVisible = false;
    if (!Going()) Header()->SetOptions(Header()->Options().Include(hoVisible));
  }
  // The hourglass of the abandoned enumeration goes with it.
  if (wasRunning) SetCursor(crDefault);
  // Last, outside the lock: the tree's other timers are dispatched here, and
  // one of them may start the next listing.
  SetEnumTimer(false);
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
  if (m.WParam == kRootRebuildTimer) {
    // No longer owed (the tree went inactive or was rebuilt another way): the timer stops.
    if (!rootRebuildWaits || !active || RootNamespace() == nullptr) {
      rootRebuildWaits = false;
      SetRootRebuildTimer(false);
      return;
    }
    RebuildRootNamespace();  // refused again while the views are still busy
    return;
  }
  if (m.WParam != kEnumTimer) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  if (enumTimer == 0) return;  // a tick of an enumeration that has ended
  ++enumTimerTicks;
  TPIDLList* list = nullptr;
  LPITEMIDLIST folder = nullptr;
  enumHandOver->Lock();
  // Not while a linked view's folder is being followed: that walk holds
  // nodes a listing would free. A later tick takes the result.
  if (enumHandOver->Result != nullptr && HandleAllocated() && !changeLinkDispatching) {
    list = enumHandOver->Result;
    folder = enumHandOver->ResultFolder;
    enumHandOver->Result = nullptr;
    enumHandOver->ResultFolder = nullptr;
  }
  enumHandOver->Unlock();
  if (list != nullptr) {
    try {
      TerminateEnumThread();
    } catch (...) {
      FreeAndNil(list);
      CoTaskMemFree(folder);
      throw;
    }
    // The timers dispatched meanwhile may have freed the tree.
    if (Going()) {
      FreeAndNil(list);
      CoTaskMemFree(folder);
      return;
    }
    BuildFromEnumResult(list, folder);
    return;
  }
  if (enumTimerTicks < kLengthyTicks) return;
  bool showAnimation = true;
  uint64_t listing = enumListings;
  DoEnumThreadLengthyOperation(showAnimation);
  // A handler that ended this listing (the tree made inactive, the root
  // changed) leaves nothing to animate: no animation would ever end.
  if (showAnimation && !Going() && listing == enumListings && enumTimer != 0 && EnumThreadRunning()) ShowAnimation();
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
  // The children go under the folder that asked: the hidden root, or a loaded
  // folder node that was expanded. A folder no longer shown takes nothing.
  TNamespace* rootNs = NodeNamespace(RootNode());
  if (!active || rootNs == nullptr || folder == nullptr) return;
  PVirtualNode target = TPIDLManager::EqualPIDL(rootNs->AbsolutePIDL(), folder) ? RootNode()
                                                                                : FindLoadedNodeByPIDL(folder);
  TNamespace* targetNs = target != nullptr ? NodeNamespace(target) : nullptr;
  if (targetNs == nullptr) return;
  bool atRoot = target == RootNode();
  // OnEnumFolder, OnCustomNamespace and the nodes' own handlers may free the
  // folder, the tree or its form, or rebuild the root (its item replaced): what
  // is not built then is freed with the list.
  THandlerWatch watch(*this);
  TListingScope listing(*this, targetNs);
  BeginUpdate();
  try {
    if (atRoot) RebuildColumns(RootNamespace());
    // OnHeaderRebuild may have freed the tree already.
    if (ListingStands(target, targetNs)) DeleteChildren(target);
    for (int i = 0; i < list->Count() && ListingStands(target, targetNs); ++i) {
      // Each PIDL leaves the list as its item takes it over.
      auto pidl = static_cast<LPITEMIDLIST>(list->Items(i));
      list->Put(i, nullptr);
      AddEnumeratedChild(target, New<TNamespace>(pidl, targetNs));
    }
    if (ListingStands(target, targetNs)) DoCustomNamespace(target);
    bool stands = ListingStands(target, targetNs);
    if (stands && target->FirstChild != nullptr) {
      target->States |= vsHasChildren;
      Sort(target, HeaderSortColumn(), HeaderSortDirection(), false);
    } else if (stands && !atRoot) {
      target->States &= ~vsHasChildren;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  if (!ListingStands(target, targetNs)) return;
  // A folder node was expanded to ask: it shows what came.
  if (!atRoot) {
    if (target->FirstChild != nullptr) SetExpanded(target, true);
    if (watch.Gone(target)) return;
    InvalidateNode(target);
  }
  DoEnumFinished();
}

void TCustomVirtualExplorerTree::ShowAnimation() {
  if (animation != nullptr || Going()) return;
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
  FireHandler(OnEnumThreadLengthyOperation, this, showAnimation);
}
