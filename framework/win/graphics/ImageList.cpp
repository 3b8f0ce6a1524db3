#include "win/graphics/ImgList.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/MemoryStream.h"
#include "win/ClassInfo.h"
#include "win/graphics/GraphicsPrivate.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

const TEnumNames kDrawingStyleNames = {"dsFocus", "dsSelected", "dsNormal", "dsTransparent"};
const TEnumNames kImageTypeNames = {"itImage", "itMask"};

const TClassRegistrar<TCustomImageList, TComponent> kCustomImageListRegistrar("TCustomImageList", {
    Prop("Width", &TCustomImageList::Width, &TCustomImageList::SetWidth),
    Prop("Height", &TCustomImageList::Height, &TCustomImageList::SetHeight),
    ColorProp("BkColor", &TCustomImageList::BkColor, &TCustomImageList::SetBkColor),
    ColorProp("BlendColor", &TCustomImageList::BlendColor, &TCustomImageList::SetBlendColor),
    EnumProp("DrawingStyle", &TCustomImageList::DrawingStyle, &TCustomImageList::SetDrawingStyle,
             kDrawingStyleNames),
    EnumProp("ImageType", &TCustomImageList::ImageType, &TCustomImageList::SetImageType, kImageTypeNames),
    Prop("Masked", &TCustomImageList::Masked, &TCustomImageList::SetMasked),
    Prop("AllocBy", &TCustomImageList::AllocBy, &TCustomImageList::SetAllocBy),
    Prop("ShareImages", &TCustomImageList::ShareImages, &TCustomImageList::SetShareImages),
    BinaryProp("ImageStrip", &TCustomImageList::ImageStrip, &TCustomImageList::SetImageStrip),
    EventProp("OnChange", &TCustomImageList::OnChange),
});
const TClassRegistrar<TImageList, TCustomImageList> kImageListRegistrar("TImageList", {});

// Straight (not premultiplied) colour of a pixel drawn over black (onBlack)
// and over white (onWhite), and its coverage 0..255.
struct TRecovered {
  int alpha;
  int r, g, b;
};

TRecovered Recover(const uint8_t* onBlack, const uint8_t* onWhite) {
  int diff = (onWhite[0] - onBlack[0] + onWhite[1] - onBlack[1] + onWhite[2] - onBlack[2]) / 3;
  int alpha = std::clamp(255 - diff, 0, 255);
  if (alpha == 0) return TRecovered{0, 0, 0, 0};
  auto unmultiply = [alpha](int c) { return std::min(255, c * 255 / alpha); };
  return TRecovered{alpha, unmultiply(onBlack[2]), unmultiply(onBlack[1]), unmultiply(onBlack[0])};
}

}  // namespace

COLORREF ImageListColor(TColor color) {
  if (color == clNone) return CLR_NONE;
  if (color == clDefault) return CLR_DEFAULT;
  return ColorToRGB(color);
}

TChangeLink::~TChangeLink() {
  if (sender != nullptr) sender->UnRegisterChanges(this);
}

void TChangeLink::Change() {
  if (OnChange) OnChange(sender);
}

void TCustomImageList::Create(TComponent* owner) { TComponent::Create(owner); }

void TCustomImageList::CreateSize(TComponent* owner, int width_, int height_) {
  Create(owner);
  width = std::max(width_, 1);
  height = std::max(height_, 1);
}

TCustomImageList::~TCustomImageList() {
  for (TChangeLink* link : links) link->sender = nullptr;
  links.clear();
  FreeHandle();
}

void TCustomImageList::FreeHandle() {
  if (handle != nullptr && !shareImages) ImageList_Destroy(handle);
  handle = nullptr;
}

HIMAGELIST TCustomImageList::Handle() {
  if (handle == nullptr) {
    UINT flags = ILC_COLOR32 | (masked ? ILC_MASK : 0);
    handle = ImageList_Create(width, height, flags, allocBy, allocBy);
    if (handle == nullptr) throw EOutOfResources("Out of system resources");
    ImageList_SetBkColor(handle, ImageListColor(bkColor));
  }
  return handle;
}

