#include <cstring>

#include "core/Stream.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/GraphicsPrivate.h"

// Icons: .ico files are read entry by entry, with every offset checked.

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic("Icon image is not valid"); }

uint32_t ReadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct TIconEntry {
  int size = 0;  // width; 0 in the file means 256
  int bitCount = 0;
  uint32_t bytes = 0;
  uint32_t offset = 0;
};

// The entry whose width is closest to wanted, the deeper one among equals.
const TIconEntry* BestEntry(const std::vector<TIconEntry>& entries, int wanted) {
  const TIconEntry* best = nullptr;
  for (const TIconEntry& entry : entries) {
    if (best == nullptr) {
      best = &entry;
      continue;
    }
    int distance = std::abs(entry.size - wanted), bestDistance = std::abs(best->size - wanted);
    if (distance < bestDistance || (distance == bestDistance && entry.bitCount > best->bitCount)) best = &entry;
  }
  return best;
}

}  // namespace

TIcon::~TIcon() {
  if (handle != nullptr) DestroyIcon(handle);
}

int TIcon::Width() const { return handle != nullptr ? width : 0; }

int TIcon::Height() const { return handle != nullptr ? height : 0; }

void TIcon::SetHandle(HICON icon) {
  if (icon == handle) return;
  if (handle != nullptr) DestroyIcon(handle);
  handle = icon;
  data.clear();
  width = height = 0;
  if (handle != nullptr) {
    ICONINFO info{};
    if (GetIconInfo(handle, &info)) {
      BITMAP bm{};
      HBITMAP measured = info.hbmColor != nullptr ? info.hbmColor : info.hbmMask;
      if (GetObjectW(measured, sizeof bm, &bm) != 0) {
        width = bm.bmWidth;
        // A monochrome icon keeps its AND and XOR masks stacked in one bitmap.
        height = info.hbmColor != nullptr ? bm.bmHeight : bm.bmHeight / 2;
      }
      if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
      if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    }
  }
  Changed();
}

HICON TIcon::ReleaseHandle() {
  HICON result = handle;
  handle = nullptr;
  data.clear();
  width = height = 0;
  return result;
}

void TIcon::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TIcon*>(source);
  if (other == nullptr) {
    TGraphic::Assign(source);
    return;
  }
  if (other == this) return;
  std::vector<uint8_t> copyOfData = other->data;
  SetHandle(other->handle != nullptr ? CopyIcon(other->handle) : nullptr);
  data = std::move(copyOfData);
}

void TIcon::LoadFromStream(TStream* stream) {
  std::vector<uint8_t> file = ReadRestOfStream(stream);
  if (file.size() < 6 || ReadU16(&file[0]) != 0 || (ReadU16(&file[2]) != 1 && ReadU16(&file[2]) != 2)) Invalid();
  size_t count = ReadU16(&file[4]);
  if (count == 0 || 6 + count * 16 > file.size()) Invalid();
  std::vector<TIconEntry> entries;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* raw = &file[6 + i * 16];
    TIconEntry entry;
    entry.size = raw[0] == 0 ? 256 : raw[0];
    entry.bitCount = ReadU16(raw + 6);
    entry.bytes = ReadU32(raw + 8);
    entry.offset = ReadU32(raw + 12);
    if (entry.offset > file.size() || entry.bytes > file.size() - entry.offset) Invalid();
    // Each image is a PNG or a DIB with at least its info header.
    const uint8_t* image = file.data() + entry.offset;
    bool png = entry.bytes >= 8 && image[0] == 0x89 && image[1] == 'P' && image[2] == 'N' && image[3] == 'G';
    if (!png && (entry.bytes < sizeof(BITMAPINFOHEADER) || ReadU32(image) < sizeof(BITMAPINFOHEADER))) Invalid();
    entries.push_back(entry);
  }
  int wanted = requestedSize > 0 ? requestedSize : GetSystemMetrics(SM_CXICON);
  const TIconEntry* best = BestEntry(entries, wanted);
  HICON icon = CreateIconFromResourceEx(&file[best->offset], best->bytes, TRUE, 0x00030000, best->size, best->size,
                                        LR_DEFAULTCOLOR);
  if (icon == nullptr) Invalid();
  SetHandle(icon);
  data = std::move(file);
}

void TIcon::SaveToStream(TStream* stream) {
  if (handle == nullptr) return;
  if (data.empty()) throw EInvalidGraphicOperation("Cannot save an icon that was not read from a file");
  stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
}

void TIcon::LoadFromResourceName(HINSTANCE instance, const std::u16string& name, int size) {
  HANDLE icon = LoadImageW(instance, WidePtr(name), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
  if (icon == nullptr) throw EInvalidGraphic("Resource " + WideToAnsi(name) + " not found");
  SetHandle(static_cast<HICON>(icon));
}

void TIcon::LoadFromResourceID(HINSTANCE instance, int id, int size) {
  HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
  if (icon == nullptr) throw EInvalidGraphic("Resource " + std::to_string(id) + " not found");
  SetHandle(static_cast<HICON>(icon));
}

void TIcon::Draw(TCanvas* canvas, const TRect& r) {
  if (handle == nullptr) return;
  DrawIconEx(canvas->Handle(), r.Left, r.Top, handle, r.Width(), r.Height(), 0, nullptr, DI_NORMAL);
}
