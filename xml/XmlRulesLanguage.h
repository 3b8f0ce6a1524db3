#pragma once
// The ABNF letter and digit classes and the language-tag match of XPath lang().
#include <string_view>

// 'A'-'Z' or 'a'-'z'.
bool IsAbnfALPHAWideChar(char16_t c);
// '0'-'9'.
bool IsAbnfDIGITWideChar(char16_t c);
// True when tag equals range, or begins with range followed by '-'; ASCII
// letters compare without case, every other unit exactly.
bool IsSubLanguageTag(std::u16string_view tag, std::u16string_view range);
