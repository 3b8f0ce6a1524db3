#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "core/Strings.h"
#include "core/SysUtils.h"

namespace {

// A scratch folder for this test program, below the current directory.
std::u16string ScratchPath(const char16_t* name) {
  static const std::u16string folder = [] {
    std::u16string base = u"coreb_file_stream_test_";
    return base;
  }();
  return folder + name;
}

void RemoveFile(const std::u16string& path) {
#ifdef _WIN32
  _wremove(reinterpret_cast<const wchar_t*>(path.c_str()));
#else
  std::remove(WideToAnsi(path).c_str());
#endif
}

TEST(FileStream, CreateWriteReopenRead) {
  std::u16string path = ScratchPath(u"basic.bin");
  {
    TFileStream file(path, fmCreate);
    file.WriteBuffer("0123456789", 10);
    EXPECT_EQ(file.Size(), 10);
    file.SetSize(4);
    EXPECT_EQ(file.Size(), 4);
    EXPECT_EQ(file.Position(), 4);
    EXPECT_EQ(file.Seek(-1, soBeginning), -1);
    EXPECT_EQ(file.Position(), 4);
    file.Seek(2, soEnd);
    file.WriteBuffer("x", 1);
    EXPECT_EQ(file.Size(), 7);
  }
  {
    TFileStream file(path, fmOpenRead | fmShareDenyWrite);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 16), 7);
    EXPECT_EQ(std::string(buffer, 7), std::string("0123\0\0x", 7));
    EXPECT_EQ(file.Read(buffer, 16), 0);
    // Writing to a file opened for reading fails as a count, then as an error.
    EXPECT_EQ(file.Write("y", 1), 0);
    EXPECT_THROW(file.WriteBuffer("y", 1), EWriteError);
  }
  TMemoryStream copy;
  copy.LoadFromFile(path);
  EXPECT_EQ(copy.Size(), 7);
  RemoveFile(path);
}

TEST(FileStream, OpenErrorsRaiseTheRightClassAndText) {
  std::u16string missingFolder = ScratchPath(u"no_such_folder/file.txt");
  try {
    TFileStream file(missingFolder, fmCreate);
    FAIL() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    std::string prefix = "Cannot create file \"" + WideToAnsi(missingFolder) + "\". ";
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size());  // the system's reason follows
    EXPECT_NE(e.Message().back(), '.');
  }
  std::u16string missing = ScratchPath(u"missing.txt");
  try {
    TFileStream file(missing, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    std::string prefix = "Cannot open file \"" + WideToAnsi(missing) + "\". ";
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size());
  }
  EXPECT_THROW(TFileStream(u".", fmOpenRead), EFOpenError);  // a folder is no file
  EXPECT_THROW(TFileStream(u"", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(std::u16string(u"a\0b", 3), fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(ScratchPath(u"x"), 3), EFOpenError);  // no such access mode
  // Both are stream errors to a caller that catches broadly.
  EXPECT_THROW(TFileStream(missing, fmOpenReadWrite), EStreamError);
}

TEST(FileStream, WideNamesReachTheFileSystem) {
  std::u16string path = ScratchPath(u"\u00e9t\u00e9-\u65e5\u672c.txt");
  TStringList list;
  list.Add("line");
  list.SaveToFile(path);
  TStringList back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Text(), "line\r\n");
  TFileStream* made = New<TFileStream>(path, fmOpenRead);
  EXPECT_EQ(made->Size(), 6);
  EXPECT_EQ(made->FileName(), path);
  made->Free();
  RemoveFile(path);
}

}  // namespace
