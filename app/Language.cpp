#include "Language.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "Settings.h"
#include "Utils.h"
#include "core/Exception.h"
#include "core/FileStream.h"
#include "win/Forms.h"
#include "win/TextConvert.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/StdCtrls.h"

TMemIniFile* LangIni = nullptr;

namespace {

const char kMiscSection[] = "Misc";
const char kLineBreakMark[] = "*|*";
const char kMemoLineDefault[] = "fsdef";

bool FileExistsAnsi(const std::string& path) {
  DWORD attrs = GetFileAttributesW(reinterpret_cast<LPCWSTR>(AnsiToWide(path).c_str()));
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Built anew from left to right: replacing in place would move the rest of
// the text at every mark, and a value of a language file may hold a million.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  result.reserve(text.size());
  size_t start = 0, pos = 0;
  while ((pos = text.find(from, start)) != std::string_view::npos) {
    result.append(text, start, pos - start);
    result.append(to);
    start = pos + from.size();
  }
  result.append(text, start, std::string_view::npos);
  return result;
}

std::string Indexed(const std::string& prefix, const char* kind, int index, const char* suffix) {
  return prefix + kind + std::to_string(index) + suffix;
}

// Lines, items and columns that exist are replaced; a file never adds any.
void TranslateMemo(TMemo* memo, const std::string& section, const std::string& prefix, const TMemIniFile* ini) {
  TStrings* lines = memo->Lines();
  for (int n = 0; n < lines->Count(); ++n) {
    std::string value = ini->ReadString(section, Indexed(prefix, ".lines[", n, "]"), kMemoLineDefault);
    if (value != kMemoLineDefault) lines->SetStrings(n, value);
  }
}

void TranslateCombo(TComboBox* combo, const std::string& section, const std::string& prefix, const TMemIniFile* ini) {
  TStrings* items = combo->Items();
  for (int n = 0; n < items->Count(); ++n) {
    std::string value = ini->ReadString(section, Indexed(prefix, ".items[", n, "]"), "");
    if (!value.empty()) items->SetStrings(n, value);
  }
}

void TranslateListView(TListView* list, const std::string& section, const std::string& prefix,
                       const TMemIniFile* ini) {
  TListColumns* columns = list->Columns();
  for (int n = 0; n < columns->Count(); ++n) {
    std::string value = ini->ReadString(section, Indexed(prefix, ".Columns[", n, "].Caption"), "");
    if (!value.empty()) columns->Items(n)->SetCaption(value);
  }
}

void TranslateComponent(TComponent* comp, const std::string& section, const TMemIniFile* ini) {
  if (comp->Name().empty()) return;
  std::string prefix = section + "." + comp->Name();
  SetStrPropByName(comp, "Caption", ini->ReadString(section, prefix + ".Caption", ""));
  SetStrPropByName(comp, "Hint", ini->ReadString(section, prefix + ".Hint", ""));
  if (auto* memo = dynamic_cast<TMemo*>(comp)) TranslateMemo(memo, section, prefix, ini);
  if (auto* combo = dynamic_cast<TComboBox*>(comp)) TranslateCombo(combo, section, prefix, ini);
  if (auto* list = dynamic_cast<TListView*>(comp)) TranslateListView(list, section, prefix, ini);
}

// The offset of the first byte that no text holds (a control character other
// than tab, line feed and carriage return), or npos.
size_t FirstNonTextByte(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return i;
  }
  return std::string_view::npos;
}

// What reading a language file came to.
enum class TLanguageReadKind { Loaded, Missing, Unusable };

// Reads the whole file at path into an INI of its own, refusing files larger
// than kMaxLanguageFileBytes before anything is allocated for them. reason
// says why an existing file could not be used.
TLanguageReadKind ReadLanguageFile(const std::string& path, TMemIniFile*& ini, std::string& reason) {
  ini = nullptr;
  if (!FileExistsAnsi(path)) return TLanguageReadKind::Missing;
  std::string text;
  try {
    TFileStream stream(AnsiToWide(path), fmOpenRead | fmShareDenyWrite);
    const int64_t size = stream.Size();
    if (size < 0) {
      // A device rather than a file (AUX.lng, COM1.lng): it has no size.
      reason = "Its size cannot be read: it is no file.";
      return TLanguageReadKind::Unusable;
    }
    if (size > kMaxLanguageFileBytes) {
      reason = "It holds " + FormatThousands(size) + " bytes; a language file may hold at most " +
               FormatThousands(kMaxLanguageFileBytes) + " bytes.";
      return TLanguageReadKind::Unusable;
    }
    text.resize(static_cast<size_t>(size));
    stream.ReadBuffer(text.data(), static_cast<int32_t>(size));
    // Any bytes read as INI text give some texts or none: only text is
    // taken for a language.
    if (const size_t at = FirstNonTextByte(text); at != std::string_view::npos) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(text[at]));
      reason = "It is not text: byte " + FormatThousands(static_cast<int64_t>(at)) + " is the control character " +
               code + ". A language file is text in the system's ANSI code page.";
      return TLanguageReadKind::Unusable;
    }
    ini = New<TMemIniFile>();
    ini->SetFileName(AnsiToWide(path));
    ini->SetText(text);
    return TLanguageReadKind::Loaded;
  } catch (const EStreamError& e) {
    reason = e.what();
  } catch (const std::bad_alloc&) {
    reason = "There is not enough memory to read it.";
  } catch (const std::length_error&) {
    reason = "There is not enough memory to read it.";
  }
  FreeAndNil(ini);
  return TLanguageReadKind::Unusable;
}

