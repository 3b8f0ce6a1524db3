// Selection integrity of the file page: random checks and unchecks, expands
// and collapses, refreshes of folders after files were created, deleted and
// renamed on disk, folders renamed in the tree (F2) and by another program (the
// change notifier tells the tree), siblings whose names the plain file calls
// or the shell's comparisons take for one ("x." and "x ", "Data" and "data"),
// hard links, links to a folder outside, wipes and rebuilds (Refresh, which
// forgets the checks), against a reference model of what the user ticked.
// After every step the paths the wizard hands to the engine equal the model's
// topmost ticked items, and the items its confirm list reaches equal every
// ticked item. After every wipe the whole drive equals the drive before it
// without the ticked items: every other file byte for byte, nothing outside
// touched. Files with other hard links and links are left by the engine.
// Other programs change the disk unseen by the tree: a case twin deleted, a
// file turned folder and back; the ticks that no longer match are named as
// not there, never wiped. Long names: files whose paths are 258 to 262 and
// 300 characters beside siblings named by their first characters (what a cut
// name reads), and folders down to a path of 1,000 characters.
// A few hundred steps here; QV_LONG=1 runs 20,000.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "../shell/ExplorerTree.h"
#include "../shell/MountedFolder.h"
#include "../shell/NodeStorage.h"
#include "../shell/ShellUtilities.h"
#include "EngineLinkFixture.h"
#include "FileConfirmList.h"
#include "FileListing.h"
#include "WideText.h"

namespace {

LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

// Under Wine a folder listing gives cut names where a path passes this length.
constexpr size_t kListedPathLimit = 1023;

std::u16string Num(unsigned n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

std::string Narrow(const std::u16string& s) { return WideStringToString(s); }

// The exact ("\\?\") form of a drive path: the plain calls take "x." for "x".
std::u16string Ext(const std::u16string& path) { return u"\\\\?\\" + path; }

bool Exists(const std::u16string& path) { return GetFileAttributesW(W(Ext(path))) != INVALID_FILE_ATTRIBUTES; }

// True when the entry of path carries its very name (a lookup may answer with a case twin).
bool ExactlyThere(const std::u16string& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(Ext(path)), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return path.substr(path.find_last_of(u'\\') + 1) == reinterpret_cast<const char16_t*>(data.cFileName);
}

// True when no folder or name on path ends in a dot or a space (the shell's
// own renames take such names for their trimmed twins).
bool NoTrimmedNames(const std::u16string& path) {
  for (size_t start = 0;;) {
    const size_t end = path.find(u'\\', start);
    const size_t stop = end == std::u16string::npos ? path.size() : end;
    if (stop > start && (path[stop - 1] == u'.' || path[stop - 1] == u' ')) return false;
    if (end == std::u16string::npos) return true;
    start = end + 1;
  }
}

// What the user ticked: every item below the model's root with its own mark
// (files, empty folders and links); a folder with content is checked when all
// its content is, unchecked when none is, mixed otherwise. A link stands for
// itself: what it leads to is no item of the model.
class TTickModel {
public:
  enum TState { kUnchecked, kChecked, kMixed };
  struct TItem {
    bool folder = false;
    bool mark = false;
    bool link = false;
    bool aliased = false;  // the shell's parsing of its path names another item ("x.", "Data" beside "data")
    bool gone = false;     // deleted by another program, the tree not told
    bool detached = false; // gone, and its node dropped by a refresh: its record keeps frozenChecked
    bool frozenChecked = false;
    bool stale = false;    // a ticked file turned folder by another program, the tree not told
  };

  void Add(const std::u16string& path, bool folder, bool mark) {
    items[path] = TItem();
    items[path].folder = folder;
    items[path].mark = mark;
  }
  void Add(const std::u16string& path, const TItem& item) { items[path] = item; }
  void Remove(const std::u16string& path) { items.erase(path); }
  bool Has(const std::u16string& path) const { return items.count(path) != 0; }
  const std::map<std::u16string, TItem>& Items() const { return items; }
  TItem& At(const std::u16string& path) { return items.at(path); }

  static std::u16string ParentOf(const std::u16string& path) { return path.substr(0, path.find_last_of(u'\\')); }
  static bool Below(const std::u16string& path, const std::u16string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == u'\\';
  }

  // The folder's items as the tree has them (gone ones whose nodes a refresh dropped are not).
  std::vector<std::u16string> Children(const std::u16string& folder, bool withDetached = false) const {
    std::vector<std::u16string> out;
    const std::u16string prefix = folder + u'\\';
    for (auto it = items.lower_bound(prefix); it != items.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it)
      if (it->first.find(u'\\', prefix.size()) == std::u16string::npos && (withDetached || !it->second.detached))
        out.push_back(it->first);
    return out;
  }
  // True for an item in a folder whose path is longer than the shell's cut
  // names: the shell cannot list such a folder, so the tree shows it empty.
  static bool Unseen(const std::u16string& path) { return ParentOf(path).size() > 259; }
  // True when an item is gone or stale anywhere.
  bool AnyChanged() const {
    for (const auto& [path, item] : items)
      if (item.gone || item.stale) return true;
    return false;
  }
  // A refresh of folder rebuilds its nodes: those of gone items below it are
  // dropped, their records kept with the state they had.
  void DetachGoneBelow(const std::u16string& folder) {
    std::vector<std::pair<std::u16string, bool>> dropped;
    for (const auto& [path, item] : items)
      if (item.gone && !item.detached && Below(path, folder)) dropped.push_back({path, State(path) == kChecked});
    for (const auto& [path, checked] : dropped) {
      items[path].detached = true;
      items[path].frozenChecked = checked;
    }
  }
  // A folder that turns unchecked drops the check records below it, those of
  // gone items whose nodes are no more among them.
  void DropBelowUnchecked() {
    for (auto& [path, item] : items) {
      if (!item.detached || !item.frozenChecked) continue;
      for (std::u16string up = ParentOf(path); items.count(up) != 0; up = ParentOf(up)) {
        if (!items.at(up).detached && State(up) == kUnchecked) {
          item.frozenChecked = false;
          break;
        }
        if (up.find(u'\\') == std::u16string::npos) break;
      }
    }
  }
  // After the tree is built again: gone items are no more, stale ones are what the disk holds.
  void Settle() {
    for (auto it = items.begin(); it != items.end();) {
      if (it->second.gone) {
        it = items.erase(it);
        continue;
      }
      if (it->second.stale) {
        it->second.stale = false;
        it->second.folder = true;
      }
      ++it;
    }
  }
  // The ticks the storage names as not there, in its walk: a checked gone or
  // stale item (nothing below it); below anything else the walk goes on.
  void Absent(const std::u16string& folder, std::set<std::u16string>& out) const {
    for (const std::u16string& child : Children(folder, /*withDetached=*/true)) {
      const TItem& item = items.at(child);
      if (item.gone) {
        if (item.detached ? item.frozenChecked : State(child) == kChecked) out.insert(child);
        else Absent(child, out);
      } else if (item.stale) {
        if (State(child) == kChecked) out.insert(child);
      } else if (item.folder && !item.link) {
        Absent(child, out);
      }
    }
  }
  // path and everything below it.
  std::vector<std::u16string> Subtree(const std::u16string& path) const {
    std::vector<std::u16string> out;
    for (auto it = items.lower_bound(path); it != items.end() && it->first.compare(0, path.size(), path) == 0; ++it)
      if (it->first.size() == path.size() || it->first[path.size()] == u'\\') out.push_back(it->first);
    return out;
  }
  // True when no folder on path (path included) is named so that the shell's parsing takes it for another.
  bool Plain(const std::u16string& path) const {
    for (const auto& [p, item] : items)
      if (item.aliased && (p == path || Below(path, p))) return false;
    return true;
  }
  TState State(const std::u16string& path) const {
    const TItem& item = items.at(path);
    if (!item.folder || item.link) return item.mark ? kChecked : kUnchecked;
    std::vector<std::u16string> children = Children(path);
    if (children.empty()) return item.mark ? kChecked : kUnchecked;
    bool any = false, all = true;
    for (const std::u16string& child : children) {
      TState s = State(child);
      any = any || s != kUnchecked;
      all = all && s == kChecked;
    }
    return all ? kChecked : any ? kMixed : kUnchecked;
  }
  // A click on the box: a checked item goes off with all it holds, any other on.
  void Toggle(const std::u16string& path) { Mark(path, State(path) != kChecked); }
  void Mark(const std::u16string& path, bool value) {
    for (const std::u16string& p : Subtree(path))
      if (!items[p].detached) items[p].mark = value;
  }
  // The item and all it holds under a new name, marks kept.
  void Rename(const std::u16string& from, const std::u16string& to) {
    std::map<std::u16string, TItem> moved;
    for (const std::u16string& p : Subtree(from)) {
      moved[to + p.substr(from.size())] = items[p];
      items.erase(p);
    }
    items.insert(moved.begin(), moved.end());
  }
  void Clear() {
    for (auto& [path, item] : items) item.mark = false;
  }
  // The topmost checked items under root (what the engine must get).
  void Topmost(const std::u16string& folder, std::set<std::u16string>& out) const {
    for (const std::u16string& child : Children(folder)) {
      TState s = State(child);
      const TItem& item = items.at(child);
      // Gone or changed, a tick is refused.
      if (s == kChecked && !item.gone && !item.stale) out.insert(child);
      else if (s == kMixed) Topmost(child, out);
    }
  }
  // Every checked item, folders with a trailing backslash (what the list must reach).
  void Every(const std::u16string& folder, std::set<std::u16string>& out) const {
    const bool folderChecked = State(folder) == kChecked;
    for (const std::u16string& child : Children(folder)) {
      const TItem& item = items.at(child);
      if (item.gone) continue;
      // A stale tick is refused; the folder now there is listed with a checked folder's content.
      if (item.stale) {
        if (folderChecked) out.insert(child + u'\\');
        continue;
      }
      TState s = State(child);
      if (s == kChecked) out.insert(items.at(child).folder ? child + u'\\' : child);
      if (s != kUnchecked || items.at(child).folder) Every(child, out);
    }
  }

private:
  std::map<std::u16string, TItem> items;
};

// The whole drive as the file system has it, links not entered.
struct TEntry {
  bool folder = false;
  bool link = false;
  DWORD links = 1;
  std::string bytes;
  bool operator==(const TEntry& o) const { return folder == o.folder && link == o.link && bytes == o.bytes; }
};
using TDrive = std::map<std::u16string, TEntry>;

void ScanDrive(const std::u16string& folder, TDrive& out) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(Ext(folder + u"\\*")), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
    if (name == u"." || name == u"..") continue;
    const std::u16string path = folder + u"\\" + name;
    TEntry entry;
    entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!entry.folder && !entry.link) {
      HANDLE file = CreateFileW(W(Ext(path)), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(file, &info)) entry.links = info.nNumberOfLinks;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) entry.bytes.append(buffer, got);
        CloseHandle(file);
      } else {
        entry.bytes = "<unreadable>";
      }
    }
    out[path] = entry;
    if (entry.folder && !entry.link) ScanDrive(path, out);
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

