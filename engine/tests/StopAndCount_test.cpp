// The file task's honesty about what it did: a stop between the entries of a
// folder, the names of what was wiped before a stop overwritten all the same,
// fillers that cannot be made counted, each failure counted once against the
// item that failed (never again for the folders holding it), and files whose
// old clusters the passes may not reach counted as not securely wiped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include "DirectorySlack.h"
#include "EngineHarness.h"
#include "NtFiles.h"
#include "PassWriter.h"
#include "PathNames.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x55, 0, 0, 0}};

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
bool MakeFolder(const std::u16string& path) { return CreateDirectoryW(Wide(path), nullptr) != FALSE; }

size_t Finished(const Harness& harness, int32_t state) {
  size_t n = 0;
  for (const ProgressEvent& e : harness.progress) n += (e.state == state && e.progress == 100) ? 1 : 0;
  return n;
}

// Counts the fillers made, making them as the system does.
int gFillers = 0;
HANDLE CountingFiller(HANDLE folder, const std::u16string& name, DWORD& error) {
  ++gFillers;
  return SystemCreateFiller(folder, name, error);
}

struct SystemFillers {
  ~SystemFillers() { gCreateFiller = SystemCreateFiller; }
};

// The file task's walk in this process (the replaceable calls are this
// process's, not the library's), for the block's passes.
bool WipeInProcess(Harness& harness, TWipeParams* block, const std::u16string& path) {
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  harness.current = block;
  return harness.RunInProcess([&] {
    Reporter reporter(block);
    TreeWiper(reporter, passes, guard).Wipe(path);
  });
}

TEST(StopTest, AStopTakesEffectBetweenTheEntriesOfAFolder) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("stopping between entries");
  std::u16string folder = Root(drive) + u"stop-between";
  ASSERT_TRUE(MakeFolder(folder));
  // Empty files take no pass: nothing inside them asks whether to go on.
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(WriteWholeFile(folder + u"\\empty" + Utf16(std::to_string(i)), ""));
  Harness harness;
  StopAtFirstProgress(harness);
  Block block(harness.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(harness.RunFile(block.get()));
  EXPECT_TRUE(harness.Logged(u"Stopped: " + folder)) << harness.LogText();
  EXPECT_GE(ListNames(folder).size(), 10u) << harness.LogText();
  EXPECT_LE(Finished(harness, 0), 2u);
  for (const std::u16string& name : ListNames(folder)) DeleteFileW(Wide(folder + u"\\" + name));
  RemoveDirectoryW(Wide(folder));
}

TEST(StopTest, TheNamesOfWhatWasWipedAreOverwrittenOnAStop) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("fillers after a stop");
  SystemFillers restore;
  std::u16string folder = Root(drive) + u"stop-fillers";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(MakeFolder(folder + u"\\inner"));
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(WriteWholeFile(folder + u"\\inner\\file" + Utf16(std::to_string(i)), std::string(4096, 'f')));
  gFillers = 0;
  gCreateFiller = CountingFiller;
  Harness harness;
  // Stopped once two files are wiped.
  harness.onProgress = [&harness](const ProgressEvent&) {
    if (Finished(harness, 0) >= 2 && harness.current->Active != 0) harness.current->Active = 0;
  };
  Block block(harness.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(WipeInProcess(harness, block.get(), folder));
  gCreateFiller = SystemCreateFiller;
  EXPECT_TRUE(harness.Logged(u"Stopped: " + folder)) << harness.LogText();
  EXPECT_EQ(2u, Finished(harness, 0));
  EXPECT_EQ(4u, ListNames(folder + u"\\inner").size()) << "the fillers are gone again, the files not wiped stay";
  EXPECT_GT(gFillers, 0) << "no filler overwrote the names of the two files wiped";
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  for (const std::u16string& name : ListNames(folder + u"\\inner")) DeleteFileW(Wide(folder + u"\\inner\\" + name));
  RemoveDirectoryW(Wide(folder + u"\\inner"));
  RemoveDirectoryW(Wide(folder));
}

