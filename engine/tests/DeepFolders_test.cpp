// Folders deeper than the host's longest path (under Wine the host's limit
// counts, not the system's): whatever cannot be deleted there is named in the
// log and counted, never left behind silently.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "GuardedWipe.h"
#include "NtFiles.h"

namespace qv::engine::test {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(DeepFolderTest, WhatCannotBeDeletedPastTheHostsLongestPathIsReported) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("folders past the host's longest path");
  std::u16string top = Root(drive) + u"deep-host";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(top.c_str()), nullptr));
  // Made folder by folder through handles: no whole path is ever given.
  HANDLE folder = CreateFileW(reinterpret_cast<const wchar_t*>(top.c_str()), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                              kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, folder);
  std::u16string deep = top;
  for (int level = 0; level < 24; ++level) {
    std::u16string name(200, char16_t(u'a' + level));
    DWORD error = 0;
    if (level == 19) {
      HANDLE mid = OpenBelow(folder, u"mid.txt", GENERIC_WRITE, 0, kNonDirectoryOnly, error, kCreateNew);
      ASSERT_NE(INVALID_HANDLE_VALUE, mid) << error;
      CloseHandle(mid);
    }
    HANDLE next = OpenBelow(folder, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                            kShareAll, kDirectoryOnly, error, kCreateNew);
    ASSERT_NE(INVALID_HANDLE_VALUE, next) << level << " " << error;
    CloseHandle(folder);
    folder = next;
    deep += u"\\" + name;
  }
  DWORD error = 0;
  HANDLE file = OpenBelow(folder, u"file.txt", GENERIC_WRITE, 0, kNonDirectoryOnly, error, kCreateNew);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << error;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "deep", 4, &written, nullptr));
  CloseHandle(file);
  CloseHandle(folder);

  const GuardedWipeOutcome outcome = WipeUnderGuard(ProtectedFolders::ForPaths({}), top);
  ASSERT_TRUE(outcome.finished);
  auto logged = [&](const std::u16string& text) { return outcome.log.find(Narrow(text)) != std::string::npos; };
  // Each folder of the chain that still holds anything but the chain (the
  // fillers that overwrote the old names) is named in the log.
  folder = CreateFileW(reinterpret_cast<const wchar_t*>(top.c_str()), FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  std::u16string path = top;
  int holding = 0;
  for (int level = 0; folder != INVALID_HANDLE_VALUE; ++level) {
    std::vector<uint64_t> buffer(8192);
    std::u16string chain(200, char16_t(u'a' + level));
    std::vector<std::string> left;
    while (ReadFolder(folder, nullptr, buffer.data(), ULONG(buffer.size() * 8), error)) {
      for (size_t at = 0;;) {
        const auto* info =
            reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const uint8_t*>(buffer.data()) + at);
        std::u16string name(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / 2);
        if (name != u"." && name != u".." && name != chain) left.push_back(Narrow(name));
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
      }
    }
    // What lies below a folder the wipe could not enter is named with it.
    if (logged(u"Did not enter the folder " + path + u":")) break;
    if (!left.empty()) {
      ++holding;
      EXPECT_TRUE(logged(u" from " + path + u":")) << level << ": " << left.front();
    }
    HANDLE next = OpenBelow(folder, chain, FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll, kDirectoryOnly, error);
    CloseHandle(folder);
    folder = next;
    path += u"\\" + chain;
  }
  EXPECT_GT(holding, 0) << "the host's limit was not reached: the test proves nothing";
  // The reason named is the host's limit, for the folder not entered and for the fillers left.
  EXPECT_TRUE(logged(u": its path is longer than the host system below this one allows")) << outcome.log;
  EXPECT_TRUE(logged(u"(their paths are longer than the host system below this one allows")) << outcome.log;
  EXPECT_FALSE(logged(u"cannot say what it is")) << outcome.log;
  EXPECT_GE(outcome.failures, uint32_t(holding)) << outcome.log;
}

}  // namespace
}  // namespace qv::engine::test
