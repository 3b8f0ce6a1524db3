#pragma once
// TMemIniFile: an INI file read whole into memory.
//
// Syntax: "[name]" opens a section; "ident=value" inside a section gives a
// value: the ident is trimmed, the value is the rest of the line after the
// first '=' (the line's trailing blanks removed). Lines are trimmed first;
// empty lines, lines starting with ';' and lines without '=' are skipped, as is
// anything before the first section. Line ends may be CR LF, LF or CR; a UTF-8
// byte-order mark at the start is skipped. Text is 8-bit (system code page).
//
// Sections and idents are matched ignoring ASCII case. A section that appears
// twice is one section (the later lines join the first); of two equal idents
// the first one counts, for reading and writing. Sections and idents are found
// through hashed indexes: reading a text costs time in proportion to its
// length, and a lookup does not grow with the number of sections or idents.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Object.h"

class TStrings;

class TMemIniFile : public TObject {
public:
  // Reads fileName; a missing or unreadable file, or one too large to hold in
  // memory, gives an empty INI (no error).
  void Create(const std::u16string& fileName);
  // The same with an 8-bit path in the system code page.
  void Create(const std::string& fileName);
  // An empty INI with no file (UpdateFile does nothing until SetFileName).
  void Create();

  const std::u16string& FileName() const { return fileName; }
  void SetFileName(const std::u16string& name) { fileName = name; }

  // The value, or fallback when the section or ident is absent (an empty value is a value).
  std::string ReadString(std::string_view section, std::string_view ident, const std::string& fallback) const;
  // The trimmed value as an integer (decimal, "$" or "0x" hex); fallback when absent or not a number.
  int32_t ReadInteger(std::string_view section, std::string_view ident, int32_t fallback) const;
  // ReadInteger(..., fallback ? 1 : 0) != 0: "1" and "-5" are true, "0" false,
  // anything not a number gives fallback.
  bool ReadBool(std::string_view section, std::string_view ident, bool fallback) const;

  // Sets the value, adding the section and ident when absent.
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view ident, int32_t value);
  // Writes "1" or "0".
  void WriteBool(std::string_view section, std::string_view ident, bool value);

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  // Replaces the content of strings with the idents of section (as written).
  void ReadSection(std::string_view section, TStrings* strings) const;
  // Replaces the content of strings with the section names, in file order.
  void ReadSections(TStrings* strings) const;
  // Replaces the content of strings with "ident=value" lines of section.
  void ReadSectionValues(std::string_view section, TStrings* strings) const;
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> SectionIdents(std::string_view section) const;

  // Removes a section or one ident; absent ones are ignored.
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view ident);
  void Clear();

  // Replaces the content with the INI text (rules above) / gives it back as text
  // with CR LF line ends and a blank line between sections.
  void SetText(std::string_view text);
  std::string Text() const;
  // The same through a TStrings, one line per item.
  void SetStrings(TStrings* strings);
  void GetStrings(TStrings* strings) const;

  // Writes the content to FileName; raises EFCreateError when it cannot be written.
  void UpdateFile() const;

private:
  struct Entry {
    std::string ident;
    std::string value;
  };
  // Index keys are the names with ASCII letters upper-cased.
  using TIndex = std::unordered_map<std::string, size_t>;
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    TIndex identIndex;  // first entry of each ident
  };

  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);
  const Entry* FindEntry(std::string_view section, std::string_view ident) const;
  // The section of that name, added at the end when absent.
  Section& SectionFor(std::string_view name);
  // Adds an entry at the end of section; the index keeps the first of each ident.
  static void AddEntry(Section& section, std::string ident, std::string value);
  // Builds both indexes again after entries or sections were removed.
  void Reindex();

  std::u16string fileName;
  std::vector<Section> sections;
  TIndex sectionIndex;
};
