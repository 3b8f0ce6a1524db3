#include "xml/ParserUtilsNames.h"

#include "xml/DomException.h"
#include "xml/XmlRulesStrings.h"

bool SplitQualifiedName(std::u16string_view qualifiedName, std::u16string& prefix, std::u16string& localName) {
  size_t colon = qualifiedName.find(u':');
  std::u16string_view first = colon == std::u16string_view::npos ? std::u16string_view() : qualifiedName.substr(0, colon);
  std::u16string_view rest = colon == std::u16string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
  bool valid = (colon == std::u16string_view::npos || IsXmlNCName(first)) && IsXmlNCName(rest);
  prefix = valid ? std::u16string(first) : std::u16string();
  localName = valid ? std::u16string(rest) : std::u16string();
  return valid;
}

std::u16string ExtractPrefix(std::u16string_view qualifiedName) {
  std::u16string prefix, localName;
  if (!SplitQualifiedName(qualifiedName, prefix, localName)) throw EInvalid_Character_Err();
  return prefix;
}

std::u16string ExtractLocalName(std::u16string_view qualifiedName) {
  std::u16string prefix, localName;
  if (!SplitQualifiedName(qualifiedName, prefix, localName)) throw EInvalid_Character_Err();
  return localName;
}
