// The checked paths name the ticked items themselves: whole at any length
// (the shell's full parsing names are cut at 259 characters, where a cut name
// can be a sibling's), and only while the item on disk is still the one the
// record knows (same exact names, same kind). Items are stored under the IDs
// their folder's enumeration gives, as the tree stores them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "NodeStorageTestHelpers.h"
#include "ShellTestHelpers.h"
#include "shell/ExactNames.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

using shelltest::TempFolder;
using storagetest::TPath;

namespace {

LPCWSTR X(const std::u16string& path) {
  static thread_local std::u16string extended;
  extended = exactnames::ExtendedPath(path);
  return reinterpret_cast<LPCWSTR>(extended.c_str());
}

void MakeFile(const std::u16string& path) {
  HANDLE file = CreateFileW(X(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << vws::ToAnsi(path);
  DWORD written = 0;
  WriteFile(file, "tick", 4, &written, nullptr);
  CloseHandle(file);
}

void MakeFolder(const std::u16string& path) { ASSERT_TRUE(CreateDirectoryW(X(path), nullptr)) << vws::ToAnsi(path); }

// Makes each item below parent in turn: a name ending in a backslash is a
// folder, any other a file.
void Lay(const std::u16string& parent, std::initializer_list<std::u16string> items) {
  for (const std::u16string& item : items) {
    if (item.ends_with(u'\\'))
      MakeFolder(parent + u"\\" + item.substr(0, item.size() - 1));
    else
      MakeFile(parent + u"\\" + item);
  }
}

struct NodeStorageCheckedFixture : ::testing::Test {
  TempFolder temp;
  TRootNodeStorage* storage = nullptr;
  std::vector<LPITEMIDLIST> pidls;
  std::vector<std::u16string> absent;

  void SetUp() override { storage = New<TRootNodeStorage>(); }
  void TearDown() override {
    storage->Free();
    for (LPITEMIDLIST pidl : pidls) NamespacePIDLManager->FreePIDL(pidl);
    shelltest::RemoveTree(exactnames::ExtendedPath(temp.Path()));
  }

  // The absolute PIDL of name in folder as the folder's enumeration gives it
  // (folder's own path must be shorter than the shell's cut).
  LPITEMIDLIST Enumerated(const std::u16string& folder, const std::u16string& name) {
    TPath parent(folder);
    IShellFolder* desktop = nullptr;
    IShellFolder* shellFolder = nullptr;
    SHGetDesktopFolder(&desktop);
    desktop->BindToObject(parent.Get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder));
    desktop->Release();
    if (shellFolder == nullptr) return nullptr;
    IEnumIDList* items = nullptr;
    LPITEMIDLIST found = nullptr;
    if (SUCCEEDED(shellFolder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                           &items)) &&
        items != nullptr) {
      LPITEMIDLIST id = nullptr;
      ULONG got = 0;
      while (found == nullptr && items->Next(1, &id, &got) == S_OK) {
        if (exactnames::InFolderName(shellFolder, id) == name)
          found = NamespacePIDLManager->AppendPIDL(parent.Get(), id);
        CoTaskMemFree(id);
      }
      items->Release();
    }
    shellFolder->Release();
    if (found != nullptr) pidls.push_back(found);
    return found;
  }
  void Tick(const std::u16string& folder, const std::u16string& name) {
    LPITEMIDLIST pidl = Enumerated(folder, name);
    ASSERT_NE(pidl, nullptr) << vws::ToAnsi(name);
    TNodeStorage* record = storage->Store(pidl, {skCheckState});
    ASSERT_NE(record, nullptr);
    record->Storage.CheckState = csCheckedNormal;
    record->Storage.CheckType = ctTriStateCheckBox;
  }
  // Ticks each of names in folder; their paths in that order.
  std::vector<std::u16string> TickAll(const std::u16string& folder, const std::vector<std::u16string>& names) {
    std::vector<std::u16string> paths;
    for (const std::u16string& name : names) {
      Tick(folder, name);
      paths.push_back(folder + u"\\" + name);
    }
    return paths;
  }
  std::vector<std::u16string> Checked(TCheckedNamesKind kind = cnkEveryItem) {
    TWideStringList* list = storage->GetCheckedFileNames(kind, &absent);
    std::vector<std::u16string> out;
    for (int i = 0; i < list->Count(); ++i) out.push_back(list->Strings(i));
    return out;
  }
  // A folder in the temporary folder whose path is length characters long.
  std::u16string FolderOfLength(size_t length, char16_t fill) {
    std::u16string path = temp.Path() + u"\\" + std::u16string(length - temp.Path().size() - 1, fill);
    MakeFolder(path);
    return path;
  }
};

using Paths = std::vector<std::u16string>;

// The in-folder names of an enumeration's children.
struct TChildNames : TObject {
  Paths names;
  bool Child(HWND, LPITEMIDLIST child, TNamespace* parent, void*, bool&) {
    names.push_back(exactnames::InFolderName(parent->GetShellFolder(), child));
    CoTaskMemFree(child);
    return true;
  }
};

}  // namespace

