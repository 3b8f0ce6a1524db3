// The published views of the two drop-downs' settings.
#include "shell/ExplorerCombobox.h"

int TPopupOptionsView::Indent() const { return static_cast<int>(tree->Indent()); }
void TPopupOptionsView::SetIndent(int v) { tree->SetIndent(static_cast<uint32_t>(std::max(0, v))); }

void TPopupExplorerOptions::Create(TPopupExplorerDropDown* dropDown_) {
  TPersistent::Create();
  explorer = dropDown_;
  Bind(dropDown_, dropDown_->PopupExplorerTree());
  SetIndent(10);
}

void TPopupAutoCompleteOptions::Create(TPopupAutoCompleteDropDown* dropDown_) {
  TPersistent::Create();
  list = dropDown_->PopupAutoCompleteTree();
  Bind(dropDown_, list);
  SetIndent(0);
  // 99: the current folder, My Computer, folders and files.
  SetContents(SetFromMask<TAutoCompleteContents, TAutoCompleteContent>(99, 10));
}
