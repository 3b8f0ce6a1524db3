// The explorer tree's face: cell texts and colours, icons and overlays from
// the system image list, hints, header clicks, renaming and keys.
#include "shell/ExplorerTree.h"

#include <vector>


#include "shell/ColumnMenu.h"
#include "shell/ShellLink.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"
#include "shell/SysImages.h"
#include "shell/VETPersistent.h"

// ---- Texts ---------------------------------------------------------------------------

void TCustomVirtualExplorerTree::DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType,
                                           std::u16string& text) {
  TNamespace* ns = NodeNamespace(node);
  if (ns == nullptr) {
    text.clear();
  } else if (column < 0) {
    text = ns->NameInFolder();
  } else if (columnDetails == cdShellColumns) {
    if (column < shellColumnCount) text = column < 1 ? ns->NameInFolder() : ns->DetailsOf(column);
  } else {
    switch (ColumnKind(column)) {
      case cdFileName: text = ns->NameInFolder(); break;
      case cdSize:
        text = fileSizeFormat == fsfActual      ? ns->SizeOfFile()
               : fileSizeFormat == fsfDiskUsage ? ns->SizeOfFileDiskUsage()
                                                : ns->SizeOfFileKB();
        break;
      case cdType: text = ns->FileType(); break;
      case cdModified: text = ns->LastWriteTime(); break;
      case cdAccessed: text = ns->LastAccessTime(); break;
      case cdCreated: text = ns->CreationTime(); break;
      case cdAttributes: text = ns->AttributesString(); break;
      case cdPath: text = ns->NameParseAddress(); break;
      case cdDOSName: text = ns->ShortFileName(); break;
      case cdCustom: break;
    }
  }
  FireHandler(OnGetVETText, this, column, node, ns, text);
  (void)textType;
}

void TCustomVirtualExplorerTree::DoPaintText(PVirtualNode node, TCanvas* canvas, TColumnIndex column,
                                             TVSTTextType textType) {
  if (TNamespace* ns = NodeNamespace(node)) {
    if (column < 1) {
      bool hot = TreeOptions()->PaintOptions().Contains(toHotTrack) && node == HotNode();
      bool plain = TreeOptions()->VETFolderOptions().Contains(toNoUseVETColorsProp) || GetSelected(node) ||
                   node == dropTargetNode;
      if (!hot && !plain) {
        canvas->Font()->SetColor(ns->Compressed() ? vetColors->CompressedTextColor()
                                 : ns->Folder()   ? vetColors->FolderTextColor()
                                                  : vetColors->FileTextColor());
      }
    } else if (ns->Compressed()) {
      canvas->Font()->SetColor(vetColors->CompressedTextColor());
    }
  }
  TCustomVirtualStringTree::DoPaintText(node, canvas, column, textType);
}

TCustomImageList* TCustomVirtualExplorerTree::DoGetImageIndex(PVirtualNode node, TVTImageKind kind,
                                                             TColumnIndex column, bool& ghosted, int& index) {
  // Every icon drawn is asked for here first: the system list is bound now.
  if (auto* system = dynamic_cast<VirtualSysImages*>(Images())) system->Bind();
  TCustomImageList* list = TCustomVirtualStringTree::DoGetImageIndex(node, kind, column, ghosted, index);
  TNamespace* ns = NodeNamespace(node);
  if (list != nullptr || ns == nullptr) return list;
  TColumnIndex mainColumn = Header()->Columns()->Count() > 0 ? Header()->MainColumn() : NoColumn;
  if (column != mainColumn && !(column < 0 && mainColumn < 0)) return list;
  if (threadedImagesRegistered && !ComponentState().Contains(csDesigning) && !ns->GetThreadedIconLoaded()) {
    // The thread brings the icon; meanwhile the system's plain folder or file icon.
    if (kind != ikNormal && kind != ikSelected) {
      index = -1;
      return list;
    }
    if (!ns->GetThreadIconLoading()) QueueThreadedIcon(node, ns);
    if (!defaultIndicesKnown) {
      defaultFolderIndex = DefaultSystemImageIndex(0);
      defaultFileIndex = DefaultSystemImageIndex(2);
      defaultIndicesKnown = true;
    }
    index = ns->Folder() && ns->FileSystem() ? defaultFolderIndex : defaultFileIndex;
    return list;
  }
  TVETFolderOptions folderOptions = TreeOptions()->VETFolderOptions();
  ghosted = ns->HiddenItem() && !folderOptions.Contains(toDisableGhostedFolders);
  switch (kind) {
    case ikOverlay:
      if (TreeOptions()->VETImageOptions().Contains(toHideOverlay)) break;
      if (ns->GetShellIconOverlayInterface() != nullptr)
        index = ns->GetOverlayIndex() - 1;
      else if (ns->Link())
        index = 1;
      else if (ns->Share())
        index = 0;
      break;
    case ikNormal:
      index = ns->GetIconIndex(GetExpanded(node), /*iconSize=*/0, /*force=*/false);
      break;
    case ikSelected:
      index = ns->GetIconIndex(folderOptions.Contains(toShowOpenIconOnSelect) || GetExpanded(node), 0, false);
      break;
    default:
      break;
  }
  return list;
}

