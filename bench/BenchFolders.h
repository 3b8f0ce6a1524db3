#pragma once
// Folders the shell benchmarks make for themselves (in the temp folder) and remove again.
#include <windows.h>

#include <string>

#include "shell/VirtualWideStrings.h"

// Deletes the files of a folder the benchmark made, then the folder (subfolders are not expected).
inline void RemoveFolder(const std::u16string& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(vws::W(path + u"\\*"), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = vws::FromW(data.cFileName);
      if (name != u"." && name != u"..") DeleteFileW(vws::W(path + u"\\" + name));
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(vws::W(path));
}

// A fresh folder in the temp folder named prefix and the process id; made at once.
inline std::u16string MakeBenchFolder(const std::u16string& prefix) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  std::u16string folder = vws::FromW(temp) + prefix + vws::WideIntToStr(static_cast<int32_t>(GetCurrentProcessId()));
  CreateDirectoryW(vws::W(folder), nullptr);
  return folder;
}
