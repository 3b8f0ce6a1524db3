// The auto-complete drop-down: the candidates for the typed text. The arrow
// and page keys move the selection and write it into the edit; every other
// key goes on to the edit, so typing continues while the list is open.
#include "shell/ExplorerCombobox.h"

const TMessageMap* TPopupAutoCompleteDropDown::ClassMessageMap() {
  static const TMessageMap map(TDropDownWnd::ClassMessageMap(), {
      OnMessage(WM_VSCROLL, &TPopupAutoCompleteDropDown::WMVScroll),
  });
  return &map;
}

void TPopupAutoCompleteDropDown::Create(TComponent* owner) {
  TDropDownWnd::Create(owner);
  tree = CreatePopupAutoCompleteTree();
  tree->SetPopupAutoCompleteDropDown(this);
  tree->SetParent(this);
  if (Options().Contains(poThemeAware))
    tree->TreeOptions()->SetPaintOptions(tree->TreeOptions()->PaintOptions() + TVTPaintOptions{toThemeAware});
  ScrollBar()->SetAttachedControl(this);
  ScrollBar()->SetVisible(false);
  SetDropDownCount(8);
}

TPopupAutoCompleteTree* TPopupAutoCompleteDropDown::CreatePopupAutoCompleteTree() {
  return New<TPopupAutoCompleteTree>(this);
}

void TPopupAutoCompleteDropDown::LayoutStep() { dropdown_detail::SyncScrollBar(this, tree); }

void TPopupAutoCompleteDropDown::DoRollDownInit() {
  if (PVirtualNode node = tree->GetFirstSelected()) tree->SetFocusedNode(node);
  LayoutStep();
}

void TPopupAutoCompleteDropDown::MoveSelection(WPARAM key) {
  PVirtualNode node = tree->GetFirstSelected();
  if (node == nullptr) {
    node = tree->GetFirst();
  } else {
    int page = std::max(1, tree->ClientHeight() / static_cast<int>(std::max<uint32_t>(1, tree->DefaultNodeHeight())));
    int steps = (key == VK_PRIOR || key == VK_NEXT) ? page : 1;
    bool forward = key == VK_DOWN || key == VK_NEXT;
    for (int i = 0; i < steps; ++i) {
      PVirtualNode next = forward ? tree->GetNextVisible(node) : tree->GetPreviousVisible(node);
      if (next == nullptr) break;
      node = next;
    }
  }
  if (node == nullptr) return;
  tree->BeginUpdate();
  tree->ClearSelection();
  tree->SetSelected(node, true);
  tree->EndUpdate();
  tree->ScrollIntoView(node, /*center=*/false);
  LayoutStep();
  if (combo != nullptr) {
    TComboEdit* edit = combo->ComboEdit();
    std::u16string text = tree->Candidate(node);
    edit->SetTextW(text);
    edit->SetSelStart(static_cast<int>(text.size()));
    edit->SetSelLength(0);
  }
}

void TPopupAutoCompleteDropDown::KeyHandler(MSG& msg, bool& handled) {
  if (msg.message != WM_KEYDOWN) return;
  WPARAM key = msg.wParam == VK_TAB ? VK_DOWN : msg.wParam;
  if (key != VK_PRIOR && key != VK_NEXT && key != VK_UP && key != VK_DOWN) return;
  MoveSelection(key);
  handled = true;
}

void TPopupAutoCompleteDropDown::RollUp(bool accept) {
  if (!DroppedDown()) return;
  TDropDownWnd::RollUp(accept);
  // OnRollUp may have freed this window.
  if (Going()) return;
  std::u16string chosen = tree->Candidate(tree->GetFirstSelected());
  tree->Clear();
  if (accept && combo != nullptr) {
    if (!chosen.empty()) combo->ComboEdit()->SetTextW(chosen);
    combo->ComboEdit()->ResolveText();
  }
}

void TPopupAutoCompleteDropDown::WMVScroll(TMessage& m) { dropdown_detail::ScrollTreeFromBar(this, tree, m); }
