#pragma once
// A dialog with every standard control, loaded from DialogForm.qvf.
#include <string>
#include <vector>

#include "core/PublishedMethods.h"
#include "win/Forms.h"

class TDialogForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TDialogForm, TForm, QV_METHOD(FormCreate), QV_METHOD(NameEditChange),
                       QV_METHOD(VerifyCheckClick), QV_METHOD(AlgorithmComboChange), QV_METHOD(LinkLabelEnter),
                       QV_METHOD(LinkLabelLeave), QV_METHOD(OptionsSheetShow), QV_METHOD(HelpButtonClick),
                       QV_METHOD(RefreshItemClick), QV_METHOD(TickerTimer))
  void FormCreate(TObject* sender);
  void NameEditChange(TObject* sender);
  void VerifyCheckClick(TObject* sender);
  void AlgorithmComboChange(TObject* sender);
  void LinkLabelEnter(TObject* sender);
  void LinkLabelLeave(TObject* sender);
  void OptionsSheetShow(TObject* sender);
  void HelpButtonClick(TObject* sender);
  void RefreshItemClick(TObject* sender);
  void TickerTimer(TObject* sender);

  bool created = false;
  std::vector<std::string> log;
  int ticks = 0;
};
