#pragma once
// Run-time translation of the user interface from "*.lng" files in the
// program's folder (INI text in the system's ANSI code page). Section "Misc"
// holds the texts looked up by LangString; every other section is named after
// a form and holds that form's texts ("MainForm.BottomNext.Caption=...").
// SetStrPropByName (setting a published string property by name, nothing for
// an empty value or a missing property) comes with win/ClassInfo.h.
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "win/ClassInfo.h"

class TCustomForm;

// The loaded language file, or null for the built-in English texts.
extern TMemIniFile* LangIni;

// Frees LangIni (setting it to null), then reads program folder + fileName
// when that file exists; the caller stores the result in LangIni. Null for an
// empty name or a missing file.
TMemIniFile* LoadLanguageFile(const std::string& fileName);

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

// The display form of a language file's base name: lower-cased, then the first
// character upper-cased ("GERMAN" -> "German"); "" stays "".
std::string CapitalizeLanguageName(const std::string& name);
