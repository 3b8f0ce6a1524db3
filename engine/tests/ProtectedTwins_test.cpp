// A protected folder beside folders whose names differ from it only by a
// trailing dot or space, and paths that combine several other names of it at
// once (another letter, the long-path prefix, another case, a short name for
// a folder holding it). The twins are the user's and go when ticked; the
// protected folder and what it holds stay byte for byte, under every name.
#include <gtest/gtest.h>

#include <map>

#include "EngineHarness.h"
#include "GuardedWipe.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

std::u16string Long(const std::u16string& path) { return u"\\\\?\\" + path; }
const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string Flipped(std::u16string s) {
  for (char16_t& c : s)
    c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  return s;
}

// Runs the tree wiper in this process; the number of failures it reported.
int Wipe(const ProtectedFolders& guard, const std::u16string& path, std::string& log) {
  GuardedWipeOutcome outcome = WipeUnderGuard(guard, path);
  EXPECT_TRUE(outcome.finished) << Narrow(path);
  log = outcome.log;
  return static_cast<int>(outcome.failures);
}

TEST(ProtectedTwinTest, TwinsOfAProtectedFolderGoAndItStaysUnderEveryCombinedName) {
  char drive = TestDrive("FOLDER_DRIVE");
  char alias = TestDrive("FOLDER_ALIAS");
  if (!drive || !alias) QV_SKIP_LOUDLY("twins of a protected folder");
  const std::u16string top = Root(drive) + u"twinguard";
  const std::u16string holder = u"\\Program Folder Of Long Name";
  for (const std::u16string& folder : {std::u16string(), holder, holder + u"\\app", holder + u"\\app.",
                                       holder + u"\\app ", holder + u"\\app\\inner"})
    ASSERT_TRUE(CreateDirectoryW(Wide(Long(top + folder)), nullptr)) << Narrow(folder);
  for (const std::u16string& file : {holder + u"\\app\\app.exe", holder + u"\\app\\inner\\data.bin",
                                     holder + u"\\app.\\mine.txt", holder + u"\\app \\mine.txt",
                                     holder + u"\\beside.txt"})
    ASSERT_TRUE(WriteWholeFile(Long(top + file), "content of " + Narrow(file))) << Narrow(file);
  ProtectedFolders guard = ProtectedFolders::ForPaths({top + holder + u"\\app"});
  std::map<std::u16string, std::string> before;
  EXPECT_TRUE(FolderContents(Long(top), before));

  // The protected folder, a file directly in it, a file below it and the
  // folder holding it, each under several names at once.
  std::vector<wchar_t> shortName(1024);
  DWORD n = GetShortPathNameW(Wide(top + holder), shortName.data(), DWORD(shortName.size()));
  std::u16string shortHolder = n != 0 && n < shortName.size() ? reinterpret_cast<const char16_t*>(shortName.data())
                                                               : top + holder;
  std::u16string aliasHolder = shortHolder;
  aliasHolder[0] = char16_t(alias);
  const std::u16string refused[] = {
      Long(Flipped(aliasHolder)) + u"\\APP\\App.Exe",
      Flipped(aliasHolder) + u"\\app\\INNER\\data.bin",
      Long(aliasHolder) + u"\\App\\",
      Flipped(top + holder) + u"\\app\\app.exe",
      Long(Flipped(aliasHolder)),
      Long(Root(alias) + u"TWINGUARD"),
  };
  for (const std::u16string& path : refused) {
    std::string log;
    EXPECT_EQ(1, Wipe(guard, path, log)) << Narrow(path) << "\n" << log;
    EXPECT_NE(std::string::npos, log.find("which the system or this program needs")) << Narrow(path) << "\n" << log;
    std::map<std::u16string, std::string> now;
    EXPECT_TRUE(FolderContents(Long(top), now));
    EXPECT_EQ(before, now) << Narrow(path);
  }

  // The twins are other folders: ticked, they go, alone.
  std::string log;
  EXPECT_EQ(0, Wipe(guard, top + holder + u"\\app.\\mine.txt", log)) << log;
  EXPECT_EQ(0, Wipe(guard, Root(alias) + u"twinguard" + holder + u"\\app ", log)) << log;
  EXPECT_EQ(0, Wipe(guard, top + holder + u"\\app.", log)) << log;
  std::map<std::u16string, std::string> expected = before;
  for (const std::u16string& gone : {holder + u"\\app.\\", holder + u"\\app.\\mine.txt", holder + u"\\app \\",
                                     holder + u"\\app \\mine.txt"})
    ASSERT_EQ(size_t(1), expected.erase(gone)) << Narrow(gone);
  std::map<std::u16string, std::string> after;
  EXPECT_TRUE(FolderContents(Long(top), after));
  EXPECT_EQ(expected, after);
}

}  // namespace
}  // namespace qv::engine::test
