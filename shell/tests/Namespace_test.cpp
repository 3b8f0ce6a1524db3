// TNamespace against the file system: a test folder checked through the shell
// item wrapper beside FindFirstFileW and SHGetFileInfoW.
#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "ShellTestHelpers.h"
#include "shell/Namespace.h"
#include "shell/FileTypeCache.h"
#include "shell/ShellErrors.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"
#include "EmptyMalloc.h"

using shelltest::TempFolder;

namespace {

WIN32_FIND_DATAW Find(const std::u16string& path) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(shelltest::W(path), &data);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return data;
}

std::u16string TypeName(const std::u16string& path) {
  SHFILEINFOW info{};
  SHGetFileInfoW(shelltest::W(path), 0, &info, sizeof info, SHGFI_TYPENAME);
  return vws::FromW(info.szTypeName);
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

struct Collector : TObject {
  std::vector<std::u16string> names;
  bool stopAfterTwo = false;
  bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool& terminate) {
    TNamespace* item = New<TNamespace>(child, parent);
    names.push_back(item->NameInFolder());
    item->Free();
    if (stopAfterTwo && names.size() == 2) terminate = true;
    return true;
  }
};

// The test folder: the kinds of files the wizard meets.
// digits (an integer) as the user's locale writes a number: grouped as its
// grouping rule says ("3;0": threes all the way, "3": one group of three)
// with its thousand separator, then its decimal separator and as many zeros
// as it shows decimals.
std::u16string LocaleNumber(const std::string& digits) {
  wchar_t thousand[8] = {}, decimal[8] = {}, count[8] = {}, grouping[16] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8);
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, count, 8);
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, grouping, 16);
  // The group sizes from the right; a final 0 repeats the one before it.
  std::vector<int> sizes;
  bool repeat = false;
  for (const wchar_t* at = grouping; *at != 0; ++at) {
    if (*at < L'0' || *at > L'9') continue;
    if (*at == L'0') {
      repeat = true;
      break;
    }
    sizes.push_back(*at - L'0');
  }
  std::u16string out;
  std::string rest = digits;
  size_t next = 0;
  while (!sizes.empty() && rest.size() > 0) {
    size_t size = static_cast<size_t>(sizes[std::min(next, sizes.size() - 1)]);
    if (next >= sizes.size() && !repeat) break;
    if (rest.size() <= size) break;
    std::string group = rest.substr(rest.size() - size);
    out = vws::FromW(thousand) + std::u16string(group.begin(), group.end()) + out;
    rest.resize(rest.size() - size);
    ++next;
  }
  out = std::u16string(rest.begin(), rest.end()) + out;
  int decimals = _wtoi(count);
  if (decimals > 0) out += vws::FromW(decimal) + std::u16string(static_cast<size_t>(decimals), u'0');
  return out;
}

struct NamespaceFixture : ::testing::Test {
  TempFolder folder;
  std::u16string empty, sized, hidden, readOnly, noExt, foreign, sub, nested, link;

  void SetUp() override {
    empty = folder.MakeFile(u"empty.txt", 0);
    sized = folder.MakeFile(u"sized.bin", 1500);
    hidden = folder.MakeFile(u"hidden.dat", 10, FILE_ATTRIBUTE_HIDDEN);
    readOnly = folder.MakeFile(u"readonly.txt", 20, FILE_ATTRIBUTE_READONLY);
    noExt = folder.MakeFile(u"NOEXTENSION", 5);
    foreign = folder.MakeFile(u"\u65e5\u672c\u8a9e \u03a9\u0436.txt", 33);
    sub = folder.MakeFolder(u"sub");
    nested = folder.MakeFolder(u"sub\\deeper");
    folder.MakeFile(u"sub\\deeper\\leaf.txt", 1);
    link = folder / u"shortcut.lnk";
    ASSERT_TRUE(shelltest::MakeShortcut(link, sized, u"", u"", 0, SW_SHOWNORMAL));
  }

  TNamespace* Item(const std::u16string& path) { return TNamespace::CreateFromFileName(path); }
};

}  // namespace

