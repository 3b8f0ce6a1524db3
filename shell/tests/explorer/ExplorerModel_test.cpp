// Selection integrity: random clicks on check boxes, expanding, collapsing,
// F5, rebuilding, scrolling, and files and folders made, deleted and renamed
// between refreshes, on a generated folder tree of the test drive. After every
// step the paths the storage would hand to a wipe equal those of a reference
// model of what the user ticked, and every node made shows the model's mark.
// QV_LONG=1 runs 20,000 steps over a larger tree.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <atomic>
#include <thread>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "shell/ShellUtilities.h"

using namespace explorertest;

namespace {

enum class Mark { Unchecked, Checked, Mixed };

// One file or folder as the user sees it: its mark and, for a folder, its items.
struct Item {
  std::u16string name;
  bool folder = false;
  Mark mark = Mark::Unchecked;
  Item* parent = nullptr;
  std::vector<std::unique_ptr<Item>> children;
};

class Model {
public:
  explicit Model(const std::u16string& rootPath) : rootPath(rootPath) {
    root.folder = true;
    root.name = rootPath;
  }
  Item root;
  std::u16string rootPath;

  std::u16string PathOf(const Item* item) const {
    if (item == &root) return rootPath;
    return PathOf(item->parent) + u"\\" + item->name;
  }
  void Collect(Item* item, std::vector<Item*>& out) {
    out.push_back(item);
    for (auto& child : item->children) Collect(child.get(), out);
  }
  std::vector<Item*> All() {
    std::vector<Item*> out;
    Collect(&root, out);
    return out;
  }
  // A click on the box: checked goes to unchecked, anything else to checked,
  // for the item and all it holds; the folders above follow their items.
  void Click(Item* item) {
    Mark next = item->mark == Mark::Checked ? Mark::Unchecked : Mark::Checked;
    SetAll(item, next);
    for (Item* run = item->parent; run != nullptr; run = run->parent) run->mark = Derive(run);
  }
  // A new item follows its folder: checked only inside a fully checked one.
  Item* Add(Item* parent, const std::u16string& name, bool folder) {
    auto item = std::make_unique<Item>();
    item->name = name;
    item->folder = folder;
    item->parent = parent;
    item->mark = parent->mark == Mark::Checked ? Mark::Checked : Mark::Unchecked;
    Item* raw = item.get();
    parent->children.push_back(std::move(item));
    return raw;
  }
  // A folder merged with a fresh listing follows its items, and the folders above follow theirs.
  void Settle(Item* folder) {
    if (folder->children.empty()) return;
    for (Item* run = folder; run != nullptr; run = run->parent) run->mark = Derive(run);
  }
  void Remove(Item* item) {
    auto& list = item->parent->children;
    list.erase(std::find_if(list.begin(), list.end(), [item](auto& p) { return p.get() == item; }));
  }
  // What a wipe gets: the topmost checked items.
  void Topmost(const Item* item, std::vector<std::u16string>& out) const {
    if (item->mark == Mark::Checked) {
      out.push_back(PathOf(item));
      return;
    }
    for (auto& child : item->children) Topmost(child.get(), out);
  }

private:
  static void SetAll(Item* item, Mark mark) {
    item->mark = mark;
    for (auto& child : item->children) SetAll(child.get(), mark);
  }
  static Mark Derive(const Item* folder) {
    size_t checked = 0;
    bool partial = false;
    for (auto& child : folder->children) {
      if (child->mark == Mark::Checked) ++checked;
      if (child->mark == Mark::Mixed) partial = true;
    }
    if (checked == 0 && !partial) return Mark::Unchecked;
    return checked < folder->children.size() ? Mark::Mixed : Mark::Checked;
  }
};

const char16_t* const kNames[] = {u"alpha", u"\u03b2\u03ae\u03c4\u03b1", u"\u0436\u0443\u043a", u"\u6f22\u5b57",
                                  u"delta", u"Ep silon", u"z\u00fcrich", u"omega"};

struct ExplorerModel : ExplorerFixture {
  std::mt19937 rng{12345};
  std::unique_ptr<Model> model;
  int counter = 0;

  std::u16string FreshName(bool folder) {
    std::u16string name = kNames[rng() % 8];
    std::string digits = std::to_string(counter++);
    name += u" ";
    for (char c : digits) name += char16_t(c);
    if (!folder) name += rng() % 2 ? u".txt" : u".dat";
    return name;
  }

