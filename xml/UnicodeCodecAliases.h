#pragma once
// Encoding names to codec classes through the fixed alias table.
#include <string>
#include <string_view>

#include "xml/UnicodeCodec.h"

// The class of the first alias equal to name (ASCII case ignored); nullptr when none.
TUnicodeCodecClass GetEncodingClass(std::string_view name);
// The first alias of the first record whose class is exactly codec; empty when none.
std::string GetEncodingName(TUnicodeCodecClass codec);
// The bytes of s in the codec's encoding; empty for a nil class. Raises what the codec's Encode raises.
std::string EncodeWideStr(TUnicodeCodecClass codec, std::u16string_view s);
// Whether a and b are equal when ASCII letters are folded (independent of any locale).
bool SameTextAscii(std::string_view a, std::string_view b);
