#pragma once
// File names made into file URIs.
#include <cstdint>
#include <string>
#include <string_view>

// Options of FilenameToUriWideStr.
inline constexpr uint32_t kUriFileLocalhost = 1;  // "file://localhost" instead of "file://"
inline constexpr uint32_t kUriFileKeepColon = 2;  // ':' kept instead of "%3a"

// uri = "file://" (or "file://localhost"), then for a non-empty fileName a '/'
// (unless the name already begins with one) and each byte of fileName:
// letters, digits and - . _ ~ ! ' ( ) * copied; '\' and '/' written as '/';
// ':' as "%3a" (or ':'); every other byte as '%' and two upper-case hex digits.
void FilenameToUriWideStr(std::string_view fileName, uint32_t options, std::u16string& uri);