void TCustomImageList::SetHandle(HIMAGELIST list) {
  if (list == handle) return;
  FreeHandle();
  handle = list;
  if (handle != nullptr) {
    int cx = 0, cy = 0;
    if (ImageList_GetIconSize(handle, &cx, &cy)) width = cx, height = cy;
  }
  Change();
}

void TCustomImageList::SetWidth(int value) {
  if (value < 1 || value == width) return;
  width = value;
  FreeHandle();
  Change();
}

void TCustomImageList::SetHeight(int value) {
  if (value < 1 || value == height) return;
  height = value;
  FreeHandle();
  Change();
}

int TCustomImageList::Count() { return handle != nullptr ? ImageList_GetImageCount(handle) : 0; }

void TCustomImageList::SetBkColor(TColor value) {
  if (value == bkColor) return;
  bkColor = value;
  if (handle != nullptr) ImageList_SetBkColor(handle, ImageListColor(bkColor));
  Change();
}

void TCustomImageList::SetBlendColor(TColor value) {
  if (value == blendColor) return;
  blendColor = value;
  Change();
}

void TCustomImageList::SetDrawingStyle(TDrawingStyle value) {
  if (value == drawingStyle) return;
  drawingStyle = value;
  Change();
}

void TCustomImageList::SetImageType(TImageType value) {
  if (value == imageType) return;
  imageType = value;
  Change();
}

void TCustomImageList::SetMasked(bool value) {
  if (value == masked) return;
  masked = value;
  FreeHandle();
  Change();
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
  if (image == nullptr || image->Handle() == nullptr) return -1;
  image->Dormant();
  if (mask != nullptr) mask->Dormant();
  int index = ImageList_Add(Handle(), image->Handle(), mask != nullptr ? mask->Handle() : nullptr);
  Change();
  return index;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
  if (image == nullptr || image->Handle() == nullptr) return -1;
  COLORREF key = ColorToRGB(maskColor == clDefault ? image->TransparentColor() : maskColor);
  // The system blackens the masked pixels of the bitmap it is given; the
  // caller's bitmap stays as it was by handing over a copy.
  TOwned<TBitmap> copy(New<TBitmap>());
  copy->Assign(image);
  copy->Dormant();
  int index = ImageList_AddMasked(Handle(), copy->Handle(), key);
  Change();
  return index;
}

int TCustomImageList::AddIcon(TIcon* icon) {
  if (icon == nullptr || icon->Handle() == nullptr) return -1;
  int index = ImageList_ReplaceIcon(Handle(), -1, icon->Handle());
  Change();
  return index;
}

void TCustomImageList::Replace(int index, TBitmap* image, TBitmap* mask) {
  if (image == nullptr || index < 0 || index >= Count()) return;
  image->Dormant();
  if (mask != nullptr) mask->Dormant();
  ImageList_Replace(handle, index, image->Handle(), mask != nullptr ? mask->Handle() : nullptr);
  Change();
}

void TCustomImageList::ReplaceIcon(int index, TIcon* icon) {
  if (icon == nullptr || index < 0 || index >= Count()) return;
  ImageList_ReplaceIcon(handle, index, icon->Handle());
  Change();
}

void TCustomImageList::Delete(int index) {
  if (handle == nullptr || index < -1 || index >= Count()) return;
  ImageList_Remove(handle, index);
  Change();
}

bool TCustomImageList::Overlay(int index, int overlayIndex) {
  if (overlayIndex < 0 || overlayIndex > 14 || index < 0 || index >= Count()) return false;
  return ImageList_SetOverlayImage(handle, index, overlayIndex + 1) != FALSE;
}