TEST(FillerTest, FillersThatCannotBeMadeAreCounted) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("failing fillers");
  SystemFillers restore;
  std::u16string folder = Root(drive) + u"no-fillers";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteWholeFile(folder + u"\\secret-name.txt", "content"));
  gCreateFiller = [](HANDLE, const std::u16string&, DWORD& error) {
    error = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  };
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(WipeInProcess(harness, block.get(), folder));
  gCreateFiller = SystemCreateFiller;
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Could not overwrite the old names in " + folder)) << harness.LogText();
  EXPECT_FALSE(Exists(folder + u"\\secret-name.txt"));
  RemoveDirectoryW(Wide(folder));

  // A full folder is the expected end of the filling, no failure.
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteWholeFile(folder + u"\\other-name.txt", "content"));
  gCreateFiller = [](HANDLE, const std::u16string&, DWORD& error) {
    error = ERROR_DISK_FULL;
    return INVALID_HANDLE_VALUE;
  };
  Harness full;
  Block second(full.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(WipeInProcess(full, second.get(), folder));
  gCreateFiller = SystemCreateFiller;
  EXPECT_EQ(0, second->Reserved2) << full.LogText();
  EXPECT_FALSE(Exists(folder));

  // Fillers the system took as deleted and that another program holds open
  // stay: every one is named, whatever its length, and counted once.
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteWholeFile(folder + u"\\third-name.txt", "content"));
  static std::set<size_t> heldLengths;
  static std::vector<HANDLE> held;  // the first filler of each length
  gCreateFiller = [](HANDLE at, const std::u16string& name, DWORD& error) {
    HANDLE file = OpenBelow(at, name, GENERIC_WRITE | DELETE, 7, kNonDirectoryOnly, error, kCreateNew);
    if (file != INVALID_HANDLE_VALUE && heldLengths.insert(name.size()).second)
      held.push_back(OpenBelow(at, name, FILE_READ_ATTRIBUTES, 7, 0, error));
    return file;
  };
  Harness holding;
  Block third(holding.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(WipeInProcess(holding, third.get(), folder));
  gCreateFiller = SystemCreateFiller;
  for (HANDLE handle : held) CloseHandle(handle);
  EXPECT_EQ(1, third->Reserved2) << holding.LogText();
  EXPECT_TRUE(holding.Logged(u"Could not remove " + Utf16(std::to_string(held.size())) +
                             u" empty files with a random name from " + folder +
                             u": the system took them as deleted, yet they are still there (another program moved or "
                             u"replaced the folder while they were being deleted, or holds them open)"))
      << holding.LogText();
  EXPECT_EQ(5u, held.size());
  EXPECT_FALSE(Exists(folder + u"\\third-name.txt"));
  RemoveDirectoryW(Wide(folder));
}

TEST(CountTest, ALockedFileIsFinishedAsNotWipedAndCountedOnce) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a locked file deep in a tree");
  std::u16string top = Root(drive) + u"deep-lock";
  std::u16string deep = top;
  ASSERT_TRUE(MakeFolder(top));
  for (const char16_t* name : {u"\\one", u"\\two", u"\\three", u"\\four"}) {
    deep += name;
    ASSERT_TRUE(MakeFolder(deep));
  }
  ASSERT_TRUE(WriteWholeFile(deep + u"\\locked.bin", "held by another program"));
  ASSERT_TRUE(WriteWholeFile(top + u"\\free.bin", "free"));
  HANDLE holder = CreateFileW(Wide(deep + u"\\locked.bin"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass, top);
  ASSERT_TRUE(harness.RunFile(block.get()));
  CloseHandle(holder);
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"1 item could not be wiped")) << harness.LogText();
  EXPECT_EQ(1u, Finished(harness, 0)) << "only free.bin was wiped";
  EXPECT_EQ(1u, Finished(harness, 2)) << "locked.bin finished as not wiped";
  EXPECT_TRUE(Exists(deep + u"\\locked.bin"));
  EXPECT_FALSE(Exists(top + u"\\free.bin"));
}

