#include "LngFileList.h"

#include <windows.h>

#include "Language.h"
#include "win/TextConvert.h"

std::vector<TLanguageFileEntry> ListLanguageFiles(const std::string& folder) {
  std::vector<TLanguageFileEntry> entries;
  WIN32_FIND_DATAW data;
  const std::u16string pattern = AnsiToWide(folder + "*.lng");
  HANDLE find = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.c_str()), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  const DWORD skipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  do {
    if ((data.dwFileAttributes & skipped) != 0) continue;
    const std::u16string wide(reinterpret_cast<const char16_t*>(data.cFileName));
    // The setting and the lists hold names in the ANSI code page: a name it
    // cannot spell would be offered as question marks and name no file.
    std::string name = WideToAnsi(wide);
    if (AnsiToWide(name) != wide) continue;
    // The pattern also matches "x.lngx" through short names: keep real ".lng" files only.
    if (name.size() < 4 || CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name.c_str() + name.size() - 4, 4,
                                          ".lng", 4) != CSTR_EQUAL)
      continue;
    entries.push_back({name, CapitalizeLanguageName(name.substr(0, name.size() - 4))});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

int FindLanguageFile(const std::vector<TLanguageFileEntry>& entries, const std::string& language) {
  if (language.empty()) return -1;
  for (size_t i = 0; i < entries.size(); ++i)
    if (lstrcmpiA(entries[i].fileName.c_str(), language.c_str()) == 0) return static_cast<int>(i);
  return -1;
}

std::string LanguageSettingName(const TLanguageFileEntry& entry) { return entry.displayName + ".lng"; }