bool AtOrBelowAny(const std::u16string& path, const std::set<std::u16string>& folders) {
  for (const std::u16string& f : folders)
    if (path == f || TTickModel::Below(path, f)) return true;
  return false;
}

// The drive after a wipe of ticked: every item at or below a ticked path
// gone, but for files with other hard links and links (the engine leaves
// them), what appeared after the confirm step (unlisted) and the folders that
// hold what was left.
TDrive AfterWipe(const TDrive& before, const std::set<std::u16string>& ticked,
                 const std::set<std::u16string>& unlisted = {}) {
  auto wiped = [&](const std::u16string& path) {
    return AtOrBelowAny(path, ticked) && !AtOrBelowAny(path, unlisted);
  };
  TDrive after;
  for (const auto& [path, entry] : before)
    if ((!entry.folder || entry.link) && (!wiped(path) || entry.link || entry.links > 1)) after[path] = entry;
  for (const auto& [path, entry] : before) {
    if (!entry.folder || entry.link) continue;
    bool holdsLeft = false;
    for (auto it = after.lower_bound(path + u'\\'); it != after.end() && TTickModel::Below(it->first, path); ++it)
      holdsLeft = true;
    if (!wiped(path) || holdsLeft) after[path] = entry;
  }
  return after;
}

std::string DriveDiff(const TDrive& want, const TDrive& got) {
  std::string out;
  for (const auto& [path, entry] : want) {
    auto found = got.find(path);
    if (found == got.end()) out += "lost " + Narrow(path) + "\n";
    else if (!(found->second == entry)) out += "changed " + Narrow(path) + "\n";
  }
  for (const auto& [path, entry] : got)
    if (want.count(path) == 0) out += "left " + Narrow(path) + "\n";
  return out;
}

}  // namespace

struct SelectionModelTest : EngineLinkTest {
  void SetUp() override {
    EngineLinkTest::SetUp();
    InitializeShellToolkit();
    LinkFileTask();
  }
  void TearDown() override {
    if (!root.empty()) RemoveTree(root);
    EngineLinkTest::TearDown();
  }
  static void RemoveTree(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(W(Ext(path)));
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(W(Ext(path)),
                       attributes & FILE_ATTRIBUTE_DIRECTORY ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL);
    // A link goes as itself: what it leads to is not the model's.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (!RemoveDirectoryW(W(Ext(path)))) DeleteFileW(W(Ext(path)));
      return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileW(W(Ext(path)));
      return;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(Ext(path + u"\\*")), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
        if (name != u"." && name != u"..") RemoveTree(path + u"\\" + name);
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(W(Ext(path)));
  }
  void MakeFile(const std::u16string& path, DWORD attributes, const std::string& content = "model") {
    HANDLE file = CreateFileW(W(Ext(path)), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(W(Ext(path)), attributes);
  }
  // The child of node whose parsing name is exactly path, or null.
  PVirtualNode ChildNamed(PVirtualNode node, const std::u16string& path) {
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
      TNamespace* ns = tree->NodeNamespace(child);
      if (ns != nullptr && ns->NameForParsing() == path) return child;
    }
    return nullptr;
  }
  // The tree's node of path, walked to by exact names (the shell's parsing
  // takes "x." for "x" and "data" for "Data"); with show, the folders on the
  // way are expanded; else only nodes already made are walked.
  PVirtualNode Walk(const std::u16string& path, bool show) {
    LPITEMIDLIST pidl = PathToPIDL(root);
    if (pidl == nullptr) return nullptr;
    PVirtualNode node = show ? tree->WalkPIDLToNode(pidl, false, /*expandPath=*/true, false, /*init=*/true)
                             : tree->FindLoadedNodeByPIDL(pidl);
    CoTaskMemFree(pidl);
    for (size_t at = root.size(); node != nullptr && at < path.size();) {
      size_t next = path.find(u'\\', at + 1);
      if (show) tree->SetExpanded(node, true);
      node = ChildNamed(node, path.substr(0, next));
      at = next == std::u16string::npos ? path.size() : next;
    }
    return node;
  }
  PVirtualNode Show(const std::u16string& path) { return Walk(path, /*show=*/true); }
  PVirtualNode Loaded(const std::u16string& path) { return Walk(path, /*show=*/false); }
  // The folder re-read by the tree when it has a node (an unread folder has nothing to merge).
  void RefreshFolder(const std::u16string& folder) {
    if (PVirtualNode node = Loaded(folder)) {
      tree->RefreshNode(node);
      model.DetachGoneBelow(folder);
    }
  }
  // "" when the wizard agrees with the model, else what differs.
  std::string Compare() {
    std::set<std::u16string> topmost, every;
    model.Topmost(root, topmost);
    if (model.State(root) == TTickModel::kChecked) topmost = {root};
    model.Every(root, every);
    if (model.State(root) == TTickModel::kChecked) every.insert(root + u'\\');
    std::set<std::u16string> absent;
    model.DropBelowUnchecked();
    model.Absent(root, absent);
    form->TransferFileListFromTree();
    std::set<std::u16string> handed;
    for (int i = 0; form->FilesToWipeList != nullptr && i < form->FilesToWipeList->Count(); ++i)
      handed.insert(form->FilesToWipeList->Strings(i));
    std::set<std::u16string> listed;
    for (const TShownRow& row : ShownRows(form->Item<TListView>("FileConfirmListView"))) listed.insert(row.name);
    std::string out;
    auto diff = [&](const char* what, const std::set<std::u16string>& want, const std::set<std::u16string>& got) {
      for (const auto& p : want)
        if (!got.count(p)) out += std::string(what) + " misses " + Narrow(p) + "\n";
      for (const auto& p : got)
        if (!want.count(p)) out += std::string(what) + " has extra " + Narrow(p) + "\n";
    };
    diff("engine list", topmost, handed);
    diff("confirm list", every, listed);
    diff("not-there list", absent, std::set<std::u16string>(form->AbsentTicks.begin(), form->AbsentTicks.end()));
    return out;
  }
  // The select page with the tree built afresh (every check forgotten).
  void ToSelectPage() {
    form->BottomBackClick();
    Click("WelcomeFileAndFoldersRadioButton");
    form->BottomNextClick();
  }

