#include "Utils.h"

#include <windows.h>

#include "win/TextConvert.h"

int PosEx(const std::string& sub, const std::string& text, int offset) {
  if (sub.empty() || text.empty() || offset < 1) return 0;
  const size_t start = static_cast<size_t>(offset) - 1;
  if (start + sub.size() > text.size()) return 0;
  size_t pos = text.find(sub, start);
  return pos == std::string::npos ? 0 : static_cast<int>(pos) + 1;
}

int NthPos(const std::string& text, const std::string& sub, int n) {
  int p = PosEx(sub, text, 1);
  if (n <= 1) return p;
  for (int i = 1; i < n; ++i) {
    if (p == 0) return 0;
    p = PosEx(sub, text, p + 1);
  }
  return p;
}

std::string ApplicationPathOf(const std::string& path) {
  size_t cut = path.find_last_of("\\:");
  std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string BuildNumberOf(const std::string& fileVersion) {
  // With fewer than three dots the position is 0 and the whole text remains.
  int p = NthPos(fileVersion, ".", 3);
  return fileVersion.substr(static_cast<size_t>(p));
}

char LocaleThousandsSeparator() {
  char separator[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof(separator)) < 2) return ',';
  return separator[0];
}

std::string FormatThousands(int64_t value, char separator) {
  std::string digits = std::to_string(value);
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.erase(0, 1);
  std::string out = negative ? "-" : "";
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    // A separator before every group of three counted from the end.
    if (i > 0 && (n - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string FormatSize(int64_t size) {
  if (size < kKB) return FormatThousands(size);
  if (size < 2 * kMB) return FormatThousands(size / kKB) + " KB";
  if (size < 2 * kGB) return FormatThousands(size / kMB) + " MB";
  return FormatThousands(size / kGB) + " GB";
}

std::string WideStringToString(const std::u16string& text) {
  // The text ends at its first NUL; its length is otherwise unlimited.
  std::u16string_view view(text);
  size_t nul = view.find(u'\0');
  if (nul != std::u16string_view::npos) view = view.substr(0, nul);
  return WideToAnsi(view);
}

int StringToWideString(const std::string& text, uint16_t codePage, std::u16string& out) {
  out.clear();
  if (text.empty()) return 0;
  const UINT cp = codePage == 0 ? CP_ACP : codePage;
  int count = MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (count <= 0) return 0;
  out.resize(static_cast<size_t>(count));
  count = MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<LPWSTR>(out.data()),
                              count);
  out.resize(static_cast<size_t>(count > 0 ? count : 0));
  return count > 0 ? count : 0;
}
