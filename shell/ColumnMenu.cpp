// The column menu of an explorer view's header.
#include "shell/ColumnMenu.h"

#include <set>

#include "core/MemoryStream.h"
#include "shell/ColumnForm.h"
#include "shell/ToolkitTexts.h"
#include "shell/VirtualResources.h"
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
  bool skipped = false;
  for (int i = 0; i < columns->Count(); ++i) {
    TVirtualTreeColumn* column = columns->Items(i);
    if (shellColumns) {
      bool secondary = root != nullptr && root->DetailsDefaultColumnState(i).Contains(csSecondaryUI);
      if (secondary || Items()->Count() >= tree->ColumnMenuItemCount() || column->Text().empty() ||
          captions.count(column->Text()) != 0) {
        skipped = true;
        continue;
      }
    }
    captions.insert(column->Text());
    TColumnMenuItem* item = New<TColumnMenuItem>(this);
    item->SetCaption(WideToAnsi(column->Text()));
    item->SetChecked(column->Options().Contains(coVisible));
    item->Tag = i;
    Items()->Add(item);
  }
  if (!skipped) return;
  TColumnMenuItem* separator = New<TColumnMenuItem>(this);
  separator->SetCaption("-");
  Items()->Add(separator);
  TColumnMenuItem* more = New<TColumnMenuItem>(this);
  more->SetCaption(WideToAnsi(ToolkitText("strMoreColumns", res::MoreColumns)));
  more->Tag = TColumnMenuItem::kMoreTag;
  Items()->Add(more);
}

void TColumnMenu::Popup(int x, int y) {
  RebuildItems();
  TPopupMenu::Popup(x, y);
}

TCustomVirtualExplorerTree* TColumnMenuItem::MenuTree() {
  auto* menu = dynamic_cast<TColumnMenu*>(GetParentMenu());
  return menu != nullptr ? menu->Tree() : nullptr;
}

void TColumnMenuItem::Click() {
  TCustomVirtualExplorerTree* tree = MenuTree();
  if (tree != nullptr && Tag >= 0 && Tag < tree->Header()->Columns()->Count()) {
    TVirtualTreeColumn* column = tree->Header()->Columns()->Items(Tag);
    TVTColumnOptions options = column->Options();
    if (Checked())
      options.Exclude(coVisible);
    else
      options.Include(coVisible);
    column->SetOptions(options);
    tree->StoreColumnsToStorage();
    tree->DoColumnUserChangedVisibility();
  } else if (tree != nullptr && Tag == kMoreTag) {
    RunColumnSettings(tree);
  }
  TMenuItem::Click();
}

// ---- The column settings dialog ------------------------------------------------------------

void TColumnMenuItem::FillColumnSettings(TCustomVirtualExplorerTree* tree, TFormColumnSettings* dialog) {
  TVirtualTreeColumns* columns = tree->Header()->Columns();
  TVirtualStringTree* list = dialog->VSTColumnNames();
  list->BeginUpdate();
  for (int position = 0; position < columns->Count(); ++position) {
    for (int i = 0; i < columns->Count(); ++i) {
      TVirtualTreeColumn* column = columns->Items(i);
      if (column->Position() != position) continue;
      if (!column->Text().empty() && dialog->FindTitle(column->Text()) == nullptr)
        dialog->AddColumn(column->Text(), column->Options().Contains(coVisible), column->Width(),
                          static_cast<uint32_t>(i));
      break;
    }
  }
  list->EndUpdate();
}

void TColumnMenuItem::ApplyColumnSettings(TCustomVirtualExplorerTree* tree, TFormColumnSettings* dialog) {
  TVirtualTreeColumns* columns = tree->Header()->Columns();
  TVirtualStringTree* list = dialog->VSTColumnNames();
  tree->BeginUpdate();
  int position = 0;
  for (PVirtualNode node = list->GetFirstChild(nullptr); node != nullptr; node = node->NextSibling, ++position) {
    TColumnNodeData* data = dialog->NodeData(node);
    if (data == nullptr || data->Value >= static_cast<uint32_t>(columns->Count())) continue;
    TVirtualTreeColumn* column = columns->Items(static_cast<int>(data->Value));
    column->SetPosition(position);
    TVTColumnOptions options = column->Options();
    column->SetOptions(data->Visible ? options.Include(coVisible) : options.Exclude(coVisible));
    column->SetWidth(data->Width);
  }
  tree->EndUpdate();
}

void TColumnMenuItem::ColumnSettingsUpdate(TObject* sender) {
  TCustomVirtualExplorerTree* tree = MenuTree();
  auto* dialog = dynamic_cast<TFormColumnSettings*>(sender);
  if (tree != nullptr && dialog != nullptr) ApplyColumnSettings(tree, dialog);
}

void TColumnMenuItem::RunColumnSettings(TCustomVirtualExplorerTree* tree) {
  TMemoryStream backup;
  tree->Header()->SaveToStream(&backup);
  auto restore = [tree, &backup] {
    tree->BeginUpdate();
    backup.SetPosition(0);
    tree->Header()->LoadFromStream(&backup);
    tree->Invalidate();
    tree->EndUpdate();
  };
  // Live changes are no layout of the folder until the user says OK.
  tree->SetColumnStoreSuspended(true);
  TFormColumnSettings* dialog = nullptr;
  int result = mrCancel;
  try {
    dialog = New<TFormColumnSettings>(this);
    FormColumnSettings = dialog;
    FillColumnSettings(tree, dialog);
    dialog->OnUpdate = MakeEvent<&TColumnMenuItem::ColumnSettingsUpdate>(this);
    result = dialog->ShowModal();
    if (result == mrOk) ApplyColumnSettings(tree, dialog);
  } catch (...) {
    restore();
    tree->SetColumnStoreSuspended(false);
    FormColumnSettings = nullptr;
    if (dialog != nullptr) dialog->Free();
    throw;
  }
  if (result != mrOk) restore();
  tree->SetColumnStoreSuspended(false);
  FormColumnSettings = nullptr;
  dialog->Free();
  if (result == mrOk) {
    tree->StoreColumnsToStorage();
    tree->DoColumnUserChangedVisibility();
  }
}
