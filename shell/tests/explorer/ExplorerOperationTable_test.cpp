// Each public operation of the explorer tree, called from outside any
// message on a view with check boxes (its root folder shown) and on one
// without (the root folder hidden), while a handler of an event the
// operation fires acts at its 1st, 2nd or last call counted from the
// operation's start (a run without acts counts them first, and checks that
// the operation did its work): the handler frees the node it is told of,
// that node's parent, the operation's target, the tree or its form, changes
// the root (its item goes with every node), drops what the tree holds
// beside its nodes (columns and check records, stored views) or reads the
// whole tree again. Forms, views, saved states and shell items are fenced.
// A row passes when the operation returns with the answer its acts imply
// (RefreshNode: true only while its folder is kept), shows its work after
// an act that leaves it, a freed view is gone,
// the tree left is sound and every item in it stands on its parent node's
// item, no shell item lives beyond those the tree holds, and none once the
// form is gone. CI runs a sample of the rows; QV_LONG=1 runs all of them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "TreeTestSupport.h"
#include "core/FencedObjects.h"
#include "core/testing/RowProcesses.h"
#include "shell/ShellUtilities.h"
#include "shell/VETPersistent.h"
#include "win/Forms.h"

using namespace explorertest;
using namespace qvtable;

namespace {

using V = TVirtualExplorerTreeview;
enum TAct { kTold, kParent, kTarget, kTree, kForm, kRoot, kHeld, kRebuild, kStoredViews, kActs };
const char* const kActNames[kActs] = {"node told of", "node's parent", "operation's target", "tree", "form",
                                      "root (with every node)", "columns and check records",
                                      "tree's nodes (read again)", "stored views"};
// Acts after which the operation still shows its work; after reading the
// tree again only what is on the disk shows (whatever the save caught open).
bool LeavesTheWork(TAct act) { return act == kHeld || act == kStoredViews; }

struct OperationTable;
OperationTable* gTable = nullptr;
TRow gRow;               // event -1: the counting run
std::vector<int> gCounts;  // the counting run's calls of each event
bool gCounting = false;  // the operation runs
bool gActing = false;    // the act runs
int gCalls = 0;
std::string gCalledGoing;  // events a going view called
bool gCheckBoxes = false;  // the view's nodes get check boxes
PVirtualNode gTarget = nullptr;  // the operation's target, and whether it was freed
bool gTargetFreed = false;

void Act(int event, TObject* sender, PVirtualNode node, TNamespace* item);
void Do(TAct act, OperationTable& t, V* tree, PVirtualNode node, TNamespace* item);

struct TOpTable {
  struct Told {
    TObject* sender = nullptr;
    PVirtualNode node = nullptr;  // the last node argument (OnInitNode: the node, not its parent)
    TNamespace* item = nullptr;
  };
  template <class T>
  static void Collect(Told& told, const T& arg) {
    if constexpr (std::is_convertible_v<T, PVirtualNode>) {
      if (arg != nullptr) told.node = arg;
    } else if constexpr (std::is_convertible_v<T, TNamespace*>) {
      told.item = arg;
    } else if constexpr (std::is_convertible_v<T, TObject*>) {
      if (told.sender == nullptr) told.sender = arg;
    }
  }
  static void Observe(int event, const Told& told, const std::function<void()>& baseline) {
    baseline();
    Act(event, told.sender, told.node, told.item);
  }
};

#define QV_EVENT(name) QV_TABLE_EVENT(TOpTable, name)
const TEventSlot<V, V> kEvents[] = {
    QV_EVENT(OnInitNode), QV_EVENT(OnInitChildren), QV_EVENT(OnFreeNode), QV_EVENT(OnChecked),
    QV_EVENT(OnChecking), QV_EVENT(OnExpanding), QV_EVENT(OnExpanded), QV_EVENT(OnCollapsing),
    QV_EVENT(OnCollapsed), QV_EVENT(OnChange), QV_EVENT(OnStructureChange), QV_EVENT(OnUpdating),
    QV_EVENT(OnFocusChanging), QV_EVENT(OnFocusChanged), QV_EVENT(OnScroll), QV_EVENT(OnEnumFolder),
    QV_EVENT(OnCustomNamespace), QV_EVENT(OnNamespaceStructureChange), QV_EVENT(OnRootChanging),
    QV_EVENT(OnRootChange), QV_EVENT(OnRootRebuild), QV_EVENT(OnShellNotify), QV_EVENT(OnHeaderRebuild),
    QV_EVENT(OnStateChange), QV_EVENT(OnCompareNodes)};
#undef QV_EVENT
constexpr int kEventCount = std::size(kEvents);

// An operation on its target (a folder below the test's folder; "": the root)
// and the item whose node it leaves made when no handler acts ("new.txt": the
// folder read again, "gone.txt" then has none); what its answer means.
enum TAnswer { kNone, kDone, kTargetKept };  // none; true when no handler acted; true: the target is there
struct TOperation {
  const char* name;
  const char16_t* target;
  const char16_t* shows;
  bool (*run)(OperationTable& t, V* tree, PVirtualNode target);
  TAnswer answer = kNone;
};
bool Batch(OperationTable& t, V* tree, PVirtualNode);
LPITEMIDLIST PIDLOf(OperationTable& t, const char16_t* path);
const TOperation kOperations[] = {
    {"RefreshNode of a folder", u"sub", u"sub\\new.txt", [](OperationTable&, V* v, PVirtualNode n) { return v->RefreshNode(n); }, kTargetKept},
    {"RefreshNode of the root", u"", u"sub\\new.txt", [](OperationTable&, V* v, PVirtualNode n) { return v->RefreshNode(n); }, kTargetKept},
    {"RefreshTree", u"sub", u"sub\\new.txt", [](OperationTable&, V* v, PVirtualNode) { return v->RefreshTree(true); }, kDone},
    {"ReinitChildren of all", u"", u"sub\\deep\\d.txt", [](OperationTable&, V* v, PVirtualNode) { return v->ReinitChildren(nullptr, true), true; }},
    {"ReReadAndRefreshNode", u"sub", u"sub\\new.txt", [](OperationTable&, V* v, PVirtualNode n) { return v->ReReadAndRefreshNode(n, true), true; }},
    {"a batch of changes", u"sub", u"sub\\new.txt", Batch},
    {"a view stored and shown", u"sub", u"sub\\new.txt",
     [](OperationTable&, V* v, PVirtualNode) {
       TViewHold hold(v);  // the caller's: the view is asked after the first step
       v->ViewManager()->StoreView(u"v", v);
       if (!v->Going()) v->ViewManager()->ShowView(u"v", v);
       return true;
     }},
    {"FindNodeByPIDL", u"other", u"other\\inner\\o.txt",
     [](OperationTable& t, V* v, PVirtualNode) {
       LPITEMIDLIST pidl = PIDLOf(t, u"other\\inner\\o.txt");
       v->FindNodeByPIDL(pidl);
       NamespacePIDLManager->FreePIDL(pidl);
       return true;
     }},
    {"BrowseTo", u"other", u"other\\inner",
     [](OperationTable& t, V* v, PVirtualNode) {
       LPITEMIDLIST pidl = PIDLOf(t, u"other\\inner");
       bool found = v->BrowseTo(pidl, true, true, false, false, true);
       NamespacePIDLManager->FreePIDL(pidl);
       return found;
     },
     kDone},
    {"Active off and on", u"", u"sub",
     [](OperationTable&, V* v, PVirtualNode) {
       TViewHold hold(v);
       v->SetActive(false);
       if (!v->Going()) v->SetActive(true);
       return true;
     }},
    {"the same root again", u"", u"sub",
     [](OperationTable&, V* v, PVirtualNode) { return v->SetRootFolderCustomPath(std::u16string(v->RootFolderCustomPath())), true; }},
    {"FileObjects changed", u"", u"sub",
     [](OperationTable&, V* v, PVirtualNode) { return v->SetFileObjects({foFolders, foNonFolders}), true; }},
    {"shell columns", u"", u"sub\\a.txt", [](OperationTable&, V* v, PVirtualNode) { return v->SetColumnDetails(cdShellColumns), true; }},
};
constexpr int kOperationCount = std::size(kOperations);
constexpr int kViews = 2;  // 0: check boxes, root folder shown; 1: neither, sorted by the handler

// An action a (operation, view, act); the counting run's calls decide the rows.
const TRows& Rows() {
  static const TRows rows = [] {
    TRows rows(NamesOf(kEvents), {}, {});
    for (int op = 0; op < kOperationCount; ++op)
      for (int view = 0; view < kViews; ++view)
        for (int act = 0; act < kActs; ++act)
          rows.actions.push_back(std::string(kActNames[act]) + " (" + kOperations[op].name +
                                 (view == 0 ? ", check boxes)" : ", hidden root)"));
    for (int action = 0; action < static_cast<int>(rows.actions.size()); ++action)
      for (int event = 0; event < kEventCount; ++event) {
        int calls = gCounts[(action / kActs) * kEventCount + event];
        for (int k : {1, 2, calls})
          if (k >= 1 && k <= calls && (k < 3 || k == calls)) rows.all.push_back(TRow{event, action, k});
      }
    return rows;
  }();
  return rows;
}

// How many items one holds: itself and the parents it made for itself.
int Items(TNamespace* ns) {
  int n = 0;
  for (; ns != nullptr; ns = (ns->Flags() & TNamespace::kOwnsParent) ? ns->Parent() : nullptr) ++n;
  return n;
}

struct OperationTable : ExplorerFixture {
  void Build(int view) {
    if (GetFileAttributesW(W(folder + u"\\sub\\gone.txt")) == INVALID_FILE_ATTRIBUTES) MakeFile(folder + u"\\sub\\gone.txt");
    DeleteFileW(W(folder + u"\\sub\\new.txt"));
    MakeForm();
    form->SetBounds(440, 10, 420, 520);
    TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
    if (view == 1) {
      o->SetMiscOptions(o->MiscOptions().Exclude(toCheckSupport));
      o->SetVETFolderOptions(o->VETFolderOptions().Include(toHideRootFolder));
      o->SetVETMiscOptions(o->VETMiscOptions().Include(toUserSort));  // the sorting asks the handler
    }
    tree->SetColumnDetails(cdVETColumns);
    gCheckBoxes = view == 0;
    BindAll(kEvents, tree, tree);
    form->Show();
    tree->SetRootFolderCustomPath(folder);
    tree->SetActive(true);
    for (const char16_t* path : {u"\\sub", u"\\sub\\deep"})
      if (PVirtualNode node = NodeOf(folder + path)) tree->SetExpanded(node, true);
    if (PVirtualNode a = NodeOf(folder + u"\\sub\\a.txt")) {
      if (view == 0) tree->SetCheckState(a, csCheckedNormal);
      SelectOnly(tree, a);
    }
    DeleteFileW(W(folder + u"\\sub\\gone.txt"));
    MakeFile(folder + u"\\sub\\new.txt");
  }
  PVirtualNode Target(const TOperation& op) {
    if (op.target[0] != 0) return LoadedNodeOf(tree, folder + u"\\" + op.target);
    return tree->TreeOptions()->VETFolderOptions().Contains(toHideRootFolder) ? tree->RootNode() : tree->GetFirst();
  }
  // The items the tree holds; each node's stands on its parent node's item (or the root's).
  int HeldItems() {
    int n = Items(tree->RootNamespace()) + Items(tree->NodeNamespace(tree->RootNode()));
    for (PVirtualNode node = tree->GetFirstNoInit(); node != nullptr; node = tree->GetNextNoInit(node)) {
      TNamespace* ns = tree->NodeNamespace(node);
      if (ns == nullptr) continue;
      n += Items(ns);
      TNamespace* parent = ns->Parent();
      bool onItsFolder = parent == nullptr || (ns->Flags() & TNamespace::kOwnsParent) ||
                         parent == tree->NodeNamespace(node->Parent) || parent == tree->RootNamespace();
      EXPECT_TRUE(onItsFolder) << Narrow(ns->NameForParsing()) << " stands on an item its folder does not hold";
    }
    return n;
  }