// Stand-in named streams, for file systems without them: one stream
// ":extra:$DATA" kept in a file of its own beside the wiped one.
std::u16string gStreamFile;
TWipeParams* gStopBlock = nullptr;
bool OneStream(HANDLE, std::vector<std::u16string>& names) {
  names = {u":extra:$DATA"};
  return true;
}
HANDLE OpenStandIn(HANDLE, const std::u16string&, DWORD& error) {
  if (gStopBlock != nullptr) *reinterpret_cast<volatile int32_t*>(&gStopBlock->Active) = 0;  // Stop, now
  HANDLE stream = CreateFileW(Wide(gStreamFile), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (stream == INVALID_HANDLE_VALUE) error = GetLastError();
  return stream;
}

struct SystemStreams {
  ~SystemStreams() {
    gListStreams = StreamsOf;
    gOpenStream = SystemOpenStream;
    gStopBlock = nullptr;
  }
};

int64_t SizeOf(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return -1;
  return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

TEST(StopTest, AStopDuringTheNamedStreamsLeavesTheFileWholeAndSaysSo) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("stopping in the named streams");
  SystemStreams restore;
  const std::u16string path = Root(drive) + u"streamed.bin";
  gStreamFile = Root(drive) + u"streamed.extra";
  ASSERT_TRUE(WriteWholeFile(path, std::string(100000, 'm')));
  ASSERT_TRUE(WriteWholeFile(gStreamFile, std::string(3 << 20, 's')));
  gListStreams = OneStream;
  gOpenStream = OpenStandIn;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  gStopBlock = block.get();
  ASSERT_TRUE(WipeInProcess(harness, block.get(), path));
  EXPECT_TRUE(harness.Logged(u"Stopped while wiping " + path + u"; the file was left in place")) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Stopped: " + path)) << harness.LogText();
  EXPECT_EQ(100000, SizeOf(path)) << "the main stream was cut before its streams were done";
  EXPECT_EQ(int64_t(3 << 20), SizeOf(gStreamFile)) << "the stream keeps its length";
  EXPECT_EQ(0u, Finished(harness, 0) + Finished(harness, 2)) << "a stopped file is not finished";
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();

  // A stream that cannot be opened: the file is counted as not wiped, whole.
  gStopBlock = nullptr;
  gOpenStream = [](HANDLE, const std::u16string&, DWORD& error) {
    error = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  };
  Harness failing;
  Block second(failing.wnd(), 0, kOnePass);
  ASSERT_TRUE(WipeInProcess(failing, second.get(), path));
  EXPECT_EQ(1, second->Reserved2) << failing.LogText();
  EXPECT_TRUE(failing.Logged(u"Could not open " + path + u":extra:$DATA")) << failing.LogText();
  EXPECT_EQ(100000, SizeOf(path));
  EXPECT_EQ(1u, Finished(failing, 2));
  DeleteFileW(Wide(path));
  DeleteFileW(Wide(gStreamFile));
}

// A folder of a test drive held open as the file task holds it.
struct HeldFolder {
  explicit HeldFolder(const std::u16string& path) {
    folder.path = ToLongPath(path);
    folder.handle = CreateFileW(Wide(folder.path), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
    HandleFacts facts;
    if (folder.handle != INVALID_HANDLE_VALUE && FactsOf(folder.handle, facts)) folder.identity = facts.identity;
    if (folder.handle != INVALID_HANDLE_VALUE) KeyOf(folder.handle, folder.key);
  }
  ~HeldFolder() {
    if (folder.handle != INVALID_HANDLE_VALUE) CloseHandle(folder.handle);
  }
  OpenFolder folder;
};

uint64_t FileIdOf(const std::u16string& path) {
  HANDLE handle = CreateFileW(Wide(path), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr);
  HandleFacts facts;
  bool known = handle != INVALID_HANDLE_VALUE && FactsOf(handle, facts);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return known ? facts.identity.fileId : 0;
}

TEST(CountTest, CompressedSparseAndDataHoldingEntriesAreNotSecurelyWiped) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("entries the passes may not reach");
  std::u16string folder = Root(drive) + u"not-secure";
  ASSERT_TRUE(MakeFolder(folder));
  const std::u16string driveName = std::u16string(1, char16_t(drive)) + u":";
  // The listing says what the file is (this system's files are never
  // compressed or sparse): each is overwritten and deleted, yet counted.
  const struct {
    const char16_t* name;
    DWORD attributes;
    const char16_t* reason;
  } kinds[] = {{u"packed.txt", FILE_ATTRIBUTE_COMPRESSED, u"was compressed"},
               {u"holes.bin", FILE_ATTRIBUTE_SPARSE_FILE, u"was sparse"}};
  for (const auto& kind : kinds) {
    const std::u16string path = folder + u"\\" + kind.name;
    ASSERT_TRUE(WriteWholeFile(path, std::string(5000, 'c')));
    HeldFolder held(folder);
    ASSERT_NE(INVALID_HANDLE_VALUE, held.folder.handle);
    Listed entry{kind.name, FILE_ATTRIBUTE_ARCHIVE | kind.attributes, 0, FileIdOf(path)};
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass);
    harness.current = block.get();
    std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
    WipeResult result = WipeResult::Wiped;
    ASSERT_TRUE(harness.RunInProcess([&] {
      Reporter reporter(block.get());
      AlignedBuffer buffer(1 << 20);
      FileWiper wiper(reporter, passes, buffer);
      result = wiper.WipeFile(held.folder, entry);
    }));
    EXPECT_EQ(WipeResult::Failed, result);
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
    EXPECT_TRUE(harness.Logged(u"Not securely wiped: " + path + u" " + kind.reason)) << harness.LogText();
    EXPECT_TRUE(harness.Logged(u"Wipe the free space of drive " + driveName + u" as well")) << harness.LogText();
    EXPECT_FALSE(Exists(path)) << "overwritten and deleted all the same";
    EXPECT_EQ(1u, Finished(harness, 2));
    EXPECT_EQ(0u, Finished(harness, 0));
  }
  // A reparse point that holds its own data is left, with the same advice.
  const std::u16string cloud = folder + u"\\cloud.dat";
  ASSERT_TRUE(WriteWholeFile(cloud, "kept by the system elsewhere"));
  HeldFolder held(folder);
  Listed entry{u"cloud.dat", FILE_ATTRIBUTE_REPARSE_POINT, 0x80000013 /* deduplicated */, FileIdOf(cloud)};
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  harness.current = block.get();
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    AlignedBuffer buffer(1 << 20);
    FileWiper wiper(reporter, passes, buffer);
    EXPECT_EQ(WipeResult::Failed, wiper.LeaveDataReparse(held.folder, entry));
  }));
  EXPECT_EQ(1, block->Reserved2);
  EXPECT_TRUE(harness.Logged(u"Not securely wiped: left " + cloud)) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Wipe the free space of drive " + driveName + u" as well")) << harness.LogText();
  EXPECT_EQ(1u, Finished(harness, 2));
}

