// Every handler of the explorer views, at its k-th call, frees the view, its
// form or the node it is told about, while a script of operations runs that
// fires them: folders opened by key, a root change, checks, F5 with a
// selection, shell change notifications (media inserted, associations
// changed), a browse from the path combo box, a lookup, a new folder and a
// view stored and shown by code outside a message and, on a view that lists
// in the background, the listing landing. Forms and
// views are fenced: a touch of either after its release faults where it
// happens; the rows run in child processes, so a row that faults is named
// with its step. CI runs a sample of the table; QV_LONG=1 runs all of it.
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
#include "core/FencedObjects.h"
#include "core/testing/RowProcesses.h"
#include "shell/ExplorerCombobox.h"
#include "shell/GlobalViewManager.h"
#include "shell/ShellNotifier.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualBackGndEnumThread.h"
#include "shell/ViewHold.h"
#include "win/Forms.h"

using namespace explorertest;
using namespace qvtable;

namespace {

enum TDoom { kFreeView, kFreeForm, kFreeNode };
using V = TVirtualExplorerTreeview;
using C = TVirtualExplorerCombobox;

struct ExplorerHandlerTable;
ExplorerHandlerTable* gTable = nullptr;
TVirtualExplorerCombobox* gCombo = nullptr;
TRow gRow;
int gCalls = 0;
int gCalledGoing = 0;  // handlers called by a view (or combo box) already going
int gShellEvents = 0;  // change notifications the view was told of

void Strike(int event, TObject* sender, PVirtualNode node, TNamespace* item);

// Every handler tells Strike who called it (the first argument), of which
// node and of which item.
struct TTable {
  struct Told {
    TObject* sender = nullptr;
    PVirtualNode node = nullptr;
    TNamespace* item = nullptr;
  };
  template <class T>
  static void Collect(Told& told, const T& arg) {
    if constexpr (std::is_convertible_v<T, PVirtualNode>) {
      if (told.node == nullptr) told.node = arg;
    } else if constexpr (std::is_convertible_v<T, TNamespace*>) {
      if (told.item == nullptr) told.item = arg;
    } else if constexpr (std::is_convertible_v<T, TObject*>) {
      if (told.sender == nullptr) told.sender = arg;
    }
  }
  static void Observe(int event, const Told& told, const std::function<void()>& baseline) {
    baseline();
    Strike(event, told.sender, told.node, told.item);
  }
};

// What the handlers do in every row besides the table's: check boxes on
// every node, the clipboard keys answered (they never reach the shell's
// clipboard), every run refused.
void SetBaselines() {
  SetBaseline<TTable, &V::OnInitNode>([](TBaseVirtualTree*, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
    if (n->CheckType == ctNone) n->CheckType = ctTriStateCheckBox;
  });
  SetBaseline<TTable, &V::OnClipboardCopy>([](TCustomVirtualExplorerTree*, bool& handled) { handled = true; });
  SetBaseline<TTable, &V::OnClipboardPaste>([](TCustomVirtualExplorerTree*, bool& handled) { handled = true; });
  SetBaseline<TTable, &V::OnShellExecute>(
      [](TCustomVirtualExplorerTree*, TNamespace*, std::u16string&, std::u16string&, bool& allow) { allow = false; });
  SetBaseline<TTable, &V::OnShellNotify>([](TCustomVirtualExplorerTree*, TVirtualShellEvent*) { ++gShellEvents; });
}

// The events, on the view or on the path combo box.
#define QV_EVENT(name) QV_TABLE_EVENT(TTable, name)
const TEventSlot<V, C> kEvents[] = {
    QV_EVENT(OnEnumFolder), QV_EVENT(OnEnumFinished), QV_EVENT(OnEnumThreadLengthyOperation),
    QV_EVENT(OnRootChanging), QV_EVENT(OnRootChange), QV_EVENT(OnRootRebuild),
    QV_EVENT(OnCustomNamespace), QV_EVENT(OnNamespaceStructureChange), QV_EVENT(OnGetVETText),
    QV_EVENT(OnShellNotify), QV_EVENT(OnShellExecute), QV_EVENT(OnTreeDblClick),
    QV_EVENT(OnClipboardCopy), QV_EVENT(OnClipboardPaste), QV_EVENT(OnHeaderRebuild),
    QV_EVENT(OnDragAllowed),
    // The tree's own events where the explorer's code goes on after them.
    QV_EVENT(OnChange), QV_EVENT(OnInitNode), QV_EVENT(OnChecked), QV_EVENT(OnCollapsed),
    QV_EVENT(OnPathChange), QV_EVENT(OnInvalidPath)};
#undef QV_EVENT

const TRows& Rows() {
  static const TRows rows(NamesOf(kEvents),
                          {"view", "form", "node", "view (listing in the background)",
                           "form (listing in the background)", "node (listing in the background)"},
                          {1, 2, 5});
  return rows;
}

struct ExplorerHandlerTable : ExplorerFixture {
  // The fixture's form, fenced, its view rooted nowhere yet, a linked path
  // combo box above it; every handler is the table's, bound before the window
  // is made (the header is built then).
  void MakeViews(bool threaded) {
    SetObjectFencing(std::min({sizeof(TForm), sizeof(V), sizeof(C)}));
    MakeForm();
    gCombo = New<C>(form);
    SetObjectFencing(0);
    form->SetBounds(440, 10, 420, 520);
    gCombo->SetParent(form);
    gCombo->SetBounds(4, 4, 400, 23);
    tree->SetBounds(4, 32, 400, 440);
    TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
    o->SetVETMiscOptions(o->VETMiscOptions().Include(toExecuteOnDblClk));
    o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
    // A list (shell columns, listed in the background) or a tree with the explorer's columns.
    if (threaded) {
      o->SetVETFolderOptions(o->VETFolderOptions().Include(toHideRootFolder));
      tree->SetThreadedEnum(true);
    }
    tree->SetColumnDetails(threaded ? cdShellColumns : cdVETColumns);
    BindAll(kEvents, tree, gCombo);
    Held([this](V*) { form->Show(); });
    if (tree != nullptr && gCombo != nullptr) gCombo->SetVirtualExplorerTree(tree);
  }
  void FreeLeft() {
    tree = nullptr;
    gCombo = nullptr;
    if (form != nullptr) std::exchange(form, nullptr)->Free();
  }

