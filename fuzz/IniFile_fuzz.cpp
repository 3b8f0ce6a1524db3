// INI files and the language files read through them (untrusted: a user may
// edit or swap them): any text reads; every value is found again by its
// section and ident, also after the text is written back and read again;
// integers and Booleans read without undefined behaviour; and a value
// written is read back (blanks at its end and line breaks aside).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/IniFile.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "IniFile_fuzz: %s\n", what);
  std::abort();
}

// The INI's content, one "section/ident=value" line each.
std::string Dump(const TMemIniFile& ini) {
  std::string out;
  for (const std::string& section : ini.SectionNames()) {
    out += "[" + section + "]\n";
    for (const std::string& ident : ini.SectionIdents(section))
      out += ident + "=" + ini.ReadString(section, ident, "<absent>") + "\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TMemIniFile* ini = New<TMemIniFile>();
  ini->SetText(text);
  for (const std::string& section : ini->SectionNames()) {
    Check(ini->SectionExists(section), "a listed section does not exist");
    for (const std::string& ident : ini->SectionIdents(section)) {
      Check(ini->ValueExists(section, ident), "a listed ident has no value");
      ini->ReadInteger(section, ident, -1);
      ini->ReadBool(section, ident, true);
    }
  }
  // What the INI writes it reads back the same.
  std::string written = ini->Text();
  TMemIniFile* again = New<TMemIniFile>();
  again->SetText(written);
  Check(Dump(*again) == Dump(*ini), "written text reads back differently");
  Check(again->Text() == written, "written text is not stable");
  // A language file's "Misc" texts: a value set is the value read.
  std::string value(text.substr(0, text.size() < 40 ? text.size() : 40));
  size_t cut = value.find_first_of("\r\n");
  if (cut != std::string::npos) value.resize(cut);
  again->WriteString("Misc", "FuzzIdent", value);
  Check(again->ReadString("Misc", "FuzzIdent", "<absent>") == value, "a written value reads back differently");
  // Through the text, a value loses what the end of a line loses: blanks
  // and control characters.
  size_t first = 0;
  size_t last = value.size();
  while (last > first && static_cast<unsigned char>(value[last - 1]) <= ' ') --last;
  TMemIniFile* third = New<TMemIniFile>();
  third->SetText(again->Text());
  Check(third->ReadString("Misc", "FuzzIdent", "<absent>") == value.substr(first, last - first),
        "a written value does not survive the text");
  third->Free();
  again->Free();
  ini->Free();
  return 0;
}
