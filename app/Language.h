#pragma once
// Run-time translation of the user interface from "*.lng" files in the
// program's folder (INI text in the system's ANSI code page). Section "Misc"
// holds the texts looked up by LangString; every other section is named after
// a form and holds that form's texts ("MainForm.BottomNext.Caption=...").
// SetStrPropByName (setting a published string property by name, nothing for
// an empty value or a missing property) comes with win/ClassInfo.h.
#include <cstdint>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "win/ClassInfo.h"

class TCustomForm;

// The loaded language file, or null for the built-in English texts.
extern TMemIniFile* LangIni;

// The largest language file read, in bytes: far above any translation of
// the program's texts, small enough to read and index at once.
inline constexpr int64_t kMaxLanguageFileBytes = int64_t{1} << 20;

// Frees LangIni (setting it to null), then reads program folder + fileName
// when that file exists; the caller stores the result in LangIni. Null for an
// empty name or a missing file, and for a file that cannot be used (larger
// than kMaxLanguageFileBytes, unreadable, too large for the memory left, not
// text), which is also told to the user through ReportLanguageNotLoaded.
// Never raises.
TMemIniFile* LoadLanguageFile(const std::string& fileName);
// Makes fileName the interface language: LangIni := LoadLanguageFile(fileName)
// and only then GlobalLanguage := fileName. A file that exists but cannot be
// used leaves the built-in English texts (LangIni null) and GlobalLanguage
// empty, so the name is not kept for the next start. A missing file is
// kept: it may be back at the next start. Never raises.
void UseLanguage(const std::string& fileName);
// UseLanguage for a file the user chose from a list of the files present:
// one gone since is told and not kept, as a file that cannot be used.
void ChooseLanguage(const std::string& fileName);
// Tells the user that the language file at path cannot be used and why; the
// default shows a box. Tests put a recording one in its place.
using TLanguageNotLoadedReport = void (*)(const std::string& path, const std::string& reason);
extern TLanguageNotLoadedReport ReportLanguageNotLoaded;
void ReportLanguageNotLoadedInABox(const std::string& path, const std::string& reason);

// The text of ident in section "Misc" with each "*|*" turned into CR LF;
// defaultText when no file is loaded or the ident is absent (an empty value is
// a value). The result is plain text: callers never use it as a format string.
std::string LangString(const std::string& defaultText, const std::string& ident);

// text with its first occurrence of placeholder replaced by value, everything
// else literal (other "%" sequences included); text unchanged when the
// placeholder is absent or empty.
std::string ReplacePlaceholder(const std::string& text, const std::string& placeholder, const std::string& value);

// Applies LangIni to each form (null slots skipped); nothing when no file is loaded.
void TranslateForms(const std::vector<TCustomForm*>& forms);
// The worker: applies ini's sections to the forms' captions and their owned
// components' Caption, Hint, memo lines, combo items and list-view column
// captions. Null ini does nothing.
void TranslateFormComponents(const std::vector<TCustomForm*>& forms, const TMemIniFile* ini);
// Applies LangIni to the components form owns from index first on, made
// after the form was translated (a part of its definition read later), as
// TranslateForms did to the others. Nothing when no file is loaded.
void TranslateLaterComponents(TCustomForm* form, int first);

// The display form of a language file's base name: lower-cased, then the first
// character upper-cased ("GERMAN" -> "German"); "" stays "".
std::string CapitalizeLanguageName(const std::string& name);
