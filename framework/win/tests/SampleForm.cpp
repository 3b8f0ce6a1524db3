#include "SampleForm.h"

#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"

namespace {
const TClassRegistrar<TTestBox, TCustomControl> kTestBox("TTestBox", {});
const TClassRegistrar<TDerivedBox, TTestBox> kDerivedBox("TDerivedBox", {});
const TClassRegistrar<TTestLabel, TGraphicControl> kTestLabel("TTestLabel", {});
const TClassRegistrar<TSampleForm, TForm> kSampleForm("TSampleForm", {});
}  // namespace

const TMessageMap* TTestBox::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(0x8020, &TTestBox::WMTreePrivate),
  });
  return &map;
}

void TTestBox::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  SetBounds(0, 0, 50, 50);
}

void TTestBox::Paint() {
  TRect r = ClientRect();
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(r);
  Canvas()->Brush()->SetStyle(bsClear);
  Canvas()->DrawText(AnsiToWide(Caption()), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void TTestBox::WMTreePrivate(TMessage& m) {
  ++privateMessages;
  m.Result = 42;
}

const TMessageMap* TDerivedBox::ClassMessageMap() {
  static const TMessageMap map(TTestBox::ClassMessageMap(), {
      OnMessage(0x8020, &TDerivedBox::WMTreePrivate2),
  });
  return &map;
}

void TDerivedBox::WMTreePrivate2(TMessage& m) {
  ++derivedMessages;
  Inherited(ClassMessageMap(), m);
  m.Result += 1;
}

void TTestLabel::Paint() {
  TRect r = ClientRect();
  Canvas()->Brush()->SetStyle(bsClear);
  Canvas()->DrawText(AnsiToWide(Caption()), r, DT_LEFT | DT_SINGLELINE);
}

void TSampleForm::FormCreate(TObject*) { created = true; }

void TSampleForm::FormCloseQuery(TObject*, bool& canClose) {
  ++closeQueries;
  canClose = allowClose;
  if (refuseOnce) {
    refuseOnce = false;
    canClose = false;
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
  }
}

void TSampleForm::BoxClick(TObject* sender) { log.push_back("click " + static_cast<TComponent*>(sender)->Name()); }

void TSampleForm::BoxDblClick(TObject* sender) { log.push_back("dblclick " + static_cast<TComponent*>(sender)->Name()); }

void TSampleForm::LabelClick(TObject*) { log.push_back("label"); }

void TSampleForm::OkBoxClick(TObject*) { SetModalResult(mrOk); }

void TSampleForm::Box2Click(TObject*) {
  log.push_back("box2");
  if (box2Action == kPumpAndRelease) {
    Release();
    Application->ProcessMessages();  // re-enters the loop; the form goes here
  } else if (box2Action == kFreeNow) {
    Free();
  }
}