  void MakeOnDisk(Item* item, const std::u16string& path) {
    if (item->folder) {
      MakeFolder(path);
      return;
    }
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    uint32_t r = rng() % 8;
    if (r == 0) attributes = FILE_ATTRIBUTE_HIDDEN;
    if (r == 1) attributes = FILE_ATTRIBUTE_READONLY;
    MakeFile(path, 1 + rng() % 64, attributes);
  }

  void Generate(Item* folderItem, int depth, int files, int folders) {
    for (int i = 0; i < files; ++i) {
      Item* item = model->Add(folderItem, FreshName(false), false);
      MakeOnDisk(item, model->PathOf(item));
    }
    if (depth == 0) return;
    for (int i = 0; i < folders; ++i) {
      Item* item = model->Add(folderItem, FreshName(true), true);
      MakeOnDisk(item, model->PathOf(item));
      Generate(item, depth - 1, files, folders);
    }
  }

  Item* RandomItem(bool foldersOnly) {
    std::vector<Item*> all = model->All();
    std::vector<Item*> pick;
    for (Item* item : all)
      if (!foldersOnly || item->folder) pick.push_back(item);
    return pick[rng() % pick.size()];
  }

  // Folders whose children the tree has made: only there can a merge add or drop nodes.
  void Refresh(Item* changedFolder) {
    PVirtualNode loaded = LoadedNodeOf(tree, model->PathOf(changedFolder));
    if (loaded != nullptr && loaded->FirstChild != nullptr && rng() % 2 == 0) {
      tree->ReReadAndRefreshNode(loaded, true);
      model->Settle(changedFolder);
      return;
    }
    uint16_t key = VK_F5;
    TShiftState shift;
    tree->DoKeyAction(key, shift);
    SettleLoaded();
  }

  // The node of an item among the nodes made, or null.
  PVirtualNode LoadedNode(const Item* item) { return LoadedNodeOf(tree, model->PathOf(item)); }

  // F5 re-derives every folder whose items the tree lists from those items, deepest first.
  void SettleLoaded() {
    std::vector<Item*> all = model->All();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if (!(*it)->folder) continue;
      PVirtualNode node = LoadedNode(*it);
      if (node != nullptr && node->FirstChild != nullptr) model->Settle(*it);
    }
  }

  void Step(std::string& what) {
    uint32_t r = rng() % 100;
    if (r < 40) {
      Item* item = RandomItem(false);
      what = "click " + Narrow(model->PathOf(item));
      model->Click(item);
      Click(model->PathOf(item));
    } else if (r < 52) {
      Item* item = RandomItem(true);
      bool open = rng() % 3 != 0;
      what = (open ? "expand " : "collapse ") + Narrow(model->PathOf(item));
      if (PVirtualNode node = NodeOf(model->PathOf(item))) {
        if (open)
          for (PVirtualNode run = node; run != nullptr && run != tree->RootNode(); run = run->Parent)
            tree->SetExpanded(run, true);
        else
          tree->SetExpanded(node, false);
      }
    } else if (r < 58) {
      what = "F5";
      uint16_t key = VK_F5;
      TShiftState shift;
      tree->DoKeyAction(key, shift);
      SettleLoaded();
    } else if (r < 62) {
      what = "rebuild";
      tree->SetActive(false);
      tree->SetActive(true);
    } else if (r < 66) {
      what = "scroll";
      tree->SetOffsetY(-static_cast<int>(rng() % 2000));
    } else if (r < 80) {
      Item* parent = RandomItem(true);
      bool folder = rng() % 4 == 0;
      Item* item = model->Add(parent, FreshName(folder), folder);
      what = "create " + Narrow(model->PathOf(item));
      MakeOnDisk(item, model->PathOf(item));
      if (folder && rng() % 2) {
        Item* inner = model->Add(item, FreshName(false), false);
        MakeOnDisk(inner, model->PathOf(inner));
      }
      Refresh(parent);
    } else if (r < 90) {
      Item* item = RandomItem(false);
      if (item == &model->root) return;
      Item* parent = item->parent;
      what = "delete " + Narrow(model->PathOf(item));
      RemoveTree(model->PathOf(item));
      model->Remove(item);
      Refresh(parent);
    } else {
      Item* item = RandomItem(false);
      if (item == &model->root) return;
      Item* parent = item->parent;
      std::u16string oldPath = model->PathOf(item);
      std::u16string name = FreshName(item->folder);
      what = "rename " + Narrow(oldPath) + " to " + Narrow(name);
      std::u16string newPath = model->PathOf(parent) + u"\\" + name;
      ASSERT_TRUE(MoveFileW(reinterpret_cast<const wchar_t*>(oldPath.c_str()),
                            reinterpret_cast<const wchar_t*>(newPath.c_str())));
      // Renamed outside the tree: an item under a new name is a new item, and what it holds too.
      bool folder = item->folder;
      model->Remove(item);
      RebuildInside(model->Add(parent, name, folder), newPath);
      Refresh(parent);
    }
  }

