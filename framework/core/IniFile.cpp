#include "core/IniFile.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/Strings.h"
#include "core/SysUtils.h"

namespace {

// The whole file as bytes, or false when it cannot be opened or read.
bool ReadWholeFile(const std::u16string& path, std::string& contents) {
  try {
    TFileStream stream(path, fmOpenRead | fmShareDenyWrite);
    int64_t size = stream.Size();
    if (size < 0 || size > INT32_MAX) return false;
    contents.resize(static_cast<size_t>(size));
    stream.ReadBuffer(contents.data(), static_cast<int32_t>(size));
    return true;
  } catch (const EStreamError&) {
    return false;
  } catch (const std::bad_alloc&) {
    // A file too large for the memory left reads as no file.
    contents.clear();
    contents.shrink_to_fit();
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

// Calls add(line) for each line of text, split at CR LF, LF or CR.
template <class F>
void ForEachLine(std::string_view text, F add) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    add(text.substr(start, end - start));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
}

}  // namespace

void TMemIniFile::Create(const std::u16string& fileName_) {
  fileName = fileName_;
  std::string contents;
  if (ReadWholeFile(fileName, contents)) SetText(contents);
}

void TMemIniFile::Create(const std::string& fileName_) { Create(AnsiToWide(fileName_)); }

void TMemIniFile::Create() {}

const TMemIniFile::Section* TMemIniFile::FindSection(std::string_view name) const {
  auto found = sectionIndex.find(UpperCase(name));
  return found != sectionIndex.end() ? &sections[found->second] : nullptr;
}

TMemIniFile::Section* TMemIniFile::FindSection(std::string_view name) {
  return const_cast<Section*>(static_cast<const TMemIniFile*>(this)->FindSection(name));
}

const TMemIniFile::Entry* TMemIniFile::FindEntry(std::string_view section, std::string_view ident) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return nullptr;
  auto entry = found->identIndex.find(UpperCase(ident));
  return entry != found->identIndex.end() ? &found->entries[entry->second] : nullptr;
}

TMemIniFile::Section& TMemIniFile::SectionFor(std::string_view name) {
  auto [at, added] = sectionIndex.try_emplace(UpperCase(name), sections.size());
  if (added) sections.push_back(Section{std::string(name), {}, {}});
  return sections[at->second];
}

void TMemIniFile::AddEntry(Section& section, std::string ident, std::string value) {
  section.identIndex.try_emplace(UpperCase(ident), section.entries.size());
  section.entries.push_back(Entry{std::move(ident), std::move(value)});
}

void TMemIniFile::Reindex() {
  sectionIndex.clear();
  for (size_t i = 0; i < sections.size(); ++i) {
    sectionIndex.try_emplace(UpperCase(sections[i].name), i);
    Section& section = sections[i];
    section.identIndex.clear();
    for (size_t k = 0; k < section.entries.size(); ++k)
      section.identIndex.try_emplace(UpperCase(section.entries[k].ident), k);
  }
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    const std::string& fallback) const {
  const Entry* entry = FindEntry(section, ident);
  return entry != nullptr ? entry->value : fallback;
}

int32_t TMemIniFile::ReadInteger(std::string_view section, std::string_view ident, int32_t fallback) const {
  const Entry* entry = FindEntry(section, ident);
  if (entry == nullptr) return fallback;
  return StrToIntDef(Trim(entry->value), fallback);
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view ident, bool fallback) const {
  return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value) {
  Section& found = SectionFor(section);
  auto entry = found.identIndex.find(UpperCase(ident));
  if (entry != found.identIndex.end()) {
    found.entries[entry->second].value = std::string(value);
    return;
  }
  AddEntry(found, std::string(ident), std::string(value));
}

void TMemIniFile::WriteInteger(std::string_view section, std::string_view ident, int32_t value) {
  WriteString(section, ident, IntToStr(value));
}

void TMemIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

bool TMemIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  return FindEntry(section, ident) != nullptr;
}

std::vector<std::string> TMemIniFile::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections) names.push_back(section.name);
  return names;
}

std::vector<std::string> TMemIniFile::SectionIdents(std::string_view section) const {
  std::vector<std::string> idents;
  const Section* found = FindSection(section);
  if (found == nullptr) return idents;
  for (const Entry& entry : found->entries) idents.push_back(entry.ident);
  return idents;
}

void TMemIniFile::ReadSection(std::string_view section, TStrings* strings) const {
  strings->BeginUpdate();
  strings->Clear();
  for (const std::string& ident : SectionIdents(section)) strings->Add(ident);
  strings->EndUpdate();
}

void TMemIniFile::ReadSections(TStrings* strings) const {
  strings->BeginUpdate();
  strings->Clear();
  for (const Section& section : sections) strings->Add(section.name);
  strings->EndUpdate();
}

void TMemIniFile::ReadSectionValues(std::string_view section, TStrings* strings) const {
  strings->BeginUpdate();
  strings->Clear();
  if (const Section* found = FindSection(section))
    for (const Entry& entry : found->entries) strings->Add(entry.ident + "=" + entry.value);
  strings->EndUpdate();
}

void TMemIniFile::EraseSection(std::string_view section) {
  sections.erase(std::remove_if(sections.begin(), sections.end(),
                                [&](const Section& s) { return SameText(s.name, section); }),
                 sections.end());
  Reindex();
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  Section* found = FindSection(section);
  if (found == nullptr) return;
  auto& entries = found->entries;
  auto match = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return SameText(e.ident, ident); });
  if (match == entries.end()) return;
  entries.erase(match);
  Reindex();
}

void TMemIniFile::Clear() {
  sections.clear();
  sectionIndex.clear();
}

void TMemIniFile::SetText(std::string_view text) {
  Clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // An index, not a pointer: adding a section may move the others.
  size_t current = SIZE_MAX;
  ForEachLine(text, [&](std::string_view rawLine) {
    std::string line = Trim(rawLine);
    if (line.empty() || line[0] == ';') return;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      Section& section = SectionFor(Trim(std::string_view(line).substr(1, line.size() - 2)));
      current = static_cast<size_t>(&section - sections.data());
      return;
    }
    size_t equals = line.find('=');
    if (current == SIZE_MAX || equals == std::string::npos) return;
    AddEntry(sections[current], Trim(std::string_view(line).substr(0, equals)), line.substr(equals + 1));
  });
}

std::string TMemIniFile::Text() const {
  std::string text;
  for (size_t i = 0; i < sections.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += "[" + sections[i].name + "]\r\n";
    for (const Entry& entry : sections[i].entries) text += entry.ident + "=" + entry.value + "\r\n";
  }
  return text;
}

void TMemIniFile::SetStrings(TStrings* strings) {
  std::string text;
  for (int i = 0; i < strings->Count(); ++i) text += strings->Strings(i) + "\n";
  SetText(text);
}

void TMemIniFile::GetStrings(TStrings* strings) const { strings->SetText(Text()); }

void TMemIniFile::UpdateFile() const {
  if (fileName.empty()) return;
  std::string text = Text();
  TFileStream stream(fileName, fmCreate);
  stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}