  std::u16string root;
  std::u16string driveName;  // "X:"
  TVirtualExplorerTreeview* tree = nullptr;
  TTickModel model;
};

TEST_F(SelectionModelTest, RandomTicksRenamesTwinNamesLinksAndWipesKeepTheWipeExact) {
  REQUIRE_DRIVE(letter, "QV_TEST_WIZ_FILES");
  const bool longRun = std::getenv("QV_LONG") != nullptr && std::string(std::getenv("QV_LONG")) == "1";
  const int steps = longRun ? 20000 : 300;
  const unsigned seed = 18104;
  std::mt19937 random(seed);
  driveName = std::u16string(1, static_cast<char16_t>(letter)) + u":";
  root = driveName + u"\\qvmodel";
  RemoveTree(root);
  ASSERT_TRUE(CreateDirectoryW(W(root), nullptr));
  model.Add(root, true, false);
  // 4 folders of 3 subfolders of 25 files, beside 10 files each: 1,120 files,
  // some in Greek, Cyrillic and CJK, some read-only or hidden. (No name holds a
  // marker that run-engine-link-tests.sh looks for in the image: deleted names stay there.)
  const char16_t* scripts[] = {u"plain", u"\u0395\u03bb\u03bb\u03b7\u03bd", u"\u041a\u0438\u0440", u"\u6f22\u6587"};
  unsigned fresh = 0;
  auto fileName = [&](unsigned n) { return std::u16string(scripts[n % 4]) + u"-" + Num(n) + u".txt"; };
  auto content = [&](unsigned n) { return "model-" + std::to_string(n); };
  for (unsigned a = 0; a < 4; ++a) {
    std::u16string folderA = root + u"\\dir" + Num(a);
    ASSERT_TRUE(CreateDirectoryW(W(folderA), nullptr));
    model.Add(folderA, true, false);
    for (unsigned f = 0; f < 10; ++f, ++fresh) {
      MakeFile(folderA + u"\\" + fileName(fresh), f == 3 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL,
               content(fresh));
      model.Add(folderA + u"\\" + fileName(fresh), false, false);
    }
    for (unsigned b = 0; b < 3; ++b) {
      std::u16string folderB = folderA + u"\\sub" + Num(b);
      ASSERT_TRUE(CreateDirectoryW(W(folderB), nullptr));
      model.Add(folderB, true, false);
      for (unsigned f = 0; f < 25; ++f, ++fresh) {
        MakeFile(folderB + u"\\" + fileName(fresh), f == 7 ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL,
                 content(fresh));
        model.Add(folderB + u"\\" + fileName(fresh), false, false);
      }
    }
  }
  // Folders of case-variant siblings and folders holding a link to a folder
  // outside, made by run-engine-link-tests.sh (a Windows program cannot make them).
  unsigned casePairs = 0, linkFolders = 0;
  auto pooled = [&](const char16_t* kind, unsigned n) { return driveName + u"\\qvpool\\" + kind + Num(n + 1); };

  // Long names. A folder whose path is 150 characters holds files whose
  // paths are 258 to 262 and 300 characters, each beside a sibling named by
  // its first characters (the shell's cut name of the longer one reads like
  // the 259-character sibling), and a chain of folders of 200-character names
  // down to a file at 1,000 characters. The shell cannot list a folder whose
  // path is longer than it cuts: what lies in one is unseen by the tree,
  // ticked only with a folder above it. (Under Wine a folder listing cuts
  // names where the path passes 1,023 characters: the chain stops before.)
  const std::u16string longFolder = root + u"\\" + std::u16string(150 - root.size() - 1, u'L');
  ASSERT_TRUE(CreateDirectoryW(W(Ext(longFolder)), nullptr));
  model.Add(longFolder, true, false);
  for (size_t length : {258u, 259u, 260u, 261u, 262u, 300u}) {
    const size_t nameLength = length - longFolder.size() - 1;
    const std::u16string name = std::u16string(nameLength - 4, static_cast<char16_t>(u'a' + length % 26)) + u".txt";
    const std::u16string sibling = name.substr(0, std::min<size_t>(108, nameLength - 3));
    for (const std::u16string& n : {name, sibling}) {
      MakeFile(longFolder + u"\\" + n, FILE_ATTRIBUTE_NORMAL, content(fresh++));
      model.Add(longFolder + u"\\" + n, false, false);
    }
  }
  unsigned deepest = 0;
  for (std::u16string deep = longFolder; deep.size() + 201 < kListedPathLimit;) {
    deep += u"\\" + std::u16string(200, static_cast<char16_t>(u'A' + deepest % 26));
    // A host whose own path leaves no room for the deepest ones stops the chain early.
    if (!CreateDirectoryW(W(Ext(deep)), nullptr)) break;
    model.Add(deep, true, false);
    ++deepest;
    for (size_t length : {1000u}) {
      if (deep.size() + 1 >= length || deep.size() + 202 < length) continue;
      const std::u16string file = deep + u"\\" + std::u16string(length - deep.size() - 1, u'f');
      HANDLE h = CreateFileW(W(Ext(file)), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) continue;
      CloseHandle(h);
      model.Add(file, false, false);
    }
  }
  // A sibling of the chain's first folder named by its first 100 characters (not its cut name).
  ASSERT_TRUE(CreateDirectoryW(W(Ext(longFolder + u"\\" + std::u16string(100, u'A'))), nullptr));
  model.Add(longFolder + u"\\" + std::u16string(100, u'A'), true, false);
  size_t longest = 0;
  for (const auto& [path, item] : model.Items()) longest = std::max(longest, path.size());
  std::printf("long names: a chain of %u folders, the longest path %zu characters\n", deepest, longest);

  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  form->BottomNextClick();
  tree = form->FileSelectTree();
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(Show(root), nullptr);

  int checks = 0, refreshes = 0, changes = 0, renames = 0, twins = 0, links = 0, wipes = 0, rebuilds = 0;
  std::vector<std::u16string> unlistedMoves;  // listed files moved out of the tree by another program
  int unseenChanges = 0;
  const auto started = std::chrono::steady_clock::now();
  for (int step = 0; step < steps; ++step) {
    // Items without a node of their own, or changed unseen, are no target.
    std::vector<std::u16string> all;
    for (const auto& [path, item] : model.Items())
      if (!TTickModel::Unseen(path) && !item.gone && !item.stale) all.push_back(path);
    std::vector<std::u16string> folders;
    for (const auto& [path, item] : model.Items())
      if (item.folder && !item.link && !TTickModel::Unseen(path) && !item.gone && !item.stale)
        folders.push_back(path);
    const unsigned op = random() % 108;
    // Folder renames pick among the folders, everything else among all items.
    const std::u16string target = op >= 71 && op < 79 ? folders[random() % folders.size()] : all[random() % all.size()];
    const TTickModel::TItem item = model.Items().at(target);
    const bool isFolder = item.folder && !item.link;
    // The folder where something new goes: the target's own, or its parent's.
    const std::u16string folder = isFolder ? target : TTickModel::ParentOf(target);
    const bool newMark = model.State(folder) == TTickModel::kChecked;
    std::string what;
    if (op < 36) {
      // In a case pair, a file of the other twin is ticked right after,
      // while the node storage's cache still stands on the first twin.
      std::vector<std::u16string> order{target};
      const std::u16string twinFolder = TTickModel::ParentOf(target);
      const std::u16string twinName = twinFolder.substr(twinFolder.find_last_of(u'\\') + 1);
      const std::u16string otherTwin =
          TTickModel::ParentOf(twinFolder) + (twinName == u"Data" ? u"\\data" : u"\\Data");
      if (!isFolder && (twinName == u"Data" || twinName == u"data") && model.Has(otherTwin))
        for (const std::u16string& file : model.Children(otherTwin))
          if (!model.Items().at(file).folder) order.push_back(file);
      if (order.size() > 2) order.resize(2);
      std::vector<PVirtualNode> nodes;
      for (const std::u16string& path : order) {
        nodes.push_back(Show(path));
        ASSERT_NE(nodes.back(), nullptr) << Narrow(path);
      }
      for (size_t i = 0; i < order.size(); ++i) {
        tree->SetCheckState(nodes[i], tree->DetermineNextCheckState(nodes[i]->CheckType, nodes[i]->CheckState));
        model.Toggle(order[i]);
        what += "toggle " + Narrow(order[i]) + " ";
      }
      ++checks;
    } else if (op < 46) {
      // Links are not opened: what they lead to is no item of the model.
      if (PVirtualNode node = isFolder ? Loaded(target) : nullptr) tree->SetExpanded(node, !(node->States & vsExpanded));
      what = "expand/collapse " + Narrow(target);
    } else if (op < 52) {
      RefreshFolder(folder);
      what = "refresh " + Narrow(target);
      ++refreshes;
    } else if (op < 60) {
      // A new file appears: checked inside a fully checked folder, else not.
      const std::u16string path = folder + u"\\new-" + fileName(fresh);
      MakeFile(path, FILE_ATTRIBUTE_NORMAL, content(fresh++));
      model.Add(path, false, newMark);
      RefreshFolder(folder);
      what = "create " + Narrow(path);
      ++changes;
    } else if (op < 67) {
      // A file goes (one that leaves its folder something).
      // Its record stays as the tree had it: a tick of it is then not there.
      if (item.folder || target == root || model.Children(TTickModel::ParentOf(target)).size() < 2) continue;
      ASSERT_NE(Show(target), nullptr) << Narrow(target);
      SetFileAttributesW(W(Ext(target)), FILE_ATTRIBUTE_NORMAL);
      ASSERT_TRUE(DeleteFileW(W(Ext(target)))) << Narrow(target);
      model.At(target).gone = true;
      RefreshFolder(TTickModel::ParentOf(target));
      what = "delete " + Narrow(target);
      ++changes;
    } else if (op < 71) {
      // A file is renamed where its folder is all one state (it then appears as a new item).
      const std::u16string parent = TTickModel::ParentOf(target);
      if (item.folder || model.State(parent) == TTickModel::kMixed) continue;
      const std::u16string path = parent + u"\\renamed-" + fileName(fresh++);
      const bool mark = model.State(parent) == TTickModel::kChecked;
      ASSERT_NE(Show(target), nullptr) << Narrow(target);
      ASSERT_TRUE(MoveFileW(W(Ext(target)), W(Ext(path)))) << Narrow(target);
      TTickModel::TItem moved = item;
      moved.mark = mark;
      moved.aliased = false;
      // Under the old name it is gone: its record stays as the tree had it.
      model.At(target).gone = true;
      model.Add(path, moved);
      RefreshFolder(parent);
      what = "rename " + Narrow(target);
      ++changes;
    } else if (op < 75) {
      // A folder renamed in the tree (F2): it and all it holds keep their marks.
      // The shell renames by the plain name, which drops trailing dots and spaces.
      if (!isFolder || target == root || !NoTrimmedNames(target) || model.AnyChanged()) continue;
      PVirtualNode node = Show(target);
      ASSERT_NE(node, nullptr) << Narrow(target);
      const std::u16string name = u"f2-" + Num(fresh++);
      const std::u16string path = TTickModel::ParentOf(target) + u"\\" + name;
      tree->DoNewText(node, NoColumn, name);
      ASSERT_TRUE(Exists(path)) << Narrow(target);
      model.Rename(target, path);
      what = "F2 " + Narrow(target) + " to " + Narrow(name);
      ++renames;
    } else if (op < 79) {
      // A folder renamed by another program, the change notifier telling the
      // tree: under its new name it and all it holds are new items.
      const std::u16string parent = TTickModel::ParentOf(target);
      if (!isFolder || target == root || model.State(parent) == TTickModel::kMixed || !model.Plain(parent) ||
          model.AnyChanged())
        continue;
      const std::u16string path = parent + u"\\moved-" + Num(fresh++);
      ASSERT_TRUE(MoveFileW(W(Ext(target)), W(Ext(path)))) << Narrow(target);
      SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATHW, W(target), W(path));
      const bool mark = model.State(parent) == TTickModel::kChecked;
      model.Rename(target, path);
      for (const std::u16string& p : model.Subtree(path)) model.At(p).mark = mark;
      ASSERT_TRUE(qvtest::PumpUntil(
          [&] {
            PVirtualNode node = Loaded(parent);
            // A folder never listed has nothing to merge: it lists the new name when opened.
            return node == nullptr || node->FirstChild == nullptr ||
                   (ChildNamed(node, path) != nullptr && ChildNamed(node, target) == nullptr);
          },
          10000))
          << "the tree never heard of " << Narrow(path);
      what = "moved " + Narrow(target) + " to " + Narrow(path);
      ++renames;
    } else if (op < 84) {
      // A twin whose name ends in a dot or a space, beside the target.
      const std::u16string last = target.substr(target.find_last_of(u'\\') + 1);
      if (target == root || last.back() == u'.' || last.back() == u' ') continue;
      const std::u16string path = target + (random() % 2 ? u"." : u" ");
      if (model.Has(path)) continue;
      const std::u16string parent = TTickModel::ParentOf(target);
      MakeFile(path, FILE_ATTRIBUTE_NORMAL, content(fresh++));
      TTickModel::TItem twin;
      twin.mark = model.State(parent) == TTickModel::kChecked;
      twin.aliased = true;
      model.Add(path, twin);
      RefreshFolder(parent);
      what = "twin " + Narrow(path);
      ++twins;
    } else if (op < 87) {
      // Siblings "Data" and "data" in a folder of their own.
      const std::u16string from = pooled(u"case", casePairs);
      if (!Exists(from)) continue;
      const std::u16string path = folder + u"\\case" + Num(++casePairs);
      ASSERT_TRUE(MoveFileW(W(Ext(from)), W(Ext(path)))) << Narrow(from);
      model.Add(path, true, newMark);
      for (const char16_t* name : {u"\\Data", u"\\data"}) {
        TTickModel::TItem sibling;
        sibling.folder = true;
        sibling.mark = newMark;
        sibling.aliased = true;
        model.Add(path + name, sibling);
      }
      for (const char16_t* name : {u"\\Data\\upper.txt", u"\\data\\lower.txt", u"\\data\\upper.txt"})
        model.Add(path + name, false, newMark);
      RefreshFolder(folder);
      what = "case pair " + Narrow(path);
      ++twins;
    } else if (op < 90) {
      // A second name of a file.
      if (item.folder) continue;
      const std::u16string path = root + u"\\dir" + Num(random() % 4) + u"\\hard-" + Num(fresh++);
      if (!model.Has(TTickModel::ParentOf(path))) continue;
      ASSERT_TRUE(CreateHardLinkW(W(Ext(path)), W(Ext(target)), nullptr)) << Narrow(target);
      model.Add(path, false, model.State(TTickModel::ParentOf(path)) == TTickModel::kChecked);
      RefreshFolder(TTickModel::ParentOf(path));
      what = "hard link " + Narrow(path) + " to " + Narrow(target);
      ++links;
    } else if (op < 92) {
      // A folder holding a link to a folder outside the model.
      const std::u16string from = pooled(u"link", linkFolders);
      if (!Exists(from)) continue;
      const std::u16string path = folder + u"\\links" + Num(++linkFolders);
      ASSERT_TRUE(MoveFileW(W(Ext(from)), W(Ext(path)))) << Narrow(from);
      model.Add(path, true, newMark);
      TTickModel::TItem link;
      link.folder = true;
      link.link = true;
      link.mark = newMark;
      model.Add(path + u"\\to-outside", link);
      RefreshFolder(folder);
      what = "link folder " + Narrow(path);
      ++links;
    } else if (op < 97) {
      // The wipe itself, of what is ticked (not of the whole model: it goes on).
      std::set<std::u16string> ticked;
      model.Topmost(root, ticked);
      if (ticked.empty() || model.State(root) == TTickModel::kChecked) continue;
      TDrive before;
      ScanDrive(driveName, before);
      form->BottomNextClick();
      form->BottomNextClick();
      ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
      // Another program adds to ticked folders after the confirm step, at
      // any depth, and goes on adding while the run goes: none of it is the
      // user's choice, none of it may go.
      std::vector<std::u16string> tickedFolders;
      // (Not in folders named like a twin: a path there may reach the twin.)
      for (const auto& [path, entry] : before)
        if (entry.folder && !entry.link && AtOrBelowAny(path, ticked) && model.Has(path) && model.Plain(path))
          tickedFolders.push_back(path);
      std::set<std::u16string> appeared;  // made before the run: each is met, and named once
      for (unsigned n = 0; n < 3 && !tickedFolders.empty() && random() % 2 == 0; ++n) {
        const std::u16string in = tickedFolders[random() % tickedFolders.size()];
        const std::u16string path = in + u"\\appeared-" + Num(fresh++);
        if (n == 1) {
          ASSERT_TRUE(CreateDirectoryW(W(Ext(path)), nullptr)) << Narrow(path);
          MakeFile(path + u"\\inside.txt", FILE_ATTRIBUTE_NORMAL, "appeared inside");
          before[path + u"\\inside.txt"].bytes = "appeared inside";
          before[path].folder = true;
        } else {
          MakeFile(path, FILE_ATTRIBUTE_NORMAL, "appeared " + Narrow(path));
          before[path].bytes = "appeared " + Narrow(path);
        }
        appeared.insert(path);
      }
      // Another program also moves a listed file out of the ticked tree, and
      // deletes one and makes a new file beside it (which the file system may
      // give the deleted one's number): the first is never reached and survives
      // where it went, the second must not be taken for the one listed.
      std::vector<std::u16string> tickedFiles;
      for (const auto& [path, entry] : before)
        if (!entry.folder && !entry.link && entry.links == 1 && AtOrBelowAny(path, ticked) &&
            std::find(tickedFolders.begin(), tickedFolders.end(), TTickModel::ParentOf(path)) != tickedFolders.end())
          tickedFiles.push_back(path);
      bool vanished = false;
      if (tickedFiles.size() >= 2 && random() % 3 == 0) {
        const std::u16string moved = tickedFiles[random() % tickedFiles.size()];
        const std::u16string parked = driveName + u"\\qvmodel-parked-" + Num(fresh++);
        ASSERT_TRUE(MoveFileW(W(Ext(moved)), W(Ext(parked)))) << Narrow(moved);
        before[parked] = before.at(moved);
        before.erase(moved);
        model.Remove(moved);
        unlistedMoves.push_back(parked);
        vanished = true;
        std::u16string gone;
        for (const std::u16string& path : tickedFiles)
          if (path != moved) gone = path;
        SetFileAttributesW(W(Ext(gone)), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(DeleteFileW(W(Ext(gone)))) << Narrow(gone);
        before.erase(gone);
        model.Remove(gone);
        const std::u16string reborn = TTickModel::ParentOf(gone) + u"\\reborn-" + Num(fresh++);
        MakeFile(reborn, FILE_ATTRIBUTE_NORMAL, "made after the confirm step");
        before[reborn].bytes = "made after the confirm step";
        appeared.insert(reborn);
      }
      std::set<std::u16string> unlisted = appeared;
      // The adder also writes beside single ticks, in folders the run holds but does not empty.
      std::vector<std::u16string> adderFolders = tickedFolders;
      for (const std::u16string& path : ticked)
        if (before.count(path) != 0 && !before.at(path).folder && model.Plain(TTickModel::ParentOf(path)))
          adderFolders.push_back(TTickModel::ParentOf(path));
      std::mutex lateLock;
      std::atomic<bool> running{true};
      // At most this many, however slow the run: the drive holds them beside
      // the tree (run-engine-link-tests.sh sizes it from this count).
      constexpr unsigned kLateFiles = 1000;
      std::thread adder([&, pick = std::mt19937(seed + step)]() mutable {
        for (unsigned n = 0; running && n < kLateFiles && !adderFolders.empty(); ++n) {
          const std::u16string path = adderFolders[pick() % adderFolders.size()] + u"\\late-" + Num(n);
          const std::string bytes = "late " + std::to_string(n);
          HANDLE file = CreateFileW(W(Ext(path)), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
          if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(file);
            std::lock_guard<std::mutex> lock(lateLock);
            before[path].bytes = bytes;
            unlisted.insert(path);
          }
          Sleep(3);
        }
      });
      const size_t logBefore = Joined("FileProgressLog").size();
      form->BottomNextClick();
      const bool ended = qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 120000);
      running = false;
      adder.join();
      ASSERT_TRUE(ended) << "step " << step;
      TDrive after;
      ScanDrive(driveName, after);
      const std::string wrong = DriveDiff(AfterWipe(before, ticked, unlisted), after);
      ASSERT_EQ(wrong, "") << "step " << step << " (seed " << seed << "): the wipe of " << ticked.size()
                           << " ticked items, " << unlisted.size() << " items added meanwhile\n"
                           << Joined("FileProgressLog");
      const std::string log = Joined("FileProgressLog").substr(logBefore);  // this run's lines
      for (const std::u16string& path : unlisted) {
        const std::string line = Narrow(path) + ": appeared after the confirm step, not wiped";
        size_t named = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++named;
        EXPECT_LE(named, 1u) << line;
        if (appeared.count(path) != 0) EXPECT_EQ(named, 1u) << line << "\n" << log;
      }
      if (!appeared.empty() || vanished) EXPECT_EQ(log.find("Files successfully wiped"), std::string::npos) << log;
      for (const std::u16string& path : unlisted) RemoveTree(path);
      for (const std::u16string& path : unlistedMoves) RemoveTree(path);
      unlistedMoves.clear();
      for (const auto& [path, entry] : before)
        if (model.Has(path) && after.count(path) == 0) model.Remove(path);
      model.Settle();
      model.Clear();
      ToSelectPage();
      ASSERT_EQ(ActivePageIndex(), wpFileSelect);
      ASSERT_NE(Show(root), nullptr);
      what = "wipe";
      ++wipes;
    } else if (op < 100) {
      // Refresh (F5): the tree is built again and every check forgotten.
      form->FilesPopupMenuRefreshClick(nullptr);
      model.Settle();
      model.Clear();
      ASSERT_NE(Show(root), nullptr);
      what = "rebuild";
      ++rebuilds;
    } else if (op < 104) {
      // A case twin, or a file in one, deleted by another program; the tree
      // is not told. Opened first, so that each of its items has its node.
      const std::u16string parent = TTickModel::ParentOf(target);
      const std::u16string last = target.substr(target.find_last_of(u'\\') + 1);
      const std::u16string parentLast = parent.substr(parent.find_last_of(u'\\') + 1);
      const bool twin = item.aliased && item.folder && (last == u"Data" || last == u"data");
      const bool inTwin = !item.folder && (parentLast == u"Data" || parentLast == u"data") &&
                          model.Items().at(parent).aliased;
      if (!twin && !inTwin) continue;
      std::vector<std::u16string> dropped;
      bool holdsLink = false;
      for (const std::u16string& p : model.Subtree(target)) {
        if (!model.Items().at(p).gone) dropped.push_back(p);
        holdsLink = holdsLink || model.Items().at(p).link || TTickModel::Unseen(p);
      }
      if (holdsLink) continue;
      for (const std::u16string& p : dropped) ASSERT_NE(Show(p), nullptr) << Narrow(p);
      RemoveTree(target);
      ASSERT_FALSE(ExactlyThere(target)) << Narrow(target);
      for (const std::u16string& p : dropped) model.At(p).gone = true;
      what = "twin gone unseen " + Narrow(target);
      ++unseenChanges;
    } else {
      // A file turned folder by another program, the tree not told, then a file again.
      if (item.folder || item.link || item.aliased || !model.Plain(target) || Loaded(target) == nullptr) continue;
      const DWORD attributes = GetFileAttributesW(W(Ext(target)));
      std::string bytes;
      HANDLE file = CreateFileW(W(Ext(target)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(target);
      char buffer[4096];
      DWORD got = 0;
      while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
      CloseHandle(file);
      SetFileAttributesW(W(Ext(target)), FILE_ATTRIBUTE_NORMAL);
      ASSERT_TRUE(DeleteFileW(W(Ext(target)))) << Narrow(target);
      ASSERT_TRUE(CreateDirectoryW(W(Ext(target)), nullptr)) << Narrow(target);
      model.At(target).stale = true;
      const std::string turned = Compare();
      ASSERT_EQ(turned, "") << "step " << step << " (seed " << seed << "): turned folder " << Narrow(target);
      ASSERT_TRUE(RemoveDirectoryW(W(Ext(target)))) << Narrow(target);
      const DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
      MakeFile(target, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, bytes);
      model.At(target).stale = false;
      what = "turned folder and back " + Narrow(target);
      ++unseenChanges;
    }
    const std::string divergence = Compare();
    ASSERT_EQ(divergence, "") << "step " << step << " (seed " << seed << "): " << what;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("selection model: %d steps in %.0f s, %d checks, %d refreshes, %d file changes, %d folder renames, "
              "%d twin names, %d links, %d wipes, %d rebuilds, %d unseen changes, 0 divergences\n",
              steps, seconds, checks, refreshes, changes, renames, twins, links, wipes, rebuilds, unseenChanges);
}

// Found by the long run: the only unchecked file of a folder goes; after the
// refresh the folder is checked and handed whole.
TEST_F(SelectionModelTest, AFolderWhoseOnlyUncheckedFileWentIsHandedWhole) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvmodel-whole";
  RemoveTree(root);
  ASSERT_TRUE(CreateDirectoryW(W(root), nullptr));
  // A neighbour, never ticked, keeps the root folder from being handed whole.
  MakeFile(root + u"\\neighbour.txt", FILE_ATTRIBUTE_NORMAL);
  const std::u16string folder = root + u"\\f";
  ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
  MakeFile(folder + u"\\a.txt", FILE_ATTRIBUTE_NORMAL);
  MakeFile(folder + u"\\b.txt", FILE_ATTRIBUTE_NORMAL);
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  form->BottomNextClick();
  tree = form->FileSelectTree();
  ASSERT_NE(tree, nullptr);
  PVirtualNode folderNode = Show(folder);
  ASSERT_NE(folderNode, nullptr);
  tree->SetCheckState(folderNode, csCheckedNormal);
  PVirtualNode b = Show(folder + u"\\b.txt");
  ASSERT_NE(b, nullptr);
  tree->SetCheckState(b, csUncheckedNormal);
  EXPECT_EQ(folderNode->CheckState, csMixedNormal);
  ASSERT_TRUE(DeleteFileW(W(folder + u"\\b.txt")));
  RefreshFolder(folder);
  EXPECT_EQ(folderNode->CheckState, csCheckedNormal);
  form->TransferFileListFromTree();
  ASSERT_NE(form->FilesToWipeList, nullptr);
  ASSERT_EQ(form->FilesToWipeList->Count(), 1);
  EXPECT_EQ(form->FilesToWipeList->Strings(0), folder);
}

// A folder on the way to a tick replaced, after the confirm step, by one whose
// folder of the same name is a link to a folder outside: the tick is refused
// and named once, and nothing the link leads to changes.
TEST_F(SelectionModelTest, AFolderOnTheWaySwappedForALinkAfterTheConfirmStepIsNotFollowed) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  driveName = std::u16string(1, static_cast<char16_t>(drive)) + u":";
  root = driveName + u"\\qvmodel-box";
  RemoveTree(root);
  ASSERT_TRUE(CreateDirectoryW(W(root), nullptr));
  MakeFile(root + u"\\neighbour.txt", FILE_ATTRIBUTE_NORMAL);
  const std::u16string box = root + u"\\box";
  ASSERT_TRUE(CreateDirectoryW(W(box), nullptr));
  ASSERT_TRUE(CreateDirectoryW(W(box + u"\\to-outside"), nullptr));
  // The name of a file the link's folder holds too.
  const std::u16string ticked = box + u"\\to-outside\\qvkept-out1.txt";
  MakeFile(ticked, FILE_ATTRIBUTE_NORMAL, "the ticked copy");
  // Unticked beside it: the file is handed over by itself, through the folders above it.
  MakeFile(box + u"\\to-outside\\unticked.txt", FILE_ATTRIBUTE_NORMAL, "not ticked");
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  form->BottomNextClick();
  tree = form->FileSelectTree();
  ASSERT_NE(tree, nullptr);
  PVirtualNode node = Show(ticked);
  ASSERT_NE(node, nullptr);
  tree->SetCheckState(node, csCheckedNormal);
  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  TDrive before;
  ScanDrive(driveName, before);
  // The last folder of the pool, which the random test does not reach.
  const std::u16string pooled = driveName + u"\\qvpool\\link30";
  ASSERT_TRUE(Exists(pooled));
  ASSERT_TRUE(MoveFileW(W(box), W(root + u"\\box-parked")));
  ASSERT_TRUE(MoveFileW(W(pooled), W(box)));
  TDrive want;
  for (const auto& [path, entry] : before) {
    if (path == pooled || TTickModel::Below(path, pooled)) want[box + path.substr(pooled.size())] = entry;
    else if (path == box || TTickModel::Below(path, box)) want[root + u"\\box-parked" + path.substr(box.size())] = entry;
    else want[path] = entry;
  }
  form->BottomNextClick();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 120000));
  TDrive after;
  ScanDrive(driveName, after);
  const std::string log = Joined("FileProgressLog");
  EXPECT_EQ(DriveDiff(want, after), "") << log;
  size_t named = 0;  // (the engine's "Wiping" line before it looks at the way names nothing)
  for (size_t at = log.find(Narrow(ticked)); at != std::string::npos; at = log.find(Narrow(ticked), at + 1))
    named += log.compare(at < 7 ? 0 : at - 7, 7, "Wiping ") != 0;
  EXPECT_EQ(named, 1u) << log;
  EXPECT_EQ(log.find("Files successfully wiped"), std::string::npos) << log;
}

