#pragma once
// Ordinal comparison and the XPath translate() operation over UTF-16 code units.
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
