#pragma once
// The hint window: a borderless pop-up that shows a control's hint text. The
// application's hint manager creates one from the class the control names in
// CM_HINTSHOW (THintInfo::HintWindowClass), sizes it with CalcHintRect and
// shows it with ActivateHint; descendants draw their own content.
#include <string>

#include "win/Controls.h"

class THintWindow : public TCustomControl {
  QV_MESSAGE_MAP(THintWindow, TCustomControl)

public:
  void Create(TComponent* owner) override;

  // The window's size for hint (at most maxWidth wide), at (0, 0); an empty
  // rectangle means nothing to show. data is THintInfo::HintData.
  virtual TRect CalcHintRect(int maxWidth, const std::string& hint, void* data);
  // Shows hint at r (screen coordinates), topmost, without activating.
  virtual void ActivateHint(TRect r, const std::string& hint);
  virtual void ActivateHintData(TRect r, const std::string& hint, void* data);
  // True when msg ends the hint (a key, a click, a non-client mouse message).
  virtual bool IsHintMsg(const MSG& msg);
  // Hides the window (keeps the handle).
  virtual void ReleaseHandle();
  bool IsShown() const;

protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  void WMNCHitTest(TMessage& m);
  void CMTextChanged(TMessage& m);
};

// Makes a plain THintWindow (the default HintWindowClass).
THintWindow* NewHintWindow();
