#include "win/Controls.h"
#include "win/graphics/Graphics.h"

// ---------------------------------------------------------------------------
// TGraphicControl: painted by its parent, which hands it its DC (already moved
// to the control's origin and clipped to its bounds) in WM_PAINT's WParam.

const TMessageMap* TGraphicControl::ClassMessageMap() {
  static const TMessageMap map(TControl::ClassMessageMap(), {
      OnMessage(WM_PAINT, &TGraphicControl::WMPaint),
  });
  return &map;
}

void TGraphicControl::Create(TComponent* owner) {
  TControl::Create(owner);
  canvas = New<TCanvas>();
}

TGraphicControl::~TGraphicControl() {
  if (canvas != nullptr) canvas->Free();
}

void TGraphicControl::WMPaint(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  if (dc == nullptr) return;
  canvas->SetHandle(dc);
  try {
    canvas->Font()->Assign(Font());
    Paint();
  } catch (...) {
    canvas->SetHandle(nullptr);
    throw;
  }
  canvas->SetHandle(nullptr);
}

// ---------------------------------------------------------------------------
// TCustomControl: a window that paints itself.

const TMessageMap* TCustomControl::ClassMessageMap() {
  static const TMessageMap map(TWinControl::ClassMessageMap(), {});
  return &map;
}

void TCustomControl::Create(TComponent* owner) {
  TWinControl::Create(owner);
  canvas = New<TCanvas>();
}

TCustomControl::~TCustomControl() {
  if (canvas != nullptr) canvas->Free();
}

void TCustomControl::PaintWindow(HDC dc) {
  canvas->SetHandle(dc);
  // A paint handler may free the control, and the canvas with it.
  TAliveToken token = Alive();
  try {
    canvas->Font()->Assign(Font());
    canvas->Brush()->SetColor(Color());
    Paint();
  } catch (...) {
    if (*token) canvas->SetHandle(nullptr);
    throw;
  }
  if (*token) canvas->SetHandle(nullptr);
}
