// The explorer tree following the shell: it joins the change notifier, and
// turns every event of a batch into the smallest update that shows it (one
// folder merged, one subtree re-read, icons or free space repainted).
#include <algorithm>

#include "shell/ExplorerContextMenu.h"
#include "shell/ExplorerTree.h"
#include "shell/FileTypeCache.h"
#include "shell/ShellUtilities.h"
#include "shell/SysImages.h"
#include "shell/VirtualWideStrings.h"
#include "win/Registry.h"

namespace {

// The drive part of a parsing name is a drive letter of a network share.
bool OnRemoteDrive(const std::u16string& parsingName) {
  std::u16string drive = vws::WideExtractFileDrive(parsingName);
  if (!vws::WideIsDrive(drive)) return false;
  std::u16string root = drive + u"\\";
  return GetDriveTypeW(reinterpret_cast<LPCWSTR>(root.c_str())) == DRIVE_REMOTE;
}

// A namespace of an event's PIDL that leaves the PIDL to the event.
TNamespace* BorrowedNamespace(LPITEMIDLIST pidl) {
  TNamespace* ns = New<TNamespace>(pidl, nullptr);
  ns->SetFreePIDLOnDestroy(false);
  return ns;
}

}  // namespace

// ---- Registration -------------------------------------------------------------------

bool TCustomVirtualExplorerTree::ReadyForNotify() {
  bool menuShowing = contextMenuManager != nullptr && contextMenuManager->MenuShowing;
  return !IsEditing() && !Dragging() && !menuShowing;
}

void TCustomVirtualExplorerTree::Notify(TMessage& message) {
  auto* list = reinterpret_cast<TVirtualShellEventList*>(message.WParam);
  if (HandleAllocated()) {
    ApplyShellNotify(list, /*heldBack=*/true);
  } else if (list != nullptr) {
    list->Release();
  }
}

void TCustomVirtualExplorerTree::SetChangeNotifierThread(bool value) {
  TComponentState state = ComponentState();
  if (state.Contains(csLoading) || state.Contains(csDesigning) || constructing) return;
  // A listing under way would hand over items the batches may already have shown.
  TerminateEnumThread();
  if (value == changeNotifierRegistered) return;
  if (value) {
    if (!TreeOptions()->VETMiscOptions().Contains(toChangeNotifierThread)) return;
    if (IVirtualChangeNotifier* notifier = ChangeNotifier())
      changeNotifierRegistered = notifier->RegisterShellChangeNotify(this);
    return;
  }
  // Every batch posted to the window holds a reference: none may stay behind in the queue.
  DrainShellNotifications(/*handle=*/!state.Contains(csDestroying));
  if (IVirtualChangeNotifier* notifier = ExistingChangeNotifier()) notifier->UnRegisterShellChangeNotify(this);
  changeNotifierRegistered = false;
}

void TCustomVirtualExplorerTree::DrainShellNotifications(bool handle) {
  if (!HandleAllocated()) return;
  MSG msg;
  while (PeekMessageW(&msg, Handle(), kWMShellNotify, kWMShellNotify, PM_REMOVE)) {
    auto* list = reinterpret_cast<TVirtualShellEventList*>(msg.wParam);
    if (list == nullptr) continue;
    if (!handle) {
      list->Release();
      continue;
    }
    TMessage m;
    m.Msg = msg.message;
    m.WParam = msg.wParam;
    m.LParam = msg.lParam;
    WMShellNotify(m);
  }
}

void TCustomVirtualExplorerTree::WMNCDestroy(TMessage& m) {
  TerminateEnumThread();
  SetChangeNotifierThread(false);
  Inherited(ClassMessageMap(), m);
}

void TCustomVirtualExplorerTree::WMQueryEndSession(TMessage& m) {
  m.Result = 1;
  SetChangeNotifierThread(false);
}

void TCustomVirtualExplorerTree::WMDeviceChange(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  ValidateRootNamespace();
}

void TCustomVirtualExplorerTree::DoShellNotify(TVirtualShellEvent* shellEvent) {
  FireHandler(OnShellNotify, this, shellEvent);
}

// ---- Batches -----------------------------------------------------------------------------

