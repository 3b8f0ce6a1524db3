#include "shell/VirtualUnicodeDefines.h"

#include "shell/VirtualUtilities.h"

namespace wide {

decltype(&::GetDriveTypeW) GetDriveTypeW;
decltype(&::CreateFileW) CreateFileW;
decltype(&::FindFirstFileW) FindFirstFileW;
decltype(&::lstrcmpiW) lstrcmpiW;
decltype(&::CreateDirectoryW) CreateDirectoryW;
decltype(&::GetFullPathNameW) GetFullPathNameW;
decltype(&::FindFirstChangeNotificationW) FindFirstChangeNotificationW;
decltype(&::GetFileAttributesW) GetFileAttributesW;
decltype(&::GetSystemDirectoryW) GetSystemDirectoryW;
decltype(&::GetWindowsDirectoryW) GetWindowsDirectoryW;
decltype(&::GetDiskFreeSpaceExW) GetDiskFreeSpaceExW;
decltype(&::GetNumberFormatW) GetNumberFormatW;
decltype(&::DrawTextW) DrawTextW;
decltype(&::CharLowerBuffW) CharLowerBuffW;
decltype(&::SHGetFileInfoW) SHGetFileInfoW;
decltype(&::SHGetDataFromIDListW) SHGetDataFromIDListW;
decltype(&::ShellExecuteExW) ShellExecuteExW;
TSHMultiFileProperties SHMultiFileProperties;
decltype(&::GetCharABCWidthsW) GetCharABCWidthsW;
decltype(&::GetDiskFreeSpaceA) GetDiskFreeSpaceA;
HMODULE Gdi32Handle;

}  // namespace wide

namespace {

template <class F>
void Bind(F& pointer, HMODULE module, const char* name) {
  pointer = module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

void BindWideFunctions(bool unicode) {
  // Its functions load it when first called: it may not be loaded yet.
  HMODULE shell32 = LoadLibraryA("shell32.dll");
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  HMODULE user32 = GetModuleHandleA("user32.dll");
  HMODULE gdi32 = GetModuleHandleA("gdi32.dll");
  wide::Gdi32Handle = gdi32;
  Bind(wide::GetDiskFreeSpaceA, kernel32, "GetDiskFreeSpaceA");
  if (!unicode) {
    wide::GetDriveTypeW = nullptr;
    wide::CreateFileW = nullptr;
    wide::FindFirstFileW = nullptr;
    wide::lstrcmpiW = nullptr;
    wide::CreateDirectoryW = nullptr;
    wide::GetFullPathNameW = nullptr;
    wide::FindFirstChangeNotificationW = nullptr;
    wide::GetFileAttributesW = nullptr;
    wide::GetSystemDirectoryW = nullptr;
    wide::GetWindowsDirectoryW = nullptr;
    wide::GetDiskFreeSpaceExW = nullptr;
    wide::GetNumberFormatW = nullptr;
    wide::DrawTextW = nullptr;
    wide::CharLowerBuffW = nullptr;
    wide::SHGetFileInfoW = nullptr;
    wide::SHGetDataFromIDListW = nullptr;
    wide::ShellExecuteExW = nullptr;
    wide::SHMultiFileProperties = nullptr;
    wide::GetCharABCWidthsW = nullptr;
    return;
  }
  Bind(wide::GetDriveTypeW, kernel32, "GetDriveTypeW");
  Bind(wide::CreateFileW, kernel32, "CreateFileW");
  Bind(wide::FindFirstFileW, kernel32, "FindFirstFileW");
  Bind(wide::lstrcmpiW, kernel32, "lstrcmpiW");
  Bind(wide::CreateDirectoryW, kernel32, "CreateDirectoryW");
  Bind(wide::GetFullPathNameW, kernel32, "GetFullPathNameW");
  Bind(wide::FindFirstChangeNotificationW, kernel32, "FindFirstChangeNotificationW");
  Bind(wide::GetFileAttributesW, kernel32, "GetFileAttributesW");
  Bind(wide::GetSystemDirectoryW, kernel32, "GetSystemDirectoryW");
  Bind(wide::GetWindowsDirectoryW, kernel32, "GetWindowsDirectoryW");
  Bind(wide::GetDiskFreeSpaceExW, kernel32, "GetDiskFreeSpaceExW");
  Bind(wide::GetNumberFormatW, kernel32, "GetNumberFormatW");
  Bind(wide::DrawTextW, user32, "DrawTextW");
  Bind(wide::CharLowerBuffW, user32, "CharLowerBuffW");
  Bind(wide::SHGetFileInfoW, shell32, "SHGetFileInfoW");
  Bind(wide::SHGetDataFromIDListW, shell32, "SHGetDataFromIDListW");
  Bind(wide::ShellExecuteExW, shell32, "ShellExecuteExW");
  Bind(wide::SHMultiFileProperties, shell32, MAKEINTRESOURCEA(716));
  Bind(wide::GetCharABCWidthsW, gdi32, "GetCharABCWidthsW");
}

void BindWideFunctions() { BindWideFunctions(IsUnicode()); }
