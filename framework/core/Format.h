#pragma once
// Format: builds text from a format string and a list of arguments, with the
// classic library's rules, independent of the user's locale ('.' decimal point,
// ',' thousands separator).
//
// A specifier is "%" [index ":"] ["-"] [width] ["." precision] type, where index,
// width and precision are decimal digits or "*" (taken from the next argument,
// which must be an integer). "%%" is a percent sign. Types:
//   d  decimal integer; precision = minimum digits, zero padded ("%.3d" -5 -> "-005")
//   u  unsigned decimal (a negative argument is taken as its two's complement)
//   x  hexadecimal, upper-case digits (X is the same); precision pads with zeros
//   e  scientific "-d.ddd...E+ddd", precision = significant digits (default 15)
//   f  fixed "-ddd.ddd", precision = decimals (default 2)
//   g  shortest of fixed and scientific, precision = significant digits (default 15)
//   n  like f with thousands separators ("1,234,567.89")
//   m  money: like n (no currency symbol)
//   p  pointer as 8 (32-bit) or 16 (64-bit) upper-case hexadecimal digits
//   s  text (8-bit, wide converted, single characters); precision = maximum characters
// The width right-aligns with spaces, "-" left-aligns; a leading "0" in the width
// is no flag (spaces still). An index selects an argument from 0; later specifiers
// without one continue after it. A missing argument, a wrong kind of argument
// (an integer for %f, a float for %d, a number for %s...) or an unknown type raises
// EConvertError "Format '<fmt>' invalid or incompatible with argument".
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// One argument of Format. Holds references to text arguments, which live until
// the end of the full expression that calls Format.
class TVarRec {
public:
  enum Kind { vtInteger, vtUnsigned, vtExtended, vtString, vtWideString, vtChar, vtWideChar, vtPointer };

  template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, char16_t> && !std::same_as<T, wchar_t>)
  TVarRec(T value) {
    if constexpr (std::is_signed_v<T>) {
      kind = vtInteger;
      integer = static_cast<int64_t>(value);
    } else {
      kind = vtUnsigned;
      integer = static_cast<int64_t>(static_cast<uint64_t>(value));
    }
    wide = sizeof(T) > 4;
  }
  TVarRec(double value) : kind(vtExtended), real(value) {}
  TVarRec(float value) : kind(vtExtended), real(value) {}
  TVarRec(long double value) : kind(vtExtended), real(static_cast<double>(value)) {}
  TVarRec(char value) : kind(vtChar), integer(static_cast<unsigned char>(value)) {}
  TVarRec(char16_t value) : kind(vtWideChar), integer(value) {}
  TVarRec(const char* value) : kind(vtString), text(value != nullptr ? value : "") {}
  TVarRec(const std::string& value) : kind(vtString), text(value) {}
  TVarRec(std::string_view value) : kind(vtString), text(value) {}
  TVarRec(const char16_t* value) : kind(vtWideString), wideText(value != nullptr ? value : u"") {}
  TVarRec(const std::u16string& value) : kind(vtWideString), wideText(value) {}
  TVarRec(std::u16string_view value) : kind(vtWideString), wideText(value) {}
  TVarRec(const void* value) : kind(vtPointer), pointer(value) {}
  TVarRec(std::nullptr_t) : kind(vtPointer), pointer(nullptr) {}

  Kind VKind() const { return kind; }
  // Signed integers: the value; unsigned: the bits. Valid for integer, char kinds.
  int64_t Integer() const { return integer; }
  // True for 64-bit integers (hexadecimal and %u show 16 digits' worth for them).
  bool Is64() const { return wide; }
  double Real() const { return real; }
  std::string_view Text() const { return text; }
  std::u16string_view WideText() const { return wideText; }
  const void* Pointer() const { return pointer; }

private:
  Kind kind;
  bool wide = false;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;
  std::u16string_view wideText;
  const void* pointer = nullptr;
};

// Formats args by fmt (rules above). Wide text arguments are converted to the
// system code page.
std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args);
// The same rules on wide text; 8-bit arguments are converted from the system code page.
std::u16string WideFormat(std::u16string_view fmt, std::initializer_list<TVarRec> args);