void TCustomVirtualExplorerTree::WMShellNotify(TMessage& m) {
  ApplyShellNotify(reinterpret_cast<TVirtualShellEventList*>(m.WParam), /*heldBack=*/false);
}

void TCustomVirtualExplorerTree::ApplyShellNotify(TVirtualShellEventList* list, bool heldBack) {
  if (list == nullptr) return;
  if (!ValidateRootNamespace()) {
    list->Release();
    return;
  }
  // A batch already applied (it came again through the held-back delivery) changes nothing.
  if (static_cast<int64_t>(list->ID) <= lastShellNotifyID) {
    list->Release();
    return;
  }
  // While a view is busy, and while older batches wait or are being handed
  // out, this one waits too (the manager's own delivery is applied).
  if (!heldBack && ShellNotifyManager != nullptr &&
      (!ShellNotifyManager->OkToDispatch() || ShellNotifyManager->HasParkedLists() ||
       ShellNotifyManager->Delivering())) {
    ShellNotifyManager->ReceiveNotifications(list);
    return;
  }
  lastShellNotifyID = list->ID;
  std::vector<TVirtualShellEvent*> events = list->Events();
  // Locked while walked: the held-back delivery may hand the same list to other views.
  list->LockList();
  // The handlers an event reaches may free the tree or its form: its later
  // events are then not applied, and the batch is still released.
  TViewHold hold(this);
  try {
    for (TVirtualShellEvent* event : events)
      if (event != nullptr && !Going()) HandleShellEvent(event);
  } catch (...) {
    list->UnlockList();
    list->Release();
    throw;
  }
  list->UnlockList();
  list->Release();
}

void TCustomVirtualExplorerTree::HandleShellEvent(TVirtualShellEvent* event) {
  DoShellNotify(event);
  if (Going() || event->Handled) return;
  if (TreeOptions()->VETMiscOptions().Contains(toTrackChangesInMappedDrives) && event->Kind == sekUpdateDir &&
      HandleMappedDriveChange(event))
    return;
  bool sortNode = !fileObjects.Contains(foNonFolders);
  switch (event->Kind) {
    case sekCreate:
    case sekDelete:
    case sekMkDir:
    case sekRmDir:
      // The notifier reports these as an update of the folder.
      break;
    case sekRenameItem:
    case sekRenameFolder:
    case sekDriveAdd:
    case sekDriveAddGUI:
    case sekDriveRemoved:
      if (PVirtualNode node = FindLoadedNodeByPIDL(event->ParentPIDL1)) ReReadAndRefreshNode(node, sortNode);
      break;
    case sekUpdateDir:
      if (PVirtualNode node = FindLoadedNodeByPIDL(event->RefreshParent ? event->ParentPIDL1 : event->PIDL1))
        ReReadAndRefreshNode(node, sortNode);
      break;
    case sekMediaInserted:
    case sekMediaRemoved: {
      if (event->PIDL1 == nullptr) break;
      TNamespace* ns = BorrowedNamespace(event->PIDL1);
      ns->TestAttributesOf(SFGAO_VALIDATE);
      if (PVirtualNode node = FindLoadedNodeByPIDL(event->PIDL1)) {
        RefreshNode(node);
      } else if (RootNamespace() != nullptr &&
                 vws::WideExtractFileDrive(ns->NameForParsing()) ==
                     vws::WideExtractFileDrive(RootNamespace()->NameForParsing())) {
        RefreshTree(TreeOptions()->VETMiscOptions().Contains(toRestoreTopNodeOnRefresh));
      }
      ns->Free();
      break;
    }
    case sekNetShare:
    case sekNetUnshare:
    case sekServerDisconnect:
    case sekUpdateItem: {
      PVirtualNode node = FindLoadedNodeByPIDL(event->PIDL1);
      TNamespace* ns = NodeNamespace(node);
      if (ns == nullptr) break;
      BeginUpdate();
      ns->RefreshPIDLFromParent(fileObjects);
      InvalidateNode(node);
      EndUpdate();
      break;
    }
    case sekAttributes:
      if (PVirtualNode node = FindLoadedNodeByPIDL(event->ParentPIDL1)) InvalidateChildNamespaces(node);
      break;
    case sekFreeSpace:
      if (TNamespace* drives = DrivesFolder())
        if (PVirtualNode node = FindLoadedNodeByPIDL(drives->AbsolutePIDL())) InvalidateChildNamespaces(node);
      break;
    case sekUpdateImage:
      FlushImageLists();
      InvalidateNodesWithIcon(static_cast<int>(event->DWordItem1));
      break;
    case sekAssocChanged:
      // Type names and hidden extensions come from the associations.
      FlushFileTypeCache();
      RebuildShellIconCache();
      break;
  }
}