std::u16string TCustomVirtualExplorerTree::DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                                                         TVTHintLineBreakStyle& lineBreakStyle) {
  if (!TreeOptions()->VETShellOptions().Contains(toShellHints))
    return TCustomVirtualStringTree::DoGetNodeHint(node, column, lineBreakStyle);
  TNamespace* ns = NodeNamespace(node);
  return ns != nullptr ? ns->InfoTip() : std::u16string();
}

// ---- Editing ------------------------------------------------------------------------------

void TCustomVirtualExplorerTree::DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed) {
  if (allowed && column >= 0) {
    if (columnDetails == cdShellColumns)
      allowed = column < 1 || (column >= shellColumnCount && ColumnKind(column) == cdCustom);
    else
      allowed = ColumnKind(column) == cdFileName || ColumnKind(column) == cdCustom;
  }
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) allowed = false;
  TCustomVirtualStringTree::DoEditing(node, column, allowed);
}

void TCustomVirtualExplorerTree::DoNewText(PVirtualNode node, TColumnIndex column, const std::u16string& text) {
  if (states.Contains(tsEditPending)) MessageBeep(0);
  bool nameColumn = columnDetails == cdShellColumns ? column < shellColumnCount
                                                     : ColumnKind(column) != cdCustom;
  TNamespace* ns = NodeNamespace(node);
  if (!nameColumn || ns == nullptr) {
    TCustomVirtualStringTree::DoNewText(node, column, text);
    return;
  }
  LPITEMIDLIST oldPIDL = NamespacePIDLManager->CopyPIDL(ns->AbsolutePIDL());
  if (!ns->SetNameOf(text)) {
    NamespacePIDLManager->FreePIDL(oldPIDL);
    if (HandleAllocated() && PostMessageW(Handle(), kWMRenameRefused, reinterpret_cast<WPARAM>(node), 0))
      renameRefusedNode = node;
    return;
  }
  // Its folder was bound under the old name.
  ns->InvalidateNamespace(/*refreshIcons=*/false);
  // The record moves to its sorted place under the new name: editing the key
  // in place would break the order every later lookup relies on.
  if (TRootNodeStorage* storage = GetStorage()) storage->Rename(oldPIDL, ns->AbsolutePIDL());
  NamespacePIDLManager->FreePIDL(oldPIDL);
  FollowRenamedItem(node);
  InvalidateNode(node);
}

bool TCustomVirtualExplorerTree::DoEndEdit() {
  TViewHold hold(this);
  bool ended = TCustomVirtualStringTree::DoEndEdit();
  if (Going() || IsEditing()) return ended;
  // A new name may bring a new icon.
  if (TNamespace* ns = NodeNamespace(FocusedNode())) ns->InvalidateNamespace(/*refreshIcons=*/true);
  // The change batches that waited for the edit are not applied here: callers
  // go on with nodes they hold (the one clicked, the one to focus), which a
  // batch may free. Those in the queue are applied when the loop takes them,
  // those parked by the notify manager on its next tick, now that the tree is ready.
  return ended;
}

void TCustomVirtualExplorerTree::FollowRenamedItem(PVirtualNode node) {
  // Pre-order: a node's parent has its new PIDL before the node takes it.
  std::vector<PVirtualNode> pending;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) pending.push_back(child);
  while (!pending.empty()) {
    PVirtualNode run = pending.back();
    pending.pop_back();
    TNamespace* ns = NodeNamespace(run);
    TNamespace* parentNs = NodeNamespace(run->Parent);
    if (ns == nullptr || parentNs == nullptr) continue;
    ns->FollowParent(parentNs->AbsolutePIDL());
    for (PVirtualNode child = run->FirstChild; child != nullptr; child = child->NextSibling) pending.push_back(child);
  }
}

void TCustomVirtualExplorerTree::WMRenameRefused(TMessage& m) {
  auto node = reinterpret_cast<PVirtualNode>(m.WParam);
  MessageBeep(0);
  // The message waited in the queue: the node may have been freed meanwhile
  // (and its memory given to another node), so only the node still
  // remembered, and no longer than this once, opens its editor.
  if (node == nullptr || node != renameRefusedNode) return;
  renameRefusedNode = nullptr;
  if (node != RootNode()) EditNode(node, Header()->Columns()->Count() > 0 ? 0 : NoColumn);
}

