// The explorer tree and the icon and expand-mark threads: registering while
// the window exists, asking for a node's icon or expand mark, applying the
// answers, and dropping what is owed to nodes that go.
//
// Every request's ticket is kept per node; an answer is applied only when its
// node is still listed with that ticket. Nodes leave the lists before they are
// freed, so an answer never reaches a freed node, nor a new node made at a
// freed one's address.
#include "shell/ExplorerTree.h"

#include <algorithm>

#include "shell/ShellUtilities.h"
#include "shell/VirtualImageThread.h"
#include "shell/VirtualWideStrings.h"

void TCustomVirtualExplorerTree::SetThreadedImages(bool value) {
  value = value && HandleAllocated() && !constructing;
  if (value == threadedImagesRegistered) return;
  if (value) {
    ImageThreadManager()->RegisterControl(this);
    threadedImagesRegistered = true;
    return;
  }
  DropAllThreadRequests();
  threadedImagesRegistered = false;
  ImageThreadManager()->UnRegisterControl(this);
}

void TCustomVirtualExplorerTree::SetThreadedExpandMark(bool value) {
  value = value && HandleAllocated() && !constructing;
  if (value == threadedExpandMarkRegistered) return;
  if (value) {
    ExpandMarkThreadManager()->RegisterControl(this);
    threadedExpandMarkRegistered = true;
    return;
  }
  expandMarkTickets.clear();
  threadedExpandMarkRegistered = false;
  ExpandMarkThreadManager()->UnRegisterControl(this);
}

void TCustomVirtualExplorerTree::DestroyWnd() {
  // The managers answer a window: unregister while it still exists, so that
  // answers already posted to it are taken back and freed.
  SetThreadedImages(false);
  SetThreadedExpandMark(false);
  TCustomVirtualStringTree::DestroyWnd();
}

bool TCustomVirtualExplorerTree::WantsThreadedExpandMark(TNamespace* ns) {
  if (!ns->Folder()) return false;
  std::u16string drive = vws::WideExtractFileDrive(ns->NameForParsing());
  if (!vws::WideIsDrive(drive)) return false;
  std::u16string root = drive + u"\\";
  return GetDriveTypeW(reinterpret_cast<LPCWSTR>(root.c_str())) == DRIVE_REMOTE;
}

void TCustomVirtualExplorerTree::RequestThreadedIcon(PVirtualNode node, TNamespace* ns) {
  bool large = TreeOptions()->VETImageOptions().Contains(toLargeImages);
  uint32_t ticket = ImageThreadManager()->AddNewItem(this, kWMImageThreadResult, large ? kIconParamLarge : 0, node, /*flag=*/0,
                                                     ns->AbsolutePIDL());
  if (ticket == 0) {
    ns->SetThreadIconLoading(false);
    return;
  }
  ns->SetThreadIconLoading(true);
  iconTickets[node] = ticket;
}

void TCustomVirtualExplorerTree::QueueThreadedIcon(PVirtualNode node, TNamespace* ns) {
  if (!states.Contains(tsPainting)) {
    RequestThreadedIcon(node, ns);
    return;
  }
  ns->SetThreadIconLoading(true);
  iconsAfterPaint.push_back(node);
}

void TCustomVirtualExplorerTree::RequestQueuedIcons() {
  std::vector<PVirtualNode> nodes;
  nodes.swap(iconsAfterPaint);
  for (PVirtualNode node : nodes)
    if (TNamespace* ns = NodeNamespace(node)) RequestThreadedIcon(node, ns);
}

void TCustomVirtualExplorerTree::DoAfterPaint(TCanvas* canvas) {
  TCustomVirtualStringTree::DoAfterPaint(canvas);
  RequestQueuedIcons();
}

void TCustomVirtualExplorerTree::RequestThreadedOpenIcon(PVirtualNode node, TNamespace* ns) {
  if (openIconTickets.count(node) != 0 || ns->OpenIconIndexKnown()) return;
  if ((node->States & (vsHasChildren | vsExpanded)) != vsHasChildren || !ns->Folder() || !ns->FileSystem()) return;
  bool large = TreeOptions()->VETImageOptions().Contains(toLargeImages);
  uint32_t ticket = ImageThreadManager()->AddNewItemDeferred(
      this, kWMImageThreadResult, (large ? kIconParamLarge : 0) | kIconParamOpen, node, /*flag=*/0, ns->AbsolutePIDL());
  if (ticket != 0) openIconTickets[node] = ticket;
}

