#include "win/graphics/Graphics.h"

#include "core/FileStream.h"

// TGraphic's defaults and the picture holder.

void TGraphic::SetWidth(int) { throw EInvalidGraphicOperation("Cannot change the size of this picture"); }

void TGraphic::SetHeight(int) { throw EInvalidGraphicOperation("Cannot change the size of this picture"); }

void TGraphic::SetTransparent(bool value) {
  if (value == transparent) return;
  transparent = value;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::u16string& path) {
  TFileStream* stream = New<TFileStream>(path, fmOpenRead | fmShareDenyWrite);
  try {
    LoadFromStream(stream);
  } catch (...) {
    stream->Free();
    throw;
  }
  stream->Free();
}
