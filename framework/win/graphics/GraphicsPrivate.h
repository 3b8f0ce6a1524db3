#pragma once
// Helpers shared by the graphics sources.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win/TextConvert.h"
#include "win/graphics/Graphics.h"

class TStream;

inline const wchar_t* WidePtr(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The rest of stream from its position; raises EReadError when it cannot be read.
std::vector<uint8_t> ReadRestOfStream(TStream* stream);

// A memory DC compatible with the screen, deleted at scope end.
class TScopedMemoryDC {
public:
  TScopedMemoryDC() : dc(CreateCompatibleDC(nullptr)) {}
  ~TScopedMemoryDC() {
    if (dc != nullptr) DeleteDC(dc);
  }
  TScopedMemoryDC(const TScopedMemoryDC&) = delete;
  TScopedMemoryDC& operator=(const TScopedMemoryDC&) = delete;
  HDC Get() const { return dc; }

private:
  HDC dc;
};

// Selects obj into dc for the scope and puts the previous object back.
class TScopedSelect {
public:
  TScopedSelect(HDC dc_, HGDIOBJ obj) : dc(dc_), old(SelectObject(dc_, obj)) {}
  ~TScopedSelect() {
    if (old != nullptr && old != HGDI_ERROR) SelectObject(dc, old);
  }
  TScopedSelect(const TScopedSelect&) = delete;
  TScopedSelect& operator=(const TScopedSelect&) = delete;

private:
  HDC dc;
  HGDIOBJ old;
};

