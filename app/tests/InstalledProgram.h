#pragma once
// Where the tests of the installed program find it: the program folder
// "Quorvanell" beside the test executable's folder.
#include <windows.h>

#include <string>

// The program folder, with a trailing backslash.
inline std::wstring InstalledProgramFolder() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  path.resize(path.find_last_of(L'\\') + 1);
  return path + L"Quorvanell\\";
}
