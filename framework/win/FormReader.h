#pragma once
// The text of a form definition, parsed into a tree (window-free).
//
// Format (UTF-8 text; "//" starts a comment that runs to the end of the line):
//
//   definition := object
//   object     := ClassName Name "{" { property | object } "}"
//   property   := Path "=" value ";"            Path: Name { "." Name }
//   value      := integer | float | string { "+" string } | identifier
//               | "[" [ identifier { "," identifier } ] "]"     a set
//               | "(" [ value { "," value } ] ")"               a list (lines, items)
//               | "<" { "item" "{" { property } "}" } ">"       a collection
//               | "{" hex digits and blanks "}"                  binary data
//   integer    := [-] digits | "$" hex digits
//   string     := '"' characters with \" \\ \n \r \t \xHH escapes '"'
//
// Objects nested in an object are created with the definition's root as owner
// and the enclosing object as parent. Objects, lists and collections nest at
// most 100 levels deep. "$" hex integers are 64-bit patterns: $8000000000000000
// and above read as negative values.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Exception.h"

// A definition that cannot be read: "Line <n>: <what>".
QV_DECLARE_EXCEPTION(EFormError, Exception);

struct TFormProperty;

struct TFormValue {
  enum Kind { vkInteger, vkFloat, vkString, vkIdent, vkSet, vkList, vkCollection, vkBinary };
  Kind kind = vkInteger;
  int64_t integer = 0;
  double real = 0;
  std::string text;                                  // vkString (UTF-8), vkIdent
  std::vector<std::string> names;                    // vkSet
  std::vector<TFormValue> list;                      // vkList
  std::vector<std::vector<TFormProperty>> items;     // vkCollection
  std::vector<uint8_t> bytes;                        // vkBinary
  int line = 0;
};

struct TFormProperty {
  std::string path;
  TFormValue value;
  int line = 0;
};

struct TFormObject {
  std::string className;
  std::string name;
  std::vector<TFormProperty> properties;
  std::vector<TFormObject> children;
  int line = 0;
};

// Parses text; raises EFormError with the line of the first fault.
TFormObject ParseFormDefinition(std::string_view text);
// A string literal for text (quoted, escaped), as the format writes it.
std::string QuoteFormString(std::string_view text);
