#pragma once
// 8-bit text comparison that does not depend on the user's locale. Letters
// fold as in code page 1252: A-Z/a-z, the accented capitals 0xC0-0xDE and
// their small forms 0xE0-0xFE (except 0xD7 multiplication sign and 0xF7
// division sign), and the pairs 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E, 0x9F/0xFF.
// Every other byte (digits, punctuation, 0xDF sharp s, 0xB5 micro) is its own case.
#include <string>
#include <string_view>

// The small form of c, or c itself when it has none.
char AnsiLowerChar(char c);
// The capital form of c, or c itself when it has none.
char AnsiUpperChar(char c);

// Compares without regard to case: both sides folded to small letters, then
// compared byte by byte as unsigned; a proper prefix sorts first. <0, 0 or >0.
int AnsiCompareText(std::string_view a, std::string_view b);
// True when a and b are equal without regard to case.
bool AnsiSameText(std::string_view a, std::string_view b);
// Compares byte by byte as unsigned (case matters); a proper prefix sorts first.
int AnsiCompareStr(std::string_view a, std::string_view b);
// True when a and b hold the same bytes.
bool AnsiSameStr(std::string_view a, std::string_view b);
// s with every letter in capital form.
std::string AnsiUpperCase(std::string_view s);
// s with every letter in small form.
std::string AnsiLowerCase(std::string_view s);