bool TCustomVirtualExplorerTree::HandleMappedDriveChange(TVirtualShellEvent* event) {
  if (event->PIDL1 == nullptr) return false;
  TNamespace* ns = BorrowedNamespace(event->PIDL1);
  bool done = false;
  try {
    // A folder that has gone is left to the ordinary update (which drops its node); the
    // batch's other events go on either way.
    if (ns->Folder() && ns->IsValid() && OnRemoteDrive(ns->NameForParsing())) {
      if (PVirtualNode node = FindNodeByPIDL(event->PIDL1)) RefreshNode(node);
      done = true;
    }
  } catch (...) {
    ns->Free();
    throw;
  }
  ns->Free();
  return done;
}

void TCustomVirtualExplorerTree::InvalidateChildNamespaces(PVirtualNode node) {
  WaitCursor(true);
  BeginUpdate();
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    TNamespace* ns = NodeNamespace(child);
    if (ns == nullptr) continue;
    ns->InvalidateNamespace(false);
    InvalidateNode(child);
  }
  EndUpdate();
  WaitCursor(false);
}

void TCustomVirtualExplorerTree::InvalidateNodesWithIcon(int iconIndex) {
  WaitCursor(true);
  for (PVirtualNode node = GetFirstNoInit(); node != nullptr; node = GetNextNoInit(node)) {
    TNamespace* ns = NodeNamespace(node);
    if (ns == nullptr) continue;
    if (ns->GetIconIndex(false, 0, false) != iconIndex && ns->GetIconIndex(true, 0, false) != iconIndex) continue;
    ns->InvalidateNamespace(true);
    InvalidateNode(node);
  }
  WaitCursor(false);
}

void TCustomVirtualExplorerTree::RebuildShellIconCache() {
  if (TreeOptions()->VETMiscOptions().Contains(toNoRebuildIconListOnAssocChange)) return;
  TRegistry* registry = New<TRegistry>(HKEY_CURRENT_USER);
  try {
    if (registry->OpenKey("\\Control Panel\\Desktop\\WindowMetrics", /*canCreate=*/false)) {
      FlushImageLists();
      int size = GetSystemMetrics(SM_CXICON);
      if (registry->ValueExists("Shell Icon Size")) size = std::stoi(registry->ReadString("Shell Icon Size"));
      // The system image list is rebuilt when the icon size changes: change it and put it back.
      for (int value : {size + 1, size}) {
        registry->WriteString("Shell Icon Size", std::to_string(value));
        if (HandleAllocated())
          SendMessageW(Handle(), WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, reinterpret_cast<LPARAM>(L"WindowMetrics"));
        vst::FileIconInit(true);
      }
    }
  } catch (...) {
    // A registry that refuses leaves the icons as they were; the tree is refreshed anyway.
  }
  registry->Free();
  // The settings message reaches the tree's handlers: one may have freed it.
  if (Going()) return;
  RefreshTree(TreeOptions()->VETMiscOptions().Contains(toRestoreTopNodeOnRefresh));
}

// ---- Check states after a whole refresh ----------------------------------------------------

void TCustomVirtualExplorerTree::FollowAllChildrenCheckStates() {
  if (!TreeOptions()->MiscOptions().Contains(toCheckSupport) ||
      !TreeOptions()->AutoOptions().Contains(toAutoTristateTracking))
    return;
  std::vector<PVirtualNode> folders;
  for (PVirtualNode node = GetFirstNoInit(); node != nullptr; node = GetNextNoInit(node))
    if (node->FirstChild != nullptr) folders.push_back(node);
  // Deepest first: a folder's state follows children that are settled already.
  // The check handlers may free any folder, the tree or its form.
  THandlerWatch watch(*this);
  for (auto it = folders.rbegin(); it != folders.rend() && !watch.TreeGone(); ++it)
    if (!watch.Gone(*it)) FollowChildrenCheckState(*it);
}
