// The system tree view's messages that accessibility tools and test drivers
// send: item rectangles, navigation and item data. Item handles are node
// pointers; they and the caller's buffers come from other code, so every
// handle is looked up in the tree before it is touched and text never goes
// past the buffer the caller gave.
#include <commctrl.h>

#include <algorithm>

#include "win/TextConvert.h"
#include "tree/VirtualTrees.h"

namespace {
// The focus bit of an item state (the MinGW headers lack it).
constexpr UINT kItemFocused = 0x0001;
}  // namespace

bool TBaseVirtualTree::IsNodeOfTree(PVirtualNode node) const { return IsLinkedRecord(node); }

void TBaseVirtualTree::TVMGetItemRect(TMessage& m) {
  m.Result = 0;
  auto* rect = reinterpret_cast<RECT*>(m.LParam);
  if (rect == nullptr) return;
  PVirtualNode node = *reinterpret_cast<PVirtualNode*>(rect);
  if (!IsNodeOfTree(node)) return;
  TCallOutScope scope(*this);
  if (!(node->States & vsInitialized)) InitNode(node);
  if (Gone(node) || !(node->States & vsVisible)) return;
  TRect r = GetDisplayRect(node, NoColumn, m.WParam != 0);
  *rect = RECT{r.Left, r.Top, r.Right, r.Bottom};
  m.Result = 1;
}

void TBaseVirtualTree::TVMGetNextItem(TMessage& m) {
  m.Result = 0;
  auto node = reinterpret_cast<PVirtualNode>(m.LParam);
  bool needsNode = m.WParam != TVGN_ROOT && m.WParam != TVGN_FIRSTVISIBLE && m.WParam != TVGN_DROPHILITE &&
                   m.WParam != TVGN_CARET && m.WParam != TVGN_LASTVISIBLE;
  if (needsNode && !IsNodeOfTree(node)) return;
  PVirtualNode result = nullptr;
  switch (m.WParam) {
    case TVGN_ROOT: result = GetFirst(); break;
    case TVGN_NEXT: result = GetNextSibling(node); break;
    case TVGN_PREVIOUS: result = GetPreviousSibling(node); break;
    case TVGN_PARENT: result = node->Parent == root ? nullptr : node->Parent; break;
    case TVGN_CHILD: result = GetFirstChild(node); break;
    case TVGN_FIRSTVISIBLE: result = GetFirstVisible(); break;
    case TVGN_NEXTVISIBLE: result = GetNextVisible(node); break;
    case TVGN_PREVIOUSVISIBLE: result = GetPreviousVisible(node); break;
    case TVGN_DROPHILITE: result = dropTargetNode; break;
    case TVGN_CARET: result = focusedNode; break;
    case TVGN_LASTVISIBLE: result = GetLastVisible(); break;
    default: return;
  }
  m.Result = reinterpret_cast<LRESULT>(result);
}

void TBaseVirtualTree::TVMGetItem(TMessage& m) {
  m.Result = 0;
  auto* item = reinterpret_cast<TVITEMA*>(m.LParam);
  if (item == nullptr || !(item->mask & TVIF_HANDLE)) return;
  auto node = reinterpret_cast<PVirtualNode>(item->hItem);
  if (!IsNodeOfTree(node)) return;
  if ((item->mask & TVIF_TEXT) && (item->pszText == nullptr || item->cchTextMax <= 0)) return;
  TCallOutScope scope(*this);
  if (!(node->States & vsInitialized)) InitNode(node);
  if (Gone(node)) return;
  if (item->mask & TVIF_CHILDREN) item->cChildren = static_cast<int>(GetChildCount(node));
  if (item->mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
    bool ghosted = false;
    int index = -1;
    if (item->mask & TVIF_IMAGE) {
      DoGetImageIndex(node, ikNormal, NoColumn, ghosted, index);
      item->iImage = index;
    }
    if (item->mask & TVIF_SELECTEDIMAGE) {
      index = -1;
      DoGetImageIndex(node, ikSelected, NoColumn, ghosted, index);
      item->iSelectedImage = index;
    }
  }
  if (item->mask & TVIF_STATE) {
    UINT state = 0;
    if (node == focusedNode) state |= kItemFocused;
    if (node->States & vsSelected) state |= TVIS_SELECTED;
    if (node->States & vsCutOrCopy) state |= TVIS_CUT;
    if (node == dropTargetNode) state |= TVIS_DROPHILITED;
    if (node->States & vsExpanded) state |= TVIS_EXPANDED;
    bool ghosted = false;
    int index = -1;
    DoGetImageIndex(node, ikState, NoColumn, ghosted, index);
    state |= INDEXTOSTATEIMAGEMASK(index + 1);
    index = -1;
    DoGetImageIndex(node, ikOverlay, NoColumn, ghosted, index);
    state |= INDEXTOOVERLAYMASK(index + 1);
    item->stateMask = 0xFF2F;
    item->state = state;
  }
  if (item->mask & TVIF_TEXT) {
    TRect r;
    std::u16string wide;
    GetTextInfo(node, NoColumn, Font(), r, wide);
    std::string text = WideToAnsi(wide);
    size_t count = std::min(text.size(), static_cast<size_t>(item->cchTextMax - 1));
    std::copy_n(text.data(), count, item->pszText);
    item->pszText[count] = '\0';
  }
  m.Result = 1;
}
