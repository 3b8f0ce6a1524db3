#pragma once
// Ordinal comparison, substring search and the XPath translate() operation
// over UTF-16 code units.
#include <string>
#include <string_view>

// Unit by unit over the shorter length: the first difference gives
// (unit of s1 - unit of s2); equal prefixes give size(s1) - size(s2). No locale,
// no case folding.
int CompareWideStr(std::u16string_view s1, std::u16string_view s2);
// Each unit of s found in fromStr (first occurrence p) becomes toStr[p], or is
// dropped when toStr is shorter; other units stay.
void TranslateWideStr(std::u16string_view s, std::u16string_view fromStr, std::u16string_view toStr,
                      std::u16string& result);
// The first place of pattern in text (0 for an empty pattern), or npos; in
// time linear in the two lengths.
size_t FindWideStr(std::u16string_view text, std::u16string_view pattern);
