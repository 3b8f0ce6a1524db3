#pragma once
// The wide system functions, bound at start-up on the NT platform only so that
// one program runs on Windows 9x and NT alike. Every pointer is null on 9x;
// callers test IsUnicode() and take the ANSI road there.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

namespace wide {

extern decltype(&::GetDriveTypeW) GetDriveTypeW;
extern decltype(&::CreateFileW) CreateFileW;
extern decltype(&::FindFirstFileW) FindFirstFileW;
extern decltype(&::lstrcmpiW) lstrcmpiW;
extern decltype(&::CreateDirectoryW) CreateDirectoryW;
extern decltype(&::GetFullPathNameW) GetFullPathNameW;
extern decltype(&::FindFirstChangeNotificationW) FindFirstChangeNotificationW;
extern decltype(&::GetFileAttributesW) GetFileAttributesW;
extern decltype(&::GetSystemDirectoryW) GetSystemDirectoryW;
extern decltype(&::GetWindowsDirectoryW) GetWindowsDirectoryW;
extern decltype(&::GetDiskFreeSpaceExW) GetDiskFreeSpaceExW;
extern decltype(&::GetNumberFormatW) GetNumberFormatW;
extern decltype(&::DrawTextW) DrawTextW;
extern decltype(&::CharLowerBuffW) CharLowerBuffW;
extern decltype(&::SHGetFileInfoW) SHGetFileInfoW;
extern decltype(&::SHGetDataFromIDListW) SHGetDataFromIDListW;
extern decltype(&::ShellExecuteExW) ShellExecuteExW;
// shell32 ordinal 716: property sheet of several items (data object, flags).
// Missing on some systems: test before calling.
using TSHMultiFileProperties = HRESULT(WINAPI*)(IDataObject* data, DWORD flags);
extern TSHMultiFileProperties SHMultiFileProperties;
extern decltype(&::GetCharABCWidthsW) GetCharABCWidthsW;

// Bound on every platform.
extern decltype(&::GetDiskFreeSpaceA) GetDiskFreeSpaceA;
extern HMODULE Gdi32Handle;

}  // namespace wide

// Binds the pointers above from the already loaded shell32, kernel32, user32
// and gdi32 (nothing is loaded): the wide ones only when unicode is true.
void BindWideFunctions(bool unicode);
// BindWideFunctions(IsUnicode()).
void BindWideFunctions();