UINT TCustomImageList::DrawStyleFlags(TDrawingStyle style, TImageType type) const {
  static const UINT kStyles[] = {ILD_FOCUS, ILD_SELECTED, ILD_NORMAL, ILD_TRANSPARENT};
  return kStyles[style] | (type == itMask ? ILD_MASK : 0);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
  Draw(canvas, x, y, index, drawingStyle, imageType, enabled);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
                            bool enabled) {
  if (canvas == nullptr || handle == nullptr || index < 0 || index >= Count()) return;
  DoDraw(index, canvas, x, y, DrawStyleFlags(style, type), enabled);
}

void TCustomImageList::DoDraw(int index, TCanvas* canvas, int x, int y, UINT style, bool enabled) {
  if (handle == nullptr) return;
  HDC dc = canvas->Handle();
  if (!enabled) {
    DrawPerPixel(dc, index, x, y, style & ~ILD_BLEND50, /*disabled=*/true, clNone);
    return;
  }
  ImageList_DrawEx(handle, index, dc, x, y, 0, 0, ImageListColor(bkColor), ImageListColor(blendColor), style);
}

void TCustomImageList::DrawStyled(TCanvas* canvas, int x, int y, int index, UINT style, TColor blend,
                                  bool enabled) {
  if (handle == nullptr || canvas == nullptr || index < 0 || index >= Count()) return;
  if (!enabled) {
    // Through DoDraw, so lists with their own disabled look keep it.
    DoDraw(index, canvas, x, y, style & ~ILD_BLEND50, false);
    return;
  }
  if (style & ILD_BLEND50) {
    DrawPerPixel(canvas->Handle(), index, x, y, style & ~ILD_BLEND50, /*disabled=*/false, blend);
    return;
  }
  DoDraw(index, canvas, x, y, style, true);
}

