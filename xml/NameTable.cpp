#include "xml/NameTable.h"

#include <cstring>

#include "xml/XmlRulesStrings.h"

TdomQualifiedName* TdomNameTable::AddPlain(std::u16string_view nodeName) {
  auto record = std::make_unique<TdomQualifiedName>();
  record->nodeName.assign(nodeName);
  TdomQualifiedName* result = record.get();
  plain.emplace(std::u16string_view(result->nodeName), std::move(record));
  return result;
}

const TdomQualifiedName* TdomNameTable::Recent(std::u16string_view nodeName) const {
  if (nodeName.empty()) return nullptr;
  const TdomQualifiedName* record = recentPlain[RecentSlot(nodeName)];
  if (record == nullptr || record->nodeName.size() != nodeName.size()) return nullptr;
  bool same = std::memcmp(record->nodeName.data(), nodeName.data(), nodeName.size() * sizeof(char16_t)) == 0;
  return same ? record : nullptr;
}

const TdomQualifiedName* TdomNameTable::Plain(std::u16string_view nodeName) {
  if (const TdomQualifiedName* record = Recent(nodeName)) return record;
  auto it = plain.find(nodeName);
  const TdomQualifiedName* record = it != plain.end() ? it->second.get() : AddPlain(nodeName);
  if (!nodeName.empty()) recentPlain[RecentSlot(nodeName)] = record;
  return record;
}

const TdomQualifiedName* TdomNameTable::PlainXmlName(std::u16string_view nodeName) {
  if (const TdomQualifiedName* recent = Recent(nodeName); recent != nullptr && recent->xmlName) return recent;
  auto it = plain.find(nodeName);
  TdomQualifiedName* record = it != plain.end() ? it->second.get() : nullptr;
  if (record == nullptr || !record->xmlName) {
    if (!IsXmlName(nodeName)) return nullptr;
    if (record == nullptr) record = AddPlain(nodeName);
    record->xmlName = true;
  }
  recentPlain[RecentSlot(nodeName)] = record;  // an XML Name is never empty
  return record;
}

const TdomQualifiedName* TdomNameTable::Qualified(std::u16string_view namespaceURI, std::u16string_view prefix,
                                                  std::u16string_view localName) {
  std::u16string key;
  key.reserve(3 + namespaceURI.size() + prefix.size() + localName.size());
  key += static_cast<char16_t>(namespaceURI.size() & 0xFFFF);
  key += static_cast<char16_t>(namespaceURI.size() >> 16);
  key += namespaceURI;
  key += prefix;
  if (!prefix.empty()) key += u':';
  key += localName;
  auto it = qualified.find(key);
  if (it != qualified.end()) return it->second.get();
  auto record = std::make_unique<TdomQualifiedName>();
  record->prefix.assign(prefix);
  record->localName.assign(localName);
  record->namespaceURI.assign(namespaceURI);
  record->nodeName = prefix.empty() ? record->localName : record->prefix + u":" + record->localName;
  const TdomQualifiedName* result = record.get();
  qualified.emplace(std::move(key), std::move(record));
  return result;
}

TdomNameTable& TdomNameTable::Orphans(std::unique_lock<std::mutex>& lock) {
  static std::mutex mutex;
  static TdomNameTable* table = new TdomNameTable();
  lock = std::unique_lock<std::mutex>(mutex);
  return *table;
}

const TdomQualifiedName* TdomNameTable::PlainWithoutDocument(std::u16string_view nodeName) {
  std::unique_lock<std::mutex> lock;
  return Orphans(lock).Plain(nodeName);
}

const TdomQualifiedName* TdomNameTable::PlainXmlNameWithoutDocument(std::u16string_view nodeName) {
  std::unique_lock<std::mutex> lock;
  return Orphans(lock).PlainXmlName(nodeName);
}

const TdomQualifiedName* TdomNameTable::QualifiedWithoutDocument(std::u16string_view namespaceURI,
                                                                 std::u16string_view prefix,
                                                                 std::u16string_view localName) {
  std::unique_lock<std::mutex> lock;
  return Orphans(lock).Qualified(namespaceURI, prefix, localName);
}