  // The model of a folder renamed on disk: what it holds, read back, all new.
  void RebuildInside(Item* folderItem, const std::u16string& path) {
    if (!folderItem->folder) return;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(reinterpret_cast<const wchar_t*>((path + u"\\*").c_str()), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
      if (name == u"." || name == u"..") continue;
      bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      Item* child = model->Add(folderItem, name, folder);
      RebuildInside(child, path + u"\\" + name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
  }

  // Every node the tree has made for a model item shows the model's mark
  // (checked or not: a folder whose only checked item vanished may stay mixed).
  void CompareNodes(const std::string& what, int step) {
    for (Item* item : model->All()) {
      LPITEMIDLIST pidl = PathToPIDL(model->PathOf(item));
      ASSERT_NE(pidl, nullptr) << Narrow(model->PathOf(item));
      PVirtualNode node = tree->FindLoadedNodeByPIDL(pidl);
      NamespacePIDLManager->FreePIDL(pidl);
      if (node == nullptr || !(node->States & vsInitialized)) continue;
      ASSERT_EQ(node->CheckState == csCheckedNormal, item->mark == Mark::Checked)
          << "step " << step << " (" << what << "): " << Narrow(model->PathOf(item));
      ASSERT_EQ(node->CheckType, ctTriStateCheckBox) << Narrow(model->PathOf(item));
    }
  }
};

std::vector<std::u16string> Sorted(std::vector<std::u16string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST_F(ExplorerModel, TheWipeListIsWhatTheUserTicked) {
  bool longRun = std::getenv("QV_LONG") != nullptr;
  int steps = longRun ? 20000 : 300;
  if (const char* seed = std::getenv("QV_SEED")) rng.seed(static_cast<uint32_t>(std::atoi(seed)));
  // Long runs report their progress to a file as they go (QV_MODEL_LOG).
  FILE* progress = nullptr;
  if (const char* log = std::getenv("QV_MODEL_LOG")) progress = std::fopen(log, "w");
  struct CloseLog {
    FILE*& file;
    ~CloseLog() {
      if (file != nullptr) std::fclose(file);
    }
  } closeLog{progress};
  model = std::make_unique<Model>(folder);
  if (longRun)
    Generate(&model->root, 3, 6, 3);  // 1 + 3 + 9 + 27 folders, 6 files each
  else
    Generate(&model->root, 2, 3, 2);
  form->Show();
  int divergences = 0;
  std::vector<std::string> history;
  for (int step = 0; step < steps; ++step) {
    std::string what;
    Step(what);
    history.push_back(std::to_string(step) + " " + what);
    if (history.size() > 12) history.erase(history.begin());
    if (HasFatalFailure()) return;
    std::vector<std::u16string> expected;
    model->Topmost(&model->root, expected);
    std::vector<std::u16string> actual = Topmost();
    if (Sorted(actual) != Sorted(expected)) {
      ++divergences;
      std::string a, e;
      for (auto& s : actual) a += " [" + Narrow(s) + "]";
      for (auto& s : expected) e += " [" + Narrow(s) + "]";
      std::string steps;
      for (auto& h : history) steps += "\n    " + h;
      ADD_FAILURE() << "step " << step << " (" << what << ")\n  storage:" << a << "\n  model:  " << e
                    << "\n  last steps:" << steps;
      if (progress != nullptr) std::fprintf(progress, "DIVERGENCE at step %d (%s)\n", step, what.c_str());
      return;
    }
    // The marks of all made nodes: every step in CI, every 20th in long runs.
    if (!longRun || step % 20 == 0) CompareNodes(what, step);
    if (HasFatalFailure()) {
      if (progress != nullptr) std::fprintf(progress, "NODE MARK DIFFERS at step %d (%s)\n", step, what.c_str());
      return;
    }
    if (progress != nullptr && step % 100 == 0) {
      std::fprintf(progress, "%d steps, %zu items, 0 divergences\n", step, model->All().size());
      std::fflush(progress);
    }
  }
  if (progress != nullptr) std::fprintf(progress, "done: %d steps, 0 divergences\n", steps);
  std::printf("explorer model: %d steps, %zu items at the end, %d divergences\n", steps, model->All().size(),
              divergences);
}

// ---- Changes made while the tree is open ---------------------------------------------------
// Rounds of random changes made by another thread (each reported through
// SHChangeNotify) and by another process (found by the kernel watcher on the
// root folder), with clicks, expanding and F5 between the rounds. After each
// round the notifier's quiet period passes; then every folder the tree lists
// equals a fresh listing of the disk, and the checked paths equal the model's.
// The folders changed in one round never hold one another: the order in which
// the tree merges two nested folders decides how new items follow the outer one.
namespace {

struct DiskChange {
  enum Kind { File, Folder, Delete, Rename } kind;
  std::u16string path, path2;
  bool folder = false;
  bool otherProcess = false;
};

bool Holds(const Item* outer, const Item* inner) {
  for (const Item* run = inner->parent; run != nullptr; run = run->parent)
    if (run == outer) return true;
  return false;
}

// Runs one change on the calling thread and reports it to the shell; false when the disk refused.
bool Apply(const DiskChange& c) {
  const wchar_t* path = W(c.path);
  switch (c.kind) {
    case DiskChange::File: {
      HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) return false;
      CloseHandle(h);
      ReportChange(SHCNE_CREATE, c.path);
      return true;
    }
    case DiskChange::Folder:
      if (!CreateDirectoryW(path, nullptr)) return false;
      ReportChange(SHCNE_MKDIR, c.path);
      return true;
    case DiskChange::Delete:
      RemoveTree(c.path);
      ReportChange(c.folder ? SHCNE_RMDIR : SHCNE_DELETE, c.path);
      return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
    case DiskChange::Rename:
      if (!MoveFileW(path, W(c.path2))) return false;
      ReportChange(c.folder ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, c.path, c.path2);
      return true;
  }
  return false;
}

}  // namespace

// The notifier's quiet period.
constexpr DWORD kQuietPeriodMs = 750;

struct ExplorerModelChanges : ExplorerModel {
  std::vector<Item*> changed;  // the folders this round changed

  bool Allowed(const Item* folderItem) const {
    for (const Item* c : changed)
      if (c != folderItem && (Holds(c, folderItem) || Holds(folderItem, c))) return false;
    return true;
  }

  // Plans one change on the model; false when it would break the round's rule.
  bool Plan(std::vector<DiskChange>& out, bool otherProcess) {
    uint32_t r = rng() % 100;
    Item* parent = otherProcess ? &model->root : RandomItem(true);
    if (r < 45 || otherProcess) {
      if (!Allowed(parent)) return false;
      bool folder = rng() % 3 == 0;
      Item* item = model->Add(parent, FreshName(folder), folder);
      out.push_back({folder ? DiskChange::Folder : DiskChange::File, model->PathOf(item), u"", folder, otherProcess});
      changed.push_back(parent);
      return true;
    }
    Item* item = RandomItem(false);
    if (item == &model->root || !Allowed(item->parent)) return false;
    parent = item->parent;
    if (r < 70) {
      out.push_back({DiskChange::Delete, model->PathOf(item), u"", item->folder});
      model->Remove(item);
      changed.push_back(parent);
      return true;
    }
    // A rename in the folder, or a move to another folder the round may change.
    Item* target = r < 85 ? parent : RandomItem(true);
    if (target == item || Holds(item, target) || !Allowed(target)) return false;
    std::u16string oldPath = model->PathOf(item);
    std::u16string name = FreshName(item->folder);
    bool folder = item->folder;
    std::u16string newPath = model->PathOf(target) + u"\\" + name;
    out.push_back({DiskChange::Rename, oldPath, newPath, folder});
    model->Remove(item);
    // The moved items are new to the tree: planned now, read back after the move.
    pendingRebuilds.push_back({model->Add(target, name, folder), newPath});
    changed.push_back(parent);
    changed.push_back(target);
    return true;
  }
  std::vector<std::pair<Item*, std::u16string>> pendingRebuilds;

  // Every folder the tree lists holds what the disk holds; a listed folder without
  // items and without an expand button holds nothing.
  bool TreeMatchesDisk(std::string& where) {
    for (Item* item : model->All()) {
      if (!item->folder) continue;
      PVirtualNode node = LoadedNode(item);
      if (node == nullptr || !(node->States & vsInitialized)) continue;
      if (node->FirstChild == nullptr && (node->States & vsHasChildren)) continue;
      std::vector<std::u16string> shown, onDisk;
      for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
        if (TNamespace* ns = tree->NodeNamespace(child)) shown.push_back(ns->NameInFolder());
      for (auto& child : item->children) onDisk.push_back(child->name);
      std::sort(shown.begin(), shown.end());
      std::sort(onDisk.begin(), onDisk.end());
      if (shown != onDisk) {
        where = Narrow(model->PathOf(item)) + ": " + std::to_string(shown.size()) + " shown, " +
                std::to_string(onDisk.size()) + " on disk";
        return false;
      }
    }
    return true;
  }

  void UserSteps() {
    for (int i = 0; i < 3; ++i) {
      uint32_t r = rng() % 10;
      if (r < 6) {
        Item* item = RandomItem(false);
        model->Click(item);
        Click(model->PathOf(item));
      } else if (r < 9) {
        Item* item = RandomItem(true);
        if (PVirtualNode node = NodeOf(model->PathOf(item)))
          for (PVirtualNode run = node; run != nullptr && run != tree->RootNode(); run = run->Parent)
            tree->SetExpanded(run, true);
      } else {
        uint16_t key = VK_F5;
        TShiftState shift;
        tree->DoKeyAction(key, shift);
        SettleLoaded();
      }
    }
  }
};

TEST_F(ExplorerModelChanges, TheTreeFollowsChangesMadeWhileItIsOpen) {
  bool longRun = std::getenv("QV_LONG") != nullptr;
  int rounds = longRun ? 180 : 6;
  if (const char* seed = std::getenv("QV_SEED")) rng.seed(static_cast<uint32_t>(std::atoi(seed)));
  model = std::make_unique<Model>(folder);
  Generate(&model->root, 2, longRun ? 4 : 3, longRun ? 3 : 2);
  form->Show();
  ASSERT_TRUE(tree->ChangeNotifierRegistered());
  // The kernel watcher sees the names in the root folder change, whoever changes them.
  ASSERT_TRUE(ChangeNotifier()->RegisterKernelChangeNotify(tree, knfFileName | knfDirName));
  ASSERT_TRUE(ChangeNotifier()->ChangeWatchFolder(tree, folder));
  tree->SetExpanded(NodeOf(folder), true);
  int changes = 0, byOtherProcess = 0;
  DWORD slowest = 0;
  for (int round = 0; round < rounds; ++round) {
    UserSteps();
    changed.clear();
    pendingRebuilds.clear();
    std::vector<DiskChange> plan;
    bool viaProcess = rng() % 3 == 0;
    if (viaProcess) Plan(plan, /*otherProcess=*/true);
    int wanted = 1 + static_cast<int>(rng() % 12);
    for (int tries = 0; static_cast<int>(plan.size()) < wanted && tries < 40; ++tries) Plan(plan, false);
    // Which folders the tree merges is decided now: those it lists.
    std::vector<Item*> merged;
    for (Item* c : changed) {
      PVirtualNode node = LoadedNode(c);
      if (node != nullptr && (node->FirstChild != nullptr || !(node->States & vsHasChildren))) merged.push_back(c);
    }
    // The other process's change was planned first, so it is made first.
    std::string failed;
    for (const DiskChange& c : plan) {
      if (!c.otherProcess) continue;
      std::u16string command = c.kind == DiskChange::Folder ? u"mkdir \"" + c.path + u"\""
                                                            : u"echo x> \"" + c.path + u"\"";
      if (!RunInOtherProcess(command)) failed = "cmd " + Narrow(command);
      ++byOtherProcess;
    }
    std::thread writer([&] {
      for (const DiskChange& c : plan)
        if (!c.otherProcess && !Apply(c)) failed = "change of " + Narrow(c.path) + " (" + std::to_string(c.kind) + ")";
    });
    writer.join();
    ASSERT_EQ(failed, "") << "round " << round;
    changes += static_cast<int>(plan.size());
    for (auto& [item, path] : pendingRebuilds) RebuildInside(item, path);
    DWORD start = GetTickCount();
    std::string where;
    bool same = PumpUntil([&] { return TreeMatchesDisk(where); }, 10000);
    // Nothing more may change it once the quiet period is over.
    Pump(kQuietPeriodMs + 100);
    slowest = std::max(slowest, GetTickCount() - start);
    ASSERT_TRUE(same && TreeMatchesDisk(where)) << "round " << round << ": " << where;
    for (Item* c : merged) model->Settle(c);
    std::vector<std::u16string> expected;
    model->Topmost(&model->root, expected);
    std::vector<std::u16string> actual = Topmost();
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    ASSERT_EQ(actual, expected) << "round " << round;
    CompareNodes("round", round);
    if (HasFatalFailure()) return;
  }
  ChangeNotifier()->UnRegisterKernelChangeNotify(tree);
  std::printf("explorer changes: %d rounds, %d changes (%d by another process), %zu items at the end, "
              "slowest round settled in %lu ms\n",
              rounds, changes, byOtherProcess, model->All().size(), static_cast<unsigned long>(slowest));
}
