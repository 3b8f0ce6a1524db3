#pragma once
// Private to the codecs: the fixed message texts and their formatting.
#include <cstdint>
#include <string>
#include <string_view>

namespace codecmsg {

constexpr const char* kNoEquivalent = "Unicode code point $%x has no equivalent in %s";
constexpr const char* kCannotConvert = "Cannot convert $%8.8X to %s";
constexpr const char* kHighSurrogateNotFound = "High surrogate not found";
constexpr const char* kNotValidCodePoint = "$%x is not a valid %s code point";
constexpr const char* kInvalidEncoding = "Invalid %s encoding";
constexpr const char* kLowSurrogateNotFound = "Low surrogate not found";
constexpr const char* kSurrogateFound =
    "Surrogate value $%x found in %s. Values between $D800 and $DFFF are reserved for use with UTF-16";
constexpr const char* kOutOfRange = "%s encoding out of range";
constexpr const char* kUtf8Error = "UTF-8 error %d";

// Fills a message: %x, %X, %8.8X and %d take value (hex in upper case, as
// the library's Format prints it); %s takes name.
std::string Fill(std::string_view format, uint32_t value, std::string_view name = {});

}  // namespace codecmsg
