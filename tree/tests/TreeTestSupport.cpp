#include "TreeTestSupport.h"

#include <algorithm>
#include <set>

namespace {
constexpr uint16_t kTransient = vsChecking | vsDeleting | vsClearing | vsToggling;

std::string Where(PVirtualNode node) {
  return " at node index " + std::to_string(node->Index) + " (count " + std::to_string(node->ChildCount) + ")";
}

std::string CheckNode(TVirtualTreeCore& tree, PVirtualNode node, bool isRoot) {
  uint64_t count = 1;
  uint64_t height = node->NodeHeight;
  uint32_t index = 0;
  PVirtualNode previous = nullptr;
  bool anyVisible = false;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling, ++index) {
    if (child->Parent != node) return "parent link" + Where(child);
    if (child->PrevSibling != previous) return "previous link" + Where(child);
    if (child->Index != index) return "index " + std::to_string(child->Index) + " expected " + std::to_string(index);
    if (child->States & kTransient) return "transient state left" + Where(child);
    std::string inner = CheckNode(tree, child, false);
    if (!inner.empty()) return inner;
    count += child->TotalCount;
    if ((node->States & vsExpanded) && (child->States & vsVisible)) height += child->TotalHeight;
    if (child->States & vsVisible) anyVisible = true;
    previous = child;
  }
  if (node->LastChild != previous) return "last child link" + Where(node);
  if (node->ChildCount != index) return "child count " + std::to_string(node->ChildCount) + " vs chain " +
                                        std::to_string(index);
  if (node->TotalCount != count) return "total count" + Where(node);
  if (node->TotalHeight != height)
    return "total height " + std::to_string(node->TotalHeight) + " expected " + std::to_string(height) + Where(node);
  if (!isRoot && index > 0 && tree.UpdateCount() == 0 &&
      ((node->States & vsAllChildrenHidden) != 0) == anyVisible)
    return "hidden-children flag" + Where(node);
  if (index > 0 && !(node->States & vsHasChildren)) return "children without vsHasChildren" + Where(node);
  return "";
}
}  // namespace

std::vector<PVirtualNode> AllNodes(TVirtualTreeCore& tree) {
  std::vector<PVirtualNode> result;
  // Links that run in a circle end the walk (the counts then tell).
  size_t bound = size_t(tree.RootNode()->TotalCount) * 2 + 16;
  for (PVirtualNode run = tree.GetFirstNoInit(); run != nullptr && result.size() < bound; run = tree.GetNextNoInit(run))
    result.push_back(run);
  return result;
}

static void CollectShown(PVirtualNode node, std::vector<PVirtualNode>& out) {
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    if (!(child->States & vsVisible)) continue;
    out.push_back(child);
    if (child->States & vsExpanded) CollectShown(child, out);
  }
}

std::vector<PVirtualNode> ShownNodes(TVirtualTreeCore& tree) {
  std::vector<PVirtualNode> result;
  CollectShown(tree.RootNode(), result);
  return result;
}

std::string CheckTreeInvariants(TVirtualTreeCore& tree) {
  PVirtualNode root = tree.RootNode();
  std::string result = CheckNode(tree, root, true);
  if (!result.empty()) return result;
  if (root->TotalCount != 1 + AllNodes(tree).size()) return "root total count";
  std::vector<PVirtualNode> shown = ShownNodes(tree);
  if (tree.VisibleCount() != shown.size())
    return "visible count " + std::to_string(tree.VisibleCount()) + " expected " + std::to_string(shown.size());
  // Selection: exactly the nodes carrying vsSelected, each once.
  std::set<PVirtualNode> flagged;
  for (PVirtualNode run : AllNodes(tree))
    if (run->States & vsSelected) flagged.insert(run);
  if (tree.UpdateCount() == 0 && tree.SelectedCount() != flagged.size())
    return "selection count " + std::to_string(tree.SelectedCount()) + " vs " + std::to_string(flagged.size());
  return "";
}

PVirtualNode LinearNodeAt(TVirtualTreeCore& tree, int64_t y, int64_t& top) {
  int64_t position = 0;
  for (PVirtualNode node : ShownNodes(tree)) {
    if (y >= position && y < position + node->NodeHeight) {
      top = position;
      return node;
    }
    position += node->NodeHeight;
  }
  top = position;
  return nullptr;
}

static void Describe(PVirtualNode node, std::string& out, bool withStates) {
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    out += "(";
    out += std::to_string(child->NodeHeight) + "," + std::to_string(child->CheckState) + "," +
           std::to_string(child->CheckType) + "," + std::to_string(child->Align);
    if (withStates) out += "," + std::to_string(child->States & kStoredNodeStates);
    Describe(child, out, withStates);
    out += ")";
  }
}

std::string DescribeTree(TVirtualTreeCore& tree, bool withStates) {
  std::string out;
  Describe(tree.RootNode(), out, withStates);
  return out;
}

PVirtualNode TTestTree::AppendChain(PVirtualNode parent, int depth, bool expanded) {
  std::vector<PVirtualNode> chain;
  for (int i = 0; i < depth; ++i) {
    PVirtualNode node = MakeNewNode();
    node->States |= vsInitialized;
    if (i + 1 < depth) node->States |= vsHasChildren | (expanded ? vsExpanded : 0);
    if (!chain.empty()) {
      node->Parent = chain.back();
      chain.back()->FirstChild = chain.back()->LastChild = node;
      chain.back()->ChildCount = 1;
    }
    chain.push_back(node);
  }
  for (size_t i = chain.size(); i-- > 0;) {
    PVirtualNode node = chain[i];
    PVirtualNode below = i + 1 < chain.size() ? chain[i + 1] : nullptr;
    node->TotalCount = 1 + (below != nullptr ? below->TotalCount : 0);
    node->TotalHeight = node->NodeHeight + (below != nullptr && expanded ? below->TotalHeight : 0);
  }
  InternalConnectNode(chain.front(), parent, this, amAddChildLast);
  return chain.front();
}
