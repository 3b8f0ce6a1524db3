// The installed program folder as a user gets it: only what the program
// needs, the exe and the engine without debug information, and the exe's own
// icon in its resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "InstalledProgram.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string ReadWhole(const std::wstring& path) {
  std::string image;
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return image;
  image.resize(GetFileSize(handle, nullptr));
  DWORD read = 0;
  ReadFile(handle, image.data(), static_cast<DWORD>(image.size()), &read, nullptr);
  CloseHandle(handle);
  image.resize(read);
  return image;
}

// The file offset of a relative virtual address, or 0 when no section holds it.
size_t FileOffsetOf(const IMAGE_NT_HEADERS32& nt, uint32_t rva) {
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&nt);
  for (int i = 0; i < nt.FileHeader.NumberOfSections; ++i, ++section)
    if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData)
      return rva - section->VirtualAddress + section->PointerToRawData;
  return 0;
}

// True when the PE image carries debug information: symbols, or a section
// whose name (long names live in the string table) starts with ".debug".
bool HasDebugInformation(const std::wstring& path) {
  const std::string image = ReadWhole(path);
  if (image.size() < 0x40) return true;
  const uint32_t pe = *reinterpret_cast<const uint32_t*>(image.data() + 0x3C);
  const auto* file = reinterpret_cast<const IMAGE_FILE_HEADER*>(image.data() + pe + 4);
  if (file->NumberOfSymbols != 0) return true;
  const size_t strings = file->PointerToSymbolTable;  // the string table follows the (empty) symbols
  const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(reinterpret_cast<const char*>(file) +
                                                                        sizeof(IMAGE_FILE_HEADER) +
                                                                        file->SizeOfOptionalHeader);
  for (int i = 0; i < file->NumberOfSections; ++i) {
    std::string name(reinterpret_cast<const char*>(sections[i].Name), 8);
    name.resize(name.find('\0') == std::string::npos ? 8 : name.find('\0'));
    if (name[0] == '/' && strings != 0) {
      const size_t at = strings + std::stoul(name.substr(1));
      if (at < image.size()) name = image.c_str() + at;
    }
    if (name.rfind(".debug", 0) == 0) return true;
  }
  return false;
}

TEST(ProgramFolder, HoldsOnlyWhatTheProgramNeedsWithoutDebugInformation) {
  std::set<std::string> names;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((InstalledProgramFolder() + L"*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (name.size() > 4 && name.substr(name.size() - 4) == L".lng") continue;  // the language files
    names.insert(Narrow(name));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_EQ(names, (std::set<std::string>{"Quorvanell.DLL", "Quorvanell.chm", "Quorvanell.exe", "Quorvanell.xml"}));
  EXPECT_FALSE(HasDebugInformation(InstalledProgramFolder() + L"Quorvanell.exe"));
  EXPECT_FALSE(HasDebugInformation(InstalledProgramFolder() + L"Quorvanell.DLL"));
  // The check itself sees the debug information of an unstripped build.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_TRUE(HasDebugInformation(self));
}

TEST(ProgramFolder, TheExeCarriesItsIcon) {
  const std::wstring exe = InstalledProgramFolder() + L"Quorvanell.exe";
  HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC group = FindResourceW(image, L"MAINICON", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  EXPECT_NE(group, nullptr) << "no MAINICON";
  HICON icon = static_cast<HICON>(LoadImageW(image, L"MAINICON", IMAGE_ICON, 32, 32, 0));
  EXPECT_NE(icon, nullptr);
  ICONINFO info{};
  if (icon != nullptr && GetIconInfo(icon, &info)) {
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  FreeLibrary(image);
}

// The loader maps the exe's pages as they are touched only when every section
// starts on a page in the file; and the shell, shlwapi and the multimedia
// timer load at their first call, not with the program.
TEST(ProgramFolder, TheExeMapsByPagesAndImportsNoShellLibraries) {
  const std::string image = ReadWhole(InstalledProgramFolder() + L"Quorvanell.exe");
  ASSERT_GT(image.size(), 0x400u);
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() +
                                                                 *reinterpret_cast<const uint32_t*>(image.data() + 0x3C));
  EXPECT_EQ(nt.OptionalHeader.FileAlignment % 4096, 0u);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&nt);
  for (int i = 0; i < nt.FileHeader.NumberOfSections; ++i, ++section)
    EXPECT_EQ(section->PointerToRawData % 4096, 0u) << std::string(reinterpret_cast<const char*>(section->Name), 8);
  std::set<std::string> imported;
  const IMAGE_DATA_DIRECTORY& imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (size_t at = FileOffsetOf(nt, imports.VirtualAddress); at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size();
       at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + at);
    if (entry->Name == 0) break;
    std::string name = image.c_str() + FileOffsetOf(nt, entry->Name);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    imported.insert(name);
  }
  EXPECT_TRUE(imported.count("user32.dll")) << "the import table was not read";
  for (const char* late : {"shell32.dll", "shlwapi.dll", "winmm.dll"}) EXPECT_FALSE(imported.count(late)) << late;
}

}  // namespace
