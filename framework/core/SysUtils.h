#pragma once
// Conversion and text helpers of the class library: integers to and from text,
// ASCII case and trimming, file-name parts, UTF-8/UTF-16 and code-page conversion.
// All are locale-independent.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// ---- Integers and text --------------------------------------------------------

// Decimal text of value ("-2147483648").
std::string IntToStr(int64_t value);
std::u16string IntToWideStr(int64_t value);
// Upper-case hexadecimal of the bits of value, zero padded to at least digits.
std::string UIntToHex(uint64_t value, int digits);
// The same for any integer, negative values as two's complement of their own
// width: IntToHex(-1, 4) is "FFFFFFFF" for an int, 16 digits for an int64_t.
template <class T>
  requires std::is_integral_v<T>
std::string IntToHex(T value, int digits) {
  return UIntToHex(static_cast<std::make_unsigned_t<T>>(value), digits);
}

// Parses an integer: optional blanks and control characters before it, an
// optional sign, then decimal digits or hexadecimal after "$", "0x" or "0X".
// Nothing may follow. Hexadecimal may give the full 32 (64) bits ("$FFFFFFFF" is -1).
// False on empty text, bad characters or overflow.
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToInt64(std::string_view text, int64_t& value);
// The same, raising EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);
// The same, giving fallback for text that is not a valid integer.
int32_t StrToIntDef(std::string_view text, int32_t fallback);
int64_t StrToInt64Def(std::string_view text, int64_t fallback);

// ---- Floating point and text ('.' decimal point whatever the locale) ---------

// Up to 15 significant digits, fixed or scientific as Format's "%g": "0.1", "1E20".
std::string FloatToStr(double value);
// Parses optional blanks, sign, digits with an optional '.' fraction and an
// optional exponent ("1.5", "-.5", "2E-3"); nothing may follow. False on bad
// text or a result out of range.
bool TryStrToFloat(std::string_view text, double& value);
// The same, raising EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text);
double StrToFloatDef(std::string_view text, double fallback);

// ---- ASCII case, comparing and trimming -----------------------------------------

// ASCII letters only; other bytes are kept.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
std::u16string WideUpperCase(std::u16string_view text);
std::u16string WideLowerCase(std::u16string_view text);
// Byte-wise comparison ignoring ASCII case: <0, 0, >0; a prefix sorts first.
int CompareText(std::string_view a, std::string_view b);
int WideCompareText(std::u16string_view a, std::u16string_view b);
// Byte-wise comparison with case: <0, 0, >0.
int CompareStr(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
bool WideSameText(std::u16string_view a, std::u16string_view b);
// Remove characters up to and including the space (control characters too).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
std::u16string WideTrim(std::u16string_view text);

// ---- File names (both '\' and '/' are path delimiters; "C:" ends a drive) -------

constexpr char kPathDelim = '\\';
// Everything up to and including the last delimiter or drive colon ("" if none).
std::string ExtractFilePath(std::string_view fileName);
// The part after the last delimiter or drive colon.
std::string ExtractFileName(std::string_view fileName);
// The extension with its dot (".txt"), from the last dot of the name part; "" if none.
std::string ExtractFileExt(std::string_view fileName);
// fileName with its extension replaced by extension (which includes the dot, or is empty).
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
// path with one trailing delimiter (added as '\' when missing; "" gives "\").
std::string IncludeTrailingPathDelimiter(std::string_view path);
// path without a trailing delimiter (only the last one is removed).
std::string ExcludeTrailingPathDelimiter(std::string_view path);
std::u16string WideExtractFilePath(std::u16string_view fileName);
std::u16string WideExtractFileName(std::u16string_view fileName);
std::u16string WideExtractFileExt(std::u16string_view fileName);
std::u16string WideChangeFileExt(std::u16string_view fileName, std::u16string_view extension);
std::u16string WideIncludeTrailingPathDelimiter(std::u16string_view path);
std::u16string WideExcludeTrailingPathDelimiter(std::u16string_view path);

// ---- Unicode and code pages ------------------------------------------------------

// Invalid sequences become U+FFFD each; never fails.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD; never fails.
std::string Utf16ToUtf8(std::u16string_view text);
// Between wide text and the 8-bit system code page (the ANSI code page on
// Windows, UTF-8 elsewhere). Characters the code page lacks become '?'.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);
