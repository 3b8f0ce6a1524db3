// The header stream: the header's fields with its column collection (every
// column record and the position array). Streams come from saved settings and
// the clipboard, so a load first reads and checks everything into a staging
// copy, and only a stream read to its end changes the header.
#include "tree/VirtualTrees.h"

#include <algorithm>

#include "core/Stream.h"
#include "win/TextConvert.h"

namespace {

// A header may not be taller than GDI coordinates reach.
constexpr int32_t kMaxHeaderHeight = 32767;

// Reads little-endian values; every read is checked against the bytes left.
class THeaderStreamReader {
public:
  explicit THeaderStreamReader(TStream* stream_) : stream(stream_) {
    int64_t size = stream->Size();
    int64_t position = stream->Position();
    left = size > position ? size - position : 0;
  }
  int64_t Left() const { return left; }
  void Need(int64_t bytes) const {
    if (bytes < 0 || bytes > left) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
  }
  int32_t I32() {
    uint8_t b[4];
    Raw(b, 4);
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }
  // A value that must be one of count ordinals.
  int32_t Ordinal(int32_t count) {
    int32_t value = I32();
    if (value < 0 || value >= count) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
    return value;
  }
  std::u16string Wide() {
    int32_t length = I32();
    if (length < 0) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
    Need(int64_t{length} * 2);
    std::u16string text(static_cast<size_t>(length), u'\0');
    std::vector<uint8_t> bytes(static_cast<size_t>(length) * 2);
    if (length > 0) Raw(bytes.data(), length * 2);
    for (int32_t i = 0; i < length; ++i) text[i] = char16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return text;
  }
  std::string Narrow() {
    int32_t length = I32();
    if (length < 0) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
    Need(length);
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0) Raw(text.data(), length);
    return text;
  }
  void Back4() {
    stream->Seek(-4, soCurrent);
    left += 4;
  }

private:
  void Raw(void* buffer, int32_t count) {
    Need(count);
    if (stream->Read(buffer, count) != count) RaiseTreeError(SStreamTooSmall, hcTFStreamTooSmall);
    left -= count;
  }
  TStream* stream;
  int64_t left = 0;
};

void WriteI32(TStream* stream, int32_t value) {
  uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
  stream->WriteBuffer(b, 4);
}

void WriteWide(TStream* stream, const std::u16string& text) {
  WriteI32(stream, static_cast<int32_t>(text.size()));
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(uint8_t(c));
    bytes.push_back(uint8_t(c >> 8));
  }
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// One column as a stream holds it.
struct TColumnRecord {
  std::u16string text, hint;
  int32_t width = 50, minWidth = 10, maxWidth = 10000;
  int32_t style = 0, imageIndex = -1, layout = 0, margin = 4, spacing = 4, bidiMode = 0;
  uint32_t options = kDefaultColumnOptions;
  int32_t tag = 0, alignment = 0;
  int32_t color = static_cast<int32_t>(clWindow);
};

// The options value of a column record in a stream of version.
uint32_t ColumnOptionsOfVersion(uint32_t stored, int32_t version) {
  if (version >= 3) return stored & 0xFFFF;
  if (version == 2) return stored & 0xFF;
  // Older streams had no coParentColor: bits 4 to 6 move up by one.
  return ((stored & 0x0F) | ((stored & 0x70) << 1)) & 0xFF;
}

// Smallest column record of version: two empty strings and the integers.
int64_t MinColumnRecordSize(int32_t version) {
  int fields = 2 + 10 + (version >= 1 ? 2 : 0) + (version >= 2 ? 1 : 0);
  return int64_t{fields} * 4;
}

TColumnRecord ReadColumnRecord(THeaderStreamReader& in, int32_t version) {
  TColumnRecord r;
  r.text = in.Wide();
  r.hint = in.Wide();
  r.width = in.I32();
  r.minWidth = in.I32();
  r.maxWidth = in.I32();
  r.style = in.Ordinal(2);
  r.imageIndex = in.I32();
  r.layout = in.Ordinal(4);
  r.margin = in.I32();
  r.spacing = in.I32();
  r.bidiMode = in.Ordinal(4);
  r.options = ColumnOptionsOfVersion(static_cast<uint32_t>(in.I32()), version);
  if (version >= 1) {
    r.tag = in.I32();
    r.alignment = in.Ordinal(3);
  }
  if (version >= 2) r.color = in.I32();
  return r;
}