// Fails the flush of an emptied file (the one after its passes are cut off).
bool FailFlushOfEmptied(HANDLE file) {
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size) && size.QuadPart == 0) {
    SetLastError(ERROR_IO_DEVICE);
    return false;
  }
  return SystemFlush(file);
}

struct SystemFlushes {
  ~SystemFlushes() { gFlush = SystemFlush; }
};

TEST(CountTest, AFileWithAStepThatFailedIsNotWipedAndCountedOnce) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a step failing after the passes");
  SystemFlushes restore;
  std::u16string folder = Root(drive) + u"late-fault";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteWholeFile(folder + u"\\a.bin", std::string(5000, 'a')));
  ASSERT_TRUE(WriteWholeFile(folder + u"\\b.bin", ""));
  // Only the flush of an empty file fails: a.bin's passes went out whole and
  // it is deleted, but its emptied state is not known to be on the medium;
  // b.bin (empty from the start) fails its only pass and stays as it was.
  gFlush = FailFlushOfEmptied;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(WipeInProcess(harness, block.get(), folder));
  EXPECT_EQ(2, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Could not flush " + folder + u"\\a.bin")) << harness.LogText();
  EXPECT_TRUE(harness.Logged(folder + u": 0 files and 0 folders wiped; 2 items could not be wiped"))
      << harness.LogText();
  EXPECT_EQ(0u, Finished(harness, 0));
  EXPECT_EQ(2u, Finished(harness, 2));
  EXPECT_FALSE(Exists(folder + u"\\a.bin")) << "deleted all the same";
  EXPECT_TRUE(Exists(folder + u"\\b.bin"));
  DeleteFileW(Wide(folder + u"\\b.bin"));
  RemoveDirectoryW(Wide(folder));

  // Two steps of one file failing (it was compressed, and its flush fails):
  // one item, counted once.
  ASSERT_TRUE(MakeFolder(folder));
  const std::u16string path = folder + u"\\packed.txt";
  ASSERT_TRUE(WriteWholeFile(path, std::string(5000, 'c')));
  HeldFolder held(folder);
  Listed entry{u"packed.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_COMPRESSED, 0, FileIdOf(path)};
  Harness single;
  Block one(single.wnd(), 0, kOnePass);
  single.current = one.get();
  std::vector<PassSpec> passes = DecodePasses(&one->Passes[0][0], one->PassCount);
  WipeResult result = WipeResult::Wiped;
  ASSERT_TRUE(single.RunInProcess([&] {
    Reporter reporter(one.get());
    AlignedBuffer buffer(1 << 20);
    FileWiper wiper(reporter, passes, buffer);
    result = wiper.WipeFile(held.folder, entry);
  }));
  EXPECT_EQ(WipeResult::Failed, result);
  EXPECT_EQ(1, one->Reserved2) << single.LogText();
  EXPECT_TRUE(single.Logged(u"Could not flush " + path)) << single.LogText();
  EXPECT_TRUE(single.Logged(u"Not securely wiped: " + path)) << single.LogText();
  EXPECT_EQ(1u, Finished(single, 2));
  EXPECT_FALSE(Exists(path));
  CloseHandle(held.folder.handle);
  held.folder.handle = INVALID_HANDLE_VALUE;
  RemoveDirectoryW(Wide(folder));
}

TEST(StopTest, TheNamesOfFilesGoneWithAFailedStepAreOverwrittenOnAStop) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("fillers after a stop, for files gone but not wiped");
  SystemFillers restore;
  SystemFlushes flushes;
  std::u16string folder = Root(drive) + u"stop-gone";
  ASSERT_TRUE(MakeFolder(folder));
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(WriteWholeFile(folder + u"\\file" + Utf16(std::to_string(i)), std::string(4096, 'g')));
  gFillers = 0;
  gCreateFiller = CountingFiller;
  gFlush = FailFlushOfEmptied;  // each file is deleted, none counted as wiped
  Harness harness;
  harness.onProgress = [&harness](const ProgressEvent&) {
    if (Finished(harness, 2) >= 2 && harness.current->Active != 0) harness.current->Active = 0;
  };
  Block block(harness.wnd(), 0, kOnePass, folder);
  ASSERT_TRUE(WipeInProcess(harness, block.get(), folder));
  gCreateFiller = SystemCreateFiller;
  gFlush = SystemFlush;
  EXPECT_TRUE(harness.Logged(u"Stopped: " + folder)) << harness.LogText();
  EXPECT_EQ(2, block->Reserved2) << harness.LogText();
  EXPECT_EQ(4u, ListNames(folder).size());
  EXPECT_GT(gFillers, 0) << "the names of the two files deleted were left in the folder";
  for (const std::u16string& name : ListNames(folder)) DeleteFileW(Wide(folder + u"\\" + name));
  RemoveDirectoryW(Wide(folder));
}