// The image (with the overlay that style names) is drawn over black and over
// white to learn each pixel's colour and coverage; each pixel is then turned
// into a light grey of the same brightness (disabled) or mixed half and half
// with blend, and put over what the target already shows. The system's own
// flags for both looks are not honoured everywhere, so they are done here.
void TCustomImageList::DrawPerPixel(HDC dc, int index, int x, int y, UINT style, bool disabled, TColor blend) {
  uint8_t *black = nullptr, *white = nullptr, *target = nullptr;
  HBITMAP onBlack = CreateDib32(width, height, &black);
  HBITMAP onWhite = CreateDib32(width, height, &white);
  HBITMAP work = CreateDib32(width, height, &target);
  COLORREF mix = ColorToRGB(blend == clDefault || blend == clNone ? clHighlight : blend);
  if (onBlack != nullptr && onWhite != nullptr && work != nullptr) {
    TScopedMemoryDC dcBlack, dcWhite, dcWork;
    TScopedSelect s1(dcBlack.Get(), onBlack), s2(dcWhite.Get(), onWhite), s3(dcWork.Get(), work);
    PatBlt(dcBlack.Get(), 0, 0, width, height, BLACKNESS);
    PatBlt(dcWhite.Get(), 0, 0, width, height, WHITENESS);
    UINT drawStyle = ILD_TRANSPARENT | (style & ILD_OVERLAYMASK);
    ImageList_DrawEx(handle, index, dcBlack.Get(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, drawStyle);
    ImageList_DrawEx(handle, index, dcWhite.Get(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, drawStyle);
    BitBlt(dcWork.Get(), 0, 0, width, height, dc, x, y, SRCCOPY);
    GdiFlush();
    const int mixed[3] = {GetBValue(mix), GetGValue(mix), GetRValue(mix)};
    for (int i = 0; i < width * height; ++i) {
      TRecovered pixel = Recover(black + i * 4, white + i * 4);
      if (pixel.alpha == 0) continue;
      int colour[3] = {pixel.b, pixel.g, pixel.r};
      if (disabled) {
        int luminance = (pixel.r * 30 + pixel.g * 59 + pixel.b * 11) / 100;
        int grey = 255 - (255 - luminance) * 45 / 100;  // washed-out grey
        colour[0] = colour[1] = colour[2] = grey;
      } else {
        for (int c = 0; c < 3; ++c) colour[c] = (colour[c] + mixed[c]) / 2;
      }
      uint8_t* out = target + i * 4;
      for (int c = 0; c < 3; ++c)
        out[c] = static_cast<uint8_t>((out[c] * (255 - pixel.alpha) + colour[c] * pixel.alpha) / 255);
    }
    BitBlt(dc, x, y, width, height, dcWork.Get(), 0, 0, SRCCOPY);
  }
  if (onBlack != nullptr) DeleteObject(onBlack);
  if (onWhite != nullptr) DeleteObject(onWhite);
  if (work != nullptr) DeleteObject(work);
}

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
  if (image == nullptr || index < 0 || index >= Count()) return;
  image->SetSize(width, height);
  image->Canvas()->Brush()->SetColor(clWhite);
  image->Canvas()->FillRect(Rect(0, 0, width, height));
  ImageList_DrawEx(handle, index, image->Canvas()->Handle(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
}

void TCustomImageList::GetIcon(int index, TIcon* icon) {
  if (icon == nullptr || index < 0 || index >= Count()) return;
  icon->SetHandle(ImageList_GetIcon(handle, index, ILD_TRANSPARENT));
}

std::vector<uint8_t> TCustomImageList::ImageStrip() const {
  auto* self = const_cast<TCustomImageList*>(this);
  int count = self->Count();
  if (count == 0) return {};
  TOwned<TBitmap> strip(New<TBitmap>());
  strip->SetSize(width * count, height);
  strip->Canvas()->Brush()->SetColor(clFuchsia);
  strip->Canvas()->FillRect(Rect(0, 0, width * count, height));
  for (int i = 0; i < count; ++i)
    ImageList_DrawEx(handle, i, strip->Canvas()->Handle(), i * width, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
  TOwned<TMemoryStream> stream(New<TMemoryStream>());
  strip->SaveToStream(stream.get());
  const auto* bytes = static_cast<const uint8_t*>(stream->Memory());
  return std::vector<uint8_t>(bytes, bytes + stream->Size());
}

void TCustomImageList::SetImageStrip(const std::vector<uint8_t>& data) {
  TOwned<TPicture> picture(New<TPicture>());
  TOwned<TMemoryStream> stream(New<TMemoryStream>());
  if (!data.empty()) stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  stream->SetPosition(0);
  picture->LoadFromStream(stream.get());
  TOwned<TBitmap> strip(New<TBitmap>());
  strip->Assign(picture->Graphic());
  // The colour key decides what is transparent: an alpha channel left in the
  // data would make the system list ignore it.
  for (int y = 0; y < strip->Height(); ++y) {
    uint8_t* row = strip->ScanLine(y);
    for (int x = 0; x < strip->Width(); ++x) row[x * 4 + 3] = 0;
  }
  BeginUpdate();
  Clear();
  AddMasked(strip.get(), strip->Canvas()->Pixel(0, strip->Height() - 1));
  EndUpdate();
}

void TCustomImageList::RegisterChanges(TChangeLink* link) {
  if (link == nullptr || link->sender == this) return;
  if (link->sender != nullptr) link->sender->UnRegisterChanges(link);
  link->sender = this;
  links.push_back(link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* link) {
  auto found = std::find(links.begin(), links.end(), link);
  if (found == links.end()) return;
  links.erase(found);
  link->sender = nullptr;
}

void TCustomImageList::EndUpdate() {
  if (updateCount > 0) --updateCount;
  if (updateCount == 0 && changedWhileUpdating) {
    changedWhileUpdating = false;
    Change();
  }
}

void TCustomImageList::Change() {
  if (updateCount > 0) {
    changedWhileUpdating = true;
    return;
  }
  // A link's handler may unregister links; walk a copy.
  std::vector<TChangeLink*> current = links;
  for (TChangeLink* link : current)
    if (std::find(links.begin(), links.end(), link) != links.end()) link->Change();
  if (OnChange) OnChange(this);
}
