#pragma once
// Small services shared by the wizard and its dialogs: substring search, shell
// file types and icons, starting programs, the program's folder and version
// strings, size formatting and ANSI / UTF-16 conversion. Text is 8-bit in the
// system's ANSI code page.
#include <windows.h>

#include <cstdint>
#include <string>

class TPicture;

// Version strings read by ReadVersionInfo from the "040904E4" string table of
// the executable's version resource; empty when absent.
extern std::string FileDescription;
extern std::string FileVersion;
extern std::string ProductName;
extern std::string ProductVersion;
// FileVersion after its third "." ("1.6.0.92" -> "92"); the whole FileVersion with fewer dots.
extern std::string BuildNumber;

inline constexpr int64_t kKB = 1024;
inline constexpr int64_t kMB = 1048576;
inline constexpr int64_t kGB = 1073741824;
// Longest file name passed to the shell.
inline constexpr size_t kMaxShellPath = 2048;

// 1-based position of the n-th (overlapping) occurrence of sub in text; 0 when
// there are fewer. n <= 1 means the first.
int NthPos(const std::string& text, const std::string& sub, int n);
// 1-based position of the first occurrence of sub in text starting at or after
// offset; 0 for an empty sub or text, offset < 1, or no fit.
int PosEx(const std::string& sub, const std::string& text, int offset);

// The shell's type description of a file of that name with those attributes
// (the file need not exist). False (typeName untouched) when the shell has none.
bool GetFileTypeName(const std::string& fileName, uint32_t attributes, std::string& typeName);
// The shell's icon for fileName (normal attributes), small or large; the
// caller destroys it. Null when there is none or the name is too long.
HICON GetFileIconHandle(const std::string& fileName, bool smallIcon);

// Shows a failure to the user (an "Error" box with an error icon); tests may
// replace it.
using TUtilsErrorReporter = void (*)(const std::string& text);
extern TUtilsErrorReporter UtilsErrorReporter;

// The window a message box of the program belongs to now, its owner: the
// active window of this thread; else, while the program starts and none is
// active, the newest visible form (the splash), else the newest form, its
// window made now when it has none; null when there is no form.
HWND MessageBoxOwner();

// Opens a program, document or web address with the shell's "open" verb,
// maximised. On failure shows an "Error" box (strUtilsExecuteProgramError with
// the file name in place of its "%s") and returns false.
bool ExecuteProgram(const std::string& fileName, const std::string& parameters);

// The executable's full path; "" when the system gives none.
std::string GetExecutablePath();
// The executable's folder with a trailing backslash ("C:\" for the root).
std::string GetApplicationPath();
// The folder part of path (up to the last "\" or ":") with a trailing "\".
std::string ApplicationPathOf(const std::string& path);

// Fills the version globals from the executable; never fails.
void ReadVersionInfo();
// Fills the version globals from the version resource of the file at path.
void ReadVersionInfoFrom(const std::string& path);
// The text of FileVersion after its third "." (the whole text with fewer dots).
std::string BuildNumberOf(const std::string& fileVersion);

// Decimal text with separator between groups of three digits ("-1,234" for negatives).
std::string FormatThousands(int64_t value, char separator = ',');
// The user's locale's thousands separator (its first character); ',' when
// the locale names none.
char LocaleThousandsSeparator();
// "1,023", "1 KB" (from 1024), "2 MB" (from 2 MiB), "5 GB" (from 2 GiB); sizes
// below 0 are shown as plain numbers.
std::string FormatSize(int64_t size);

// The wide text (up to its first NUL) in the system ANSI code page, whatever
// its length.
std::string WideStringToString(const std::u16string& text);
// out := text converted from codePage (0: the system ANSI code page); returns
// the number of wide characters.
int StringToWideString(const std::string& text, uint16_t codePage, std::u16string& out);

// Decodes the JPEG resource (type "JPEG") named resourceName of the executable
// into dest. Raises EResNotFound when missing and EInvalidGraphic when damaged.
void LoadJPEGResource(const std::string& resourceName, TPicture* dest);
// The same from the module instance (0: the executable).
void LoadJPEGResourceFrom(HINSTANCE instance, const std::string& resourceName, TPicture* dest);

// The unit's start-up: ReadVersionInfo.
void InitializeUtils();
