#pragma once
// Helpers of the shell toolkit's tests: a private temporary folder with files
// made for one test, and small conversions.
#include <windows.h>

#include <cstdint>
#include <string>

namespace shelltest {

// A folder made under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::u16string& Path() const { return path; }
  // path + "\" + name.
  std::u16string operator/(const std::u16string& name) const { return path + u"\\" + name; }
  // Writes size bytes (a repeating pattern) to name; returns the full path.
  std::u16string MakeFile(const std::u16string& name, uint32_t size, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
  std::u16string MakeFolder(const std::u16string& name);

private:
  std::u16string path;
};

// Removes a folder tree (attributes cleared first); missing paths are ignored.
void RemoveTree(const std::u16string& path);
const wchar_t* W(const std::u16string& s);
// Makes a shortcut at linkPath to target with the given extras; true on success.
bool MakeShortcut(const std::u16string& linkPath, const std::u16string& target, const std::u16string& arguments,
                  const std::u16string& description, WORD hotKey, int showCmd);

}  // namespace shelltest
