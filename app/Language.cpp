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

// Where a translatable text sits in its component.
enum class TTextKind : uint8_t { Caption, Hint, Line, Item, Column };

// One text a translation replaced; its component is found again by name
// ("" for the form itself), since it may be gone by the next translation.
struct TReplacedText {
  std::string component;
  TTextKind kind;
  int index;
  std::string original;
  std::string translated;
};

// The texts the translations of a form replaced, owned by the form: a later
// translation, or the built-in English, first puts back those still shown as
// translated, so no text of an earlier language stays.
class TFormTranslation : public TComponent {
public:
  std::vector<TReplacedText> replaced;
};

TFormTranslation* FindTranslation(const TCustomForm* form) {
  for (int i = form->ComponentCount() - 1; i >= 0; --i)
    if (auto* record = dynamic_cast<TFormTranslation*>(form->Components(i))) return record;
  return nullptr;
}

TStrings* TextList(TComponent* comp, TTextKind kind) {
  if (auto* memo = dynamic_cast<TMemo*>(comp); memo != nullptr && kind == TTextKind::Line) return memo->Lines();
  if (auto* combo = dynamic_cast<TComboBox*>(comp); combo != nullptr && kind == TTextKind::Item) return combo->Items();
  return nullptr;
}

const char* PropName(TTextKind kind) { return kind == TTextKind::Caption ? "Caption" : "Hint"; }

// The text of kind at index in comp; false when comp has no such text.
bool ReadText(TComponent* comp, TTextKind kind, int index, std::string& text) {
  if (kind == TTextKind::Caption || kind == TTextKind::Hint) {
    if (GetPropInfo(comp, PropName(kind)) == nullptr) return false;
    text = GetStrPropByName(comp, PropName(kind));
    return true;
  }
  if (kind == TTextKind::Column) {
    auto* list = dynamic_cast<TListView*>(comp);
    if (list == nullptr || index >= list->Columns()->Count()) return false;
    text = list->Columns()->Items(index)->Caption();
    return true;
  }
  TStrings* lines = TextList(comp, kind);
  if (lines == nullptr || index >= lines->Count()) return false;
  text = lines->Strings(index);
  return true;
}

// Sets a text that ReadText found, the empty text too.
void WriteText(TComponent* comp, TTextKind kind, int index, const std::string& text) {
  if (kind == TTextKind::Caption || kind == TTextKind::Hint) {
    const TPropInfo* prop = GetPropInfo(comp, PropName(kind));
    if (prop->kind == pkString && prop->setStr) prop->setStr(comp, text);
    if (prop->kind == pkWideString && prop->setWide) prop->setWide(comp, AnsiToWide(text));
    return;
  }
  if (kind == TTextKind::Column) {
    static_cast<TListView*>(comp)->Columns()->Items(index)->SetCaption(text);
    return;
  }
  TextList(comp, kind)->SetStrings(index, text);
}

// Puts back, newest first, the texts still shown as record's translation left them.
void PutBackOriginals(TCustomForm* form, TFormTranslation* record) {
  for (auto it = record->replaced.rbegin(); it != record->replaced.rend(); ++it) {
    TComponent* comp = it->component.empty() ? form : form->FindComponent(it->component);
    std::string shown;
    if (comp == nullptr || !ReadText(comp, it->kind, it->index, shown) || shown != it->translated) continue;
    WriteText(comp, it->kind, it->index, it->original);
  }
  record->replaced.clear();
}

// Applies one language file's section to a form's components, keeping what it replaces.
struct TFormTranslator {
  const TMemIniFile* ini;
  std::string section;
  TFormTranslation* record;

  void Replace(TComponent* comp, TTextKind kind, int index, const std::string& value) {
    std::string original;
    if (!ReadText(comp, kind, index, original)) return;
    record->replaced.push_back({comp == record->Owner() ? "" : comp->Name(), kind, index, original, value});
    WriteText(comp, kind, index, value);
  }

  // Lines, items and columns that exist are replaced; a file never adds any.
  void Component(TComponent* comp) {
    if (comp->Name().empty()) return;
    const std::string prefix = section + "." + comp->Name();
    for (TTextKind kind : {TTextKind::Caption, TTextKind::Hint}) {
      std::string value = ini->ReadString(section, prefix + "." + PropName(kind), "");
      if (!value.empty()) Replace(comp, kind, 0, value);
    }
    if (TStrings* lines = TextList(comp, TTextKind::Line)) {
      for (int n = 0; n < lines->Count(); ++n) {
        std::string value = ini->ReadString(section, Indexed(prefix, ".lines[", n, "]"), kMemoLineDefault);
        if (value != kMemoLineDefault) Replace(comp, TTextKind::Line, n, value);
      }
    }
    if (TStrings* items = TextList(comp, TTextKind::Item)) {
      for (int n = 0; n < items->Count(); ++n) {
        std::string value = ini->ReadString(section, Indexed(prefix, ".items[", n, "]"), "");
        if (!value.empty()) Replace(comp, TTextKind::Item, n, value);
      }
    }
    if (auto* list = dynamic_cast<TListView*>(comp)) {
      for (int n = 0; n < list->Columns()->Count(); ++n) {
        std::string value = ini->ReadString(section, Indexed(prefix, ".Columns[", n, "].Caption"), "");
        if (!value.empty()) Replace(comp, TTextKind::Column, n, value);
      }
    }
  }
};

// A translator for form, its record made when the form has none yet.
TFormTranslator TranslatorOf(TCustomForm* form, const TMemIniFile* ini) {
  TFormTranslation* record = FindTranslation(form);
  if (record == nullptr) record = New<TFormTranslation>(form);
  return {ini, form->Name(), record};
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

void TranslateForms(const std::vector<TCustomForm*>& forms) { TranslateFormComponents(forms, LangIni); }

void TranslateFormComponents(const std::vector<TCustomForm*>& forms, const TMemIniFile* ini) {
  for (TCustomForm* form : forms) {
    if (form == nullptr) continue;
    if (TFormTranslation* record = FindTranslation(form)) PutBackOriginals(form, record);
    if (ini == nullptr) continue;
    TFormTranslator translator = TranslatorOf(form, ini);
    std::string caption = ini->ReadString(translator.section, translator.section + ".Caption", "");
    if (!caption.empty()) translator.Replace(form, TTextKind::Caption, 0, caption);
    for (int i = 0; i < form->ComponentCount(); ++i) translator.Component(form->Components(i));
  }
}

void TranslateLaterComponents(TCustomForm* form, int first) {
  if (LangIni == nullptr) return;
  TFormTranslator translator = TranslatorOf(form, LangIni);
  for (int i = std::max(first, 0); i < form->ComponentCount(); ++i) translator.Component(form->Components(i));
}

std::string CapitalizeLanguageName(const std::string& name) {
  if (name.empty()) return name;
  std::string result = name;
  CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
  CharUpperBuffA(result.data(), 1);
  return result;
}