TEST_F(NodeStorageCheckedFixture, ALongTickedNameIsListedWholeNeverItsCutTwin) {
  // A ticked file of 268 characters beside an unticked sibling whose name is
  // the ticked one's first 117 characters (259: what the cut name reads).
  const std::u16string parent = FolderOfLength(141, u'p');
  std::u16string name = std::u16string(117, u'n') + u"-ticked!!";
  ASSERT_EQ(name.size(), 126u);
  const std::u16string ticked = parent + u"\\" + name;
  const std::u16string sibling = parent + u"\\" + name.substr(0, 117);
  MakeFile(ticked);
  MakeFile(sibling);
  ASSERT_EQ(ticked.size(), 268u);
  Tick(parent, name);
  EXPECT_EQ(Checked(), Paths{ticked});
  EXPECT_EQ(Checked(cnkTopmost), Paths{ticked});
  EXPECT_TRUE(absent.empty());
  // The item's own parsing name is whole too.
  TNamespace* item = New<TNamespace>(pidls.back(), static_cast<TNamespace*>(nullptr));
  item->SetFreePIDLOnDestroy(false);
  EXPECT_EQ(item->NameForParsing(), ticked);
  item->Free();
  // Gone, it is named as not there; the sibling that bears its cut name is never listed.
  ASSERT_TRUE(DeleteFileW(X(ticked)));
  EXPECT_EQ(Checked(), Paths{});
  EXPECT_EQ(absent, Paths{ticked});
  // Without the sibling, the ticked file is listed by its whole name, not reported absent.
  ASSERT_TRUE(DeleteFileW(X(sibling)));
  MakeFile(ticked);
  EXPECT_EQ(Checked(), Paths{ticked});
  EXPECT_TRUE(absent.empty());
}

TEST_F(NodeStorageCheckedFixture, NamesAroundTheCutBesidePrefixNamedSiblingsAreListedExactly) {
  // Files whose paths are 258 to 262 and 300 characters long, each beside a
  // sibling named by its first characters, and a folder of 300 characters
  // beside its own cut twin: half of them ticked, in turn.
  const std::u16string parent = FolderOfLength(150, u'q');
  Paths longNames, shortNames;
  for (size_t length : {258u, 259u, 260u, 261u, 262u, 300u}) {
    const size_t nameLength = length - parent.size() - 1;
    std::u16string name = std::u16string(nameLength - 3, u'a' + static_cast<char16_t>(length % 20)) + u"end";
    MakeFile(parent + u"\\" + name);
    const std::u16string shorter = name.substr(0, nameLength - 2 - length % 3);
    MakeFile(parent + u"\\" + shorter);
    longNames.push_back(name);
    shortNames.push_back(shorter);
  }
  const std::u16string folderName = std::u16string(149, u'z');
  MakeFolder(parent + u"\\" + folderName);
  MakeFile(parent + u"\\" + folderName + u"\\inside.txt");
  MakeFolder(parent + u"\\" + folderName.substr(0, 108));
  longNames.push_back(folderName);
  shortNames.push_back(folderName.substr(0, 108));
  for (const Paths* ticked : {&longNames, &shortNames}) {
    storage->Clear(false);
    Paths want = TickAll(parent, *ticked);
    Paths got = Checked(cnkTopmost);
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    EXPECT_TRUE(absent.empty());
  }
}

