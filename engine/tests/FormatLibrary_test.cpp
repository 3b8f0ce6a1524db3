// The system's formatting library is taken from the system folder by its full
// path, never found along the search order: a library of the same name in a
// folder on that path (here the test's fake-fmifs folder) is never loaded.
#include <gtest/gtest.h>

#include <string>

#include "EngineHarness.h"
#include "Formatter.h"

namespace qv::engine::test {
namespace {

std::wstring FakeFolder() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  return folder.substr(0, folder.rfind(L'\\')) + L"\\fake-fmifs";
}

TEST(FormatLibraryTest, ALibraryOfThatNameOnTheSearchPathIsNeverLoaded) {
  const std::wstring fake = FakeFolder();
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((fake + L"\\fmifs.dll").c_str()));
  ASSERT_TRUE(SetDllDirectoryW(fake.c_str()));
  // The search order finds the stranger: the case this test is about.
  HMODULE found = LoadLibraryW(L"fmifs.dll");
  const bool systemHasOne = LoadSystemFormatLibrary() != nullptr;
  if (found) FreeLibrary(found);
  if (systemHasOne) {
    SetDllDirectoryW(nullptr);
    GTEST_SKIP() << "this system has its own formatting library";
  }
  ASSERT_NE(nullptr, found) << "the fake library cannot be loaded by name";
  EXPECT_FALSE(SystemFormatAvailable());
  FormatRequest request;
  request.drive = 'B';
  request.fileSystem = u"NTFS";
  Harness harness;
  Block block(harness.wnd(), 0, {});
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    EXPECT_EQ(FormatEnd::Failed, SystemFormat(request, reporter));
  }));
  EXPECT_TRUE(harness.Logged(u"formatting service is not available")) << harness.LogText();
  EXPECT_EQ(nullptr, GetModuleHandleW(L"fmifs.dll"));
  SetDllDirectoryW(nullptr);
}

}  // namespace
}  // namespace qv::engine::test