// The edges of the same road, each checked by the lines the run names and the
// count it ends with.
struct SelectionEdgeTest : SelectionModelTest {
  // From the select page with every tick forgotten, each path ticked, on to the confirm page.
  void Tick(const std::vector<std::u16string>& ticks) {
    if (form == nullptr) MakeForm();
    if (ActivePageIndex() != wpFileConfirm) ToSelectPage();
    for (int back = 0; back < 2 && ActivePageIndex() != wpFileSelect; ++back) form->BottomBackClick();
    form->FilesPopupMenuRefreshClick(nullptr);
    tree = form->FileSelectTree();
    for (const std::u16string& path : ticks) {
      PVirtualNode node = nullptr;  // walked to level by level from the drive
      for (size_t at = 2;; at = path.find(u'\\', at + 1)) {
        LPITEMIDLIST pidl = PathToPIDL(at == std::u16string::npos ? path : path.substr(0, at == 2 ? 3 : at));
        node = pidl != nullptr ? tree->WalkPIDLToNode(pidl, false, /*expandPath=*/true, false, /*init=*/true) : nullptr;
        CoTaskMemFree(pidl);
        if (node == nullptr || at == std::u16string::npos) break;
      }
      ASSERT_NE(node, nullptr) << Narrow(path);
      tree->SetCheckState(node, csCheckedNormal);
    }
    form->BottomNextClick();
    form->BottomNextClick();
  }
  std::string Run() {
    form->BottomNextClick();
    EXPECT_TRUE(qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 120000));
    return Joined("FileProgressLog");
  }
  std::u16string Listed() {  // the confirm page's rows, then its note
    std::u16string all;
    for (const TListedItem& row : FileConfirmRows(form->Item<TListView>("FileConfirmListView"))) all += row.path + u";";
    return all + WideText(form->Item<TMemo>("FileConfirmAbsentNote"));
  }
  static size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
};