// The files whose flush fails once they are emptied, by file ID.
std::set<uint64_t> gLateFailures;
bool FailFlushOfChosen(HANDLE file) {
  LARGE_INTEGER size = {};
  HandleFacts facts;
  if (GetFileSizeEx(file, &size) && size.QuadPart == 0 && FactsOf(file, facts) &&
      gLateFailures.count(facts.identity.fileId) != 0) {
    SetLastError(ERROR_IO_DEVICE);
    return false;
  }
  return SystemFlush(file);
}

// Random trees with a random set of files failing late, against a model: each
// such file counts once and never as wiped, every other file is wiped, and
// exactly the folders above a failed file stay. QV_COUNT_MODEL_ROUNDS runs longer.
TEST(CountTest, CountsOfRandomTreesWithLateFailuresMatchTheModel) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("counts against a model");
  SystemFlushes restore;
  const char* env = std::getenv("QV_COUNT_MODEL_ROUNDS");
  const int rounds = env != nullptr ? std::atoi(env) : 4;
  std::mt19937 random(35);
  for (int round = 0; round < rounds; ++round) {
    const std::u16string top = Root(drive) + u"model" + Utf16(std::to_string(round));
    // Folders: top, then each below a random earlier one.
    std::vector<std::u16string> folders = {top};
    std::vector<int> parentOf = {-1};
    ASSERT_TRUE(MakeFolder(top));
    for (int i = 1, n = 1 + int(random() % 4); i <= n; ++i) {
      int parent = int(random() % folders.size());
      folders.push_back(folders[parent] + u"\\d" + Utf16(std::to_string(i)));
      parentOf.push_back(parent);
      ASSERT_TRUE(MakeFolder(folders.back()));
    }
    std::vector<bool> keeps(folders.size(), false);
    gLateFailures.clear();
    int files = 0, failing = 0;
    for (int i = 0, n = 1 + int(random() % 10); i < n; ++i) {
      int at = int(random() % folders.size());
      std::u16string path = folders[at] + u"\\f" + Utf16(std::to_string(i));
      ASSERT_TRUE(WriteWholeFile(path, std::string(1 + random() % 6000, 'm')));
      ++files;
      if (random() % 3 != 0) continue;
      gLateFailures.insert(FileIdOf(path));
      ++failing;
      for (int f = at; f >= 0; f = parentOf[f]) keeps[f] = true;
    }
    int foldersWiped = 0;
    for (bool keep : keeps) foldersWiped += keep ? 0 : 1;
    gFlush = FailFlushOfChosen;
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass, top);
    ASSERT_TRUE(WipeInProcess(harness, block.get(), top));
    gFlush = SystemFlush;
    std::u16string summary = top + u": " + Utf16(std::to_string(files - failing)) +
                             (files - failing == 1 ? u" file and " : u" files and ") +
                             Utf16(std::to_string(foldersWiped)) + (foldersWiped == 1 ? u" folder" : u" folders") +
                             u" wiped";
    if (failing != 0)
      summary += u"; " + Utf16(std::to_string(failing)) + (failing == 1 ? u" item" : u" items") +
                 u" could not be wiped";
    EXPECT_TRUE(harness.Logged(summary)) << Narrow(summary) << "\n" << harness.LogText();
    EXPECT_EQ(failing, block->Reserved2) << harness.LogText();
    EXPECT_EQ(size_t(files - failing), Finished(harness, 0));
    EXPECT_EQ(size_t(failing), Finished(harness, 2));
    for (size_t f = folders.size(); f-- > 0;) {
      EXPECT_EQ(bool(keeps[f]), Exists(folders[f])) << Narrow(folders[f]);
      if (!keeps[f]) continue;
      for (const std::u16string& name : ListNames(folders[f]))
        EXPECT_EQ(u'd', name[0]) << "every file is deleted, failed or not: " << Narrow(folders[f] + u"\\" + name);
    }
    for (size_t f = folders.size(); f-- > 0;) RemoveDirectoryW(Wide(folders[f]));
  }
}

}  // namespace
}  // namespace qv::engine::test