// ---- Keys ---------------------------------------------------------------------------------

void TCustomVirtualExplorerTree::WMKeyDown(TMessage& m) {
  if (FocusedNode() == nullptr) SetFocusedNode(GetFirst());
  // The menu key's menu comes with the WM_CONTEXTMENU the system makes of it
  // (the shell's menu of the selection there); the tree's own handling of the
  // key would show a second one first.
  if (m.WParam == VK_APPS) {
    TWinControl::WMKeyDown(m);
    return;
  }
  Inherited(ClassMessageMap(), m);
}

bool TCustomVirtualExplorerTree::DoKeyAction(uint16_t& charCode, TShiftState& shift) {
  if (!TCustomVirtualStringTree::DoKeyAction(charCode, shift)) return false;
  bool ctrl = shift.Contains(ssCtrl);
  TVETMiscOptions misc = TreeOptions()->VETMiscOptions();
  switch (charCode) {
    case VK_F5:
      RefreshTree(misc.Contains(toRestoreTopNodeOnRefresh));
      break;
    case VK_F3:
      RefreshNode(GetFirstSelected());
      break;
    case 'A':
      if (ctrl && shift.Contains(ssShift)) {
        InvertSelection(false);
        return false;
      }
      break;
    case VK_DIVIDE:
      if (FocusedNode() != nullptr) {
        WaitCursor(true);
        FullCollapse(FocusedNode());
        WaitCursor(false);
      }
      charCode = 0;
      break;
    case VK_UP:
    case VK_DOWN:
      if (ctrl) {
        PVirtualNode focused = FocusedNode();
        PVirtualNode target = focused == nullptr ? GetFirst()
                              : charCode == VK_UP ? GetPreviousSibling(focused)
                                                  : GetNextSibling(focused);
        if (target != nullptr) {
          SetFocusedNode(target);
          ScrollIntoView(target, false);
        }
        return false;
      }
      break;
    case VK_SPACE:
      if (!shift.Contains(ssShift) && !shift.Contains(ssAlt)) {
        if (PVirtualNode focused = FocusedNode()) {
          if (!GetSelected(focused)) {
            AddToSelection(focused);
          } else if (ctrl) {
            RemoveFromSelection(focused);
          }
        }
      }
      break;
    case VK_NEXT:
      if (ctrl) {
        PageFocusDown();
        return false;
      }
      break;
    case VK_PRIOR:
      if (ctrl) {
        PageFocusUp();
        return false;
      }
      break;
    case VK_ESCAPE:
      CancelCutOrCopy();
      Invalidate();
      break;
    case VK_DELETE:
      SelectedFilesDelete();
      break;
    case 'C':
      if (ctrl) CopyToClipBoard();
      break;
    case 'X':
      if (ctrl) CutToClipBoard();
      break;
    case 'V':
      if (ctrl) PasteFromClipboard();
      break;
    case VK_INSERT:
      if (misc.Contains(toVETReadOnly)) break;
      if (shift.Contains(ssShift)) {
        PasteFromClipboard();
        return false;
      }
      if (ctrl) {
        CopyToClipBoard();
        return false;
      }
      break;
    default:
      break;
  }
  return true;
}

PVirtualNode TCustomVirtualExplorerTree::LastFittingSibling() {
  PVirtualNode top = GetTopNode();
  if (top == nullptr) return nullptr;
  int client = TreeClientHeight();
  // The top node counts twice: the one the page ends on must be whole.
  int sum = static_cast<int>(GetNodeHeight(top));
  for (PVirtualNode run = top; run != nullptr; run = GetNextSibling(run)) {
    sum += static_cast<int>(GetNodeHeight(run));
    if (sum >= client) {
      if (GetNextSibling(run) == nullptr) return run;
      PVirtualNode before = GetPreviousSibling(run);
      return before != nullptr ? before : run;
    }
    if (GetNextSibling(run) == nullptr) return run;
  }
  return top;
}

void TCustomVirtualExplorerTree::FocusAndShow(PVirtualNode node) {
  if (node == nullptr) return;
  SetFocusedNode(node);
  ScrollIntoView(node, false, TreeOptions()->VETMiscOptions().Contains(toAutoScrollHorz));
}

void TCustomVirtualExplorerTree::PageFocusDown() {
  PVirtualNode target = LastFittingSibling();
  PVirtualNode focused = FocusedNode();
  PVirtualNode lastTop = GetLastChild(RootNode());
  if (target != nullptr && target != focused && focused != lastTop) {
    FocusAndShow(target);
    return;
  }
  int64_t before = OffsetY();
  SetOffsetY(before - TreeClientHeight());
  FocusAndShow(OffsetY() == before ? lastTop : LastFittingSibling());
}

