#pragma once
// The language files beside the program, as the two language dialogs list
// them: each keeps its real file name and shows its capitalised base name.
#include <string>
#include <vector>

// The first entry of both language lists: the built-in English texts.
inline constexpr const char* kEnglishDefault = "English (Default)";

struct TLanguageFileEntry {
  std::string fileName;     // "GERMAN.LNG", as the file system gives it
  std::string displayName;  // "German"
};

// The normal files matching folder + "*.lng" (hidden and system files and
// folders skipped, and names the ANSI code page cannot spell) in the file
// system's order; empty when there are none.
std::vector<TLanguageFileEntry> ListLanguageFiles(const std::string& folder);
// The index in entries of the file named language (ignoring case), or -1
// (always -1 for an empty language).
int FindLanguageFile(const std::vector<TLanguageFileEntry>& entries, const std::string& language);
// What GlobalLanguage records for a chosen entry: the shown name with ".lng"
// ("French.lng" for FRENCH.LNG). The extension is appended, never put in
// place of a dot inside the name, so "Chinese.simplified.lng" still names
// Chinese.Simplified.lng (file names compare without regard to case).
std::string LanguageSettingName(const TLanguageFileEntry& entry);
