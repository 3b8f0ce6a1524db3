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

#include "ExplorerTestSupport.h"
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
    LPITEMIDLIST pidl = PathToPIDL(model->PathOf(changedFolder));
    PVirtualNode loaded = pidl != nullptr ? tree->FindLoadedNodeByPIDL(pidl) : nullptr;
    if (pidl != nullptr) NamespacePIDLManager->FreePIDL(pidl);
    if (loaded != nullptr && loaded->FirstChild != nullptr && rng() % 2 == 0) {
      tree->ReReadAndRefreshNode(loaded, true);
      model->Settle(changedFolder);
      return;
    }
    uint16_t key = VK_F5;
    TShiftState shift;
    tree->DoKeyAction(key, shift);
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
