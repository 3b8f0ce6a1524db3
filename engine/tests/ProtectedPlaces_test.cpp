// Protected folders decided by where things really are: a letter mapped below
// a protected folder (a file, a folder and the letter's root), a folder link
// into the program's folder, a link to a protected file at the path it has
// under another letter, and the prefix's real Windows folder below a letter
// of the test's own. Every one is refused and counted, and every file stays
// as it was. Also: a path in stream syntax is refused, not taken for its file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "EngineHarness.h"
#include "GuardedWipe.h"
#include "PathNames.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

using Outcome = GuardedWipeOutcome;

Outcome WipeWith(const ProtectedFolders& guard, const std::u16string& path) {
  Outcome outcome = WipeUnderGuard(guard, path);
  EXPECT_TRUE(outcome.finished) << Narrow(path);
  return outcome;
}

std::map<std::u16string, std::string> Contents(const std::vector<std::u16string>& files) {
  std::map<std::u16string, std::string> out;
  for (const std::u16string& file : files) {
    std::string content;
    out[file] = ReadWholeFile(file, content) ? content : "<missing>";
  }
  return out;
}

TEST(ProtectedPlaceTest, LettersAndLinksLeadingIntoProtectedFoldersAreRefused) {
  char drive = TestDrive("FOLDER_DRIVE");
  char below = TestDrive("BELOW_SYSTEM");
  char elsewhere = TestDrive("ELSEWHERE");
  if (!drive || !below || !elsewhere) QV_SKIP_LOUDLY("letters and links into protected folders");
  std::u16string places = Root(drive) + u"places";
  ProtectedFolders guard = ProtectedFolders::ForPaths({places + u"\\Windows", places + u"\\Program"});
  const std::vector<std::u16string> files = {places + u"\\Windows\\System32\\qv\\f.txt",
                                             places + u"\\Windows\\System32\\qv\\sub\\g.txt",
                                             places + u"\\Program\\lib\\data.bin"};
  const auto before = Contents(files);
  ASSERT_EQ("a system file\n", before.at(files[0]));
  // Refused as lying in a protected folder: one failure, named so.
  for (const std::u16string& path : {Root(below) + u"f.txt", Root(below) + u"sub", Root(below) + u"sub\\g.txt",
                                     Root(below), places + u"\\links\\lnk\\data.bin"}) {
    Outcome outcome = WipeWith(guard, path);
    EXPECT_EQ(1u, outcome.failures) << Narrow(path) << "\n" << outcome.log;
    EXPECT_TRUE(outcome.protectedLine) << Narrow(path) << "\n" << outcome.log;
    EXPECT_EQ(before, Contents(files)) << Narrow(path) << "\n" << outcome.log;
  }
  // Links themselves and folders holding them: the link is never followed
  // (where the system cannot remove it alone, it is left and counted).
  for (const std::u16string& path : {places + u"\\links\\lnk", Root(elsewhere) + u"sub\\g.txt",
                                     Root(elsewhere) + u"sub", places + u"\\links"}) {
    Outcome outcome = WipeWith(guard, path);
    EXPECT_EQ(before, Contents(files)) << Narrow(path) << "\n" << outcome.log;
    if (Exists(path)) {
      EXPECT_GE(outcome.failures, 1u) << Narrow(path) << "\n" << outcome.log;
    }
  }
  EXPECT_TRUE(Exists(places + u"\\Windows\\System32\\qv\\sub"));
}

TEST(ProtectedPlaceTest, ChainsOfLinksIntoProtectedFoldersAreRefusedOrRemovedAlone) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("chains of links into protected folders");
  std::u16string places = Root(drive) + u"places";
  ProtectedFolders guard = ProtectedFolders::ForPaths({places + u"\\Windows", places + u"\\Program"});
  // Links made by the host: two in a row into the program folder, one to the
  // root of a letter lying in System32, one to a file there.
  ASSERT_TRUE(AskHost(drive, "dir chain\n"
                             "link chain/first second\n"
                             "link chain/second ../places/Program/lib\n"
                             "link chain/letter ../places/Windows/System32/qv\n"
                             "link chain/file ../places/Windows/System32/qv/f.txt\n"));
  std::u16string chain = Root(drive) + u"chain";
  const std::vector<std::u16string> files = {places + u"\\Windows\\System32\\qv\\f.txt",
                                             places + u"\\Program\\lib\\data.bin"};
  const auto before = Contents(files);
  for (const std::u16string& path : {chain + u"\\first\\data.bin", chain + u"\\letter\\f.txt",
                                     chain + u"\\letter\\sub"}) {
    Outcome outcome = WipeWith(guard, path);
    EXPECT_EQ(1u, outcome.failures) << Narrow(path) << "\n" << outcome.log;
    EXPECT_TRUE(outcome.protectedLine) << Narrow(path) << "\n" << outcome.log;
    EXPECT_EQ(before, Contents(files)) << Narrow(path);
  }
  // The chain itself: its links go (or stay, counted), what they lead to stays.
  Outcome outcome = WipeWith(guard, chain);
  EXPECT_EQ(before, Contents(files)) << outcome.log;
  EXPECT_TRUE(Exists(places + u"\\Windows\\System32\\qv\\sub\\g.txt"));
}

