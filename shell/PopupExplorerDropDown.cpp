// The explorer drop-down: a small folder tree that opens at the combo box's
// folder; its keys and the owner-drawn bar drive the tree, and closing
// accepted makes the chosen folder the combo box's.
#include "shell/ExplorerCombobox.h"
#include "shell/VirtualPIDLTools.h"

const TMessageMap* TPopupExplorerDropDown::ClassMessageMap() {
  static const TMessageMap map(TDropDownWnd::ClassMessageMap(), {
      OnMessage(WM_VSCROLL, &TPopupExplorerDropDown::WMVScroll),
  });
  return &map;
}

void TPopupExplorerDropDown::Create(TComponent* owner) {
  TDropDownWnd::Create(owner);
  tree = CreatePopupExplorerTree();
  tree->SetPopupExplorerDropDown(this);
  tree->SetParent(this);
  ScrollBar()->SetAttachedControl(this);
  ScrollBar()->SetVisible(false);
  SetDropDownCount(8);
}

TPopupExplorerDropDown::~TPopupExplorerDropDown() { ILFree(std::exchange(targetPIDL, nullptr)); }

TPopupExplorerTree* TPopupExplorerDropDown::CreatePopupExplorerTree() { return New<TPopupExplorerTree>(this); }

void TPopupExplorerDropDown::SetComboBoxStyle(vst::TComboBoxStyle value) {
  comboBoxStyle = value;
  TVTPaintOptions paint = tree->TreeOptions()->PaintOptions();
  paint.Set(toShowButtons, value == cbsVETEnhanced).Set(toShowTreeLines, value == cbsVETEnhanced);
  tree->TreeOptions()->SetPaintOptions(paint);
}

void TPopupExplorerDropDown::SetTargetPIDL(LPCITEMIDLIST pidl) {
  ILFree(std::exchange(targetPIDL, nullptr));
  if (pidl != nullptr) targetPIDL = ILClone(pidl);
}

void TPopupExplorerDropDown::LayoutStep() { dropdown_detail::SyncScrollBar(this, tree); }

void TPopupExplorerDropDown::DoRollDownInit() {
  tree->SetActive(true);
  if (targetPIDL != nullptr) {
    tree->BrowseTo(targetPIDL, /*expandTarget=*/false, /*expandPath=*/selectTarget, /*collapseFirst=*/false,
                   /*focusTree=*/false, /*selectTarget=*/selectTarget);
    if (!selectTarget) {
      tree->ClearSelection();
      tree->ScrollIntoView(tree->GetFirst(), /*center=*/false);
    }
  } else {
    tree->ClearSelection();
    tree->ScrollIntoView(tree->GetFirst(), /*center=*/false);
  }
  if (PVirtualNode node = tree->GetFirstSelected()) tree->SetFocusedNode(node);
  LayoutStep();
}

void TPopupExplorerDropDown::RollUp(bool accept) {
  if (!DroppedDown()) return;
  TDropDownWnd::RollUp(accept);
  // OnRollUp may have freed this window.
  if (Going()) return;
  ILFree(std::exchange(targetPIDL, nullptr));
  if (accept && combo != nullptr) {
    if (TNamespace* ns = tree->NodeNamespace(tree->GetFirstSelected())) combo->SetActiveNamespace(ns);
  }
  tree->SetActive(false);
}

void TPopupExplorerDropDown::KeyHandler(MSG& msg, bool& handled) {
  if (msg.message == WM_CHAR) {
    // The key that produced it was handled or closed the drop-down already.
    handled = DroppedDown();
    return;
  }
  WPARAM key = msg.wParam == VK_TAB ? VK_DOWN : msg.wParam;
  switch (key) {
    case VK_PRIOR: case VK_NEXT: case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT:
    case VK_ADD: case VK_SUBTRACT: {
      if (tree->GetFirstSelected() == nullptr && tree->GetFirst() != nullptr) {
        tree->SetSelected(tree->GetFirst(), true);
        tree->SetFocusedNode(tree->GetFirst());
      } else {
        tree->Perform(WM_KEYDOWN, key, msg.lParam);
      }
      if (PVirtualNode node = tree->GetFirstSelected())
        tree->ScrollIntoView(node, /*center=*/false,
                             tree->TreeOptions()->VETMiscOptions().Contains(toAutoScrollHorz));
      LayoutStep();
      handled = true;
      return;
    }
    case VK_RETURN: case VK_ESCAPE:
      return;  // the loop closes on these
    default:
      RollUp(false);
      return;
  }
}

void TPopupExplorerDropDown::WMVScroll(TMessage& m) { dropdown_detail::ScrollTreeFromBar(this, tree, m); }