// A listed file moved out of the ticked folder and one added after the confirm
// step: each is named once and counted. A ticked folder the tree sees go
// through its own notification takes its tick along: a new one of its name is
// not ticked after F5.
TEST_F(SelectionEdgeTest, AListedFileMovedAwayIsNamedBesideAnItemThatAppeared) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvmodel-edges";
  RemoveTree(root);
  const std::u16string box = root + u"\\box", gone = root + u"\\gone";
  for (const std::u16string& folder : {root, box, gone}) ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
  for (const char16_t* name : {u"\\neighbour.txt", u"\\box\\a.txt", u"\\box\\b.txt", u"\\gone\\old.txt"})
    MakeFile(root + name, FILE_ATTRIBUTE_NORMAL);
  ASSERT_NO_FATAL_FAILURE(Tick({box}));
  ASSERT_TRUE(MoveFileW(W(box + u"\\b.txt"), W(root + u"\\parked-b.txt")));
  MakeFile(box + u"\\late.txt", FILE_ATTRIBUTE_NORMAL, "late");
  const std::string log = Run();
  EXPECT_EQ(Count(log, "Listed, but moved or deleted by another program after the confirm step, not wiped: " +
                           Narrow(box) + "\\b.txt\n"), 1u) << log;
  EXPECT_EQ(Count(log, Narrow(box) + "\\late.txt: appeared after the confirm step, not wiped"), 1u) << log;
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 2") << log;
  EXPECT_TRUE(Exists(root + u"\\parked-b.txt") && Exists(box + u"\\late.txt") && !Exists(box + u"\\a.txt"));
  ASSERT_NO_FATAL_FAILURE(Tick({gone}));
  RemoveTree(gone);
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, W(gone), nullptr);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return Loaded(gone) == nullptr; }, 10000));
  ASSERT_TRUE(CreateDirectoryW(W(gone), nullptr));
  tree->RefreshTree(false);
  form->TransferFileListFromTree();
  EXPECT_EQ(form->FilesToWipeList->Count(), 0);
  EXPECT_EQ(Listed(), u"");
}

