#pragma once
// Controls and the form of the layer's own tests: a clickable self-painted box,
// a windowless label, and a form with handlers bound by name.
#include <string>
#include <vector>

#include "core/PublishedMethods.h"
#include "win/Controls.h"
#include "win/Forms.h"

class TTestBox : public TCustomControl {
  QV_MESSAGE_MAP(TTestBox, TCustomControl)

public:
  void Create(TComponent* owner) override;
  int privateMessages = 0;

protected:
  void Paint() override;
  void WMTreePrivate(TMessage& m);
};

// Overrides the private message and passes it on to TTestBox's handler.
class TDerivedBox : public TTestBox {
  QV_MESSAGE_MAP(TDerivedBox, TTestBox)

public:
  int derivedMessages = 0;

protected:
  void WMTreePrivate2(TMessage& m);
};

class TTestLabel : public TGraphicControl {
protected:
  void Paint() override;
};

class TSampleForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TSampleForm, TForm, QV_METHOD(FormCreate), QV_METHOD(FormCloseQuery), QV_METHOD(BoxClick),
                       QV_METHOD(BoxDblClick), QV_METHOD(Box2Click), QV_METHOD(LabelClick), QV_METHOD(OkBoxClick))
  void FormCreate(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void BoxClick(TObject* sender);
  void BoxDblClick(TObject* sender);
  void Box2Click(TObject* sender);
  void LabelClick(TObject* sender);
  void OkBoxClick(TObject* sender);

  bool created = false;
  bool allowClose = true;
  // Refuses the first close, then asks to be closed again.
  bool refuseOnce = false;
  int closeQueries = 0;
  std::vector<std::string> log;
  // What Box2's click does: nothing, release the form, or free it at once.
  enum { kNothing, kPumpAndRelease, kFreeNow } box2Action = kNothing;
};