TEST_F(NamespaceFixture, FilesAgreeWithFindDataAndShellInfo) {
  for (const std::u16string& path : {empty, sized, hidden, readOnly, noExt, foreign}) {
    SCOPED_TRACE(vws::ToAnsi(path));
    TNamespace* item = Item(path);
    WIN32_FIND_DATAW data = Find(path);
    EXPECT_TRUE(item->FileSystem());
    EXPECT_FALSE(item->Folder());
    EXPECT_FALSE(item->Directory());
    EXPECT_EQ(item->FileName(), vws::FromW(data.cFileName));
    EXPECT_EQ(item->NameForParsing(), path);
    EXPECT_EQ(item->NameParseAddress(), path);
    EXPECT_EQ(item->NameForParsingInFolder(), vws::FromW(data.cFileName));
    EXPECT_EQ(item->SizeOfFileInt64(), static_cast<int64_t>(data.nFileSizeLow));
    EXPECT_EQ(item->Hidden(), (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0);
    EXPECT_EQ(item->ReadOnlyFile(), (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0);
    EXPECT_EQ(item->Archive(), (data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE) != 0);
    EXPECT_TRUE(SameTime(item->LastWriteTimeRaw(), data.ftLastWriteTime));
    EXPECT_TRUE(SameTime(item->CreationTimeRaw(), data.ftCreationTime));
    EXPECT_FALSE(item->LastWriteTime().empty());
    std::u16string type = TypeName(path);
    if (!type.empty()) EXPECT_EQ(item->FileType(), type);
    EXPECT_EQ(item->DetailsDefaultOf(2), item->FileType());
    EXPECT_EQ(item->DetailsDefaultOf(0), item->NameInFolder());
    item->Free();
  }
}

TEST_F(NamespaceFixture, SizesAndAttributeLetters) {
  TNamespace* zero = Item(empty);
  // Byte counts in the user's default number format, spelt here from the locale's parts.
  EXPECT_EQ(zero->SizeOfFile(), LocaleNumber("0"));
  EXPECT_EQ(zero->SizeOfFileKB(), u"1 KB");
  EXPECT_EQ(zero->SizeOfFileDiskUsage(), LocaleNumber("0"));
  zero->Free();
  TNamespace* item = Item(sized);
  EXPECT_EQ(item->SizeOfFile(), LocaleNumber("1500"));
  EXPECT_EQ(item->SizeOfFileKB(), u"1 KB");
  std::u16string disk = item->SizeOfFileDiskUsage();
  EXPECT_FALSE(disk.empty());
  EXPECT_NE(disk, LocaleNumber("0"));
  item->Free();
  TNamespace* ro = Item(readOnly);
  std::u16string letters = ro->AttributesString();
  EXPECT_NE(letters.find(u'R'), std::u16string::npos);
  EXPECT_EQ(ro->DetailsDefaultOf(4), letters);
  ro->Free();
  TNamespace* hid = Item(hidden);
  EXPECT_NE(hid->AttributesString().find(u'H'), std::u16string::npos);
  hid->Free();
  TNamespace* bare = Item(noExt);
  std::u16string type = bare->FileType();
  EXPECT_FALSE(type.empty());
  bare->Free();
}

TEST_F(NamespaceFixture, FoldersAndEnumeration) {
  TNamespace* root = Item(folder.Path());
  EXPECT_TRUE(root->Folder());
  EXPECT_TRUE(root->Directory());
  EXPECT_TRUE(root->FileSystem());
  EXPECT_TRUE(root->SubItems());
  EXPECT_TRUE(root->SubFoldersEx());
  EXPECT_EQ(root->SizeOfFile(), u"");
  EXPECT_EQ(root->SizeOfFileKB(), u"");
  Collector collector;
  int accepted = root->EnumerateFolder(nullptr, true, true, true, MakeEvent<&Collector::Child>(&collector), nullptr);
  EXPECT_EQ(accepted, 8);
  EXPECT_EQ(collector.names.size(), 8u);
  Collector visible;
  root->EnumerateFolderEx(nullptr, {foFolders, foNonFolders}, MakeEvent<&Collector::Child>(&visible), nullptr);
  EXPECT_EQ(visible.names.size(), 7u);  // the hidden file is left out
  Collector foldersOnly;
  root->EnumerateFolder(nullptr, true, false, false, MakeEvent<&Collector::Child>(&foldersOnly), nullptr);
  EXPECT_EQ(foldersOnly.names, (std::vector<std::u16string>{u"sub"}));
  Collector stopped;
  stopped.stopAfterTwo = true;
  EXPECT_EQ(root->EnumerateFolder(nullptr, true, true, true, MakeEvent<&Collector::Child>(&stopped), nullptr), 2);
  EXPECT_EQ(root->EnumerateFolder(nullptr, true, true, true, TEnumFolderCallback(), nullptr), 0);
  root->Free();
  TNamespace* leafFolder = Item(nested);
  EXPECT_TRUE(leafFolder->SubItems());
  EXPECT_FALSE(leafFolder->SubFoldersEx());
  leafFolder->Free();
  TNamespace* file = Item(sized);
  EXPECT_FALSE(file->SubItems());
  file->Free();
}

TEST_F(NamespaceFixture, ChildrenMadeFromAParent) {
  TNamespace* root = Item(folder.Path());
  struct Children : TObject {
    std::vector<TNamespace*> items;
    bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool&) {
      items.push_back(New<TNamespace>(child, parent));
      return true;
    }
  } children;
  root->EnumerateFolder(nullptr, true, true, true, MakeEvent<&Children::Child>(&children), nullptr);
  ASSERT_EQ(children.items.size(), 8u);
  int files = 0;
  for (TNamespace* child : children.items) {
    EXPECT_EQ(child->Parent(), root);
    EXPECT_EQ(NamespacePIDLManager->IDCount(child->AbsolutePIDL()), NamespacePIDLManager->IDCount(root->AbsolutePIDL()) + 1);
    EXPECT_EQ(vws::WideExtractFileDir(child->NameForParsing()), folder.Path());
    if (!child->Folder()) ++files;
    // Column 0 of the shell's details is the name.
    EXPECT_EQ(child->DetailsOf(0).empty(), false);
    EXPECT_EQ(child->ComparePIDL(child->RelativePIDL(), /*siblingCheck=*/false, 0), 0);
    EXPECT_EQ(child->ComparePIDL(child->AbsolutePIDL(), /*siblingCheck=*/true, 0), 0);
  }
  EXPECT_EQ(files, 7);
  for (TNamespace* child : children.items) child->Free();
  root->Free();
}

TEST_F(NamespaceFixture, PathToPIDLAndBack) {
  for (const std::u16string& path : {empty, foreign, sub, nested, link, folder.Path()}) {
    LPITEMIDLIST pidl = PathToPIDL(path);
    ASSERT_NE(pidl, nullptr);
    EXPECT_EQ(PIDLToPath(pidl), path);
    NamespacePIDLManager->FreePIDL(pidl);
  }
  EXPECT_EQ(PathToPIDL(folder / u"does not exist.txt"), nullptr);
  EXPECT_EQ(PIDLToPath(nullptr), u"");
  EXPECT_THROW(TNamespace::CreateFromFileName(folder / u"missing"), EVSTInvalidFileName);
  try {
    TNamespace::CreateFromFileName(folder / u"missing");
  } catch (const EVSTInvalidFileName& e) {
    EXPECT_STREQ(e.what(), "Trying to create a TNamespace on a non existant File object");
  }
}

TEST_F(NamespaceFixture, ComparingOrdersByNameAndRejectsStrangers) {
  TNamespace* a = Item(empty);      // empty.txt
  TNamespace* b = Item(readOnly);   // readonly.txt
  TNamespace* deep = Item(nested);  // another folder's item
  EXPECT_LT(b->ComparePIDL(a->RelativePIDL(), false, 0), 0);  // "empty" sorts before "readonly"
  EXPECT_GT(a->ComparePIDL(b->RelativePIDL(), false, 0), 0);
  EXPECT_EQ(a->ComparePIDL(nullptr, false, 0), -1);
  EXPECT_EQ(a->ComparePIDL(a->RelativePIDL(), false, -5), 0);  // negative columns count as 0
  a->ParentShellFolder();
  EXPECT_EQ(a->ComparePIDL(deep->AbsolutePIDL(), /*siblingCheck=*/true, 0), -1);
  EXPECT_EQ(a->ComparePIDL(b->AbsolutePIDL(), /*siblingCheck=*/true, 0), a->ComparePIDL(b->RelativePIDL(), false, 0));
  EXPECT_GT(a->ComparePIDL(b->AbsolutePIDL(), /*siblingCheck=*/true, 0), 0);
  deep->Free();
  b->Free();
  a->Free();
}

TEST_F(NamespaceFixture, DetailColumnsAndDefaults) {
  TNamespace* root = Item(folder.Path());
  int columns = root->DetailsSupportedColumns();
  EXPECT_GE(columns, 4);
  EXPECT_LT(columns, 200);
  EXPECT_FALSE(root->DetailsColumnTitle(0).empty());
  EXPECT_TRUE(root->DetailsDefaultColumnState(columns).Empty());
  EXPECT_TRUE(root->DetailsDefaultColumnState(-1).Empty());
  EXPECT_FALSE(root->DetailsDefaultColumnState(0).Empty());
  std::u16string title = u"unchanged";
  root->DetailsDefaultColumnTitle(10, title);
  EXPECT_EQ(title, u"unchanged");
  root->DetailsDefaultColumnTitle(-1, title);
  EXPECT_EQ(title, u"Name");
  root->DetailsDefaultColumnTitle(8, title);
  EXPECT_EQ(title, u"DOS Name");
  EXPECT_EQ(root->DetailsDefaultSupportedColumns(), 5);
  EXPECT_EQ(root->DetailsDefaultOf(9), u"");
  root->Free();
  TNamespace* file = Item(sized);
  EXPECT_EQ(file->DetailsOf(0), file->NameInFolder());
  EXPECT_FALSE(file->DetailsOf(1).empty());
  file->Free();
}

TEST_F(NamespaceFixture, ShortcutsAndLinkAttribute) {
  TNamespace* item = Item(link);
  EXPECT_TRUE(item->Link());
  EXPECT_TRUE(item->FileSystem());
  item->Free();
  TNamespace* plain = Item(sized);
  EXPECT_FALSE(plain->Link());
  EXPECT_TRUE(plain->CanRename());
  EXPECT_TRUE(plain->CanCopy());
  plain->Free();
}

TEST_F(NamespaceFixture, RenameFollowsTheNewName) {
  TNamespace* item = Item(sized);
  ASSERT_TRUE(item->SetNameOf(u"renamed.bin"));
  EXPECT_TRUE(vws::WideFileExists(folder / u"renamed.bin"));
  EXPECT_FALSE(vws::WideFileExists(sized));
  EXPECT_EQ(item->NameForParsing(), folder / u"renamed.bin");
  EXPECT_EQ(item->SizeOfFileInt64(), 1500);
  item->Free();
}

TEST_F(NamespaceFixture, RefreshFindsTheItemAgainAmongItsSiblings) {
  TNamespace* item = Item(foreign);
  EXPECT_TRUE(item->RefreshPIDLFromParent({foFolders, foNonFolders, foHidden}));
  EXPECT_EQ(item->NameForParsing(), foreign);
  item->Free();
}

TEST_F(NamespaceFixture, CacheAndInvalidation) {
  TNamespace* item = Item(sized);
  EXPECT_EQ(item->SizeOfFileInt64(), 1500);
  EXPECT_TRUE(item->FileSystem());
  HANDLE file = CreateFileW(shelltest::W(sized), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFilePointer(file, 4000, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  CloseHandle(file);
  EXPECT_EQ(item->SizeOfFileInt64(), 1500);  // the find data is read once
  item->InvalidateNamespace(/*refreshIcons=*/false);
  // The PIDL carries the size it was parsed with; a fresh PIDL sees the new one.
  TNamespace* fresh = Item(sized);
  EXPECT_EQ(fresh->SizeOfFileInt64(), 4000);
  fresh->Free();
  item->Free();
}

namespace {

bool SetTimes(const std::u16string& path, const FILETIME& creation, const FILETIME& write) {
  HANDLE file = CreateFileW(shelltest::W(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = SetFileTime(file, &creation, nullptr, &write) != 0;
  CloseHandle(file);
  return ok;
}

}  // namespace

// The item's record comes from its identifier, which holds the write time at a
// coarse resolution: the times are read once more from the file system, to the
// tick, after the record was read; a file gone by then keeps the record's time.
TEST_F(NamespaceFixture, TimesAreReadAgainOnceFromTheFileSystem) {
  const FILETIME creation{0x12345677, 0x01C0A1B2};  // odd ticks, no identifier keeps them
  const FILETIME write{0x2345678B, 0x01C3C4D5};
  for (bool ansi : {false, true}) {
    SCOPED_TRACE(ansi ? "ANSI road" : "wide road");
    vws::SetForceAnsiPath(ansi);
    TNamespace* item = Item(sized);
    EXPECT_EQ(item->SizeOfFileInt64(), 1500);  // the record is read before the times change
    ASSERT_TRUE(SetTimes(sized, creation, write));
    EXPECT_TRUE(SameTime(item->LastWriteTimeRaw(), write));
    // The creation time is whatever the host file system keeps of it.
    EXPECT_TRUE(SameTime(item->CreationTimeRaw(), Find(sized).ftCreationTime));
    std::u16string text = item->LastWriteTime();
    ASSERT_TRUE(SetTimes(sized, write, creation));
    EXPECT_TRUE(SameTime(item->LastWriteTimeRaw(), write));  // read once
    EXPECT_EQ(item->LastWriteTime(), text);
    item->InvalidateNamespace(/*refreshIcons=*/false);
    EXPECT_TRUE(SameTime(item->LastWriteTimeRaw(), creation));  // asked again after invalidation
    item->Free();
    ASSERT_TRUE(SetTimes(sized, creation, write));

    TNamespace* gone = Item(hidden);
    EXPECT_EQ(gone->SizeOfFileInt64(), 10);
    FILETIME recorded = Find(hidden).ftLastWriteTime;
    ASSERT_TRUE(DeleteFileW(shelltest::W(hidden)));
    FILETIME kept = gone->LastWriteTimeRaw();
    EXPECT_NE(kept.dwLowDateTime | kept.dwHighDateTime, 0u);
    // The identifier's time is the file's to within its two-second steps.
    ULARGE_INTEGER a{{kept.dwLowDateTime, kept.dwHighDateTime}}, b{{recorded.dwLowDateTime, recorded.dwHighDateTime}};
    uint64_t apart = a.QuadPart > b.QuadPart ? a.QuadPart - b.QuadPart : b.QuadPart - a.QuadPart;
    EXPECT_LT(apart, 2u * 10000000u + 1);
    EXPECT_FALSE(gone->LastWriteTime().empty());
    gone->Free();
    hidden = folder.MakeFile(u"hidden.dat", 10, FILE_ATTRIBUTE_HIDDEN);
    vws::SetForceAnsiPath(false);
  }
}

namespace {

// Shown names of a folder's children made from their parent, beside the
// shell's own answer for each.
struct ShownNames : TObject {
  std::vector<std::pair<std::u16string, std::u16string>> names;  // ours, the shell's
  bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool&) {
    TNamespace* item = New<TNamespace>(child, parent);
    std::u16string ours = item->NameInFolder();
    names.emplace_back(ours, item->DisplayNameOf(SHGDN_INFOLDER));
    item->Free();
    return true;
  }
  static std::vector<std::pair<std::u16string, std::u16string>> Of(const std::u16string& path) {
    ShownNames shown;
    TNamespace* root = TNamespace::CreateFromFileName(path);
    root->EnumerateFolder(nullptr, true, true, true, MakeEvent<&ShownNames::Child>(&shown), nullptr);
    root->Free();
    return shown.names;
  }
};

}  // namespace

// Shown names are learnt from the shell per extension and then made from the
// file name: every name, learnt or made, is the one the shell gives.
TEST_F(NamespaceFixture, ShownNamesFollowTheShellPerExtension) {
  for (const char16_t* name : {u"a.b.c.txt", u"UPPER.TXT", u".qvdot", u"trailing.", u"x.QVD", u"y.qvd", u"z.qvd",
                               u"two.lnk.txt"})
    folder.MakeFile(name, 3);
  // The shell hides the extension of shortcuts.
  ASSERT_TRUE(shelltest::MakeShortcut(folder / u"second.LNK", sized, u"", u"", 0, SW_SHOWNORMAL));
  FlushFileTypeCache();
  for (const char* round : {"learning", "learnt"}) {
    SCOPED_TRACE(round);
    auto names = ShownNames::Of(folder.Path());
    EXPECT_EQ(names.size(), 17u);
    for (const auto& [ours, shells] : names) EXPECT_EQ(ours, shells);
  }
  bool shown = false;
  EXPECT_TRUE(LookupExtensionShown(u".TXT", shown));
  EXPECT_TRUE(shown);
  EXPECT_TRUE(LookupExtensionShown(u".lnk", shown));
  EXPECT_FALSE(shown);
  FlushFileTypeCache();
  EXPECT_FALSE(LookupExtensionShown(u".txt", shown));
}

// A rule once learnt is used without asking the shell, except in folders whose
// desktop.ini the shell reads (system or read-only folders).
TEST_F(NamespaceFixture, ExtensionRuleIsNotUsedWhereAFolderMayRenameItsFiles) {
  std::u16string special = folder.MakeFolder(u"special");
  folder.MakeFile(u"special\\inside.txt", 3);
  FlushFileTypeCache();
  StoreExtensionShown(u".txt", false);  // a wrong rule shows where it is used
  bool usedHere = false;
  for (const auto& name : ShownNames::Of(folder.Path())) usedHere |= name.first == u"empty";
  EXPECT_TRUE(usedHere);
  SetFileAttributesW(shelltest::W(special), FILE_ATTRIBUTE_SYSTEM);
  if ((GetFileAttributesW(shelltest::W(special)) & FILE_ATTRIBUTE_SYSTEM) != 0) {
    auto inSpecial = ShownNames::Of(special);
    ASSERT_EQ(inSpecial.size(), 1u);
    EXPECT_EQ(inSpecial[0].first, u"inside.txt");
  }
  SetFileAttributesW(shelltest::W(special), FILE_ATTRIBUTE_NORMAL);
  FlushFileTypeCache();
}

TEST_F(NamespaceFixture, CloneCopiesThePIDL) {
  TNamespace* item = Item(foreign);
  TNamespace* copy = item->Clone(/*freePIDLOnDestroy=*/true);
  EXPECT_NE(copy->AbsolutePIDL(), item->AbsolutePIDL());
  EXPECT_TRUE(vst::ILIsEqual(copy->AbsolutePIDL(), item->AbsolutePIDL()));
  EXPECT_EQ(copy->Parent(), nullptr);
  EXPECT_EQ(copy->NameForParsing(), foreign);
  item->Free();
  copy->Free();
}

TEST_F(NamespaceFixture, ACloneWithoutMemoryRaisesAndNeverBecomesTheDesktop) {
  TNamespace* item = Item(sized);
  TEmptyMalloc allocator;
  TPIDLManager* empty = New<TPIDLManager>(static_cast<IMalloc*>(&allocator));
  TPIDLManager* saved = NamespacePIDLManager;
  NamespacePIDLManager = empty;
  TNamespace* copy = nullptr;
  EXPECT_THROW(copy = item->Clone(true), std::bad_alloc);
  NamespacePIDLManager = saved;
  EXPECT_EQ(copy, nullptr);
  empty->Free();
  item->Free();
}

TEST(NamespaceSpecial, DesktopAndMyComputer) {
  ASSERT_NE(DesktopFolder(), nullptr);
  ASSERT_NE(DrivesFolder(), nullptr);
  EXPECT_TRUE(DesktopFolder()->IsDesktop());
  EXPECT_FALSE(DesktopFolder()->IsMyComputer());
  EXPECT_TRUE(DrivesFolder()->IsMyComputer());
  EXPECT_FALSE(DrivesFolder()->IsDesktop());
  EXPECT_FALSE(DrivesFolder()->FileSystem());
  EXPECT_TRUE(DrivesFolder()->Folder());
  EXPECT_FALSE(DesktopFolder()->GetDataFromIDList());
  EXPECT_EQ(DesktopFolder()->ParentShellFolder(), DesktopFolder()->GetShellFolder());
  EXPECT_TRUE(DesktopFolder()->DropTarget());
  // Items outside the file system: no find-data attributes, "System Folder" in column 2.
  EXPECT_FALSE(DrivesFolder()->Archive());
  EXPECT_FALSE(DrivesFolder()->Hidden());
  EXPECT_EQ(DrivesFolder()->AttributesString(), u"");
  EXPECT_EQ(DrivesFolder()->DetailsDefaultOf(2), u"System Folder");
  EXPECT_FALSE(DrivesFolder()->NameNormal().empty());
  if (DesktopDirectoryFolder() != nullptr)
    EXPECT_EQ(DesktopFolder()->NameForParsing(), DesktopDirectoryFolder()->NameForParsing());
  TNamespace* desktop = New<TNamespace>(nullptr, static_cast<TNamespace*>(nullptr));
  EXPECT_TRUE(desktop->IsDesktop());
  EXPECT_EQ(desktop->RelativePIDL(), desktop->AbsolutePIDL());
  desktop->Free();
  struct Drives : TObject {
    std::vector<std::u16string> paths;
    bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool&) {
      TNamespace* item = New<TNamespace>(child, parent);
      paths.push_back(item->NameForParsing());
      item->Free();
      return true;
    }
  } drives;
  DrivesFolder()->EnumerateFolder(nullptr, true, false, false, MakeEvent<&Drives::Child>(&drives), nullptr);
  bool hasC = false;
  for (const auto& p : drives.paths) hasC = hasC || p == u"C:\\";
  EXPECT_TRUE(hasC);
  TNamespace* c = TNamespace::CreateFromFileName(u"C:\\");
  EXPECT_TRUE(c->FileSystem());
  EXPECT_TRUE(c->Folder());
  EXPECT_TRUE(c->IsValid());
  EXPECT_FALSE(c->IsMyComputer());
  c->ParentShellFolder();
  ASSERT_NE(c->Parent(), nullptr);
  EXPECT_TRUE(c->Parent()->IsMyComputer());
  c->Free();
}

TEST_F(NamespaceFixture, TypeNamesAreSharedByExtension) {
  std::u16string second = folder.MakeFile(u"second.TXT", 1);
  FlushFileTypeCache();
  TNamespace* a = Item(empty);
  TNamespace* b = Item(second);
  EXPECT_EQ(a->FileType(), b->FileType());
  if (!TypeName(second).empty()) EXPECT_EQ(b->FileType(), TypeName(second));
  std::u16string cached;
  EXPECT_TRUE(LookupFileTypeName(u".txt", cached));
  EXPECT_EQ(cached, a->GetSHFileInfo()->fileType);
  TNamespace* shortcut = Item(link);  // shortcuts are asked each time
  shortcut->FileType();
  EXPECT_FALSE(LookupFileTypeName(u".lnk", cached));
  FlushFileTypeCache();
  EXPECT_FALSE(LookupFileTypeName(u".txt", cached));
  shortcut->Free();
  b->Free();
  a->Free();
}

TEST_F(NamespaceFixture, Windows9xRoadGivesTheSameAnswers) {
  TNamespace* wideItem = Item(sized);
  std::u16string wideName = wideItem->FileName();
  std::u16string wideTime = wideItem->LastWriteTime();
  wideItem->Free();
  vws::SetForceAnsiPath(true);
  TNamespace* item = Item(sized);
  EXPECT_EQ(item->FileName(), wideName);
  EXPECT_EQ(item->SizeOfFileInt64(), 1500);
  EXPECT_EQ(item->LastWriteTime(), wideTime);
  EXPECT_EQ(item->ShortFileName().empty(), false);
  // No DOS drive device on this system: the size on disk falls back to the size.
  EXPECT_EQ(item->SizeOfFileDiskUsage(), item->SizeOfFile());
  EXPECT_FALSE(item->FileType().empty());
  item->Free();
  vws::SetForceAnsiPath(false);
  DWORD a = 0, b = 0, c = 0, d = 0;
  EXPECT_FALSE(Win9xExtFreeSpace(u"C:\\", a, b, c, d));
}

namespace {

decltype(wide::SHGetDataFromIDListW) gRealFindData = nullptr;

// A shell that fills both name fields to the last character, with no end.
HRESULT WINAPI UnterminatedFindData(IShellFolder* folder, PCUITEMID_CHILD pidl, int format, void* out, int size) {
  HRESULT hr = gRealFindData(folder, pidl, format, out, size);
  auto* data = static_cast<WIN32_FIND_DATAW*>(out);
  for (wchar_t& c : data->cFileName) c = L'a';
  for (wchar_t& c : data->cAlternateFileName) c = L'b';
  return hr;
}

}  // namespace

TEST_F(NamespaceFixture, FindDataNamesAreReadInsideTheirFields) {
  ASSERT_NE(wide::SHGetDataFromIDListW, nullptr);
  gRealFindData = wide::SHGetDataFromIDListW;
  wide::SHGetDataFromIDListW = &UnterminatedFindData;
  TNamespace* item = Item(sized);
  std::u16string name = item->FileName();
  std::u16string shortName = item->ShortFileName();
  wide::SHGetDataFromIDListW = gRealFindData;
  EXPECT_EQ(name, std::u16string(MAX_PATH - 1, u'a'));
  EXPECT_EQ(shortName, std::u16string(13, u'b'));
  item->Free();
}

TEST_F(NamespaceFixture, ShownNamesFollowTheOptionThatHidesKnownExtensions) {
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
  DWORD saved = 0, savedSize = sizeof saved;
  bool hadValue = RegGetValueW(HKEY_CURRENT_USER, key, L"HideFileExt", RRF_RT_REG_DWORD, nullptr, &saved,
                               &savedSize) == ERROR_SUCCESS;
  auto setOption = [&](DWORD hide) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"HideFileExt", REG_DWORD, &hide, sizeof hide), ERROR_SUCCESS);
  };
  std::u16string file = folder.MakeFile(u"option.txt", 3);
  std::u16string other = folder.MakeFile(u"other.txt", 3);
  // Items made as a folder's listing makes them: with their parent.
  TNamespace* parent = Item(folder.Path());
  auto shown = [&](const std::u16string& path) {
    LPITEMIDLIST absolute = PathToPIDL(path);
    LPITEMIDLIST relative = NamespacePIDLManager->CopyPIDL(NamespacePIDLManager->GetPointerToLastID(absolute));
    NamespacePIDLManager->FreePIDL(absolute);
    TNamespace* item = New<TNamespace>(relative, parent);
    std::u16string name = item->NameInFolder();
    item->Free();
    return name;
  };
  setOption(1);
  Sleep(600);
  std::u16string hidden = shown(file);
  setOption(0);
  Sleep(600);
  // Shown now, for a file of the same extension made after the rule was learnt too.
  EXPECT_EQ(shown(file), u"option.txt");
  EXPECT_EQ(shown(other), u"other.txt");
  setOption(1);
  Sleep(600);
  EXPECT_EQ(shown(other), hidden == u"option" ? u"other" : u"other.txt");
  parent->Free();
  if (hadValue) {
    setOption(saved);
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"HideFileExt");
  }
}