// Listed items another program moves, deletes, changes or makes again after
// the confirm step: each listed file and folder not wiped is named once with
// its reason and counted, also below a tick the program refuses.
TEST_F(SelectionEdgeTest, EveryListedItemNotWipedIsNamedOnceWithItsReason) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvmodel-named";
  const std::u16string way = root + u"\\way", box = way + u"\\box";
  const std::string b = Narrow(box), gone = "moved or deleted by another program after the confirm step, not wiped: ";
  struct TCase {
    std::function<void()> change;
    std::vector<std::string> lines;
    int count;
  } cases[] = {
      {[&] { MoveFileW(W(box + u"\\e"), W(root + u"\\e")), RemoveTree(box + u"\\f"); },
       {gone + b + "\\e\\", gone + b + "\\f\\", gone + b + "\\f\\x.txt"}, 3},
      {[&] {  // changed a second later (times may count whole seconds), as one made again with its number
         Sleep(1100), CreateDirectoryW(W(box + u"\\e\\t"), nullptr), RemoveDirectoryW(W(box + u"\\e\\t"));
       },
       {b + "\\e: changed or replaced after the confirm step, not wiped"}, 1},
      {[&] {  // a changed file below a tick the engine refuses (the folder on its way is not the one listed)
         HANDLE file = CreateFileW(W(box + u"\\f\\x.txt"), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         DWORD written = 0;
         WriteFile(file, "more", 4, &written, nullptr), CloseHandle(file);
         MoveFileW(W(way), W(root + u"\\parked")), CreateDirectoryW(W(way), nullptr);
         MoveFileW(W(root + u"\\parked\\box"), W(box));
       },
       {"not reached by the run, not wiped: " + b + "\\f\\x.txt", "not reached by the run, not wiped: " + b + "\\e\\"}, 6},
      {[&] { RemoveTree(box); }, {"Ticked, but not there, not wiped: " + b, gone + b + "\\a.txt", gone + b + "\\f\\"}, 6},
      {[&] {  // renamed, and moved into the empty listed folder: each is the listed file, not a late one
         MoveFileW(W(box + u"\\a.txt"), W(box + u"\\b.txt")), MoveFileW(W(box + u"\\c.txt"), W(box + u"\\e\\c.txt"));
       },
       {gone + b + "\\a.txt", gone + b + "\\c.txt", b + "\\e: changed or replaced after the confirm step, not wiped"}, 3},
  };
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.lines[0]);
    RemoveTree(root);
    for (const std::u16string& folder : {root, way, box, box + u"\\e", box + u"\\f"})
      ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
    for (const std::u16string& file : {way + u"\\neighbour.txt", box + u"\\a.txt", box + u"\\c.txt", box + u"\\f\\x.txt"})
      MakeFile(file, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NO_FATAL_FAILURE(Tick({box}));
    ASSERT_NO_FATAL_FAILURE(row.change());
    const size_t before = Joined("FileProgressLog").size();  // of the runs before
    const std::string log = Run().substr(before);
    for (const std::string& line : row.lines) EXPECT_EQ(Count(log, line + "\n"), 1u) << line << "\n" << log;
    if (row.lines.size() == size_t(row.count)) EXPECT_EQ(Count(log, "not wiped"), row.lines.size()) << log;  // nor anything else
    EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: " + std::to_string(row.count)) << log;
  }
}

