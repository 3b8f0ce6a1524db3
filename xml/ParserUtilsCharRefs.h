#pragma once
// Character references ("&#65;", "&#x41;") and their resolution in text.
#include <cstdint>
#include <string>
#include <string_view>

// The code point of a character reference. EConvertError "<text> is not a
// valid XmlCharRef value." when text is no character reference, the value is
// 0x110000 or more (however many digits), or a value below 0x10000 is a
// surrogate or no XML character.
uint32_t XmlCharRefToInt(std::u16string_view text);
// XmlCharRefToInt without raising: false where it raises.
bool TryXmlCharRefToInt(std::u16string_view text, uint32_t& value);
// The referenced character; from 0x10000 on a surrogate pair, high first.
std::u16string XmlCharRefToWideStr(std::u16string_view text);
// text with every character reference replaced by its character; entity
// references stay. A leading U+FEFF is kept. EConvertError on lone or
// misplaced surrogates, non-XML characters, an '&' without ';', and a
// reference that is neither an entity nor a character reference.
std::u16string ResolveCharRefsWideStr(std::u16string_view text);