TEST(ProtectedPlaceTest, TheRealWindowsFolderIsFoundBelowALetter) {
  char probe = TestDrive("BELOW_WINDOWS");
  if (!probe) QV_SKIP_LOUDLY("a letter below the Windows folder");
  // Only files the test made itself, in a folder of its own below the
  // prefix's Windows folder, could be lost if this failed.
  ProtectedFolders guard = ProtectedFolders::ForThisSystem();
  const std::vector<std::u16string> files = {Root(probe) + u"probe.txt", Root(probe) + u"sub\\inner.txt"};
  const auto before = Contents(files);
  ASSERT_EQ("a probe below the Windows folder\n", before.at(files[0]));
  for (const std::u16string& path : {files[0], Root(probe) + u"sub", Root(probe)}) {
    Outcome outcome = WipeWith(guard, path);
    EXPECT_EQ(1u, outcome.failures) << Narrow(path) << "\n" << outcome.log;
    EXPECT_TRUE(outcome.protectedLine) << Narrow(path) << "\n" << outcome.log;
    EXPECT_EQ(before, Contents(files)) << Narrow(path);
  }
}

TEST(StreamPathTest, AStreamNameIsRefusedAndTheFileKept) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("paths in stream syntax");
  std::u16string folder = Root(drive) + u"streams";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(folder.c_str()), nullptr));
  std::u16string file = folder + u"\\f.txt";
  ASSERT_TRUE(WriteWholeFile(file, "the whole file"));
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  for (const std::u16string& path : {file + u":name", file + u"::$DATA", u"\\\\?\\" + file + u":name:$DATA"}) {
    Outcome outcome = WipeWith(guard, path);
    EXPECT_EQ(1u, outcome.failures) << Narrow(path) << "\n" << outcome.log;
    EXPECT_NE(std::string::npos, outcome.log.find("names a stream of a file")) << outcome.log;
    std::string content;
    EXPECT_TRUE(ReadWholeFile(file, content));
    EXPECT_EQ("the whole file", content) << Narrow(path);
  }
}

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

// The folder `path` names under Wine's drive Z: (the host's root), read only.
std::u16string ThroughHostRoot(const char* unixPath) {
  std::u16string path = u"Z:";
  for (const char* c = unixPath; *c; ++c) path += *c == '/' ? u'\\' : char16_t(static_cast<unsigned char>(*c));
  return path;
}

TEST(ProtectedPlaceTest, AGuardStillKnowsWhatLiesBelowItsFoldersAfterAnotherGuardLooked) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("guards of other folders in one process");
  std::u16string places = Root(drive) + u"places";
  FileKey sub = KeyOfFolder(places + u"\\Windows\\System32\\qv\\sub");
  if (sub.source != FileKey::Source::UnixDevice) QV_SKIP_LOUDLY("guards of other folders (no device keys)");
  ProtectedFolders windows = ProtectedFolders::ForPaths({places + u"\\Windows"});
  ProtectedFolders program = ProtectedFolders::ForPaths({places + u"\\Program"});
  EXPECT_NE(nullptr, windows.Holding(sub));
  // The other guard looks where a ticked path would be: its own folders are
  // listed then. Nothing is there to wipe.
  WipeWith(program, places + u"\\elsewhere\\not-there.txt");
  EXPECT_NE(nullptr, windows.Holding(sub));
  EXPECT_EQ(nullptr, program.Holding(sub));
}

