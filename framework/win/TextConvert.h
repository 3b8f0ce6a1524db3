#pragma once
// Text conversions at the Win32 boundary: 8-bit text is in the system's ANSI
// code page. Invalid input converts to replacement characters, never fails.
#include <string>
#include <string_view>

std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);
