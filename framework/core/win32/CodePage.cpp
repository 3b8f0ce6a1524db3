// The 8-bit system code page on Windows is the ANSI code page (CP_ACP).
#include <windows.h>

#include "core/SysUtils.h"

std::u16string AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  int size = static_cast<int>(text.size());
  int count = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (count <= 0) return {};
  std::u16string out(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, reinterpret_cast<wchar_t*>(out.data()), count);
  return out;
}

std::string WideToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  int size = static_cast<int>(text.size());
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int count = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string out(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, size, out.data(), count, nullptr, nullptr);
  return out;
}