// A tick on a file system mounted on a folder on its way is listed and wiped;
// one mounted in a ticked folder is emptied, its folder kept and named.
TEST_F(SelectionEdgeTest, FileSystemsMountedOnFoldersAreGoneThrough) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  if (!std::getenv("QV_TEST_WIZ_MOUNTS")) GTEST_SKIP() << "!!!!! SKIPPING: no file system could be mounted !!!!!";
  const std::u16string mounts = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvmounts";
  const std::u16string way = mounts + u"\\way\\inner", box = mounts + u"\\box", mount = box + u"\\mnt";
  ASSERT_NO_FATAL_FAILURE(Tick({way + u"\\ticked.txt"}));
  EXPECT_EQ(Listed(), way + u"\\ticked.txt;");
  EXPECT_EQ(Count(Run(), "Files successfully wiped"), 1u);
  EXPECT_TRUE(!Exists(way + u"\\ticked.txt") && Exists(way + u"\\kept.txt"));
  // A folder at its own place on its folder's volume (as a link opened in place is elsewhere) is no mount.
  EXPECT_TRUE(IsMountedFolder(mount) && !IsMountedFolder(box));
  ASSERT_NO_FATAL_FAILURE(Tick({box}));
  EXPECT_EQ(Listed(), box + u"\\;" + box + u"\\beside.txt;" + mount + u"\\;" + mount + u"\\in.txt;");
  const std::string log = Run();
  EXPECT_EQ(Count(log, "Kept the folder " + Narrow(mount) + ": a file system is mounted on it\n"), 1u) << log;
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 1") << log;
  EXPECT_TRUE(!Exists(box + u"\\beside.txt") && !Exists(mount + u"\\in.txt") && Exists(mount));
  // A mount below a tick the engine refuses (another folder on its way) is named as not reached.
  const std::u16string parked = mounts + u"-parked";
  MakeFile(box + u"\\beside.txt", FILE_ATTRIBUTE_NORMAL);
  ASSERT_NO_FATAL_FAILURE(Tick({box}));
  ASSERT_TRUE(MoveFileW(W(mounts), W(parked)) && CreateDirectoryW(W(mounts), nullptr) &&
              MoveFileW(W(parked + u"\\box"), W(box)));
  const std::string refused = Run();
  MoveFileW(W(box), W(parked + u"\\box")), RemoveDirectoryW(W(mounts)), MoveFileW(W(parked), W(mounts));
  EXPECT_EQ(Count(refused, "not reached by the run, not wiped: " + Narrow(mount) + "\\\n"), 1u) << refused;
}

