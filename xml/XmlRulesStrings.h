#pragma once
// The lexical string rules of XML 1.0 and Namespaces in XML: names, tokens,
// references, literals and declaration values. Pure predicates over UTF-16.
#include <string>
#include <string_view>

// The white-space characters in the order space, CR, LF, tab.
std::u16string GetXmlWhiteSpaceWideStr();

// Every unit is #x9, #xA, #xD, #x20-#xD7FF, #xE000-#xFFFD, or a high surrogate
// directly followed by a low one; true for the empty string.
bool IsXmlChars(std::u16string_view s);
// Non-empty and only white space.
bool IsXmlS(std::u16string_view s);
// Non-empty; first a Letter, '_' or ':'; then NameChars.
bool IsXmlName(std::u16string_view s);
// One or more Names separated by single spaces, no leading or trailing space.
bool IsXmlNames(std::u16string_view s);
// Non-empty and only NameChars.
bool IsXmlNmtoken(std::u16string_view s);
// One or more Nmtokens separated by single spaces, no leading or trailing space.
bool IsXmlNmtokens(std::u16string_view s);
// "&#" decimal digits ";" or "&#x" hex digits ";" (at least one digit).
bool IsXmlCharRef(std::u16string_view s);
// "&" Name ";".
bool IsXmlEntityRef(std::u16string_view s);
// An EntityRef or a CharRef.
bool IsXmlReference(std::u16string_view s);
// XML characters, no '%', every '&' starts a Reference ending at the next ';',
// and not both an apostrophe and a quotation mark.
bool IsXmlEntityValueChars(std::u16string_view s);
// At least two units, quoted at both ends with the same quote, XML characters
// between without that quote.
bool IsXmlSystemLiteral(std::u16string_view s);
// XML characters, and not both an apostrophe and a quotation mark.
bool IsXmlQuotableChars(std::u16string_view s);
// "lt", "gt", "amp", "apos" or "quot".
bool IsXmlPredefinedEntityName(std::u16string_view s);
// The character a predefined entity stands for ("amp" gives '&'); 0 for any other name.
char16_t XmlPredefinedEntityChar(std::u16string_view name);
// Every unit a PubidChar (true for the empty string).
bool IsXmlPubidChars(std::u16string_view s);
// XML characters without "]]>".
bool IsXmlCData(std::u16string_view s);
// XML characters without '<' or '&'.
bool IsXmlCharData(std::u16string_view s);
// A Name other than "xml" in any mix of case.
bool IsXmlPITarget(std::u16string_view s);
// Non-empty and only VersionNum characters.
bool IsXmlVersionNum(std::u16string_view s);
// Non-empty; an ASCII letter, then letters, digits, '.', '_', '-'.
bool IsXmlEncName(std::u16string_view s);
// Non-empty; first a Letter or '_'; then NCName characters.
bool IsXmlNCName(std::u16string_view s);
// An NCName.
bool IsXmlLocalPart(std::u16string_view s);
bool IsXmlPrefix(std::u16string_view s);
// prefix ':' local with both NCNames (split at the first colon), or an NCName.
bool IsXmlQName(std::u16string_view s);
// Equals "xmlns".
bool IsXmlDefaultAttName(std::u16string_view s);
// "xmlns:" followed by an NCName.
bool IsXmlPrefixedAttName(std::u16string_view s);