TEST(ProtectedPlaceTest, AFolderMovedOutOfAProtectedFolderIsWipedLikeAnyOther) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a folder moved out of a protected folder");
  std::u16string top = Root(drive) + u"moved-out";
  for (const char16_t* folder : {u"", u"\\prot", u"\\prot\\moved", u"\\out"})
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>((top + folder).c_str()), nullptr));
  ASSERT_TRUE(WriteWholeFile(top + u"\\prot\\moved\\f.txt", "to be wiped once outside"));
  ProtectedFolders guard = ProtectedFolders::ForPaths({top + u"\\prot"});
  FileKey moved = KeyOfFolder(top + u"\\prot\\moved");
  if (moved.source != FileKey::Source::UnixDevice) QV_SKIP_LOUDLY("a folder moved out (no device keys)");
  ASSERT_NE(nullptr, guard.Holding(moved));  // known below the protected folder
  ASSERT_TRUE(MoveFileW(reinterpret_cast<const wchar_t*>((top + u"\\prot\\moved").c_str()),
                        reinterpret_cast<const wchar_t*>((top + u"\\out\\moved").c_str())));
  EXPECT_EQ(nullptr, guard.Holding(moved));
  Outcome outcome = WipeWith(guard, top + u"\\out\\moved\\f.txt");
  EXPECT_EQ(0u, outcome.failures) << outcome.log;
  EXPECT_FALSE(Exists(top + u"\\out\\moved\\f.txt")) << outcome.log;
  // The protected folder itself replaced by another of its name: the old one
  // holds nothing protected any more.
  EXPECT_NE(nullptr, guard.Covered({}, u"\\\\?\\unix\\", KeyOfFolder(u"\\\\?\\unix\\")));  // the host's root holds it
  ASSERT_TRUE(MoveFileW(reinterpret_cast<const wchar_t*>((top + u"\\prot").c_str()),
                        reinterpret_cast<const wchar_t*>((top + u"\\out\\old").c_str())));
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>((top + u"\\prot").c_str()), nullptr));
  outcome = WipeWith(ProtectedFolders::ForPaths({top + u"\\prot"}), top + u"\\out");
  EXPECT_EQ(0u, outcome.failures) << outcome.log;
  EXPECT_FALSE(Exists(top + u"\\out\\old")) << outcome.log;
}

TEST(ProtectedPlaceTest, TheFoldersHoldingTheWindowsDriveAreKnownThroughTheHostRoot) {
  // Under Wine the Windows drive's root is a folder of the host, and the
  // folders holding it (the prefix, with the registry beside it) are reached
  // through Z:. Only looked at: nothing here is wiped.
  const char* prefix = getenv("WINEPREFIX");
  FileKey hostRoot = KeyOfFolder(u"\\\\?\\unix\\");
  if (!prefix || prefix[0] != '/' || hostRoot.source != FileKey::Source::UnixDevice ||
      !SameObject(KeyOfFolder(u"Z:\\"), hostRoot))
    QV_SKIP_LOUDLY("the folders above the Windows drive (no Z: at the host's root)");
  ProtectedFolders guard = ProtectedFolders::ForThisSystem();
  std::u16string folder = ThroughHostRoot(prefix);
  for (int up = 0; up < 2; ++up) {
    FileKey key = KeyOfFolder(folder);
    ASSERT_EQ(FileKey::Source::UnixDevice, key.source) << Narrow(folder);
    EXPECT_NE(nullptr, guard.Covered({}, ToLongPath(folder), key)) << Narrow(folder);
    folder = folder.substr(0, folder.rfind(u'\\'));
  }
  // A folder beside them holds none of the protected folders.
  if (strncmp(prefix, "/dev/", 5) != 0) {
    EXPECT_EQ(nullptr, guard.Covered({}, u"\\\\?\\Z:\\dev", KeyOfFolder(u"Z:\\dev")));
  }
}

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

// The host's path of a Windows path, through Wine's own call; "" when unknown.
std::string HostPathOf(const std::u16string& path) {
  using UnixNameCall = char*(CDECL*)(LPCWSTR);
  auto unixName = reinterpret_cast<UnixNameCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixName ? unixName(reinterpret_cast<const wchar_t*>(path.c_str())) : nullptr;
  if (!name) return {};
  std::string host = name;
  HeapFree(GetProcessHeap(), 0, name);
  return host;
}

