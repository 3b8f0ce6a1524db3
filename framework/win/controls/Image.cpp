#include "win/controls/ExtCtrls.h"

#include "win/ClassInfo.h"

namespace {

const TClassRegistrar<TImage, TGraphicControl> kImageRegistrar("TImage", {
    ObjectProp("Picture", &TImage::Picture),
    Prop("Stretch", &TImage::Stretch, &TImage::SetStretch),
    Prop("Proportional", &TImage::Proportional, &TImage::SetProportional),
    Prop("Center", &TImage::Center, &TImage::SetCenter),
    Prop("Transparent", &TImage::Transparent, &TImage::SetTransparent),
    Prop("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize),
});

}  // namespace

void TImage::Create(TComponent* owner) {
  TGraphicControl::Create(owner);
  picture = New<TPicture>();
  picture->OnChange = MakeEvent<&TImage::PictureChanged>(this);
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() {
  if (picture != nullptr) picture->Free();
}

void TImage::SetPicture(TPicture* value) { picture->Assign(value); }

void TImage::SetStretch(bool value) {
  if (value == stretch) return;
  stretch = value;
  Invalidate();
}

void TImage::SetProportional(bool value) {
  if (value == proportional) return;
  proportional = value;
  Invalidate();
}

void TImage::SetCenter(bool value) {
  if (value == center) return;
  center = value;
  Invalidate();
}

void TImage::SetTransparent(bool value) {
  if (value == transparent) return;
  transparent = value;
  if (TGraphic* graphic = picture->Graphic()) graphic->SetTransparent(value);
  Invalidate();
}

void TImage::SetAutoSize(bool value) {
  if (value == autoSize) return;
  autoSize = value;
  PictureChanged(nullptr);
}

TRect TImage::DestRect() const {
  int pw = picture->Width(), ph = picture->Height();
  int cw = Width(), ch = Height();
  if (pw <= 0 || ph <= 0) return Rect(0, 0, 0, 0);
  int w = pw, h = ph;
  if (stretch || (proportional && (pw > cw || ph > ch))) {
    if (proportional) {
      // Fit inside the control with the picture's aspect ratio.
      if (static_cast<int64_t>(cw) * ph < static_cast<int64_t>(ch) * pw) {
        w = cw;
        h = static_cast<int>(static_cast<int64_t>(ph) * cw / pw);
      } else {
        h = ch;
        w = static_cast<int>(static_cast<int64_t>(pw) * ch / ph);
      }
    } else {
      w = cw, h = ch;
    }
  }
  TRect r = Rect(0, 0, w, h);
  if (center) r.Offset((cw - w) / 2, (ch - h) / 2);
  return r;
}

void TImage::Paint() {
  TGraphic* graphic = picture->Graphic();
  if (graphic == nullptr || graphic->Empty()) return;
  graphic->SetTransparent(transparent);
  Canvas()->StretchDraw(DestRect(), graphic);
}

void TImage::PictureChanged(TObject*) {
  if (autoSize && picture->Width() > 0 && picture->Height() > 0)
    SetBounds(Left(), Top(), picture->Width(), picture->Height());
  Invalidate();
}