void TCustomVirtualExplorerTree::RequestThreadedExpandMark(PVirtualNode node, TNamespace* ns) {
  uint32_t ticket = ExpandMarkThreadManager()->AddNewItem(this, kWMExpandMarkResult, FileObjectsToFlags(fileObjects),
                                                          node, /*flag=*/0, ns->AbsolutePIDL());
  if (ticket != 0) expandMarkTickets[node] = ticket;
}

void TCustomVirtualExplorerTree::DropThreadRequests(PVirtualNode node) {
  if (auto at = std::find(iconsAfterPaint.begin(), iconsAfterPaint.end(), node); at != iconsAfterPaint.end()) {
    iconsAfterPaint.erase(at);
    if (TNamespace* ns = NodeNamespace(node)) ns->SetThreadIconLoading(false);
  }
  if (auto at = iconTickets.find(node); at != iconTickets.end()) {
    iconTickets.erase(at);
    if (TNamespace* ns = NodeNamespace(node)) ns->SetThreadIconLoading(false);
    if (threadedImagesRegistered) ImageThreadManager()->ClearPendingItem(this, node, nullptr, kWMImageThreadResult);
  }
  if (auto at = openIconTickets.find(node); at != openIconTickets.end()) {
    openIconTickets.erase(at);
    if (threadedImagesRegistered) ImageThreadManager()->ClearPendingItem(this, node, nullptr, kWMImageThreadResult);
  }
  if (auto at = expandMarkTickets.find(node); at != expandMarkTickets.end()) {
    expandMarkTickets.erase(at);
    if (threadedExpandMarkRegistered)
      ExpandMarkThreadManager()->ClearPendingItem(this, node, nullptr, kWMExpandMarkResult);
  }
}

void TCustomVirtualExplorerTree::DropAllThreadRequests() {
  // Items that stay ask again when they are next painted.
  for (const auto& [node, ticket] : iconTickets)
    if (TNamespace* ns = NodeNamespace(node)) ns->SetThreadIconLoading(false);
  for (PVirtualNode node : iconsAfterPaint)
    if (TNamespace* ns = NodeNamespace(node)) ns->SetThreadIconLoading(false);
  iconsAfterPaint.clear();
  bool hadIcons = !iconTickets.empty() || !openIconTickets.empty();
  bool hadMarks = !expandMarkTickets.empty();
  iconTickets.clear();
  openIconTickets.clear();
  expandMarkTickets.clear();
  if (hadIcons && threadedImagesRegistered) ImageThreadManager()->ClearPendingItems(this, kWMImageThreadResult, nullptr);
  if (hadMarks && threadedExpandMarkRegistered)
    ExpandMarkThreadManager()->ClearPendingItems(this, kWMExpandMarkResult, nullptr);
}

void TCustomVirtualExplorerTree::WMImageThreadResult(TMessage& m) {
  m.Result = 0;
  auto* request = reinterpret_cast<TImageThreadRequest*>(m.WParam);
  if (request == nullptr) return;
  auto node = static_cast<PVirtualNode>(request->Data);
  if ((request->Param & kIconParamOpen) != 0) {
    if (auto at = openIconTickets.find(node); at != openIconTickets.end() && at->second == request->Ticket) {
      openIconTickets.erase(at);
      // Shown only once the node is expanded, which paints it anew.
      if (TNamespace* ns = NodeNamespace(node)) ns->SetOpenIconIndexAhead(request->ImageIndex);
    }
  } else if (auto at = iconTickets.find(node); at != iconTickets.end() && at->second == request->Ticket) {
    iconTickets.erase(at);
    if (TNamespace* ns = NodeNamespace(node)) {
      // The thread answers the item's closed icon.
      ns->SetIconIndexByThread(request->ImageIndex, /*openIcon=*/false);
      InvalidateNode(node);
      RequestThreadedOpenIcon(node, ns);
    }
  }
  ImageThreadManager()->ReleaseItem(request, nullptr);
  // A drag image over the tree is drawn again over the new icon, not painted over.
  if (states.Contains(tsOLEDragging) || states.Contains(tsVCLDragging))
    UpdateWindowAndDragImage(this, ClientRect(), true, false);
}

void TCustomVirtualExplorerTree::WMExpandMarkResult(TMessage& m) {
  m.Result = 0;
  auto* request = reinterpret_cast<TImageThreadRequest*>(m.WParam);
  if (request == nullptr) return;
  auto node = static_cast<PVirtualNode>(request->Data);
  if (auto at = expandMarkTickets.find(node); at != expandMarkTickets.end() && at->second == request->Ticket) {
    expandMarkTickets.erase(at);
    if (NodeNamespace(node) != nullptr) {
      SetHasChildren(node, request->HasChildren >= 1);
      InvalidateNode(node);
    }
  }
  ExpandMarkThreadManager()->ReleaseItem(request, nullptr);
}
