// Every handler of the explorer views, at its k-th call, frees the view, its
// form or the node it is told about, while a script of operations runs that
// fires them: folders opened by key, a root change, checks, F5 with a
// selection, shell change notifications (media inserted, associations
// changed), a browse from the path combo box, a lookup, a new folder and a
// view stored and shown by code outside a message and, on a view that lists
// in the background, the listing landing. Forms and
// views are fenced: a touch of either after its release faults where it
// happens. CI runs a sample of the table; QV_LONG=1 runs all of it.
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "core/FencedObjects.h"
#include "shell/ExplorerCombobox.h"
#include "shell/GlobalViewManager.h"
#include "shell/ShellNotifier.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualBackGndEnumThread.h"
#include "shell/ViewHold.h"
#include "win/Forms.h"

using namespace explorertest;

namespace {

enum TDoom { kFreeView, kFreeForm, kFreeNode };
const char* const kDoomNames[] = {"view", "form", "node"};

TForm* gForm = nullptr;
TVirtualExplorerTreeview* gView = nullptr;
TVirtualExplorerCombobox* gCombo = nullptr;
const char* gEvent = "";
TDoom gDoom = kFreeView;
int gK = 1;
int gCalls = 0;
int gCalledGoing = 0;  // handlers called by a view (or combo box) already going
int gShellEvents = 0;  // change notifications the view was told of

// The handler of every row: at the row's k-th call it does the row's doom.
// The node doomed is the one told of, else the one holding the item told of, else the focused one.
void Strike(const char* event, TObject* sender, PVirtualNode node, TNamespace* item = nullptr) {
  if (sender->Going()) ++gCalledGoing;
  if (gView == nullptr || std::strcmp(event, gEvent) != 0) return;
  if (++gCalls != gK) return;
  switch (gDoom) {
    case kFreeView:
      std::exchange(gView, nullptr)->Free();
      return;
    case kFreeForm:
      gView = nullptr;
      gCombo = nullptr;
      std::exchange(gForm, nullptr)->Free();
      return;
    case kFreeNode:
      for (PVirtualNode n = gView->GetFirstNoInit(); node == nullptr && item != nullptr && n != nullptr;
           n = gView->GetNextNoInit(n))
        if (gView->NodeNamespace(n) == item) node = n;
      if (node == nullptr || node == gView->RootNode()) node = gView->FocusedNode();
      if (node == nullptr) node = gView->RootNode()->FirstChild;
      if (node != nullptr && node != gView->RootNode()) gView->DeleteNode(node);
      return;
  }
}

using V = TVirtualExplorerTreeview;
struct TRow {
  const char* event;
  void (*bind)(V*);
};

// Each row binds its event to Strike; the clipboard handlers always answer
// handled (the script's keys never reach the shell's clipboard), a run is
// always refused.
const TRow kRows[] = {
    {"OnEnumFolder",
     [](V* v) {
       v->OnEnumFolder = [](TCustomVirtualExplorerTree* s, TNamespace* ns, bool&) { Strike("OnEnumFolder", s, nullptr, ns); };
     }},
    {"OnEnumFinished", [](V* v) { v->OnEnumFinished = [](TCustomVirtualExplorerTree* s) { Strike("OnEnumFinished", s, nullptr); }; }},
    {"OnEnumThreadLengthyOperation",
     [](V* v) {
       v->OnEnumThreadLengthyOperation = [](TCustomVirtualExplorerTree* s, bool&) {
         Strike("OnEnumThreadLengthyOperation", s, nullptr);
       };
     }},
    {"OnRootChanging",
     [](V* v) {
       v->OnRootChanging = [](TCustomVirtualExplorerTree* s, TRootFolder, TNamespace* current, TNamespace*, bool&) {
         Strike("OnRootChanging", s, nullptr, current);
       };
     }},
    {"OnRootChange", [](V* v) { v->OnRootChange = [](TCustomVirtualExplorerTree* s) { Strike("OnRootChange", s, nullptr); }; }},
    {"OnRootRebuild", [](V* v) { v->OnRootRebuild = [](TCustomVirtualExplorerTree* s) { Strike("OnRootRebuild", s, nullptr); }; }},
    {"OnCustomNamespace",
     [](V* v) { v->OnCustomNamespace = [](TCustomVirtualExplorerTree* s, PVirtualNode n) { Strike("OnCustomNamespace", s, n); }; }},
    {"OnNamespaceStructureChange",
     [](V* v) {
       v->OnNamespaceStructureChange = [](TCustomVirtualExplorerTree* s, PVirtualNode n, TNamespace* ns,
                                          TNamespaceStructureChange) { Strike("OnNamespaceStructureChange", s, n, ns); };
     }},
    {"OnGetVETText",
     [](V* v) {
       v->OnGetVETText = [](TCustomVirtualExplorerTree* s, TColumnIndex, PVirtualNode n, TNamespace*, std::u16string&) {
         Strike("OnGetVETText", s, n);
       };
     }},
    {"OnShellNotify",
     [](V* v) {
       v->OnShellNotify = [](TCustomVirtualExplorerTree* s, TVirtualShellEvent*) {
         ++gShellEvents;
         Strike("OnShellNotify", s, nullptr);
       };
     }},
    {"OnShellExecute",
     [](V* v) {
       v->OnShellExecute = [](TCustomVirtualExplorerTree* s, TNamespace* ns, std::u16string&, std::u16string&,
                              bool& allow) {
         allow = false;
         Strike("OnShellExecute", s, nullptr, ns);
       };
     }},
    {"OnTreeDblClick",
     [](V* v) {
       v->OnTreeDblClick = [](TCustomVirtualExplorerTree* s, PVirtualNode n, TMouseButton, TPoint) {
         Strike("OnTreeDblClick", s, n);
       };
     }},
    {"OnClipboardCopy",
     [](V* v) {
       v->OnClipboardCopy = [](TCustomVirtualExplorerTree* s, bool& handled) {
         handled = true;
         Strike("OnClipboardCopy", s, nullptr);
       };
     }},
    {"OnClipboardPaste",
     [](V* v) {
       v->OnClipboardPaste = [](TCustomVirtualExplorerTree* s, bool& handled) {
         handled = true;
         Strike("OnClipboardPaste", s, nullptr);
       };
     }},
    {"OnHeaderRebuild",
     [](V* v) { v->OnHeaderRebuild = [](TCustomVirtualExplorerTree* s, TVTHeader*) { Strike("OnHeaderRebuild", s, nullptr); }; }},
    {"OnDragAllowed",
     [](V* v) {
       v->OnDragAllowed = [](TBaseVirtualTree* s, PVirtualNode n, TColumnIndex, bool&) { Strike("OnDragAllowed", s, n); };
     }},
    // The tree's own events where the explorer's code goes on after them.
    {"OnChange", [](V* v) { v->OnChange = [](TBaseVirtualTree* s, PVirtualNode n) { Strike("OnChange", s, n); }; }},
    {"OnInitNode",
     [](V* v) {
       v->OnInitNode = [](TBaseVirtualTree* s, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
         if (n->CheckType == ctNone) n->CheckType = ctTriStateCheckBox;
         Strike("OnInitNode", s, n);
       };
     }},
    {"OnChecked", [](V* v) { v->OnChecked = [](TBaseVirtualTree* s, PVirtualNode n) { Strike("OnChecked", s, n); }; }},
    {"OnCollapsed", [](V* v) { v->OnCollapsed = [](TBaseVirtualTree* s, PVirtualNode n) { Strike("OnCollapsed", s, n); }; }},
    {"OnPathChange",
     [](V*) {
       gCombo->OnPathChange = [](TCustomVirtualExplorerCombobox* s, TNamespace* ns) {
         Strike("OnPathChange", s, nullptr, ns);
       };
     }},
    {"OnInvalidPath",
     [](V*) {
       gCombo->OnInvalidPath = [](TCustomVirtualExplorerCombobox* s, const std::u16string&) {
         Strike("OnInvalidPath", s, nullptr);
       };
     }},
};

struct TCase {
  size_t row;
  TDoom doom;
  int k;
  bool threaded;
};

std::string CaseName(const TCase& c) {
  return std::string(kRows[c.row].event) + " frees the " + kDoomNames[c.doom] + " at call " + std::to_string(c.k) +
         (c.threaded ? " (listing in the background)" : "");
}

struct ExplorerHandlerTable : ExplorerFixture {
  void TearDown() override {
    FreeLeft();
    ExplorerFixture::TearDown();
  }
  static void FreeLeft() {
    gView = nullptr;
    gCombo = nullptr;
    if (gForm != nullptr) std::exchange(gForm, nullptr)->Free();
  }