TEST_F(NodeStorageCheckedFixture, AFileTurnedFolderAndBackIsListedOnlyWhileItIsAFile) {
  const std::u16string parent = temp.Path();
  Lay(parent, {u"x", u"d\\", u"d\\in.txt"});
  Tick(parent, u"x");
  Tick(parent, u"d");
  EXPECT_EQ(Checked(cnkTopmost), (Paths{parent + u"\\d", parent + u"\\x"}));
  // Another program puts a folder where the ticked file was, and a file where the folder was.
  ASSERT_TRUE(DeleteFileW(X(parent + u"\\x")));
  MakeFolder(parent + u"\\x");
  MakeFile(parent + u"\\x\\new.txt");
  shelltest::RemoveTree(exactnames::ExtendedPath(parent + u"\\d"));
  MakeFile(parent + u"\\d");
  EXPECT_EQ(Checked(cnkTopmost), Paths{});
  EXPECT_EQ(absent, (Paths{parent + u"\\d", parent + u"\\x"}));
  // Turned back, each is the ticked item again.
  shelltest::RemoveTree(exactnames::ExtendedPath(parent + u"\\x"));
  MakeFile(parent + u"\\x");
  ASSERT_TRUE(DeleteFileW(X(parent + u"\\d")));
  MakeFolder(parent + u"\\d");
  EXPECT_EQ(Checked(cnkTopmost), (Paths{parent + u"\\d", parent + u"\\x"}));
  EXPECT_TRUE(absent.empty());
}

// Each listed path's kind, as ticked, beside it: what the run checks again
// just before the path is handed over.
TEST_F(NodeStorageCheckedFixture, EachListedPathsKindIsGivenBesideIt) {
  const std::u16string parent = temp.Path();
  Lay(parent, {u"x", u"d\\", u"d\\in.txt", u"y"});
  Tick(parent, u"x");
  Tick(parent, u"d");
  Tick(parent + u"\\d", u"in.txt");
  Tick(parent, u"y");
  EXPECT_EQ(Checked(cnkEveryItem), (Paths{parent + u"\\d", parent + u"\\d\\in.txt", parent + u"\\x", parent + u"\\y"}));
  EXPECT_EQ(storage->CheckedFolders(), (std::vector<bool>{true, false, false, false}));
  EXPECT_EQ(Checked(cnkTopmost), (Paths{parent + u"\\d", parent + u"\\x", parent + u"\\y"}));
  EXPECT_EQ(storage->CheckedFolders(), (std::vector<bool>{true, false, false}));
  // What is not there is not listed, nor its kind.
  ASSERT_TRUE(DeleteFileW(X(parent + u"\\x")));
  EXPECT_EQ(Checked(cnkTopmost), (Paths{parent + u"\\d", parent + u"\\y"}));
  EXPECT_EQ(storage->CheckedFolders(), (std::vector<bool>{true, false}));
}

TEST_F(NodeStorageCheckedFixture, ATickedItemBelowAGoneFolderIsNamedOnceWithItsFolder) {
  const std::u16string parent = temp.Path();
  Lay(parent, {u"gone\\", u"gone\\a.txt"});
  Tick(parent, u"gone");
  Tick(parent + u"\\gone", u"a.txt");
  EXPECT_EQ(Checked(), (Paths{parent + u"\\gone", parent + u"\\gone\\a.txt"}));
  shelltest::RemoveTree(exactnames::ExtendedPath(parent + u"\\gone"));
  MakeFile(parent + u"\\gone");
  EXPECT_EQ(Checked(), Paths{});
  EXPECT_EQ(absent, Paths{parent + u"\\gone"});
}