// A ticked folder (or drive) that cannot be read, or holds one, is named with
// the folder and the system's reason, out of the rows, and never handed over.
// (run-engine-link-tests.sh runs this test without the right to read all.)
TEST_F(SelectionEdgeTest, AFolderThatCannotBeReadIsNamedWithItsReasonUnreadable) {
  const std::u16string heading = u"Ticked, but not readable in full, so not wiped (1): ";
  if (const char empty = TestDrive("QV_TEST_WIZ_EMPTY")) {
    const std::u16string drive = std::u16string(1, static_cast<char16_t>(empty)) + u":\\";
    ASSERT_NO_FATAL_FAILURE(Tick({drive}));
    EXPECT_EQ(Listed().find(heading + drive + u" (" + drive + u": "), 0u) << Narrow(Listed());
  }
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  const std::u16string sealed = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvsealed";
  const std::u16string locked = sealed + u"\\locked";
  if (GetFileAttributesW(W(locked + u"\\in.txt")) != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "every folder is read";
  ASSERT_NO_FATAL_FAILURE(Tick({sealed}));
  EXPECT_EQ(Listed(), heading + sealed + u" (" + locked + u": Access denied)");
  ASSERT_NO_FATAL_FAILURE(Tick({locked, sealed + u"\\open.txt"}));
  EXPECT_EQ(Listed(), sealed + u"\\open.txt;" + heading + locked + u" (" + locked + u": Access denied)");
  const std::string log = Run();
  EXPECT_EQ(Count(log, "not readable in full, not wiped: " + Narrow(locked) + " (" + Narrow(locked) +
                           ": Access denied)\n"), 1u) << log;
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 1") << log;
  EXPECT_FALSE(Exists(sealed + u"\\open.txt"));
  // A ticked folder whose place another program gives to the unreadable one
  // after the confirm step: what it held cannot be looked up, and is named so.
  const std::u16string swap = sealed + u"-swap", swapped = swap + u"\\locked";
  root = swap + u"-parked";
  ASSERT_TRUE(CreateDirectoryW(W(swap), nullptr) && CreateDirectoryW(W(swapped), nullptr));
  MakeFile(swapped + u"\\f.txt", FILE_ATTRIBUTE_NORMAL);
  ASSERT_NO_FATAL_FAILURE(Tick({swapped}));
  ASSERT_TRUE(MoveFileW(W(swap), W(root)) && MoveFileW(W(sealed), W(swap)));
  const std::string after = Run();
  MoveFileW(W(swap), W(sealed));
  EXPECT_EQ(Count(after, "not reached by the run, and it cannot be looked up now (Access denied), not wiped: " +
                             Narrow(swapped) + "\\f.txt\n"), 1u) << after;
  EXPECT_EQ(LastLine("FileProgressLog"), "Items that could not be wiped: 3") << after;
  // Its folder unreadable (listed by the shell as empty) when re-read, a ticked file keeps its tick.
  const std::u16string box = sealed + u"-ticks", boxed = box + u"\\locked", ticked = boxed + u"\\in.txt";
  ASSERT_TRUE(CreateDirectoryW(W(box), nullptr) && CreateDirectoryW(W(boxed), nullptr));
  for (const std::u16string& file : {ticked, boxed + u"\\unticked.txt"}) MakeFile(file, FILE_ATTRIBUTE_NORMAL);
  ASSERT_NO_FATAL_FAILURE(Tick({ticked}));
  form->BottomBackClick(), form->BottomBackClick();
  root = box;
  ASSERT_TRUE(MoveFileW(W(box), W(box + u"-parked")) && MoveFileW(W(sealed), W(box)));
  PVirtualNode node = Loaded(boxed);
  ASSERT_NE(node, nullptr);
  tree->ReReadAndRefreshNode(node, false);
  ASSERT_TRUE(MoveFileW(W(box), W(sealed)) && MoveFileW(W(box + u"-parked"), W(box)));
  form->BottomNextClick(), form->BottomNextClick();
  EXPECT_EQ(Listed(), ticked + u";");
}

// After the confirm step another program deletes a file of a ticked folder and
// a single tick and makes them again (the file system gives the numbers again)
// with their old dates put back, and a sync client puts a file into the folder
// the wipe makes for itself: the three are kept, each named and counted once.
namespace {
std::function<void()> gOnProgress;  // run at each progress message the engine sends
LRESULT CALLBACK OnSentMessage(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && reinterpret_cast<CWPSTRUCT*>(lParam)->message == WM_USER + 2 && gOnProgress) gOnProgress();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace
TEST_F(SelectionModelTest, FilesMadeAgainWithTheirOldDatesAndWhatOthersPutInTheWipesFolderAreKept) {
  REQUIRE_DRIVE(drive, "QV_TEST_WIZ_FILES");
  root = std::u16string(1, static_cast<char16_t>(drive)) + u":\\qvmodel-again";
  RemoveTree(root);
  const std::u16string folder = root + u"\\ticked", single = root + u"\\single.txt", remade = folder + u"\\b.txt";
  ASSERT_TRUE(CreateDirectoryW(W(root), nullptr) && CreateDirectoryW(W(folder), nullptr));
  for (const std::u16string& path : {root + u"\\neighbour.txt", single, folder + u"\\a.txt", remade})
    MakeFile(path, FILE_ATTRIBUTE_NORMAL, "the listed content");
  MakeForm();
  Click("WelcomeFileAndFoldersRadioButton");
  form->BottomNextClick();
  tree = form->FileSelectTree();
  for (const std::u16string& path : {folder, single}) tree->SetCheckState(Show(path), csCheckedNormal);
  form->BottomNextClick();
  form->BottomNextClick();
  ASSERT_EQ(ActivePageIndex(), wpFileConfirm);
  for (const std::u16string& path : {remade, single}) {
    TItemKey was, now;
    WIN32_FILE_ATTRIBUTE_DATA old{};
    ASSERT_TRUE(KeyOfPath(path, was) && GetFileAttributesExW(W(path), GetFileExInfoStandard, &old));
    ASSERT_TRUE(DeleteFileW(W(path)));
    MakeFile(path, FILE_ATTRIBUTE_NORMAL, "made again");
    HANDLE file = CreateFileW(W(path), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(file, &old.ftCreationTime, nullptr, &old.ftLastWriteTime) && CloseHandle(file));
    ASSERT_TRUE(KeyOfPath(path, now) && now.fileId == was.fileId);
  }
  std::u16string foreign;  // put into the first folder that appears in the ticked one
  gOnProgress = [&] {
    ListCheckedItems({folder}, [&](TListedItem&& item) {
      if (foreign.empty() && item.folder && item.path != folder + u"\\")
        MakeFile(foreign = item.path + u"sync.txt", FILE_ATTRIBUTE_NORMAL);
    });
  };
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, OnSentMessage, nullptr, GetCurrentThreadId());
  form->BottomNextClick();
  const bool ended = qvtest::PumpUntil([&] { return !form->Busy && form->Done; }, 120000);
  UnhookWindowsHookEx(hook);
  gOnProgress = nullptr;
  ASSERT_TRUE(ended && !foreign.empty());
  const std::string log = Joined("FileProgressLog");
  auto named = [&](const std::u16string& path, const std::string& why) {
    const std::string line = (path.empty() ? "" : Narrow(path) + ": ") + why;
    return log.find(line) != std::string::npos && log.find(line) == log.rfind(line) && (path.empty() || Exists(path));
  };
  EXPECT_TRUE(named(remade, "changed or replaced after the confirm step, not wiped")) << log;
  EXPECT_TRUE(named(single, "changed or replaced after the confirm step, not wiped")) << log;
  EXPECT_TRUE(named(foreign, "appeared after the confirm step, not wiped")) << log;
  EXPECT_TRUE(named(u"", "appeared after the confirm step")) << log;  // the wipe's own folder is no one's item
  EXPECT_TRUE(named(u"", "Items that could not be wiped: 3\n")) << log;
  EXPECT_FALSE(Exists(folder + u"\\a.txt"));
}
