// The column menu of an explorer view's header.
#include "shell/ColumnMenu.h"

#include <set>

#include "win/TextConvert.h"

void TColumnMenu::Create(TComponent* owner) {
  TPopupMenu::Create(owner);
  tree = dynamic_cast<TCustomVirtualExplorerTree*>(owner);
}

void TColumnMenu::RebuildItems() {
  Items()->Clear();
  if (tree == nullptr) return;
  TVirtualTreeColumns* columns = tree->Header()->Columns();
  bool shellColumns = tree->ColumnDetails() == cdShellColumns;
  TNamespace* root = tree->RootNamespace();
  std::set<std::u16string> captions;
  for (int i = 0; i < columns->Count(); ++i) {
    TVirtualTreeColumn* column = columns->Items(i);
    if (shellColumns) {
      bool secondary = root != nullptr && root->DetailsDefaultColumnState(i).Contains(csSecondaryUI);
      if (secondary || Items()->Count() >= tree->ColumnMenuItemCount() || column->Text().empty() ||
          captions.count(column->Text()) != 0)
        continue;
    }
    captions.insert(column->Text());
    TColumnMenuItem* item = New<TColumnMenuItem>(this);
    item->SetCaption(WideToAnsi(column->Text()));
    item->SetChecked(column->Options().Contains(coVisible));
    item->Tag = i;
    Items()->Add(item);
  }
}

void TColumnMenu::Popup(int x, int y) {
  RebuildItems();
  TPopupMenu::Popup(x, y);
}

void TColumnMenuItem::Click() {
  auto* menu = dynamic_cast<TColumnMenu*>(GetParentMenu());
  TCustomVirtualExplorerTree* tree = menu != nullptr ? menu->Tree() : nullptr;
  if (tree != nullptr && Tag >= 0 && Tag < tree->Header()->Columns()->Count()) {
    TVirtualTreeColumn* column = tree->Header()->Columns()->Items(Tag);
    TVTColumnOptions options = column->Options();
    if (Checked())
      options.Exclude(coVisible);
    else
      options.Include(coVisible);
    column->SetOptions(options);
    tree->DoColumnUserChangedVisibility();
  }
  TMenuItem::Click();
}