TEST(ExactNamesWhole, JoinTakesOnlyPlainNames) {
  std::u16string path = u"X:\\";
  EXPECT_TRUE(exactnames::JoinName(path, u"a"));
  EXPECT_TRUE(exactnames::JoinName(path, u"b."));
  EXPECT_EQ(path, u"X:\\a\\b.");
  for (const char16_t* bad : {u"", u".", u"..", u"c\\d", u"e/f", u"Y:"}) {
    std::u16string kept = path;
    EXPECT_FALSE(exactnames::JoinName(kept, bad)) << vws::ToAnsi(bad);
    EXPECT_EQ(kept, path);
  }
  EXPECT_TRUE(exactnames::IsRootedPath(u"C:\\"));
  EXPECT_TRUE(exactnames::IsRootedPath(u"\\\\server\\share"));
  EXPECT_FALSE(exactnames::IsRootedPath(u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"));
  EXPECT_FALSE(exactnames::IsRootedPath(u"\\\\?\\C:\\x"));
}

TEST_F(NodeStorageCheckedFixture, AFolderListedByACutNameShowsNothingRatherThanItsTwin) {
  // A folder of 300 characters beside the folder its cut name names, which holds a file.
  const std::u16string parent = FolderOfLength(150, u'r');
  const std::u16string name(149, u'w');
  MakeFolder(parent + u"\\" + name);
  MakeFile(parent + u"\\" + name + u"\\own.txt");
  MakeFolder(parent + u"\\" + name.substr(0, 108));
  MakeFile(parent + u"\\" + name.substr(0, 108) + u"\\twin.txt");
  LPITEMIDLIST pidl = Enumerated(parent, name);
  ASSERT_NE(pidl, nullptr);
  EXPECT_FALSE(exactnames::ListsItself(pidl));
  EXPECT_TRUE(exactnames::ListsItself(Enumerated(parent, name.substr(0, 108))));
  TNamespace* item = New<TNamespace>(pidl, static_cast<TNamespace*>(nullptr));
  item->SetFreePIDLOnDestroy(false);
  TChildNames names;
  item->EnumerateFolder(nullptr, true, true, true, MakeEvent<&TChildNames::Child>(&names), nullptr);
  item->Free();
  EXPECT_EQ(names.names, Paths{});
}

TEST_F(NodeStorageCheckedFixture, ManyTicksInOneFolderAreCheckedAgainstOneReadingOfIt) {
  // Enough ticks in one folder that it is read once rather than asked per tick.
  const std::u16string parent = temp.Path();
  Paths want;
  for (int i = 0; i < 40; ++i) {
    const std::u16string name = u"f" + vws::WideIntToStr(i);
    if (i % 10 == 3) {
      MakeFolder(parent + u"\\" + name);
    } else {
      MakeFile(parent + u"\\" + name);
    }
    Tick(parent, name);
    want.push_back(parent + u"\\" + name);
  }
  Paths got = Checked(cnkTopmost);
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  // One file gone, one turned folder, one folder turned file: those three are not there.
  ASSERT_TRUE(DeleteFileW(X(parent + u"\\f0")));
  ASSERT_TRUE(DeleteFileW(X(parent + u"\\f1")));
  MakeFolder(parent + u"\\f1");
  ASSERT_TRUE(RemoveDirectoryW(X(parent + u"\\f3")));
  MakeFile(parent + u"\\f3");
  got = Checked(cnkTopmost);
  EXPECT_EQ(got.size(), want.size() - 3);
  for (const char16_t* name : {u"\\f0", u"\\f1", u"\\f3"})
    EXPECT_EQ(std::count(got.begin(), got.end(), parent + name), 0) << vws::ToAnsi(name);
  std::sort(absent.begin(), absent.end());
  EXPECT_EQ(absent, (Paths{parent + u"\\f0", parent + u"\\f1", parent + u"\\f3"}));
}

TEST_F(NodeStorageCheckedFixture, NamesEndingInADotOrASpaceAreListedAsThemselvesNeverTheirPlainTwin) {
  // "dir." and "f " beside "dir" and "f": the plain file calls take the first
  // for the second. Ticked alone, in turn, each is listed by its own name;
  // gone, it is not there even while its plain twin is.
  const std::u16string parent = temp.Path();
  Lay(parent, {u"dir.\\", u"dir\\", u"f ", u"f"});
  for (const Paths& ticked : {Paths{u"dir.", u"f "}, Paths{u"dir", u"f"}}) {
    storage->Clear(false);
    Paths want = TickAll(parent, ticked);
    EXPECT_EQ(Checked(cnkTopmost), want);
    EXPECT_TRUE(absent.empty());
  }
  storage->Clear(false);
  Tick(parent, u"dir.");
  Tick(parent, u"f ");
  ASSERT_TRUE(RemoveDirectoryW(X(parent + u"\\dir.")));
  ASSERT_TRUE(DeleteFileW(X(parent + u"\\f ")));
  EXPECT_EQ(Checked(cnkTopmost), Paths{});
  EXPECT_EQ(absent, (Paths{parent + u"\\dir.", parent + u"\\f "}));
}

TEST_F(NodeStorageCheckedFixture, ATickedItemWhoseFoldersAreGoneIsNamedAsNotThere) {
  // Only the files are ticked; their folders go, one level and two levels up.
  const std::u16string parent = temp.Path();
  Lay(parent, {u"up\\", u"up\\sub\\", u"up\\sub\\a.txt", u"one\\", u"one\\b.txt"});
  Tick(parent + u"\\up\\sub", u"a.txt");
  Tick(parent + u"\\one", u"b.txt");
  EXPECT_EQ(Checked(), (Paths{parent + u"\\one\\b.txt", parent + u"\\up\\sub\\a.txt"}));
  shelltest::RemoveTree(exactnames::ExtendedPath(parent + u"\\up"));
  shelltest::RemoveTree(exactnames::ExtendedPath(parent + u"\\one"));
  EXPECT_EQ(Checked(), Paths{});
  std::sort(absent.begin(), absent.end());
  EXPECT_EQ(absent, (Paths{parent + u"\\one\\b.txt", parent + u"\\up\\sub\\a.txt"}));
}

TEST_F(NodeStorageCheckedFixture, ATickedItemWhoseFolderCannotBeOpenedIsNamedAsNotThere) {
  // A record below an item the shell cannot open as a folder (a file stands
  // on its parent's place in the ID list): the item cannot be asked about,
  // so it is named as not there rather than left out unsaid.
  const std::u16string parent = temp.Path();
  Lay(parent, {u"plain", u"dir\\", u"dir\\c.txt"});
  LPITEMIDLIST file = Enumerated(parent, u"plain");
  LPITEMIDLIST child = Enumerated(parent + u"\\dir", u"c.txt");
  ASSERT_NE(file, nullptr);
  ASSERT_NE(child, nullptr);
  LPITEMIDLIST odd = NamespacePIDLManager->AppendPIDL(file, NamespacePIDLManager->GetPointerToLastID(child));
  ASSERT_NE(odd, nullptr);
  pidls.push_back(odd);
  TNodeStorage* record = storage->Store(odd, {skCheckState});
  ASSERT_NE(record, nullptr);
  record->Storage.CheckState = csCheckedNormal;
  EXPECT_EQ(Checked(), Paths{});
  EXPECT_EQ(absent.size(), 1u);
}

TEST_F(NodeStorageCheckedFixture, ItemsBelowAFileSystemFolderOfTheDesktopNamedByAnIdAreListed) {
  // The desktop shows the user's documents as an item whose in-folder name is
  // an ID, not a name on disk: what is ticked inside it is listed by the
  // folder's own path (its own entry, not a twin spelled with a backslash).
  IShellFolder* desktop = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetDesktopFolder(&desktop)));
  std::u16string id = u"::{450d8fba-ad25-11d0-98a8-0800361b1103}";
  LPITEMIDLIST documents = exactnames::ParseInFolder(desktop, id);
  desktop->Release();
  if (documents == nullptr) GTEST_SKIP() << "no documents item on the desktop";
  pidls.push_back(documents);
  std::u16string folder = exactnames::ParsingName(documents);
  while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
  ASSERT_TRUE(exactnames::IsRootedPath(folder)) << vws::ToAnsi(folder);
  const std::u16string name = u"qv-ticked-" + vws::WideIntToStr(static_cast<int>(GetCurrentProcessId())) + u".txt";
  const std::u16string file = folder + u"\\" + name;
  MakeFile(file);
  IShellFolder* shellFolder = nullptr;
  SHGetDesktopFolder(&desktop);
  desktop->BindToObject(documents, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder));
  desktop->Release();
  LPITEMIDLIST child = shellFolder != nullptr ? exactnames::ParseInFolder(shellFolder, name) : nullptr;
  if (shellFolder != nullptr) shellFolder->Release();
  LPITEMIDLIST ticked = child != nullptr ? NamespacePIDLManager->AppendPIDL(documents, child) : nullptr;
  if (child != nullptr) NamespacePIDLManager->FreePIDL(child);
  if (ticked != nullptr) {
    pidls.push_back(ticked);
    TNodeStorage* record = storage->Store(ticked, {skCheckState});
    record->Storage.CheckState = csCheckedNormal;
    TNodeStorage* parent = storage->Store(documents, {skCheckState});
    parent->Storage.CheckState = csMixedNormal;
    EXPECT_EQ(Checked(), Paths{file});
    EXPECT_TRUE(absent.empty());
    parent->Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(Checked(cnkTopmost), Paths{folder});
    EXPECT_TRUE(absent.empty());
  }
  DeleteFileW(X(file));
  ASSERT_NE(ticked, nullptr);
}