// The attributes answered together in one call are each what the shell
// answers when asked for that one alone, whichever is asked first.
TEST_F(NamespaceFixture, AttributesAnsweredTogetherAgreeWithEachAskedAlone) {
  std::vector<std::u16string> paths{empty, sized, hidden, readOnly, noExt, foreign, sub, nested, link, folder.Path()};
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  paths.push_back(std::u16string(reinterpret_cast<const char16_t*>(windows), 3));  // a drive root
  struct Ask {
    ULONG mask;
    bool (TNamespace::*getter)();
  };
  std::vector<Ask> asks{{SFGAO_FILESYSTEM, &TNamespace::FileSystem},
                        {SFGAO_FOLDER, &TNamespace::Folder},
                        {SFGAO_LINK, &TNamespace::Link},
                        {SFGAO_REMOVABLE, &TNamespace::Removable}};
  std::mt19937 rng(11);
  for (int round = 0; round < 4; ++round) {
    for (const std::u16string& path : paths) {
      std::shuffle(asks.begin(), asks.end(), rng);
      TNamespace* item = Item(path);
      TNamespace* alone = Item(path);
      for (const Ask& ask : asks)
        EXPECT_EQ((item->*ask.getter)(), alone->TestAttributesOf(ask.mask)) << vws::ToAnsi(path) << " " << ask.mask;
      item->Free();
      alone->Free();
    }
  }
}