  // Builds the view, runs the operation (acting at the row's call), checks what is left.
  std::string Run(int op, int view, const TRow& row) {
    gRow = row;
    gCalls = 0;
    gCalledGoing.clear();
    Application->ProcessMessages();
    int before = TNamespace::LiveCount();
    SetObjectFencing(std::min({sizeof(TNamespace), sizeof(TLeafNode), sizeof(TView)}));  // saved leaves too
    SetRowStep("the view built");
    Build(view);
    PVirtualNode target = Target(kOperations[op]);
    HWND window = tree->Handle();
    SetRowStep(kOperations[op].name);
    gTarget = target;
    gTargetFreed = false;
    gCounting = true;
    bool answer = target != nullptr && kOperations[op].run(*this, tree, target);
    gCounting = false;
    SetRowStep("the checks");
    Application->ProcessMessages();  // the caller back in its loop: holds handed over end
    EXPECT_NE(target, nullptr) << "no target";
    EXPECT_EQ(gCalledGoing, "") << "a going view called its handlers";
    TAct act = TAct(row.action % kActs);
    bool struck = row.event >= 0 && gCalls >= row.k;
    if (struck && (act == kTree || act == kForm)) {
      EXPECT_FALSE(IsWindow(window)) << "the freed view is still there";
    }
    if (tree != nullptr) {
      EXPECT_EQ(TNamespace::LiveCount() - before, HeldItems()) << "items the tree does not hold";
      EXPECT_EQ(CheckTreeInvariants(*tree), "");
    }
    TAnswer meaning = kOperations[op].answer;
    bool targetKept = tree != nullptr && !gTargetFreed;
    EXPECT_TRUE(meaning != kTargetKept || answer == targetKept) << "the answer, the target kept: " << targetKept;
    EXPECT_TRUE(meaning != kDone || struck || answer) << "no handler acted, yet the answer is false";
    bool works = row.event < 0 || (struck && LeavesTheWork(act));
    std::u16string shows = kOperations[op].shows;
    if (works) {
      EXPECT_NE(LoadedNodeOf(tree, folder + u"\\" + shows), nullptr) << kOperations[op].name << ": " << Narrow(shows);
    }
    if ((works || (struck && act == kRebuild)) && shows.ends_with(u"new.txt")) {
      EXPECT_EQ(LoadedNodeOf(tree, folder + u"\\sub\\gone.txt"), nullptr) << "an item gone from the disk";
    }
    if (form != nullptr) std::exchange(form, nullptr)->Free();
    tree = nullptr;
    Application->ProcessMessages();
    SetObjectFencing(0);
    EXPECT_EQ(TNamespace::LiveCount(), before) << "items outlive the view";
    return struck || row.event < 0 ? "reached its call" : "never reached its call";
  }
  int batches = 0;
};

LPITEMIDLIST PIDLOf(OperationTable& t, const char16_t* path) { return PathToPIDL(t.folder + u"\\" + path); }

// The folder's update and media inserted in the root's drive, as the notifier hands them over.
bool Batch(OperationTable& t, V* tree, PVirtualNode) {
  auto* list = New<TVirtualShellEventList>();
  LPITEMIDLIST sub = PIDLOf(t, u"sub");
  LPITEMIDLIST drive = PathToPIDL(TestDrive() + u"\\");
  TList* events = list->LockList();
  events->Add(New<TVirtualShellEvent>(sekUpdateDir, sub, nullptr, 0, 0, false));
  events->Add(New<TVirtualShellEvent>(sekMediaInserted, drive, nullptr, 0, 0, false));
  list->UnlockList();
  NamespacePIDLManager->FreePIDL(sub);
  NamespacePIDLManager->FreePIDL(drive);
  list->ID = ++t.batches;
  list->SetRefCount(1);
  TMessage m{};
  m.Msg = kWMShellNotify;
  m.WParam = reinterpret_cast<WPARAM>(list);
  tree->Notify(m);
  return true;
}

// Every handler: counts its calls during the operation and, at the row's
// call of the row's event, does the row's act.
void Act(int event, TObject* sender, PVirtualNode node, TNamespace* item) {
  // Once the act has torn a view down, it calls no handler.
  if (sender != nullptr && sender->Going() && !gActing) gCalledGoing += std::string(" ") + kEvents[event].name;
  if (node != nullptr && node == gTarget && std::string(kEvents[event].name) == "OnFreeNode") gTargetFreed = true;
  OperationTable& t = *gTable;
  V* tree = t.tree;
  if (!gCounting || tree == nullptr) return;
  if (gRow.event < 0) {
    ++gCounts[gRow.action * kEventCount + event];
    return;
  }
  if (event != gRow.event || ++gCalls != gRow.k) return;
  gActing = true;
  Do(TAct(gRow.action % kActs), t, tree, node, item);
  gActing = false;
}

void Do(TAct act, OperationTable& t, V* tree, PVirtualNode node, TNamespace* item) {
  if (node == nullptr && item != nullptr)
    for (PVirtualNode n = tree->GetFirstNoInit(); node == nullptr && n != nullptr; n = tree->GetNextNoInit(n))
      if (tree->NodeNamespace(n) == item) node = n;
  if (node == nullptr || TVirtualTreeCore::Gone(node)) node = tree->FocusedNode();
  switch (act) {
    case kTold: break;
    case kParent: node = node != nullptr && node != tree->RootNode() ? node->Parent : nullptr; break;
    case kTarget: node = t.Target(kOperations[gRow.action / kActs / kViews]); break;
    case kTree: std::exchange(t.tree, nullptr)->Free(); return;
    case kForm:
      t.tree = nullptr;
      std::exchange(t.form, nullptr)->Free();
      return;
    case kRoot: tree->SetRootFolderCustomPath(t.folder + u"\\other"); return;
    case kHeld:
      tree->Header()->Columns()->Clear();
      tree->GetStorage()->Clear(false);
      return;
    case kRebuild: tree->RefreshTree(true); return;
    case kStoredViews: tree->ViewManager()->Clear(); return;
    case kActs: return;
  }
  // A node already on its way out is no node to free.
  if (node != nullptr && node != tree->RootNode() && !tree->InDeletion(node)) tree->DeleteNode(node);
}

}  // namespace