// LoadLanguageFile, also saying whether the file cannot be used: one that
// exists but cannot be read as a language, and a missing one when missingIsUnusable.
TMemIniFile* LoadLanguage(const std::string& fileName, bool missingIsUnusable, bool& unusable) {
  unusable = false;
  FreeAndNil(LangIni);
  if (fileName.empty()) return nullptr;
  // GetApplicationPath ends with the backslash that joins the two.
  const std::string path = GetApplicationPath() + fileName;
  TMemIniFile* ini = nullptr;
  std::string reason;
  const TLanguageReadKind read = ReadLanguageFile(path, ini, reason);
  if (read == TLanguageReadKind::Loaded || (read == TLanguageReadKind::Missing && !missingIsUnusable)) return ini;
  if (read == TLanguageReadKind::Missing) reason = "It no longer exists.";
  unusable = true;
  if (ReportLanguageNotLoaded != nullptr) ReportLanguageNotLoaded(path, reason);
  return nullptr;
}

}  // namespace

TMemIniFile* LoadLanguageFile(const std::string& fileName) {
  bool unusable = false;
  return LoadLanguage(fileName, /*missingIsUnusable=*/false, unusable);
}

namespace {

void TakeLanguage(const std::string& fileName, bool missingIsUnusable) {
  bool unusable = false;
  LangIni = LoadLanguage(fileName, missingIsUnusable, unusable);
  // A file that cannot be used would fail the same way at every start.
  GlobalLanguage = unusable ? std::string() : fileName;
}

}  // namespace

void UseLanguage(const std::string& fileName) { TakeLanguage(fileName, /*missingIsUnusable=*/false); }

void ChooseLanguage(const std::string& fileName) { TakeLanguage(fileName, /*missingIsUnusable=*/true); }

void ReportLanguageNotLoadedInABox(const std::string& path, const std::string& reason) {
  // English: the language meant to translate this is the one that failed.
  const std::string text =
      "This language file cannot be used; the built-in English texts are shown instead:\n\n" + path + "\n\n" + reason;
  MessageBoxA(MessageBoxOwner(), text.c_str(), "Error", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}

TLanguageNotLoadedReport ReportLanguageNotLoaded = ReportLanguageNotLoadedInABox;

std::string LangString(const std::string& defaultText, const std::string& ident) {
  if (LangIni == nullptr || !LangIni->ValueExists(kMiscSection, ident)) return defaultText;
  std::string value = LangIni->ReadString(kMiscSection, ident, defaultText);
  if (value.find(kLineBreakMark) == std::string::npos) return value;
  return ReplaceAll(value, kLineBreakMark, "\r\n");
}

std::string ReplacePlaceholder(const std::string& text, const std::string& placeholder, const std::string& value) {
  if (placeholder.empty()) return text;
  size_t pos = text.find(placeholder);
  if (pos == std::string::npos) return text;
  std::string result = text;
  result.replace(pos, placeholder.size(), value);
  return result;
}

void TranslateForms(const std::vector<TCustomForm*>& forms) {
  if (LangIni == nullptr) return;
  TranslateFormComponents(forms, LangIni);
}

void TranslateFormComponents(const std::vector<TCustomForm*>& forms, const TMemIniFile* ini) {
  if (ini == nullptr) return;
  for (TCustomForm* form : forms) {
    if (form == nullptr) continue;
    const std::string section = form->Name();
    std::string caption = ini->ReadString(section, section + ".Caption", "");
    if (!caption.empty()) form->SetCaption(caption);
    for (int i = 0; i < form->ComponentCount(); ++i) TranslateComponent(form->Components(i), section, ini);
  }
}

void TranslateLaterComponents(TCustomForm* form, int first) {
  if (LangIni == nullptr) return;
  for (int i = std::max(first, 0); i < form->ComponentCount(); ++i)
    TranslateComponent(form->Components(i), form->Name(), LangIni);
}

std::string CapitalizeLanguageName(const std::string& name) {
  if (name.empty()) return name;
  std::string result = name;
  CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
  CharUpperBuffA(result.data(), 1);
  return result;
}
