// Wide routines that ask the system: case, comparison, text extent, number
// format, message boxes, display-name answers and code-page conversion.
#include "shell/VirtualWideStrings.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualUtilities.h"
#include "win/graphics/Graphics.h"

namespace vws {

namespace {

std::atomic<bool> forceAnsi{false};

}  // namespace

void SetForceAnsiPath(bool force) { forceAnsi = force; }

bool UseWideApi() {
  static const bool bound = [] {
    if (wide::Gdi32Handle == nullptr) BindWideFunctions();
    return true;
  }();
  (void)bound;
  return !forceAnsi && IsUnicode();
}

std::string ToAnsi(std::u16string_view s) {
  if (s.empty()) return {};
  const auto* src = reinterpret_cast<const wchar_t*>(s.data());
  int n = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string FromAnsi(std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

int WideStrICompOS(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  if (UseWideApi() && wide::lstrcmpiW != nullptr)
    return wide::lstrcmpiW(reinterpret_cast<const wchar_t*>(a), reinterpret_cast<const wchar_t*>(b));
  return lstrcmpiA(ToAnsi(a).c_str(), ToAnsi(b).c_str());
}

namespace {

void ChangeCase(char16_t* s, bool upper) {
  if (s == nullptr) return;
  size_t n = WideStrLen(s);
  if (n == 0) return;
  if (UseWideApi()) {
    auto* buf = reinterpret_cast<wchar_t*>(s);
    if (upper) {
      CharUpperBuffW(buf, static_cast<DWORD>(n));
    } else if (wide::CharLowerBuffW != nullptr) {
      wide::CharLowerBuffW(buf, static_cast<DWORD>(n));
    } else {
      CharLowerBuffW(buf, static_cast<DWORD>(n));
    }
    return;
  }
  std::string ansi = ToAnsi(std::u16string_view(s, n));
  if (upper) {
    CharUpperBuffA(ansi.data(), static_cast<DWORD>(ansi.size()));
  } else {
    CharLowerBuffA(ansi.data(), static_cast<DWORD>(ansi.size()));
  }
  std::u16string back = FromAnsi(ansi);
  // A code page can change the length; never write past the original buffer.
  size_t m = back.size() < n ? back.size() : n;
  WideStrMove(s, back.data(), m);
  s[m] = 0;
}

}  // namespace

void WideStrLower(char16_t* s) { ChangeCase(s, /*upper=*/false); }
void WideStrUpper(char16_t* s) { ChangeCase(s, /*upper=*/true); }

std::u16string WideLowerCase(std::u16string_view s) {
  std::u16string out(s);
  WideStrLower(out.data());
  return out;
}

SIZE WideTextExtentBuffer(HDC dc, const char16_t* text, int length) {
  SIZE size{0, 0};
  if (dc == nullptr || text == nullptr || length <= 0) return size;
  if (UseWideApi()) {
    if (!GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text), length, &size)) return SIZE{0, 0};
    return size;
  }
  std::string ansi = ToAnsi(std::u16string_view(text, static_cast<size_t>(length)));
  if (!GetTextExtentPoint32A(dc, ansi.c_str(), static_cast<int>(ansi.size()), &size)) return SIZE{0, 0};
  return size;
}

SIZE WideTextExtent(TFont* font, std::u16string_view text) {
  SIZE size{0, 0};
  if (font == nullptr || text.empty()) return size;
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return size;
  HGDIOBJ old = SelectObject(dc, font->Handle());
  size = WideTextExtentBuffer(dc, text.data(), static_cast<int>(text.size()));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size;
}

std::u16string WideNumberFormat(std::u16string_view number) {
  // The user's default number format, decimals included, as the system gives it.
  std::u16string in(number);
  if (UseWideApi() && wide::GetNumberFormatW != nullptr) {
    wchar_t buffer[129];
    int n = wide::GetNumberFormatW(LOCALE_USER_DEFAULT, 0, W(in), nullptr, buffer, 129);
    if (n <= 0) return in;
    return FromW(buffer);
  }
  char buffer[129];
  std::string ansi = ToAnsi(in);
  int n = GetNumberFormatA(LOCALE_USER_DEFAULT, 0, ansi.c_str(), nullptr, buffer, 129);
  if (n <= 0) return in;
  return FromAnsi(buffer);
}

int WideMessageBox(HWND window, std::u16string_view text, std::u16string_view caption) {
  std::u16string t(text), c(caption);
  if (UseWideApi()) return MessageBoxW(window, W(t), W(c), MB_ICONEXCLAMATION);
  return MessageBoxA(window, ToAnsi(t).c_str(), ToAnsi(c).c_str(), MB_ICONEXCLAMATION);
}

std::u16string StrRetToWideStr(STRRET& value, LPCITEMIDLIST pidl) {
  switch (value.uType) {
    case STRRET_WSTR: {
      std::u16string out = FromW(value.pOleStr);
      CoTaskMemFree(value.pOleStr);
      value.pOleStr = nullptr;
      return out;
    }
    case STRRET_OFFSET: {
      // The text lies inside the item's own ID: read nothing past its size.
      if (pidl == nullptr) return {};
      uint16_t size = 0;
      std::memcpy(&size, pidl, sizeof size);
      if (value.uOffset >= size) return {};
      const char* text = reinterpret_cast<const char*>(pidl) + value.uOffset;
      return FromAnsi(std::string_view(text, strnlen(text, size - value.uOffset)));
    }
    case STRRET_CSTR:
      return FromAnsi(std::string_view(value.cStr, strnlen(value.cStr, MAX_PATH)));
    default:
      return {};
  }
}

}  // namespace vws