// The rows run in child processes (see RowProcesses.h), each the test again;
// the counting run (every operation on both views, no act) runs in the parent
// and is handed to them.
TEST_F(OperationTable, AnOperationWhoseHandlersFreeWhatItUsesReturnsAndLeavesEveryItemFreedOnce) {
  gTable = this;
  SetBaseline<TOpTable, &V::OnInitNode>([](TBaseVirtualTree*, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
    if (gCheckBoxes && n->CheckType == ctNone) n->CheckType = ctTriStateCheckBox;
  });
  for (const char16_t* path : {u"\\sub", u"\\sub\\deep", u"\\other", u"\\other\\inner"}) MakeFolder(folder + path);
  for (const char16_t* path : {u"\\sub\\a.txt", u"\\sub\\deep\\d.txt", u"\\other\\inner\\o.txt", u"\\b.txt"})
    MakeFile(folder + path);
  std::exchange(form, nullptr)->Free();  // the fixture's own tree takes no part
  tree = nullptr;
  gCounts.assign(kOperationCount * kViews * kEventCount, 0);
  if (const char* counts = std::getenv("QV_OPERATION_CALLS")) {
    for (int i = 0; i < static_cast<int>(gCounts.size()); ++i) gCounts[i] = counts[i] - '0';
  } else {
    for (int action = 0; action < kOperationCount * kViews; ++action)
      Run(action / kViews, action % kViews, TRow{-1, action, 0});
    std::string digits;
    for (int& calls : gCounts) digits += char('0' + std::min(calls, 9));  // the last of more calls is the 9th
    SetEnvironmentVariableA("QV_OPERATION_CALLS", digits.c_str());
  }
  bool child = RunOwnRows(Rows(), [this](int index) {
    const TRow& row = Rows().all[index];
    return Run(row.action / kActs / kViews, row.action / kActs % kViews, row);
  });
  if (child) return;
  // QV_TABLE_SEED=n draws that run's sample again.
  const char* given = std::getenv("QV_TABLE_SEED");
  unsigned seed = given != nullptr ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device{}();
  std::vector<int> rows = Rows().Chosen(48, seed);
  std::printf("explorer operation table: %d operations, %d events, %zu rows; sample seed %u\n", kOperationCount,
              kEventCount, Rows().all.size(), seed);
  std::vector<TRowOutcome> outcomes = RunRowsInChildren(rows, 25);
  std::printf("%s", FailingRowsBySite(outcomes).c_str());
}
