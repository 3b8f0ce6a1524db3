#pragma once
// TDProgressBar: the system progress bar ("msctls_progress32") always in its
// marquee style, with a timer that keeps the marquee moving while Animate is
// on. Registered for form definitions as "TDProgressBar".
#include <cstdint>

#include "win/Controls.h"

class TTimer;

enum TDProgressBarOrientation { pbdHorizontal, pbdVertical };

class TDProgressBar : public TWinControl {
public:
  // Width 150, height SM_CYVSCROLL, range 0..100, Step 100, Speed 50 ms.
  void Create(TComponent* owner) override;

  // Min above Max raises EInvalidOperation "TDProgressBar property out of
  // range"; without 32-bit mode a value outside 0..65535 raises
  // "Value must be between 0 and 65535". The range is unchanged then.
  int32_t Min() const;
  void SetMin(int32_t value);
  int32_t Max() const;
  void SetMax(int32_t value);
  void SetRange(int32_t newMin, int32_t newMax);
  // From the window when it exists, else the stored value.
  int32_t Position() const;
  void SetPosition(int32_t value);
  int32_t Step() const { return step; }
  void SetStep(int32_t value);
  // Stored only; changing either re-creates the window (its style stays the same).
  TDProgressBarOrientation Orientation() const { return orientation; }
  void SetOrientation(TDProgressBarOrientation value);
  bool Smooth() const { return smooth; }
  void SetSmooth(bool value);
  // The timer exists exactly while Animate is on; each tick sets Position 100.
  bool Animate() const { return animate; }
  void SetAnimate(bool value);
  // Timer interval in milliseconds.
  uint32_t Speed() const { return speed; }
  void SetSpeed(uint32_t value);

  // The animation timer, or null while not animating.
  TTimer* AnimationTimer() const { return timer; }
  // True when the range messages take 32-bit values.
  bool Mode32Bit() const { return mode32Bit; }

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  // For tests of the 16-bit range rules.
  void SetMode32Bit(bool value) { mode32Bit = value; }
  // The timer's tick: sets Position 100, moving the marquee one step.
  void AnimationTick(TObject* sender);

private:
  void SendRange(int32_t newMin, int32_t newMax);
  void CheckValue16(int32_t value) const;

  bool mode32Bit = true;
  int32_t min = 0;
  int32_t max = 100;
  int32_t position = 0;  // kept while there is no window
  int32_t step = 100;
  TDProgressBarOrientation orientation = pbdHorizontal;
  bool smooth = false;
  bool animate = false;
  TTimer* timer = nullptr;  // owned (as a component of this bar) while animating
  uint32_t speed = 50;
};