  // A form of its own, fenced, with a view rooted at folder and a linked path combo box.
  // bind sets the row's handler before the window is made (the header is built then).
  void MakeViews(bool threaded, void (*bind)(V*)) {
    SetObjectFencing(std::min({sizeof(TForm), sizeof(TVirtualExplorerTreeview), sizeof(TVirtualExplorerCombobox)}));
    gForm = New<TForm>(Application);
    gView = New<TVirtualExplorerTreeview>(gForm);
    gCombo = New<TVirtualExplorerCombobox>(gForm);
    SetObjectFencing(0);
    gForm->SetBounds(440, 10, 420, 520);
    gCombo->SetParent(gForm);
    gCombo->SetBounds(4, 4, 400, 23);
    gView->SetParent(gForm);
    gView->SetBounds(4, 32, 400, 440);
    gView->SetFileObjects({foFolders, foNonFolders, foHidden});
    TCustomVirtualExplorerTreeOptions* o = gView->TreeOptions();
    o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
    o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
    o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
    o->SetVETMiscOptions(o->VETMiscOptions().Include(toExecuteOnDblClk));
    o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
    // A list (shell columns, listed in the background) or a tree with the explorer's columns.
    if (threaded) {
      o->SetVETFolderOptions(o->VETFolderOptions().Include(toHideRootFolder));
      gView->SetThreadedEnum(true);
    }
    gView->SetColumnDetails(threaded ? cdShellColumns : cdVETColumns);
    gView->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
      if (n->CheckType == ctNone) n->CheckType = ctTriStateCheckBox;
    };
    gView->OnClipboardCopy = [](TCustomVirtualExplorerTree*, bool& handled) { handled = true; };
    gView->OnClipboardPaste = [](TCustomVirtualExplorerTree*, bool& handled) { handled = true; };
    gView->OnShellExecute = [](TCustomVirtualExplorerTree*, TNamespace*, std::u16string&, std::u16string&,
                               bool& allow) { allow = false; };
    gCombo->OnInvalidPath = [](TCustomVirtualExplorerCombobox*, const std::u16string&) {};
    gView->OnShellNotify = [](TCustomVirtualExplorerTree*, TVirtualShellEvent*) { ++gShellEvents; };
    bind(gView);
    Held([](V*) { gForm->Show(); });
    if (gView != nullptr && gCombo != nullptr) gCombo->SetVirtualExplorerTree(gView);
  }

