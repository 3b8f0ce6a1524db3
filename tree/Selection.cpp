// The selection array (sorted by node address), focus and the hot node.
// Deleted nodes leave the array through InternalRemoveFromSelection, which
// marks their entry; CompactSelection drops marked entries.
#include <algorithm>
#include <cstdint>

#include "tree/VirtualTreeCore.h"

namespace {
uintptr_t Key(PVirtualNode node) { return reinterpret_cast<uintptr_t>(node) & ~uintptr_t(1); }
bool Marked(PVirtualNode node) { return (reinterpret_cast<uintptr_t>(node) & 1) != 0; }
PVirtualNode Mark(PVirtualNode node) { return reinterpret_cast<PVirtualNode>(reinterpret_cast<uintptr_t>(node) | 1); }
bool ByKey(PVirtualNode a, PVirtualNode b) { return Key(a) < Key(b); }
}  // namespace

void TVirtualTreeCore::CompactSelection() {
  if (selection.size() == selectionCount) return;
  selection.erase(std::remove_if(selection.begin(), selection.end(), Marked), selection.end());
  selectionCount = static_cast<uint32_t>(selection.size());
}

void TVirtualTreeCore::InternalAddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert) {
  CompactSelection();
  if (nodes.empty()) return;
  if (!options.selection.Contains(toMultiSelect)) {
    PVirtualNode node = nodes.back();
    if (node == nullptr || node == root) return;
    ClearSelection();
    node->States |= vsSelected;
    selection.push_back(node);
    selectionCount = 1;
    return;
  }
  size_t oldSize = selection.size();
  for (PVirtualNode node : nodes) {
    if (node == nullptr || node == root) continue;
    if ((node->States & vsSelected) && !forceInsert) continue;
    if (forceInsert && std::binary_search(selection.begin(), selection.begin() + oldSize, node, ByKey)) continue;
    node->States |= vsSelected;
    selection.push_back(node);
  }
  std::sort(selection.begin(), selection.end(), ByKey);
  selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
  selectionCount = static_cast<uint32_t>(selection.size());
}

bool TVirtualTreeCore::IsInSelection(PVirtualNode node) const {
  auto it = std::lower_bound(selection.begin(), selection.end(), node, ByKey);
  return it != selection.end() && *it == node;
}

void TVirtualTreeCore::InternalRemoveFromSelection(PVirtualNode node) {
  if (node == nullptr || !(node->States & vsSelected)) return;
  node->States &= ~vsSelected;
  auto it = std::lower_bound(selection.begin(), selection.end(), node, ByKey);
  if (it == selection.end() || Key(*it) != Key(node) || Marked(*it)) return;
  *it = Mark(*it);
  --selectionCount;
}

void TVirtualTreeCore::ClearSelection() {
  bool hadSelection = selectionCount > 0;
  for (PVirtualNode node : selection)
    if (!Marked(node)) node->States &= ~vsSelected;
  selection.clear();
  selectionCount = 0;
  if (hadSelection) {
    Change(nullptr);
    InvalidateWhole();
  }
}

void TVirtualTreeCore::AddToSelection(PVirtualNode node) {
  if (node == nullptr || node == root || (node->States & vsSelected)) return;
  InternalAddToSelection({node}, false);
  Change(node);
  InvalidateNodeArea(node);
}

void TVirtualTreeCore::RemoveFromSelection(PVirtualNode node) {
  if (node == nullptr || !(node->States & vsSelected)) return;
  InternalRemoveFromSelection(node);
  CompactSelection();
  Change(node);
  InvalidateNodeArea(node);
}

void TVirtualTreeCore::SetSelected(PVirtualNode node, bool value) {
  if (value)
    AddToSelection(node);
  else
    RemoveFromSelection(node);
}

void TVirtualTreeCore::SelectAll(bool visibleOnly) {
  if (!options.selection.Contains(toMultiSelect)) return;
  ClearTempCache();
  PVirtualNode run = visibleOnly ? GetFirstVisibleNoInit() : GetFirstNoInit();
  while (run != nullptr) {
    if (!(run->States & vsSelected)) InternalCacheNode(run);
    run = visibleOnly ? GetNextVisibleNoInit(run) : GetNextNoInit(run);
  }
  if (!tempNodeCache.empty()) {
    InternalAddToSelection(tempNodeCache, false);
    Change(nullptr);
  }
  ClearTempCache();
  InvalidateWhole();
}

bool TVirtualTreeCore::DoFocusNode(PVirtualNode node, bool ask) {
  if (node == root) node = nullptr;
  if (node == focusedNode) return true;
  if (ask && !DoFocusChanging(focusedNode, node, focusedColumn, focusedColumn)) return false;
  PVirtualNode old = focusedNode;
  focusedNode = node;
  if (old != nullptr) InvalidateNodeArea(old);
  if (node != nullptr) InvalidateNodeArea(node);
  return true;
}

void TVirtualTreeCore::SetFocusedNode(PVirtualNode node) {
  if (node == focusedNode) return;
  if (DoFocusNode(node, true)) DoFocusChanged(focusedNode, focusedColumn);
}

void TVirtualTreeCore::SetHotNode(PVirtualNode node) {
  if (node == root) node = nullptr;
  if (node == hotNode) return;
  PVirtualNode old = hotNode;
  hotNode = node;
  DoHotChange(old, node);
}
