#pragma once
// Wide-string routines of the shell toolkit: wide system functions on the NT
// platform, the ANSI ones with code-page conversion on Windows 9x. None raises:
// failures give false, null or an empty string.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <string_view>

class TFont;

namespace vws {

// ---- Buffers (zero-terminated) ----------------------------------------------

// Characters before the terminating zero; 0 for null.
size_t WideStrLen(const char16_t* s);
// Moves count characters from source to dest; overlapping buffers are safe.
void WideStrMove(char16_t* dest, const char16_t* source, size_t count);
// Compares in code-point order (surrogates sort above U+E000-U+FFFF), case
// significant: the difference of the first differing adjusted characters, 0 when equal.
int WideStrComp(const char16_t* a, const char16_t* b);
// Case-insensitive comparison by the system (lstrcmpiW; lstrcmpiA on 9x).
int WideStrICompOS(const char16_t* a, const char16_t* b);
// Change case in place (system rules, whole alphabet); null is ignored.
void WideStrLower(char16_t* s);
void WideStrUpper(char16_t* s);
// The first occurrence of c (the terminating zero counts), or null.
const char16_t* WideStrScan(const char16_t* s, char16_t c);
// The last occurrence of c, or null.
const char16_t* WideStrRScan(const char16_t* s, char16_t c);
// The first occurrence of sub in s; null when either is null, sub is empty or
// longer than s, or absent.
const char16_t* WideStrPos(const char16_t* s, const char16_t* sub);
// The first ":\" in s (at the colon), or null.
const char16_t* WideStrDriveDelim(const char16_t* s);
// Swaps the two bytes of every character up to the first zero character.
void WideStrSwapByteOrder(char16_t* s);

// ---- Strings ------------------------------------------------------------------

// Size of text in font on a screen device context; {0,0} on failure or a null font.
SIZE WideTextExtent(TFont* font, std::u16string_view text);
// The same with a device context already holding the font.
SIZE WideTextExtentBuffer(HDC dc, const char16_t* text, int length);
// Lower-case copy (system rules).
std::u16string WideLowerCase(std::u16string_view s);
// value formatted as a number with the user's digit grouping and no decimals
// ("1234567" -> "1,234,567" in English); the text unchanged when formatting fails.
std::u16string WideNumberFormat(std::u16string_view number);
// Creates a directory and tells the shell; true on success.
bool WideCreateDirectory(std::u16string_view path);
// True when path names an existing directory; false for "".
bool WideDirectoryExists(std::u16string_view path);
// True when drive letter (either case, A-Z) holds a readable disk; no system
// error box is shown while asking.
bool DiskInDrive(char16_t drive);
// The folder part of a path: "C" -> "C:\", "C:\a\b" -> "C:\a", "C:\a" -> "C:\";
// paths without ":\" give "".
std::u16string WideExtractFileDir(std::u16string_view path);
// "C:" for "C:\a\b"; "" without ":\".
std::u16string WideExtractFileDrive(std::u16string_view path);
// The extension with its dot, from the last '.' of the last path component; "" when none.
std::u16string WideExtractFileExt(std::u16string_view path);
// True when FindFirstFile finds path.
bool WideFileExists(std::u16string_view path);
// path with a trailing '\' (added unless the last character is one; "" gives "\").
std::u16string WideIncludeTrailingBackslash(std::u16string_view path);
// True when the character at 1-based index is '\'; false out of range.
bool WideIsPathDelimiter(std::u16string_view s, size_t index);
std::u16string WideIntToStr(int32_t value);
// "C:" or "C:\" with a letter of either case.
bool WideIsDrive(std::u16string_view s);
// A folder path under folder that does not exist yet: baseName, then
// baseName + " (1)" ... " (20)"; "" when all exist. baseName "" means "New Folder".
std::u16string UniqueDirName(std::u16string_view folder, std::u16string_view baseName = u"");
// Message box with the exclamation icon; returns the button id.
int WideMessageBox(HWND window, std::u16string_view text, std::u16string_view caption);
// path without one trailing '\' or '/', except a drive root unless force.
std::u16string WideStripTrailingBackslash(std::u16string_view path, bool force = false);
// Text of a display-name answer for pidl; a STRRET_WSTR buffer is freed. A
// STRRET_OFFSET text is read only within pidl's first ID ("" for an offset
// past it). Unknown kinds give "".
std::u16string StrRetToWideStr(STRRET& value, LPCITEMIDLIST pidl);

// ---- Conversions at the boundary ---------------------------------------------

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string FromW(const wchar_t* s) {
  return s != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
// Between wide text and the system's ANSI code page (CP_ACP).
std::string ToAnsi(std::u16string_view s);
std::u16string FromAnsi(std::string_view s);

// Forces the Windows 9x (ANSI) road of this unit's routines, or lets the
// platform decide again (for tests of the ANSI road on an NT system).
void SetForceAnsiPath(bool force);
// True when the wide road is taken: the NT platform and not forced to ANSI.
bool UseWideApi();

}  // namespace vws
