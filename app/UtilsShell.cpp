// Shell services of the utility unit: file types and icons, starting programs,
// the program's folder.
#include <windows.h>
#include <shellapi.h>

#include "Language.h"
#include "MiscTexts.h"
#include "Utils.h"
#include "win/TextConvert.h"

namespace {

LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

void ShowErrorBox(const std::string& text) {
  std::u16string wide = AnsiToWide(text);
  MessageBoxW(nullptr, W(wide), L"Error", MB_OK | MB_ICONERROR);
}

}  // namespace

TUtilsErrorReporter UtilsErrorReporter = ShowErrorBox;

bool GetFileTypeName(const std::string& fileName, uint32_t attributes, std::string& typeName) {
  if (fileName.size() > kMaxShellPath) return false;
  std::u16string wide = AnsiToWide(fileName);
  SHFILEINFOW info{};
  if (SHGetFileInfoW(W(wide), attributes, &info, sizeof(info), SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES) == 0)
    return false;
  std::u16string name(reinterpret_cast<const char16_t*>(info.szTypeName));
  typeName = WideToAnsi(name);
  return true;
}

HICON GetFileIconHandle(const std::string& fileName, bool smallIcon) {
  if (fileName.size() > kMaxShellPath) return nullptr;
  std::u16string wide = AnsiToWide(fileName);
  SHFILEINFOW info{};
  UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | (smallIcon ? SHGFI_SMALLICON : SHGFI_LARGEICON);
  if (SHGetFileInfoW(W(wide), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info), flags) == 0) return nullptr;
  return info.hIcon;
}

bool ExecuteProgram(const std::string& fileName, const std::string& parameters) {
  std::u16string file = AnsiToWide(fileName), params = AnsiToWide(parameters);
  auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", W(file), params.empty() ? nullptr : W(params), nullptr, SW_SHOWMAXIMIZED));
  if (result > 32) return true;
  // The translated text is never a format string: only its "%s" takes the name.
  std::string text =
      ReplacePlaceholder(MiscText("strUtilsExecuteProgramError"), "%s",
                         fileName);
  if (UtilsErrorReporter != nullptr) UtilsErrorReporter(text);
  return false;
}

std::string GetExecutablePath() {
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    DWORD len = GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(buffer.data()), static_cast<DWORD>(buffer.size()));
    if (len == 0) return {};
    // A full buffer may hold a cut path: try again with more room.
    if (len < buffer.size()) return WideToAnsi(std::u16string_view(buffer.data(), len));
    buffer.resize(buffer.size() * 2);
  }
}

std::string GetApplicationPath() { return ApplicationPathOf(GetExecutablePath()); }
