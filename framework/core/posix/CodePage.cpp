// The host's 8-bit system code page is UTF-8.
#include "core/SysUtils.h"

std::u16string AnsiToWide(std::string_view text) { return Utf8ToUtf16(text); }

std::string WideToAnsi(std::u16string_view text) { return Utf16ToUtf8(text); }