void ApplyColumnRecord(TVirtualTreeColumn* column, const TColumnRecord& r, int32_t version) {
  column->SetText(r.text);
  column->SetHint(r.hint);
  // The limits first, so that a width below the default minimum survives the round trip.
  column->SetMinWidth(r.minWidth);
  column->SetMaxWidth(r.maxWidth);
  column->SetWidth(r.width);
  column->SetStyle(static_cast<TVirtualTreeColumnStyle>(r.style));
  column->SetImageIndex(r.imageIndex);
  column->SetLayout(static_cast<TVTHeaderColumnLayout>(r.layout));
  column->SetMargin(r.margin);
  column->SetSpacing(r.spacing);
  column->SetBiDiMode(static_cast<TBiDiMode>(r.bidiMode));
  column->SetOptions(MaskToColumnOptions(r.options));
  if (version >= 1) {
    column->SetTag(r.tag);
    column->SetAlignment(static_cast<TAlignment>(r.alignment));
  }
  if (version >= 2) column->SetColor(static_cast<TColor>(r.color));
}

// A whole header as a stream holds it.
struct THeaderRecord {
  int32_t version = -1;
  std::vector<TColumnRecord> columns;
  TIndexArray positions;
  int32_t autoSizeIndex = -1, background = 0, height = 17;
  uint32_t options = 0;
  int32_t style = 0, fontColor = 0, fontHeight = 0;
  std::string fontName;
  int32_t fontPitch = 0;
  uint32_t fontStyle = 0;
  bool hasColumnChoices = false;
  int32_t mainColumn = -1, sortColumn = -1, sortDirection = 0;
};

THeaderRecord ReadHeaderRecord(TStream* stream) {
  THeaderStreamReader in(stream);
  THeaderRecord h;
  int32_t first = in.I32();
  if (first >= 0) {
    in.Back4();  // the oldest kind starts with the column count
  } else {
    h.version = in.I32();
    if (h.version < 0 || h.version > kHeaderStreamVersion)
      RaiseTreeError(SWrongStreamVersion, hcTFWrongStreamVersion);
  }
  int32_t count = in.I32();
  if (count < 0) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  // Every column needs its record and its position entry.
  in.Need(int64_t{count} * (MinColumnRecordSize(h.version) + 4));
  h.columns.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) h.columns.push_back(ReadColumnRecord(in, h.version));
  h.positions.resize(static_cast<size_t>(count));
  for (TColumnIndex& index : h.positions) index = in.I32();
  h.autoSizeIndex = in.I32();
  h.background = in.I32();
  h.height = in.I32();
  if (h.height < 0 || h.height > kMaxHeaderHeight) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  h.options = static_cast<uint32_t>(in.I32());
  h.style = in.Ordinal(4);
  h.fontColor = in.I32();
  h.fontHeight = in.I32();
  h.fontName = in.Narrow();
  h.fontPitch = in.I32() & 0x7F;
  if (h.fontPitch > fpFixed) RaiseTreeError(SWrongStreamFormat, hcTFWrongStreamFormat);
  h.fontStyle = static_cast<uint32_t>(in.I32()) & 0xFF;
  if (h.version >= 1) {
    h.hasColumnChoices = true;
    h.mainColumn = in.I32();
    h.sortColumn = in.I32();
    h.sortDirection = in.Ordinal(2);
  }
  return h;
}

}  // namespace

void TVirtualTreeColumns::SaveToStream(TStream* stream) {
  WriteI32(stream, Count());
  for (TVirtualTreeColumn* c : items) {
    WriteWide(stream, c->Text());
    WriteWide(stream, c->Hint());
    WriteI32(stream, c->Width());
    WriteI32(stream, c->MinWidth());
    WriteI32(stream, c->MaxWidth());
    WriteI32(stream, c->Style());
    WriteI32(stream, c->ImageIndex());
    WriteI32(stream, c->Layout());
    WriteI32(stream, c->Margin());
    WriteI32(stream, c->Spacing());
    WriteI32(stream, c->BiDiMode());
    WriteI32(stream, ColumnOptionsToMask(c->Options()));
    WriteI32(stream, c->Tag());
    WriteI32(stream, c->Alignment());
    WriteI32(stream, static_cast<int32_t>(c->Color()));
  }
  for (TColumnIndex index : positionToIndex) WriteI32(stream, index);
}

