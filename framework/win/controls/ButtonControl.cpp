#include "win/controls/StdCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TClassRegistrar<TButtonControl, TWinControl> kButtonControlRegistrar("TButtonControl", {
    Prop("WordWrap", &TButtonControl::WordWrap, &TButtonControl::SetWordWrap),
});

}  // namespace

void TButtonControl::Create(TComponent* owner) {
  TWinControl::Create(owner);
  TControlStyle style = ControlStyle();
  // Clicks and double clicks arrive as button notifications.
  style.Exclude(csAcceptsControls).Exclude(csSetCaption).Exclude(csClickEvents).Exclude(csDoubleClicks);
  SetControlStyle(style);
  SetTabStop(true);
}

void TButtonControl::SetWordWrap(bool value) {
  if (value == wordWrap) return;
  wordWrap = value;
  RecreateWnd();
}

void TButtonControl::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, u"BUTTON");
  if (wordWrap) params.Style |= BS_MULTILINE;
}
