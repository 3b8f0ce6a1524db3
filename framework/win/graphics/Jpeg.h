#pragma once
// JPEG pictures, decoded with libjpeg into a 32-bit bitmap. Data that is not a
// JPEG (or is damaged beyond what the decoder can mend) raises EInvalidGraphic
// with the decoder's message; the previous picture is kept then.
#include <cstdint>
#include <string>
#include <vector>

#include "win/graphics/Graphics.h"

class TJPEGImage : public TGraphic {
public:
  void Create();
  ~TJPEGImage() override;
  void Assign(TPersistent* source) override;

  int Width() const override;
  int Height() const override;
  // True when the picture has one channel.
  bool Grayscale() const { return grayscale; }

  void LoadFromStream(TStream* stream) override;
  // Writes the JPEG data as it was read (nothing for an empty picture).
  void SaveToStream(TStream* stream) override;
  // Decodes size bytes at data.
  void LoadFromMemory(const uint8_t* data, size_t size);
  // Reads resource name of type type (default "JPEG") from module instance;
  // raises EInvalidGraphic when it is missing.
  void LoadFromResourceName(HINSTANCE instance, const std::u16string& name, const std::u16string& type = u"JPEG");

  // The decoded picture (empty when nothing was loaded); owned by this object.
  TBitmap* Bitmap() const { return bitmap; }

  void Draw(TCanvas* canvas, const TRect& r) override;

private:
  TBitmap* bitmap = nullptr;  // owned
  std::vector<uint8_t> data;
  bool grayscale = false;
};