void TVTHeader::SaveToStream(TStream* stream) {
  WriteI32(stream, -1);
  WriteI32(stream, kHeaderStreamVersion);
  columns->SaveToStream(stream);
  WriteI32(stream, autoSizeIndex);
  WriteI32(stream, static_cast<int32_t>(background));
  WriteI32(stream, static_cast<int32_t>(height));
  WriteI32(stream, HeaderOptionsToMask(options));
  WriteI32(stream, style);
  WriteI32(stream, static_cast<int32_t>(font->Color()));
  WriteI32(stream, font->Height());
  const std::string& name = font->Name();
  WriteI32(stream, static_cast<int32_t>(name.size()));
  if (!name.empty()) stream->WriteBuffer(name.data(), static_cast<int32_t>(name.size()));
  WriteI32(stream, font->Pitch());
  uint32_t fontStyle = 0;
  for (int i = 0; i < 4; ++i)
    if (font->Style().Contains(static_cast<TFontStyle>(i))) fontStyle |= 1u << i;
  WriteI32(stream, static_cast<int32_t>(fontStyle));
  WriteI32(stream, MainColumn());
  WriteI32(stream, sortColumn);
  WriteI32(stream, sortDirection);
}

void TVTHeader::LoadFromStream(TStream* stream) {
  // Everything is read and checked before the header changes.
  THeaderRecord h = ReadHeaderRecord(stream);
  int count = static_cast<int>(h.columns.size());

  states.Include(hsLoading);
  TColumnIndex oldMain = mainColumn;
  TVTHeaderOptions savedOptions = options;
  options = TVTHeaderOptions();
  try {
    columns->Clear();
    columns->BeginUpdate();
    for (const TColumnRecord& record : h.columns) ApplyColumnRecord(columns->Add(), record, h.version);
    columns->positionToIndex = h.positions;
    columns->FixPositions();
    columns->EndUpdate();
    columns->UpdatePositions(/*force=*/true);

    autoSizeIndex = h.autoSizeIndex < count ? std::max(h.autoSizeIndex, NoColumn) : NoColumn;
    SetBackground(static_cast<TColor>(h.background));
    SetHeight(static_cast<uint32_t>(h.height));
    options = savedOptions;
    SetOptions(MaskToHeaderOptions(h.options));
    SetStyle(static_cast<TVTHeaderStyle>(h.style));
    font->SetColor(static_cast<TColor>(h.fontColor));
    font->SetHeight(h.fontHeight);
    if (!h.fontName.empty()) font->SetName(h.fontName);
    font->SetPitch(static_cast<TFontPitch>(h.fontPitch));
    TFontStyles fontStyle;
    for (int i = 0; i < 4; ++i)
      if (h.fontStyle & (1u << i)) fontStyle.Include(static_cast<TFontStyle>(i));
    font->SetStyle(fontStyle);
    if (h.hasColumnChoices) {
      mainColumn = count == 0 ? NoColumn : std::clamp(h.mainColumn, 0, count - 1);
      sortColumn = std::clamp(h.sortColumn, NoColumn, count - 1);
      sortDirection = static_cast<TSortDirection>(h.sortDirection);
    } else {
      mainColumn = count == 0 ? NoColumn : std::clamp(mainColumn, 0, count - 1);
      sortColumn = std::clamp(sortColumn, NoColumn, count - 1);
    }
  } catch (...) {
    states.Exclude(hsLoading);
    throw;
  }
  states.Exclude(hsLoading);
  KeepFocusedColumnValid();
  if (owner != nullptr) {
    if (mainColumn != oldMain) owner->MainColumnChanged();
    owner->DoColumnResize(NoColumn);
    owner->UpdateHorizontalScrollBar(false);
    Invalidate(nullptr);
  }
}
