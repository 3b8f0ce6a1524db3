// Published properties of the drawing objects, so form definitions can set
// them through dotted names (Font.Name, Font.Style).
#include <memory>

#include "core/MemoryStream.h"
#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"

namespace {

const TEnumNames kFontStyleNames = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
const TEnumNames kFontPitchNames = {"fpDefault", "fpVariable", "fpFixed"};
const TEnumNames kPenStyleNames = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"};
const TEnumNames kPenModeNames = {"pmBlack",       "pmWhite",      "pmNop",       "pmNot",        "pmCopy",  "pmNotCopy",
                                  "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge",
                                  "pmMask",        "pmNotMask",    "pmXor",       "pmNotXor"};
const TEnumNames kBrushStyleNames = {"bsSolid", "bsClear",     "bsHorizontal", "bsVertical",
                                     "bsFDiagonal", "bsBDiagonal", "bsCross",      "bsDiagCross"};

const TClassRegistrar<TFont, void> kFontRegistrar("TFont", {
    Prop("Charset", &TFont::Charset, &TFont::SetCharset),
    ColorProp("Color", &TFont::Color, &TFont::SetColor),
    Prop("Height", &TFont::Height, &TFont::SetHeight),
    Prop("Name", &TFont::Name, &TFont::SetName),
    EnumProp("Pitch", &TFont::Pitch, &TFont::SetPitch, kFontPitchNames),
    SetOfProp("Style", &TFont::Style, &TFont::SetStyle, kFontStyleNames),
});

const TClassRegistrar<TPen, void> kPenRegistrar("TPen", {
    ColorProp("Color", &TPen::Color, &TPen::SetColor),
    EnumProp("Mode", &TPen::Mode, &TPen::SetMode, kPenModeNames),
    EnumProp("Style", &TPen::Style, &TPen::SetStyle, kPenStyleNames),
    Prop("Width", &TPen::Width, &TPen::SetWidth),
});

const TClassRegistrar<TBrush, void> kBrushRegistrar("TBrush", {
    ColorProp("Color", &TBrush::Color, &TBrush::SetColor),
    EnumProp("Style", &TBrush::Style, &TBrush::SetStyle, kBrushStyleNames),
});

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};

std::vector<uint8_t> PictureData(TObject* obj) {
  auto* picture = static_cast<TPicture*>(obj);
  if (picture->Graphic() == nullptr) return {};
  std::unique_ptr<TMemoryStream, TFreeDeleter> stream(New<TMemoryStream>());
  picture->SaveToStream(stream.get());
  const auto* bytes = static_cast<const uint8_t*>(stream->Memory());
  return std::vector<uint8_t>(bytes, bytes + stream->Size());
}

void SetPictureData(TObject* obj, const std::vector<uint8_t>& data) {
  auto* picture = static_cast<TPicture*>(obj);
  if (data.empty()) {
    picture->SetGraphic(nullptr);
    return;
  }
  std::unique_ptr<TMemoryStream, TFreeDeleter> stream(New<TMemoryStream>());
  stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  stream->SetPosition(0);
  picture->LoadFromStream(stream.get());
}

TPropInfo PictureDataProp() {
  TPropInfo p;
  p.name = "Data";
  p.kind = pkBinary;
  p.getBinary = PictureData;
  p.setBinary = SetPictureData;
  return p;
}

const TClassRegistrar<TPicture, void> kPictureRegistrar("TPicture", {PictureDataProp()});

}  // namespace