void TCustomVirtualExplorerTree::PageFocusUp() {
  PVirtualNode top = GetTopNode();
  if (top != nullptr && top != FocusedNode()) {
    FocusAndShow(top);
    return;
  }
  SetOffsetY(OffsetY() + TreeClientHeight());
  FocusAndShow(GetTopNode());
}

// ---- Header ---------------------------------------------------------------------------------

void TCustomVirtualExplorerTree::DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x,
                                               int y) {
  TCustomVirtualStringTree::DoHeaderClick(column, button, shift, x, y);
  if (button == mbRight || column < 0) return;
  WaitCursor(true);
  TColumnManager* manager = FirstNodeColumnManager();
  if (shift.Contains(ssCtrl)) {
    if (manager != nullptr) manager->ToggleFitWidth(column);
  } else if (shift.Contains(ssShift)) {
    if (manager != nullptr) manager->ToggleZeroWidth(column);
  } else {
    TVTHeader* header = Header();
    if (header->SortColumn() == column)
      header->SetSortDirection(header->SortDirection() == sdAscending ? sdDescending : sdAscending);
    else
      header->SetSortColumn(column);
    SortTree(column, header->SortDirection(), false);
  }
  WaitCursor(false);
}

void TCustomVirtualExplorerTree::DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomVirtualStringTree::DoHeaderMouseUp(button, shift, x, y);
  if (button != mbRight || !TreeOptions()->VETShellOptions().Contains(toShellColumnMenu) || !HandleAllocated())
    return;
  POINT p{x, y};
  ::ClientToScreen(Handle(), &p);
  columnMenu->SetPopupComponent(this);
  columnMenu->Popup(p.x, p.y - Header()->Height());
}

bool TCustomVirtualExplorerTree::DoDragAllowed(PVirtualNode node, TColumnIndex column) {
  if (Going()) return false;
  TNamespace* ns = NodeNamespace(node);
  bool allowed = TreeOptions()->VETShellOptions().Contains(toDragDrop) &&
                 TreeOptions()->MiscOptions().Contains(toAcceptOLEDrop) &&
                 !TreeOptions()->VETMiscOptions().Contains(toVETReadOnly) && ns != nullptr && !ns->IsDesktop();
  // A tree freed by the handler allows no drag.
  if (!Fire(OnDragAllowed, this, node, column, allowed)) return false;
  if (allowed) SetDragOperations({doCopy, doMove, doLink});
  return allowed;
}

// ---- Running items --------------------------------------------------------------------------

void TCustomVirtualExplorerTree::DoShellExecute(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  TVETMiscOptions misc = TreeOptions()->VETMiscOptions();
  if (ns == nullptr || !misc.Contains(toExecuteOnDblClk)) return;
  std::u16string workingDir, arguments;
  bool allow = true;
  // A handler that frees the node (its item) or the tree refuses the run with it.
  THandlerWatch watch(*this);
  FireHandler(OnShellExecute, this, ns, workingDir, arguments, allow);
  if (!allow || watch.Gone(node)) return;
  ExecuteNamespace(ns, workingDir, arguments);
  if (ns->Link() && misc.Contains(toBrowseExecuteFolderShortcut)) BrowseToShortcutTarget(ns);
}

void TCustomVirtualExplorerTree::ExecuteNamespace(TNamespace* ns, const std::u16string& workingDir,
                                                  const std::u16string& arguments) {
  TVETMiscOptions misc = TreeOptions()->VETMiscOptions();
  bool zip = vws::WideStrICompOS(ns->Extension().c_str(), u".zip") == 0;
  bool runFolders = !misc.Contains(toBrowseExecuteFolder) || (zip && !misc.Contains(toBrowseExecuteZipFolder));
  ns->ShellExecuteNamespace(workingDir, arguments, !misc.Contains(toBrowseExecuteFolderShortcut), runFolders);
}

void TCustomVirtualExplorerTree::BrowseToShortcutTarget(TNamespace* ns) {
  if (ns == nullptr || !ns->Link()) return;
  TVirtualShellLink* link = New<TVirtualShellLink>(nullptr);
  if (link->ReadLink(ns->NameForParsing()) && vws::WideDirectoryExists(link->TargetPath()) &&
      link->TargetIDList() != nullptr && OkToBrowseTo(link->TargetIDList())) {
    TVETSyncOptions sync = TreeOptions()->VETSyncOptions();
    BrowseTo(link->TargetIDList(), sync.Contains(toExpandTarget), true, sync.Contains(toCollapseTargetFirst), false,
             sync.Contains(toSelectTarget));
  }
  link->Free();
}
