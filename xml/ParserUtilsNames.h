#pragma once
// Qualified names of Namespaces in XML, split at the first colon.
#include <string>
#include <string_view>

// Splits qualifiedName: with a colon, prefix and local name are the texts
// before and after the first colon; without, prefix is empty and localName
// the whole text. Both parts must be NCNames, else false with both emptied.
bool SplitQualifiedName(std::u16string_view qualifiedName, std::u16string& prefix, std::u16string& localName);
// The prefix (empty without a colon); EInvalid_Character_Err when a part is no NCName.
std::u16string ExtractPrefix(std::u16string_view qualifiedName);
// The local name; EInvalid_Character_Err when a part is no NCName.
std::u16string ExtractLocalName(std::u16string_view qualifiedName);