// Files directly in a folder of the host holding a protected folder's drive
// (the prefix holding the registry beside drive_c) are reached through Z:;
// they are kept as that folder is. A probe of the test's own stands in for
// the registry files, which are only looked at.
TEST(ProtectedPlaceTest, FilesBesideTheProtectedDriveInTheFolderHoldingItAreKept) {
  char drive = TestDrive("FOLDER_DRIVE");
  const char* prefix = getenv("WINEPREFIX");
  if (!drive || !prefix || prefix[0] != '/' || KeyOfFolder(u"Z:\\").source != FileKey::Source::UnixDevice)
    QV_SKIP_LOUDLY("the folders holding a drive (no Z: at the host's root)");
  std::string driveHost = HostPathOf(Root(drive));
  while (driveHost.size() > 1 && driveHost.back() == '/') driveHost.pop_back();
  ASSERT_FALSE(driveHost.empty());
  const std::string work = driveHost.substr(0, driveHost.rfind('/'));
  struct Case {
    ProtectedFolders guard;
    std::u16string probe;
  };
  std::vector<Case> cases;
  // A stand-in Windows folder on the folder drive: the test's work folder holds that drive.
  cases.push_back({ProtectedFolders::ForPaths({Root(drive) + u"places\\Windows"}),
                   ThroughHostRoot(work.c_str()) + u"\\qv-beside-drive.txt"});
  // The prefix's own Windows folder: the prefix holds drive_c.
  cases.push_back({ProtectedFolders::ForThisSystem(), ThroughHostRoot(prefix) + u"\\qv-beside-drive_c.txt"});
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteWholeFile(c.probe, "beside the drive"));
    Outcome outcome = WipeWith(c.guard, c.probe);
    std::string kept;
    EXPECT_TRUE(ReadWholeFile(c.probe, kept)) << Narrow(c.probe) << "\n" << outcome.log;
    EXPECT_EQ("beside the drive", kept);
    EXPECT_EQ(1u, outcome.failures) << outcome.log;
    EXPECT_NE(std::string::npos, outcome.log.find("folder holding the drive")) << outcome.log;
    DeleteFileW(reinterpret_cast<const wchar_t*>(c.probe.c_str()));
  }
  // The registry files themselves are known so, and a file on the drive's
  // root is not.
  ProtectedFolders system = ProtectedFolders::ForThisSystem();
  EXPECT_NE(nullptr, system.HoldingDriveOf(KeyOfFolder(ThroughHostRoot(prefix))));
  EXPECT_EQ(nullptr, system.HoldingDriveOf(KeyOfFolder(u"C:\\")));
}

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

// A guard kept across runs is used only while every folder it knows is still
// the folder it found: one replaced at its path (or at a folder holding it),
// or made where there was none, calls for a new guard.
TEST(ProtectedPlaceTest, AKeptGuardHoldsOnlyWhileItsFoldersAreTheSame) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a kept guard");
  auto wide = [](const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); };
  std::u16string top = Root(drive) + u"keptguard";
  ASSERT_TRUE(CreateDirectoryW(wide(top), nullptr));
  ASSERT_TRUE(CreateDirectoryW(wide(top + u"\\holder"), nullptr));
  ASSERT_TRUE(CreateDirectoryW(wide(top + u"\\holder\\prog"), nullptr));
  ProtectedFolders guard = ProtectedFolders::ForPaths({top + u"\\holder\\prog"});
  EXPECT_TRUE(guard.StillHolds());
  // The protected folder replaced by another of its name.
  ASSERT_TRUE(MoveFileW(wide(top + u"\\holder\\prog"), wide(top + u"\\prog-old")));
  ASSERT_TRUE(CreateDirectoryW(wide(top + u"\\holder\\prog"), nullptr));
  EXPECT_FALSE(guard.StillHolds());
  guard = ProtectedFolders::ForPaths({top + u"\\holder\\prog"});
  EXPECT_TRUE(guard.StillHolds());
  // A folder holding it replaced, the protected folder moved into the new one.
  ASSERT_TRUE(MoveFileW(wide(top + u"\\holder"), wide(top + u"\\holder-old")));
  ASSERT_TRUE(CreateDirectoryW(wide(top + u"\\holder"), nullptr));
  ASSERT_TRUE(MoveFileW(wide(top + u"\\holder-old\\prog"), wide(top + u"\\holder\\prog")));
  EXPECT_FALSE(guard.StillHolds());
  // A protected folder that was not there when the guard was made.
  guard = ProtectedFolders::ForPaths({top + u"\\later"});
  EXPECT_TRUE(guard.StillHolds());
  ASSERT_TRUE(CreateDirectoryW(wide(top + u"\\later"), nullptr));
  EXPECT_FALSE(guard.StillHolds());
}

}  // namespace
}  // namespace qv::engine::test