  void Key(WORD vk, BYTE modifier = 0) {
    if (tree != nullptr) PressWith(tree, modifier, vk);
  }
  // Runs step on the view while holding it, as a caller inside a message
  // is held: the step may free it (tree is then null).
  template <class F>
  void Held(F step) {
    if (tree == nullptr) return;
    TViewHold hold(tree);
    step(tree);
  }
  // Focuses and selects the node of the item at path in the folder (among the nodes made already).
  bool Focus(const std::u16string& path) {
    PVirtualNode found = tree != nullptr ? LoadedNodeOf(tree, folder + u"\\" + path) : nullptr;
    if (found == nullptr) return false;
    Held([&](V* v) { v->ClearSelection(); });
    Held([&](V* v) { v->SetFocusedNode(found); });
    Held([&](V* v) { v->AddToSelection(found); });
    return tree != nullptr;
  }
  void WaitForListing(bool threaded) {
    if (threaded) PumpUntil([this] { return tree == nullptr || !tree->EnumThreadRunning(); }, 10000);
  }
  void PaintNow() {
    if (tree != nullptr) RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  void Browse(const std::u16string& path) {
    if (gCombo == nullptr) return;
    gCombo->ComboEdit()->SetTextW(path);
    SendMessageW(gCombo->ComboEdit()->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  }
  // Code outside a message (no hold around it): a lookup that opens the path
  // to path and selects it, then a new folder made beside it, its editor left.
  void LookUpAndMakeFolder(const std::u16string& path) {
    LPITEMIDLIST pidl = tree != nullptr ? PathToPIDL(path) : nullptr;
    if (pidl == nullptr) return;
    tree->WalkPIDLToNode(pidl, /*select=*/true, /*expandPath=*/true, /*reinit=*/false, /*init=*/true);
    NamespacePIDLManager->FreePIDL(pidl);
    if (tree == nullptr) return;
    auto editable = [this](bool on) {
      if (TCustomVirtualExplorerTreeOptions* o = tree != nullptr ? tree->TreeOptions() : nullptr)
        o->SetMiscOptions(on ? o->MiscOptions().Include(toEditable) : o->MiscOptions().Exclude(toEditable));
    };
    editable(true);
    std::u16string made;
    tree->CreateNewFolder(path, made);
    Held([](V* v) { v->CancelEditNode(); });
    editable(false);
    if (!made.empty()) RemoveDirectoryW(W(made));
  }
  // Tells the view of a change (unfiltered, as a program that knows of it
  // does; null: one the shell reports with no item) and waits until it was told.
  void Notify(LONG code, LPCITEMIDLIST pidl) {
    if (tree == nullptr) return;
    int before = gShellEvents;
    ChangeNotifier()->SetFilterEvents(false);
    if (pidl != nullptr)
      ChangeNotifier()->PostShellNotify(code, pidl, nullptr);
    else
      SHChangeNotify(code, SHCNF_IDLIST, nullptr, nullptr);
    PumpUntil([&] { return tree == nullptr || gShellEvents > before; }, 3000);
    Pump(50);
    ChangeNotifier()->SetFilterEvents(true);
  }
  void DoubleClickFocused() {
    if (tree == nullptr || tree->FocusedNode() == nullptr) return;
    TRect r = tree->GetDisplayRect(tree->FocusedNode(), NoColumn, true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    HWND window = tree->Handle();
    const std::pair<UINT, WPARAM> clicks[] = {
        {WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}, {WM_LBUTTONDBLCLK, MK_LBUTTON}, {WM_LBUTTONUP, 0}};
    for (auto [message, keys] : clicks)
      if (IsWindow(window)) SendMessageW(window, message, keys, at);
  }

  void Run(int row) {
    SCOPED_TRACE(Rows().Describe(row));
    gRow = Rows().all[row];
    gCalls = 0;
    gCalledGoing = 0;
    gShellEvents = 0;
    bool threaded = gRow.action >= 3;
    MakeViews(threaded);
    std::u16string sub = folder + u"\\sub";
    std::string number = std::to_string(++made);
    std::u16string fresh = folder + u"\\fresh" + std::u16string(number.begin(), number.end()) + u".txt";
    // The script: each step goes on with what is left.
    // The explorer's own operations hold the view themselves; the tree's
    // (FullExpand, selection) are held as a caller inside a message is.
    SetRowStep("root and listing");
    if (tree != nullptr) tree->SetRootFolderCustomPath(folder);
    if (tree != nullptr) tree->SetActive(true);
    WaitForListing(threaded);
    PaintNow();
    SetRowStep("FullExpand");
    Held([](V* v) { v->FullExpand(nullptr); });
    WaitForListing(threaded);
    PaintNow();
    SetRowStep("keys");
    if (Focus(u"sub")) Key(VK_RIGHT);
    WaitForListing(threaded);
    if (Focus(u"sub")) Key(VK_LEFT);
    if (Focus(u"sub")) Key(VK_RIGHT);
    WaitForListing(threaded);
    PaintNow();
    if (Focus(u"a.txt")) Key(VK_SPACE);
    if (Focus(u"sub\\deep")) Key(VK_RIGHT);
    Key('C', VK_CONTROL);
    Key('V', VK_CONTROL);
    Held([](V* v) { v->SelectAll(false); });
    SetRowStep("F5, double click");
    Key(VK_F5);
    WaitForListing(threaded);
    if (Focus(u"sub")) DoubleClickFocused();
    WaitForListing(threaded);
    SetRowStep("a change notification");
    MakeReportedFile(fresh);
    PumpUntil([&] { return tree == nullptr || LoadedNodeOf(tree, fresh) != nullptr; }, 3000);
    SetRowStep("lookup, new folder");
    LookUpAndMakeFolder(sub + u"\\deep\\d.txt");
    WaitForListing(threaded);
    SetRowStep("view stored and shown");
    if (tree != nullptr) GlobalViewManager()->StoreView(u"table", tree);
    if (tree != nullptr) GlobalViewManager()->ShowView(u"table", tree);
    WaitForListing(threaded);
    // Media in the root's drive refreshes the whole view; changed associations rebuild the icons too.
    SetRowStep("media inserted, associations changed");
    if (LPITEMIDLIST drive = PathToPIDL(TestDrive() + u"\\")) {
      Notify(SHCNE_MEDIAINSERTED, drive);
      NamespacePIDLManager->FreePIDL(drive);
    }
    WaitForListing(threaded);
    Notify(SHCNE_ASSOCCHANGED, nullptr);
    WaitForListing(threaded);
    SetRowStep("browse, root change");
    Browse(sub + u"\\deep");
    WaitForListing(threaded);
    Browse(folder + u"\\nowhere\\x");
    if (tree != nullptr) tree->SetRootFolderCustomPath(sub);
    WaitForListing(threaded);
    PaintNow();
    Pump(50);
    EXPECT_EQ(gCalledGoing, 0) << "a going view called its handlers";
    SetRowStep("the views freed");
    FreeLeft();
    Pump(50);
    // Nothing the views started outlives them: listings and change batches are let go.
    EXPECT_TRUE(TVirtualBackGndEnumThread::WaitForAll(10000));
    PumpUntil([] { return ShellEventListsAlive() == 0; }, 3000);
    EXPECT_EQ(ShellEventListsAlive(), 0);
  }

  int made = 0;
};

// The handler of every event: at the row's k-th call of the row's event it
// does the row's doom. The node doomed is the one told of, else the one
// holding the item told of, else the focused one.
void Strike(int event, TObject* sender, PVirtualNode node, TNamespace* item) {
  if (sender != nullptr && sender->Going()) ++gCalledGoing;
  ExplorerHandlerTable* t = gTable;
  if (t->tree == nullptr || event != gRow.event || ++gCalls != gRow.k) return;
  switch (TDoom(gRow.action % 3)) {
    case kFreeView:
      std::exchange(t->tree, nullptr)->Free();
      return;
    case kFreeForm:
      t->tree = nullptr;
      gCombo = nullptr;
      std::exchange(t->form, nullptr)->Free();
      return;
    case kFreeNode:
      for (PVirtualNode n = t->tree->GetFirstNoInit(); node == nullptr && item != nullptr && n != nullptr;
           n = t->tree->GetNextNoInit(n))
        if (t->tree->NodeNamespace(n) == item) node = n;
      if (node == nullptr || node == t->tree->RootNode()) node = t->tree->FocusedNode();
      if (node == nullptr) node = t->tree->RootNode()->FirstChild;
      if (node != nullptr && node != t->tree->RootNode()) t->tree->DeleteNode(node);
      return;
  }
}

}  // namespace

// The rows run in child processes (see RowProcesses.h), each the test again.
TEST_F(ExplorerHandlerTable, AHandlerFreeingItsViewItsFormOrItsNodeLeavesNothingTouched) {
  gTable = this;
  SetBaselines();
  MakeFolder(folder + u"\\sub");
  MakeFolder(folder + u"\\sub\\deep");
  MakeFile(folder + u"\\sub\\deep\\d.txt");
  MakeFile(folder + u"\\sub\\c.txt");
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  FreeLeft();  // the fixture's own tree takes no part
  bool child = RunOwnRows(Rows(), [this](int row) {
    Run(row);
    return gCalls >= gRow.k ? "reached its call" : "never reached its call";
  });
  if (child) return;
  // A sample: every event once at its first call, the rest drawn at random (the seed is printed).
  unsigned seed = std::random_device{}();
  std::printf("explorer handler table: sample seed %u\n", seed);
  std::vector<int> rows = Rows().Chosen(24, seed, [](const TRow& row) {
    return row.k == 1 && row.action == row.event % 3 + 3 * (row.event % 2);
  });
  std::vector<bool> seen(std::size(kEvents));
  for (const TRowOutcome& outcome : RunRowsInChildren(rows, 100))
    if (outcome.row >= 0 && outcome.note != "never reached its call") seen[Rows().all[outcome.row].event] = true;
  // The script reaches every event's handler (at its first call in the sample).
  for (size_t event = 0; event < std::size(kEvents) && std::getenv("QV_TABLE_CHOSEN") == nullptr; ++event) {
    if (std::string(kEvents[event].name) == "OnEnumThreadLengthyOperation") continue;  // only a slow listing
    EXPECT_TRUE(seen[event]) << kEvents[event].name << " was never called";
  }
}