  static void Key(WORD vk, bool ctrl = false) {
    if (gView == nullptr) return;
    HWND window = gView->Handle();
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_CONTROL];
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    SendMessageW(window, WM_KEYDOWN, vk, 1);
    if (IsWindow(window)) SendMessageW(window, WM_KEYUP, vk, 0xC0000001);
    keys[VK_CONTROL] = saved;
    SetKeyboardState(keys);
  }
  // Runs step on the view while holding it, as a caller inside a message
  // is held: the step may free it (gView is then null).
  template <class F>
  static void Held(F step) {
    if (gView == nullptr) return;
    TViewHold hold(gView);
    step(gView);
  }
  // Focuses and selects the node whose item's name is name (nodes made already).
  static bool Focus(const std::u16string& name) {
    PVirtualNode found = nullptr;
    if (gView == nullptr) return false;
    for (PVirtualNode n = gView->GetFirstNoInit(); n != nullptr && found == nullptr; n = gView->GetNextNoInit(n))
      if (TNamespace* ns = gView->NodeNamespace(n); ns != nullptr && ns->NameInFolder() == name) found = n;
    if (found == nullptr) return false;
    Held([&](V* v) { v->ClearSelection(); });
    Held([&](V* v) { v->SetFocusedNode(found); });
    Held([&](V* v) { v->AddToSelection(found); });
    return gView != nullptr;
  }
  static void WaitForListing(bool threaded) {
    if (threaded) PumpUntil([] { return gView == nullptr || !gView->EnumThreadRunning(); }, 10000);
  }
  static void PaintNow() {
    if (gView != nullptr) RedrawWindow(gView->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  static void Browse(const std::u16string& path) {
    if (gCombo == nullptr) return;
    gCombo->ComboEdit()->SetTextW(path);
    SendMessageW(gCombo->ComboEdit()->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  }
  // Code outside a message (no hold around it): a lookup that opens the path
  // to path and selects it, then a new folder made beside it, its editor left.
  static void LookUpAndMakeFolder(const std::u16string& path) {
    LPITEMIDLIST pidl = gView != nullptr ? PathToPIDL(path) : nullptr;
    if (pidl == nullptr) return;
    gView->WalkPIDLToNode(pidl, /*select=*/true, /*expandPath=*/true, /*reinit=*/false, /*init=*/true);
    NamespacePIDLManager->FreePIDL(pidl);
    if (gView == nullptr) return;
    TCustomVirtualExplorerTreeOptions* o = gView->TreeOptions();
    o->SetMiscOptions(o->MiscOptions().Include(toEditable));
    std::u16string made;
    gView->CreateNewFolder(path, made);
    if (gView != nullptr) Held([](V* v) { v->CancelEditNode(); });
    if (gView != nullptr) o->SetMiscOptions(o->MiscOptions().Exclude(toEditable));
    if (!made.empty()) RemoveDirectoryW(W(made));
  }
  // Tells the view of a change (unfiltered, as a program that knows of it
  // does; null: one the shell reports with no item) and waits until it was told.
  static void Notify(LONG code, LPCITEMIDLIST pidl) {
    if (gView == nullptr) return;
    int before = gShellEvents;
    ChangeNotifier()->SetFilterEvents(false);
    if (pidl != nullptr)
      ChangeNotifier()->PostShellNotify(code, pidl, nullptr);
    else
      SHChangeNotify(code, SHCNF_IDLIST, nullptr, nullptr);
    PumpUntil([&] { return gView == nullptr || gShellEvents > before; }, 3000);
    Pump(50);
    ChangeNotifier()->SetFilterEvents(true);
  }
  static void DoubleClickFocused() {
    if (gView == nullptr || gView->FocusedNode() == nullptr) return;
    TRect r = gView->GetDisplayRect(gView->FocusedNode(), NoColumn, true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    HWND window = gView->Handle();
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    if (IsWindow(window)) SendMessageW(window, WM_LBUTTONUP, 0, at);
    if (IsWindow(window)) SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    if (IsWindow(window)) SendMessageW(window, WM_LBUTTONUP, 0, at);
  }

  void Run(const TCase& c) {
    SCOPED_TRACE(CaseName(c));
    gEvent = kRows[c.row].event;
    gDoom = c.doom;
    gK = c.k;
    gCalls = 0;
    gCalledGoing = 0;
    gShellEvents = 0;
    MakeViews(c.threaded, kRows[c.row].bind);
    std::u16string sub = folder + u"\\sub";
    std::string number = std::to_string(++made);
    std::u16string fresh = folder + u"\\fresh" + std::u16string(number.begin(), number.end()) + u".txt";
    // The script: each step goes on with what is left.
    // The explorer's own operations hold the view themselves; the tree's
    // (FullExpand, selection) are held as a caller inside a message is.
    if (gView != nullptr) gView->SetRootFolderCustomPath(folder);
    if (gView != nullptr) gView->SetActive(true);
    WaitForListing(c.threaded);
    PaintNow();
    Held([](V* v) { v->FullExpand(nullptr); });
    WaitForListing(c.threaded);
    PaintNow();
    if (Focus(u"sub")) Key(VK_RIGHT);
    WaitForListing(c.threaded);
    if (Focus(u"sub")) Key(VK_LEFT);
    if (Focus(u"sub")) Key(VK_RIGHT);
    WaitForListing(c.threaded);
    PaintNow();
    if (Focus(u"a.txt")) Key(VK_SPACE);
    if (Focus(u"deep")) Key(VK_RIGHT);
    Key('C', /*ctrl=*/true);
    Key('V', /*ctrl=*/true);
    Held([](V* v) { v->SelectAll(false); });
    Key(VK_F5);
    WaitForListing(c.threaded);
    if (Focus(u"sub")) DoubleClickFocused();
    WaitForListing(c.threaded);
    MakeFile(fresh);
    ReportChange(SHCNE_CREATE, fresh);
    PumpUntil(
        [&] {
          if (gView == nullptr) return true;
          LPITEMIDLIST pidl = PathToPIDL(fresh);
          bool shown = pidl != nullptr && gView->FindLoadedNodeByPIDL(pidl) != nullptr;
          if (pidl != nullptr) NamespacePIDLManager->FreePIDL(pidl);
          return shown;
        },
        3000);
    LookUpAndMakeFolder(sub + u"\\deep\\d.txt");
    WaitForListing(c.threaded);
    if (gView != nullptr) GlobalViewManager()->StoreView(u"table", gView);
    if (gView != nullptr) GlobalViewManager()->ShowView(u"table", gView);
    WaitForListing(c.threaded);
    // Media in the root's drive refreshes the whole view; changed associations rebuild the icons too.
    if (LPITEMIDLIST drive = PathToPIDL(TestDrive() + u"\\")) {
      Notify(SHCNE_MEDIAINSERTED, drive);
      NamespacePIDLManager->FreePIDL(drive);
    }
    WaitForListing(c.threaded);
    Notify(SHCNE_ASSOCCHANGED, nullptr);
    WaitForListing(c.threaded);
    Browse(sub + u"\\deep");
    WaitForListing(c.threaded);
    Browse(folder + u"\\nowhere\\x");
    if (gView != nullptr) gView->SetRootFolderCustomPath(sub);
    WaitForListing(c.threaded);
    PaintNow();
    Pump(50);
    seen[c.row] = seen[c.row] || gCalls >= c.k;
    EXPECT_EQ(gCalledGoing, 0) << "a going view called its handlers";
    FreeLeft();
    Pump(50);
    // Nothing the views started outlives them: listings and change batches are let go.
    EXPECT_TRUE(TVirtualBackGndEnumThread::WaitForAll(10000));
    PumpUntil([] { return ShellEventListsAlive() == 0; }, 3000);
    EXPECT_EQ(ShellEventListsAlive(), 0);
  }

  int made = 0;
  std::vector<bool> seen = std::vector<bool>(std::size(kRows), false);
};

std::vector<TCase> AllCases() {
  std::vector<TCase> cases;
  for (size_t row = 0; row < std::size(kRows); ++row)
    for (TDoom doom : {kFreeView, kFreeForm, kFreeNode})
      for (int k : {1, 2, 5})
        for (bool threaded : {false, true}) cases.push_back({row, doom, k, threaded});
  return cases;
}

}  // namespace

TEST_F(ExplorerHandlerTable, AHandlerFreeingItsViewItsFormOrItsNodeLeavesNothingTouched) {
  MakeFolder(folder + u"\\sub");
  MakeFolder(folder + u"\\sub\\deep");
  MakeFile(folder + u"\\sub\\deep\\d.txt");
  MakeFile(folder + u"\\sub\\c.txt");
  MakeFile(folder + u"\\a.txt");
  MakeFile(folder + u"\\b.txt");
  // The fixture's own tree takes no part.
  form->Free();
  form = nullptr;
  std::vector<TCase> cases = AllCases();
  const char* longRun = std::getenv("QV_LONG");
  if (std::getenv("QV_TABLE_CASE") != nullptr) longRun = "1";
  if (longRun == nullptr || std::strcmp(longRun, "1") != 0) {
    // A sample: every row once at its first call, the rest drawn at random (the seed is printed).
    std::vector<TCase> sample;
    for (size_t row = 0; row < std::size(kRows); ++row)
      sample.push_back({row, TDoom(row % 3), 1, row % 2 == 1});
    unsigned seed = std::random_device{}();
    std::printf("explorer handler table: sample seed %u\n", seed);
    std::mt19937 random(seed);
    std::shuffle(cases.begin(), cases.end(), random);
    sample.insert(sample.end(), cases.begin(), cases.begin() + 24);
    cases = sample;
  }
  // QV_TABLE_CASE="<part of a case name>" runs only the matching cases (to replay one).
  const char* only = std::getenv("QV_TABLE_CASE");
  for (const TCase& c : cases) {
    if (only != nullptr && CaseName(c).find(only) == std::string::npos) continue;
    if (std::getenv("QV_TABLE_TRACE") != nullptr) std::fprintf(stderr, "case: %s\n", CaseName(c).c_str());
    Run(c);
    if (HasFatalFailure()) return;
  }
  // The script reaches every row's handler (at its first call in the sample).
  for (size_t row = 0; row < std::size(kRows) && only == nullptr; ++row) {
    if (std::strcmp(kRows[row].event, "OnEnumThreadLengthyOperation") == 0) continue;  // only a slow listing
    EXPECT_TRUE(seen[row]) << kRows[row].event << " was never called";
  }
}
