#pragma once
// A dialog with every standard control, loaded from its definition text, with
// its handlers bound by name; the controls' tests drive it.
#include <string>

#include "core/PublishedMethods.h"
#include "win/Forms.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/ExtCtrls.h"
#include "win/controls/Menus.h"
#include "win/controls/StdCtrls.h"

class TControlsForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TControlsForm, TForm, QV_METHOD(CheckClick), QV_METHOD(RadioClick), QV_METHOD(RadioDblClick),
                       QV_METHOD(ComboChange), QV_METHOD(EditChange), QV_METHOD(ListChange), QV_METHOD(ListClick),
                       QV_METHOD(ListDblClick), QV_METHOD(SheetShow), QV_METHOD(ButtonClick), QV_METHOD(MenuClick),
                       QV_METHOD(ListBoxClick))
  void CheckClick(TObject* sender) { ++checkClicks; }
  void RadioClick(TObject* sender) { lastRadio = static_cast<TComponent*>(sender)->Name(), ++radioClicks; }
  void RadioDblClick(TObject* sender) { ++radioDblClicks; }
  void ComboChange(TObject* sender) { ++comboChanges; }
  void EditChange(TObject* sender) { ++editChanges; }
  void ListChange(TObject* sender, TListItem* item, TItemChange change) { ++listChanges; }
  void ListClick(TObject* sender) { ++listClicks; }
  void ListDblClick(TObject* sender) { ++listDblClicks; }
  void SheetShow(TObject* sender) { shownSheets += static_cast<TComponent*>(sender)->Name() + ";"; }
  void ButtonClick(TObject* sender) { ++buttonClicks; }
  void MenuClick(TObject* sender) { ++menuClicks; }
  void ListBoxClick(TObject* sender) { ++listBoxClicks; }

  int checkClicks = 0, radioClicks = 0, radioDblClicks = 0, comboChanges = 0, editChanges = 0;
  int listChanges = 0, listClicks = 0, listDblClicks = 0, buttonClicks = 0, menuClicks = 0, listBoxClicks = 0;
  std::string lastRadio;
  std::string shownSheets;
};

// The definition text of TControlsForm.
extern const char* const kControlsFormDefinition;
