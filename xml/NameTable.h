#pragma once
// The names of a document's elements and attributes, each kept once: every
// node of a name shares one record, so a million "pass" elements hold one
// copy of "pass". A record never changes and lives as long as its table (the
// document's); renaming a node points it at another record.
#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

struct TdomQualifiedName {
  std::u16string nodeName;      // the qualified name as written
  std::u16string prefix;        // empty for plain names and unprefixed ones
  std::u16string localName;     // empty for plain names
  std::u16string namespaceURI;  // empty for plain names
  // A plain record's node name was found to be an XML Name (checked once).
  bool xmlName = false;
};

class TdomNameTable {
public:
  // The record of a plain name: no prefix, local name or namespace.
  const TdomQualifiedName* Plain(std::u16string_view nodeName);
  // The record of a plain name that must be an XML Name, or null when it is
  // not one (nothing is added then). Each name is checked once per table.
  const TdomQualifiedName* PlainXmlName(std::u16string_view nodeName);
  // The record of a namespace-aware name; nodeName is prefix:localName, or
  // localName without a prefix.
  const TdomQualifiedName* Qualified(std::u16string_view namespaceURI, std::u16string_view prefix,
                                     std::u16string_view localName);
  // The table of nodes made without a document; shared, guarded by a lock and never freed.
  static const TdomQualifiedName* PlainWithoutDocument(std::u16string_view nodeName);
  static const TdomQualifiedName* PlainXmlNameWithoutDocument(std::u16string_view nodeName);
  static const TdomQualifiedName* QualifiedWithoutDocument(std::u16string_view namespaceURI,
                                                           std::u16string_view prefix, std::u16string_view localName);
  size_t Count() const { return plain.size() + qualified.size(); }

private:
  // Adds the record of a plain name not yet in the table.
  TdomQualifiedName* AddPlain(std::u16string_view nodeName);
  // The slot of recentPlain for a name (not empty): from its length and its
  // first and last units, with no pass over the name.
  static size_t RecentSlot(std::u16string_view nodeName) {
    return (nodeName.size() * 7 + size_t(nodeName.front()) * 3 + nodeName.back()) % kRecentSlots;
  }
  // The record in nodeName's slot when it is nodeName's, else null.
  const TdomQualifiedName* Recent(std::u16string_view nodeName) const;
  static TdomNameTable& Orphans(std::unique_lock<std::mutex>& lock);

  // Plain names keyed by a view of their own record's node name.
  std::unordered_map<std::u16string_view, std::unique_ptr<TdomQualifiedName>> plain;
  // Namespace-aware names keyed by the URI's length, the URI and the node name.
  std::unordered_map<std::u16string, std::unique_ptr<TdomQualifiedName>> qualified;
  // The plain record last asked for in each slot: a document uses few names,
  // each many times, so most lookups end here, without hashing the name.
  static constexpr size_t kRecentSlots = 64;
  std::array<const TdomQualifiedName*, kRecentSlots> recentPlain{};
};
