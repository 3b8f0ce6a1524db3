// The explorer tree: the order of a folder's children, the node of a PIDL,
// and browsing to a PIDL.
#include "shell/ExplorerTree.h"

#include <vector>

#include "shell/ExactNames.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

// Walks a folder's children for the first whose normal name is wanted (without case).
struct TNameSearch : TObject {
  std::u16string wanted;
  TNamespace* found = nullptr;
  bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool& terminate) {
    TNamespace* item = New<TNamespace>(child, parent);
    if (vws::WideStrICompOS(item->NameNormal().c_str(), wanted.c_str()) == 0) {
      found = item->Clone(/*freePIDLOnDestroy=*/true);
      terminate = true;
    }
    item->Free();
    return true;
  }
};

TNamespace* FindChildByName(TNamespace* folder, const std::u16string& name) {
  if (folder == nullptr || name.empty()) return nullptr;
  TNameSearch search;
  search.wanted = name;
  folder->EnumerateFolder(nullptr, /*folders=*/true, /*nonFolders=*/true, /*hidden=*/true,
                          MakeEvent<&TNameSearch::Child>(&search), nullptr);
  return search.found;
}

}  // namespace

bool TCustomVirtualExplorerTree::FindDesktopItemByName(const std::u16string& name, TNamespace*& ns) {
  ns = nullptr;
  if (DesktopFolder() == nullptr) return false;
  if (vws::WideStrICompOS(DesktopFolder()->NameNormal().c_str(), name.c_str()) == 0) {
    ns = DesktopFolder()->Clone(/*freePIDLOnDestroy=*/true);
    return true;
  }
  ns = FindChildByName(DesktopFolder(), name);
  return ns != nullptr;
}

bool TCustomVirtualExplorerTree::FindDesktopOrDriveItemByName(const std::u16string& name, TNamespace*& ns) {
  if (FindDesktopItemByName(name, ns)) return true;
  ns = FindChildByName(DrivesFolder(), name);
  return ns != nullptr;
}

int TCustomVirtualExplorerTree::DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) {
  if (TreeOptions()->VETMiscOptions().Contains(toUserSort))
    return TCustomVirtualStringTree::DoCompareNodes(node1, node2, column);
  sortHelper->SetFileSort(fileSort);
  TNamespace* a = NodeNamespace(node1);
  TNamespace* b = NodeNamespace(node2);
  if (a == nullptr || b == nullptr) return 0;
  if (column < 0) return sortHelper->CompareIDSort(0, a, b);
  if (columnDetails != cdShellColumns) {
    switch (ColumnKind(column)) {
      case cdFileName: return sortHelper->CompareIDSort(0, a, b);
      case cdSize: return sortHelper->SortFileSize(a, b);
      case cdType: return sortHelper->SortType(a, b);
      case cdModified: return sortHelper->SortFileTime(a->LastWriteTimeRaw(), b->LastWriteTimeRaw(), a, b);
      case cdAccessed: return sortHelper->SortFileTime(a->LastAccessTimeRaw(), b->LastAccessTimeRaw(), a, b);
      case cdCreated: return sortHelper->SortFileTime(a->CreationTimeRaw(), b->CreationTimeRaw(), a, b);
      case cdAttributes: return sortHelper->SortString(a->AttributesString(), b->AttributesString(), a, b);
      case cdPath: return sortHelper->SortString(a->NameParseAddress(), b->NameParseAddress(), a, b);
      case cdDOSName: return sortHelper->SortString(a->ShortFileName(), b->ShortFileName(), a, b);
      case cdCustom: {
        int result = 0;
        DoCustomColumnCompare(column, node1, node2, result);
        return result;
      }
    }
    return 0;
  }
  TNamespace* parent = a->Parent();
  if (parent != nullptr && (parent->GetShellDetails() != nullptr || parent->GetShellFolder2() != nullptr)) {
    if (column == 2 && fileSort == fsFileExtension) return sortHelper->SortType(a, b);
    if (column >= shellColumnCount) {
      int result = 0;
      DoCustomColumnCompare(column, node1, node2, result);
      return result;
    }
    return sortHelper->CompareIDSort(column, a, b);
  }
  switch (column) {
    case 1: return sortHelper->SortFileSize(a, b);
    case 2: return sortHelper->SortType(a, b);
    case 3: return sortHelper->SortFileTime(a->LastWriteTimeRaw(), b->LastWriteTimeRaw(), a, b);
    default: return sortHelper->CompareIDSort(0, a, b);
  }
}

