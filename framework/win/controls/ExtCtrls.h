#pragma once
// Panel, bevel and image. Each lives in its own .cpp, which also
// registers its published properties for form definitions.
#include <windows.h>

#include <cstdint>

#include "win/Controls.h"
#include "win/Forms.h"
#include "win/graphics/Graphics.h"

using TPanelBevel = TBevelCut;

// A container with optional raised or lowered bevels and a centred caption.
class TPanel : public TCustomControl {
  QV_MESSAGE_MAP(TPanel, TCustomControl)

public:
  void Create(TComponent* owner) override;

  TPanelBevel BevelInner() const { return bevelInner; }
  void SetBevelInner(TPanelBevel value);
  TPanelBevel BevelOuter() const { return bevelOuter; }
  void SetBevelOuter(TPanelBevel value);
  int BevelWidth() const { return bevelWidth; }
  void SetBevelWidth(int value);
  int BorderWidth() const { return borderWidth; }
  void SetBorderWidth(int value);
  // bsNone or bsSingle (a black line inside the window edge).
  TFormBorderStyle BorderStyle() const { return borderStyle; }
  void SetBorderStyle(TFormBorderStyle value);
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  // False paints no caption (children only).
  bool ShowCaption() const { return showCaption; }
  void SetShowCaption(bool value);

protected:
  void Paint() override;
  void AdjustClientRect(TRect& r) const override;
  void CMTextChanged(TMessage& m);

private:
  int FrameWidth() const;

  TPanelBevel bevelInner = bvNone;
  TPanelBevel bevelOuter = bvRaised;
  int bevelWidth = 1;
  int borderWidth = 0;
  TFormBorderStyle borderStyle = bsNone;
  TAlignment alignment = taCenter;
  bool showCaption = true;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

// An etched line or frame drawn on the parent.
class TBevel : public TGraphicControl {
public:
  void Create(TComponent* owner) override;
  TBevelShape Shape() const { return shape; }
  void SetShape(TBevelShape value);
  TBevelStyle Style() const { return style; }
  void SetStyle(TBevelStyle value);

protected:
  void Paint() override;

private:
  TBevelShape shape = bsBox;
  TBevelStyle style = bsLowered;
};

// Shows a picture (bitmap, icon or JPEG): in its own size at the top left, centred, or stretched.
class TImage : public TGraphicControl {
public:
  void Create(TComponent* owner) override;
  ~TImage() override;

  TPicture* Picture() const { return picture; }
  // Copies value (null empties the picture).
  void SetPicture(TPicture* value);
  bool Stretch() const { return stretch; }
  void SetStretch(bool value);
  // Keeps the picture's proportions when stretching (and never enlarges it).
  bool Proportional() const { return proportional; }
  void SetProportional(bool value);
  bool Center() const { return center; }
  void SetCenter(bool value);
  // Leaves the picture's transparent parts showing the parent.
  bool Transparent() const { return transparent; }
  void SetTransparent(bool value);
  // Sizes the control to the picture.
  bool AutoSize() const { return autoSize; }
  void SetAutoSize(bool value);

  // Where the picture is drawn inside the control.
  TRect DestRect() const;

protected:
  void Paint() override;

private:
  void PictureChanged(TObject* sender);

  TPicture* picture = nullptr;  // owned
  bool stretch = false;
  bool proportional = false;
  bool center = false;
  bool transparent = false;
  bool autoSize = false;
};
