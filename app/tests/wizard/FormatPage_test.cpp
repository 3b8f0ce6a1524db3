// The format page's notes, and the system formatting library it asks about,
// which is only ever taken from the system folder.
#include "Drives.h"
#include "WizardFixture.h"

namespace {

std::wstring FakeFormatFolder() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  return folder.substr(0, folder.rfind(L'\\')) + L"\\fake-fmifs";
}

}  // namespace

TEST(FormatLibrary, ALibraryOfThatNameOnTheSearchPathIsNeverLoaded) {
  const std::wstring fake = FakeFormatFolder();
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((fake + L"\\fmifs.dll").c_str()));
  ASSERT_TRUE(SetDllDirectoryW(fake.c_str()));
  HMODULE found = LoadLibraryW(L"fmifs.dll");
  HMODULE system = LoadSystemFormatLibrary();
  if (found != nullptr) FreeLibrary(found);
  if (system != nullptr) {
    FreeLibrary(system);
    SetDllDirectoryW(nullptr);
    GTEST_SKIP() << "this system has its own formatting library";
  }
  ASSERT_NE(found, nullptr) << "the fake library cannot be loaded by name";
  EXPECT_FALSE(SystemFormatServiceAvailable());
  EXPECT_EQ(GetModuleHandleW(L"fmifs.dll"), nullptr);
  SetDllDirectoryW(nullptr);
}

TEST(FormatNotes, AFileSystemThisSystemCannotMakeAgainIsSaidToChange) {
  // Without the service an NTFS drive is proposed FAT32: the note says so, and why.
  const std::string note = FileSystemChangeNote("NTFS", "FAT32", /*serviceAvailable=*/false);
  EXPECT_NE(note.find("It now holds NTFS, which cannot be created on this system"), std::string::npos) << note;
  EXPECT_NE(note.find("formatted as FAT32."), std::string::npos) << note;
  EXPECT_EQ(note.find("%s"), std::string::npos) << note;
  // Nothing to say where the file system stays, where the service exists,
  // or where the drive's file system is one the engine writes itself.
  EXPECT_EQ(FileSystemChangeNote("NTFS", "NTFS", false), "");
  EXPECT_EQ(FileSystemChangeNote("ntfs", "NTFS", false), "");
  EXPECT_EQ(FileSystemChangeNote("NTFS", "FAT32", true), "");
  EXPECT_EQ(FileSystemChangeNote("FAT", "FAT32", false), "");
  EXPECT_EQ(FileSystemChangeNote("FAT32", "FAT", false), "");
  EXPECT_EQ(FileSystemChangeNote("", "FAT", false), "");
  EXPECT_EQ(FileSystemChangeNote("exFAT", "", false), "");
  EXPECT_NE(FileSystemChangeNote("exFAT", "FAT32", false), "");
}
