#pragma once
// Wide-text helpers at the Win32 boundary.
#include <windows.h>

#include <cstdint>
#include <string>

namespace qv::engine {

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string U16(const wchar_t* s) { return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string(); }

// The system's text for a Win32 error code, without the trailing line break;
// "error N" when the system has none.
std::u16string ErrorText(DWORD code);
// Decimal digits of a number.
std::u16string Decimal(uint64_t value);
// ASCII text widened (for fixed English texts).
std::u16string Ascii(const char* text);
// Case-insensitive ordinal comparison of two paths.
bool SamePath(const std::u16string& a, const std::u16string& b);

}  // namespace qv::engine
