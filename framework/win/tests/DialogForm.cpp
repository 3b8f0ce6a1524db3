#include "DialogForm.h"

#include "win/ClassInfo.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"

namespace {
const TClassRegistrar<TDialogForm, TForm> kDialogForm("TDialogForm", {});
}  // namespace

void TDialogForm::FormCreate(TObject*) {
  created = true;
  // Fill the list view in code, as the wizard does.
  auto* list = static_cast<TListView*>(FindComponent("FileList"));
  const char* rows[][2] = {{"report.doc", "12 KB"}, {"photo.jpg", "2 MB"}, {"notes.txt", "1 KB"}};
  for (auto& row : rows) {
    TListItem* item = list->Items()->Add();
    item->SetCaption(row[0]);
    item->SubItems()->Add(row[1]);
  }
}

void TDialogForm::NameEditChange(TObject*) { log.push_back("name changed"); }
void TDialogForm::VerifyCheckClick(TObject*) { log.push_back("verify clicked"); }
void TDialogForm::AlgorithmComboChange(TObject*) { log.push_back("algorithm changed"); }

void TDialogForm::LinkLabelEnter(TObject* sender) {
  auto* label = static_cast<TControl*>(sender);
  label->Font()->SetStyle(TFontStyles{fsUnderline});
}

void TDialogForm::LinkLabelLeave(TObject* sender) { static_cast<TControl*>(sender)->Font()->SetStyle(TFontStyles{}); }

void TDialogForm::OptionsSheetShow(TObject*) { log.push_back("options shown"); }

// Help buttons send a single F1 key-down, so help follows the focused control.
void TDialogForm::HelpButtonClick(TObject*) { keybd_event(VK_F1, 0, 0, 0); }

void TDialogForm::RefreshItemClick(TObject*) { log.push_back("refresh"); }

void TDialogForm::TickerTimer(TObject*) { ++ticks; }
