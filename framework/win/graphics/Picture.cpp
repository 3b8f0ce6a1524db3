#include <memory>

#include "core/FileStream.h"
#include "core/Stream.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/Jpeg.h"

// The picture holder: one owned graphic of any kind, chosen by the data's
// signature when read from a stream.

namespace {

enum TPictureKind { pkUnknown, pkBitmap, pkIcon, pkJpeg };

// The kind of picture whose data starts with head (the bytes available).
TPictureKind SniffPicture(const uint8_t* head, size_t size) {
  if (size >= 2 && head[0] == 'B' && head[1] == 'M') return pkBitmap;
  if (size >= 4 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) && head[3] == 0) return pkIcon;
  if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return pkJpeg;
  return pkUnknown;
}

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};

}  // namespace

TPicture::~TPicture() {
  if (graphic != nullptr) graphic->Free();
}

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::GraphicChanged(TObject*) { Changed(); }

void TPicture::TakeGraphic(TGraphic* value) {
  if (graphic != nullptr) graphic->Free();
  graphic = value;
  if (graphic != nullptr) graphic->OnChange = MakeEvent<&TPicture::GraphicChanged>(this);
  Changed();
}

void TPicture::SetGraphic(TGraphic* value) {
  if (value == graphic) return;
  if (value == nullptr) {
    TakeGraphic(nullptr);
    return;
  }
  TGraphic* copy = nullptr;
  if (dynamic_cast<TJPEGImage*>(value) != nullptr) {
    copy = New<TJPEGImage>();
  } else if (dynamic_cast<TIcon*>(value) != nullptr) {
    copy = New<TIcon>();
  } else {
    copy = New<TBitmap>();
  }
  std::unique_ptr<TGraphic, TFreeDeleter> guard(copy);
  copy->Assign(value);
  TakeGraphic(guard.release());
}

void TPicture::Assign(TPersistent* source) {
  if (source == nullptr) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* other = dynamic_cast<TPicture*>(source)) {
    SetGraphic(other->graphic);
    return;
  }
  if (auto* asGraphic = dynamic_cast<TGraphic*>(source)) {
    SetGraphic(asGraphic);
    return;
  }
  TPersistent::Assign(source);
}

TBitmap* TPicture::Bitmap() {
  if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) return bitmap;
  TakeGraphic(New<TBitmap>());
  return static_cast<TBitmap*>(graphic);
}

TIcon* TPicture::Icon() {
  if (auto* icon = dynamic_cast<TIcon*>(graphic)) return icon;
  TakeGraphic(New<TIcon>());
  return static_cast<TIcon*>(graphic);
}

void TPicture::LoadFromStream(TStream* stream) {
  uint8_t head[4] = {};
  int64_t start = stream->Position();
  int32_t got = stream->Read(head, sizeof head);
  stream->Seek(start, soBeginning);
  std::unique_ptr<TGraphic, TFreeDeleter> loaded;
  switch (SniffPicture(head, got > 0 ? static_cast<size_t>(got) : 0)) {
    case pkBitmap:
      loaded.reset(New<TBitmap>());
      break;
    case pkIcon:
      loaded.reset(New<TIcon>());
      break;
    case pkJpeg:
      loaded.reset(New<TJPEGImage>());
      break;
    case pkUnknown:
      throw EInvalidGraphic("Unknown picture format");
  }
  loaded->LoadFromStream(stream);
  TakeGraphic(loaded.release());
}

void TPicture::SaveToStream(TStream* stream) {
  if (graphic != nullptr) graphic->SaveToStream(stream);
}

void TPicture::LoadFromFile(const std::u16string& path) {
  std::unique_ptr<TFileStream, TFreeDeleter> stream(New<TFileStream>(path, fmOpenRead | fmShareDenyWrite));
  LoadFromStream(stream.get());
}