PVirtualNode TCustomVirtualExplorerTree::FindNodeByPIDL(LPCITEMIDLIST pidl) {
  return WalkPIDLToNode(pidl, /*select=*/false, /*expandPath=*/true, /*reinit=*/false, /*init=*/false);
}

PVirtualNode TCustomVirtualExplorerTree::WalkPIDLToNode(LPCITEMIDLIST pidl, bool select, bool expandPath,
                                                        bool reinit, bool init) {
  // Opening and initialising the folders on the way reaches their handlers,
  // which may free any node or the tree: the walk answers null then.
  THandlerWatch watch(*this);
  PVirtualNode start =
      TreeOptions()->VETFolderOptions().Contains(toHideRootFolder) ? RootNode() : GetFirst();
  if (watch.Gone(start)) return nullptr;
  TNamespace* startNs = NodeNamespace(start);
  if (startNs == nullptr || startNs->AbsolutePIDL() == nullptr || pidl == nullptr) return nullptr;
  TPIDLManager* m = NamespacePIDLManager;
  PVirtualNode current = nullptr;
  if (vst::ILIsEqual(startNs->AbsolutePIDL(), pidl)) {
    current = start;
  } else if (vst::ILIsParent(startNs->AbsolutePIDL(), pidl, /*immediate=*/false)) {
    // The walk cuts a private copy after each ID in turn: the caller's PIDL is
    // never written, not even for a moment (another thread may read it).
    LPITEMIDLIST copy = m->CopyPIDL(pidl);
    if (copy == nullptr) return nullptr;
    uint32_t total = m->IDCount(copy);
    uint32_t done = m->IDCount(startNs->AbsolutePIDL());
    LPITEMIDLIST cursor = copy;
    for (uint32_t i = 0; i < done; ++i) cursor = TPIDLManager::NextID(cursor);
    current = start;
    try {
      while (current != nullptr && done < total) {
        LPITEMIDLIST next = TPIDLManager::NextID(cursor);
        uint16_t saved = next->mkid.cb;
        next->mkid.cb = 0;
        ++done;
        if (init) {
          if (reinit)
            ReinitChildren(current, false);
          else if (expandPath)
            SetExpanded(current, true);
        }
        // Nodes on the path are initialised so that their children can be made.
        if (!watch.Gone(current) && current != RootNode() && !(current->States & vsInitialized)) InitNode(current);
        PVirtualNode first = nullptr;
        if (!watch.Gone(current) && (current == RootNode() || (current->States & vsHasChildren)))
          first = GetFirstChild(current);
        if (watch.Gone(current)) {
          current = nullptr;
          break;
        }
        PVirtualNode match = nullptr;
        if (first != nullptr) {
          for (PVirtualNode child = first; child != nullptr; child = child->NextSibling) {
            TNamespace* ns = NodeNamespace(child);
            if (ns == nullptr) break;
            if (ns->ComparePIDL(copy, /*siblingCheck=*/false, 0) == 0) {
              match = child;
              break;
            }
          }
        }
        if (match == nullptr && NetworkFolder() != nullptr &&
            vst::ILIsParent(NetworkFolder()->AbsolutePIDL(), copy, /*immediate=*/false)) {
          match = AddNodeToTree(current, New<TNamespace>(m->CopyPIDL(copy), nullptr), ctTriStateCheckBox,
                                /*setCheck=*/false);
        }
        next->mkid.cb = saved;
        cursor = next;
        current = watch.Gone(match) ? nullptr : match;
      }
    } catch (...) {
      m->FreePIDL(copy);
      throw;
    }
    m->FreePIDL(copy);
  }
  if (select && current != nullptr) {
    ClearSelection();
    if (!watch.Gone(current)) AddToSelection(current);
    if (!watch.Gone(current)) SetTopNode(current);
    if (!watch.Gone(current)) SetFocusedNode(current);
  }
  return watch.Gone(current) ? nullptr : current;
}

