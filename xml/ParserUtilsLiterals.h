#pragma once
// Quoted literals and the identifiers of entity and notation declarations.
// Failures are reported through the error output; nothing here raises.
#include <string>
#include <string_view>

// Reads a literal quoted with ' or " after leading white space. quote gets the
// quote character (#0 on failure); rest what follows the white space behind
// the closing quote. Errors: fewer than two characters, no opening or closing
// quote, a non-white-space character right after the closing quote, or a
// literal that is not XML characters. On error literal and rest are empty.
void ParseQuotedLiteral(std::u16string_view text, std::u16string& literal, std::u16string& rest, bool& error,
                        char16_t& quote);
// Reads what follows the name of an entity declaration: a quoted entity value,
// or SYSTEM/PUBLIC identifiers optionally followed by NDATA and a notation
// name. On error every output is empty.
void ParseEntityDeclValue(std::u16string_view text, std::u16string& entityValue, std::u16string& systemLiteral,
                          bool& error, std::u16string& notationName, std::u16string& publicLiteral);
// Reads the identifiers of a notation declaration: SYSTEM with one literal, or
// PUBLIC with a public literal and an optional system literal. On error both
// outputs are empty.
void ParseNotationDeclId(std::u16string_view text, std::u16string& systemLiteral, std::u16string& publicLiteral,
                         bool& error);
// inner is the trimmed text between the parentheses of the trimmed text; error
// (inner empty) when it is shorter than two or not enclosed in "(" ")".
void StripParenthesesWideStr(std::u16string_view text, std::u16string& inner, bool& error);
// Every " becomes "&#34;" and every ' becomes "&#39;".
std::u16string EscapeQuotesWideStr(std::u16string_view text);