PVirtualNode TCustomVirtualExplorerTree::FindLoadedNodeByPIDL(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return nullptr;
  PVirtualNode start =
      TreeOptions()->VETFolderOptions().Contains(toHideRootFolder) ? RootNode() : GetFirstNoInit();
  TNamespace* startNs = NodeNamespace(start);
  if (startNs == nullptr) return nullptr;
  if (TPIDLManager::IsDesktopFolder(pidl) || vst::ILIsEqual(startNs->AbsolutePIDL(), pidl)) return start;
  if (!vst::ILIsParent(startNs->AbsolutePIDL(), pidl, /*immediate=*/false)) return nullptr;
  // One ID a level: each child is the parent's PIDL and one ID of its own.
  TPIDLManager* m = NamespacePIDLManager;
  uint32_t depth = m->IDCount(startNs->AbsolutePIDL());
  uint32_t total = m->IDCount(pidl);
  LPCITEMIDLIST id = pidl;
  for (uint32_t i = 0; i < depth; ++i) id = TPIDLManager::NextID(id);
  PVirtualNode current = start;
  while (current != nullptr && depth < total) {
    current = FindLoadedChild(current, pidl, id, depth);
    id = TPIDLManager::NextID(id);
    ++depth;
  }
  return current;
}

PVirtualNode TCustomVirtualExplorerTree::FindLoadedChild(PVirtualNode parent, LPCITEMIDLIST pidl, LPCITEMIDLIST id,
                                                         uint32_t depth) {
  TPIDLManager* m = NamespacePIDLManager;
  auto ownChild = [&](TNamespace* ns) { return m->IDCount(ns->AbsolutePIDL()) == depth + 1; };
  // An ID the shell hands out again for an unchanged item has the same bytes:
  // that test alone finds most items, a memcmp a sibling.
  auto byBytes = [&](LPCITEMIDLIST wanted) -> PVirtualNode {
    for (PVirtualNode child = parent->FirstChild; child != nullptr; child = child->NextSibling) {
      TNamespace* ns = NodeNamespace(child);
      if (ns != nullptr && exactnames::SameIDBytes(ns->RelativePIDL(), wanted) && ownChild(ns)) return child;
    }
    return nullptr;
  };
  if (PVirtualNode child = byBytes(id)) return child;
  // Otherwise (a changed size or time in the ID) the folder compares: one
  // call a sibling, case variants told apart by their names.
  TNamespace* parentNs = NodeNamespace(parent);
  IShellFolder* folder = parentNs != nullptr ? parentNs->GetShellFolder() : nullptr;
  auto byFolder = [&](LPCITEMIDLIST wanted) -> PVirtualNode {
    for (PVirtualNode child = parent->FirstChild; child != nullptr; child = child->NextSibling) {
      TNamespace* ns = NodeNamespace(child);
      int order = 0;
      if (ns != nullptr && ownChild(ns) && exactnames::CompareIDs(folder, wanted, ns->RelativePIDL(), order) &&
          order == 0)
        return child;
    }
    return nullptr;
  };
  std::vector<uint8_t> one = exactnames::FirstIDOnly(id);
  auto wanted = reinterpret_cast<LPCITEMIDLIST>(one.data());
  if (folder != nullptr) {
    if (PVirtualNode child = byFolder(wanted)) return child;
    // The shell may report an item by a bare ID, a name without its data (a
    // folder then looks like a file to CompareIDs): the folder's own ID of
    // that name is looked for the same way. When it names that very item,
    // what it does not find is not loaded.
    std::u16string name = exactnames::InFolderName(folder, wanted);
    if (LPITEMIDLIST own = exactnames::ParseInFolder(folder, name)) {
      PVirtualNode child = byBytes(own);
      if (child == nullptr) child = byFolder(own);
      bool same = exactnames::InFolderName(folder, own) == name;
      m->FreePIDL(own);
      if (child != nullptr || same) return child;
    }
  }
  // A folder that cannot be bound, an item that has gone, a child made from a
  // PIDL of its own: the whole lists are compared, as the shell compares them.
  LPITEMIDLIST head = exactnames::FirstIDs(pidl, depth + 1);
  if (head == nullptr) return nullptr;
  // The shell takes two items for one only when their names fold alike: a
  // child of the folder with another name is passed over without the whole
  // comparison (which costs a folder binding), so that an update for an item
  // deleted since costs a name a child, not a comparison.
  std::u16string wantedName = folder != nullptr ? exactnames::Folded(exactnames::InFolderName(folder, wanted)) : u"";
  auto otherName = [&](TNamespace* ns) {
    if (wantedName.empty() || !ownChild(ns)) return false;
    std::vector<uint8_t> own = exactnames::FirstIDOnly(ns->RelativePIDL());
    std::u16string name =
        exactnames::Folded(exactnames::InFolderName(folder, reinterpret_cast<LPCITEMIDLIST>(own.data())));
    return !name.empty() && name != wantedName;
  };
  PVirtualNode match = nullptr;
  for (PVirtualNode child = parent->FirstChild; child != nullptr && match == nullptr; child = child->NextSibling) {
    TNamespace* ns = NodeNamespace(child);
    if (ns != nullptr && !otherName(ns) && exactnames::SameItem(ns->AbsolutePIDL(), head)) match = child;
  }
  m->FreePIDL(head);
  return match;
}

bool TCustomVirtualExplorerTree::BrowseTo(LPCITEMIDLIST pidl, bool expandTarget, bool expandPath, bool collapseFirst,
                                          bool focusTree, bool selectTarget) {
  if (!OkToBrowseTo(pidl)) return false;
  // Each step reaches handlers, which may free the target, its folders or the tree.
  THandlerWatch watch(*this);
  browsing = true;
  PVirtualNode node = nullptr;
  BeginUpdate();
  try {
    if (pidl != nullptr) node = WalkPIDLToNode(pidl, false, expandPath, false, true);
    if (!watch.Gone(node)) {
      if (collapseFirst) {
        std::vector<PVirtualNode> path;
        for (PVirtualNode run = node->Parent; run != RootNode(); run = run->Parent) path.push_back(run);
        FullCollapse();
        // Collapsing hid the target again: open the path once more.
        for (PVirtualNode run : path)
          if (!watch.Gone(node) && !watch.Gone(run)) SetExpanded(run, true);
      }
      if (expandTarget && !watch.Gone(node)) SetExpanded(node, true);
      if (focusTree && !watch.Gone(node) && CanFocus()) SetFocus();
      if (selectTarget && !watch.Gone(node)) {
        ClearSelection();
        if (!watch.Gone(node)) SetFocusedNode(nullptr);
        if (!watch.Gone(node)) AddToSelection(node);
        if (!watch.Gone(node)) SetFocusedNode(node);
      }
    }
  } catch (...) {
    if (!watch.TreeGone()) EndUpdate();
    browsing = false;
    throw;
  }
  if (!watch.TreeGone()) EndUpdate();
  bool found = !watch.Gone(node);
  if (found) ScrollIntoView(node, false, TreeOptions()->VETMiscOptions().Contains(toAutoScrollHorz));
  browsing = false;
  return found;
}
