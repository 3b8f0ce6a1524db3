// The explorer tree's own pop-up menu beside the shell's context menu: which
// one a right click, the menu key or Shift+F10 shows where, none after a
// right-button drag, and a right click that keeps a selection the shell's
// menu will act on. No menu waits for a user: TrackPopupMenuEx is stood in for.
#include <shlobj.h>

#include <functional>
#include <map>

#include "../ImportPatch.h"
#include "InputDriver.h"
#include "ExplorerTestSupport.h"
#include "win/controls/Menus.h"

using namespace explorertest;

namespace {

int gTracked = 0;  // every menu that went up
POINT gTrackedAt{};
BOOL WINAPI CountingTrackPopupMenuEx(HMENU, UINT, int x, int y, HWND, LPTPMPARAMS) {
  ++gTracked;
  gTrackedAt = POINT{x, y};
  // A menu's loop takes the release of the key that opened it; F10's would
  // otherwise put the form in menu mode.
  MSG msg;
  for (UINT up : {WM_SYSKEYUP, WM_KEYUP})
    if (PeekMessageW(&msg, nullptr, up, up, PM_NOREMOVE) && msg.wParam == VK_F10)
      PeekMessageW(&msg, nullptr, up, up, PM_REMOVE);
  return 0;
}

TPopupMenu* gTreeMenu = nullptr;
int gTreeMenuShown = 0;
PVirtualNode gAskedFor = reinterpret_cast<PVirtualNode>(1);

struct ExplorerMenus : ExplorerFixture {
  TImportPatch* patch = nullptr;
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(TrackMenusWith(reinterpret_cast<void*>(&CountingTrackPopupMenuEx)));
    gTracked = 0;
    gTreeMenuShown = 0;
    gTreeMenu = New<TPopupMenu>(form);
    TMenuItem* entry = New<TMenuItem>(gTreeMenu);
    entry->SetCaption("Tree entry");
    gTreeMenu->Items()->Add(entry);
    gTreeMenu->OnPopup = [](TObject*) { ++gTreeMenuShown; };
    MakeFile(folder + u"\\a.txt");
    MakeFile(folder + u"\\b.txt");
    form->Show();
  }
  void TearDown() override {
    delete patch;
    gTreeMenu = nullptr;
    ExplorerFixture::TearDown();
  }
  // Menus are tracked by replacement instead of TrackPopupMenuEx; false when it could not be hooked.
  bool TrackMenusWith(void* replacement) {
    delete patch;
    patch = new TImportPatch("user32.dll", "TrackPopupMenuEx", replacement);
    return patch->Active();
  }
  void SetShellMenus(bool on) {
    TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
    TVETShellOptions shell = o->VETShellOptions();
    o->SetVETShellOptions(on ? shell.Include(toContextMenus) : shell.Exclude(toContextMenus));
  }
  // A right click at x (client) in node's row; dx from the middle of its label.
  void RightClick(PVirtualNode node, int dx = 0) {
    tree->ScrollIntoView(node, false);
    TRect r = tree->GetDisplayRect(node, NoColumn, /*textOnly=*/true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2 + dx, (r.Top + r.Bottom) / 2);
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
    tree->Perform(WM_RBUTTONUP, 0, at);
  }
};

}  // namespace

TEST_F(ExplorerMenus, ARightClickShowsOneMenuTheShellsOnAnItemAndTheTreesElsewhere) {
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  tree->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TPoint, bool& askParent,
                            TComponent*& menu) {
    gAskedFor = node;
    askParent = false;
    menu = gTreeMenu;
  };
  // On the label with shell menus: only the shell's.
  SetShellMenus(true);
  RightClick(a);
  EXPECT_EQ(gTracked, 1);
  EXPECT_EQ(gTreeMenuShown, 0);
  // Beside the label: only the tree's, asked for the tree as a whole and shown for it.
  gTracked = 0;
  RightClick(a, 150);
  EXPECT_EQ(gTreeMenuShown, 1);
  EXPECT_EQ(gTracked, 1);
  EXPECT_EQ(gAskedFor, nullptr);
  EXPECT_EQ(gTreeMenu->PopupComponent(), tree);
  // Without shell menus the tree's shows on the label too.
  SetShellMenus(false);
  gTracked = 0;
  gTreeMenuShown = 0;
  RightClick(NodeOf(folder + u"\\a.txt"));
  EXPECT_EQ(gTreeMenuShown, 1);
  EXPECT_EQ(gTracked, 1);
}

TEST_F(ExplorerMenus, ARightPressOnASelectedItemKeepsTheSelectionForTheShellsMenu) {
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect).Include(toRightClickSelect));
  for (bool shellMenus : {true, false}) {
    SetShellMenus(shellMenus);
    PVirtualNode a = NodeOf(folder + u"\\a.txt");
    PVirtualNode b = NodeOf(folder + u"\\b.txt");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    tree->ScrollIntoView(a, false);
    tree->SetFocusedNode(a);
    tree->ClearSelection();
    tree->AddToSelection(a);
    tree->AddToSelection(b);
    TRect r = tree->GetDisplayRect(a, NoColumn, /*textOnly=*/true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    ASSERT_TRUE(tree->GetSelected(b));
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
    // A menu for the item comes: both stay. With no menu at all the press selects only a.
    EXPECT_EQ(tree->GetSelected(b), shellMenus) << "shell menus " << shellMenus;
    EXPECT_TRUE(tree->GetSelected(a));
    tree->Perform(WM_RBUTTONUP, 0, at);
  }
}

// The menu key and Shift+F10, pressed for real: the shell's menu of the
// selection at its first item, or the tree's own menu without shell menus.
// Each press shows exactly one menu.
TEST_F(ExplorerMenus, TheMenuKeysShowOneMenuForTheSelection) {
  tree->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TPoint, bool& askParent,
                            TComponent*& menu) {
    askParent = false;
    menu = gTreeMenu;
  };
  SetForegroundWindow(form->Handle());
  tree->SetFocus();
  PVirtualNode b = NodeOf(folder + u"\\b.txt");
  ASSERT_NE(b, nullptr);
  tree->ScrollIntoView(b, false);
  tree->ClearSelection();
  tree->SetFocusedNode(b);
  tree->AddToSelection(b);
  TRect row = tree->GetDisplayRect(b, NoColumn, false);
  TPoint top = tree->ClientToScreen(Point(row.Left, row.Top));
  TInputDriver input(tree);
  struct Press {
    WORD key;
    std::initializer_list<WORD> modifiers;
    const char* name;
  };
  for (bool shellMenus : {true, false}) {
    SetShellMenus(shellMenus);
    for (const Press& press : {Press{VK_APPS, {}, "menu key"}, Press{VK_F10, {VK_SHIFT}, "Shift+F10"}}) {
      gTracked = 0;
      gTreeMenuShown = 0;
      gTrackedAt = POINT{};
      input.Key(press.key, press.modifiers);
      SCOPED_TRACE(std::string(press.name) + (shellMenus ? ", shell menus" : ", tree menu"));
      EXPECT_EQ(gTracked, 1);
      EXPECT_EQ(gTreeMenuShown, shellMenus ? 0 : 1);
      if (shellMenus) {
        EXPECT_GE(gTrackedAt.y, top.Y);
        EXPECT_LT(gTrackedAt.y, top.Y + (row.Bottom - row.Top));
      }
      EXPECT_TRUE(tree->GetSelected(b));
      EXPECT_EQ(tree->SelectedCount(), 1u);
    }
  }
}

// A right-button drag of the class library ends with the button's release,
// which the drag takes: no menu follows it.
TEST_F(ExplorerMenus, ARightButtonDragShowsNoMenuWhenItEnds) {
  tree->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TPoint, bool& askParent,
                            TComponent*& menu) {
    askParent = false;
    menu = gTreeMenu;
  };
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETShellOptions(o->VETShellOptions().Include(toDragDrop).Include(toContextMenus));
  tree->SetDragType(dtVCL);
  static int ended;
  ended = 0;
  tree->OnEndDrag = [](TObject*, TObject*, int, int) { ++ended; };
  SetForegroundWindow(form->Handle());
  tree->SetFocus();
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  PVirtualNode b = NodeOf(folder + u"\\b.txt");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  tree->ScrollIntoView(a, false);
  TRect ra = tree->GetDisplayRect(a, NoColumn, /*textOnly=*/true);
  TRect rb = tree->GetDisplayRect(b, NoColumn, /*textOnly=*/true);
  TInputDriver input(tree);
  // From a onto b's label, then from b onto the empty part of a's row.
  for (int dx : {0, 150}) {
    gTracked = 0;
    gTreeMenuShown = 0;
    const TRect& from = dx == 0 ? ra : rb;
    const TRect& to = dx == 0 ? rb : ra;
    input.Drag((from.Left + from.Right) / 2, (from.Top + from.Bottom) / 2, (to.Left + to.Right) / 2 + dx,
               (to.Top + to.Bottom) / 2, {}, /*rightButton=*/true);
    EXPECT_EQ(gTracked, 0) << dx;
    EXPECT_EQ(gTreeMenuShown, 0) << dx;
    EXPECT_FALSE(tree->TreeStates().Contains(tsRightButtonDown));
  }
  EXPECT_EQ(ended, 2);
  // A plain right click still shows the shell's menu.
  gTracked = 0;
  RightClick(a);
  EXPECT_EQ(gTracked, 1);
}

namespace {
TVirtualExplorerTreeview* gDoomed = nullptr;
}  // namespace

// The program's hook frees the tree while its shell menu is about to show
// (for the mouse and for the menu key): no menu goes up for the freed item,
// and nothing of the tree is touched afterwards.
TEST_F(ExplorerMenus, AMenuHandlerThatFreesTheTreeLeavesNothingTouched) {
  for (bool keyboard : {false, true}) {
    SCOPED_TRACE(keyboard ? "menu key" : "right click");
    gDoomed = New<TVirtualExplorerTreeview>(form);
    gDoomed->SetParent(form);
    gDoomed->SetBounds(4, 4, 400, 480);
    gDoomed->SetRootFolderCustomPath(folder);
    gDoomed->SetActive(true);
    gDoomed->BringToFront();
    gDoomed->OnContextMenuShow = [](TNamespace*, HMENU, bool&) { std::exchange(gDoomed, nullptr)->Free(); };
    PVirtualNode first = gDoomed->GetFirst();
    ASSERT_NE(first, nullptr);
    SelectOnly(gDoomed, first);
    TRect r = gDoomed->GetDisplayRect(first, NoColumn, /*textOnly=*/true);
    LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    HWND window = gDoomed->Handle();
    gTracked = 0;
    if (keyboard) {
      SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), -1);
    } else {
      SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, at);
      SendMessageW(window, WM_RBUTTONUP, 0, at);
    }
    EXPECT_EQ(gDoomed, nullptr) << "the hook ran";
    EXPECT_EQ(gTracked, 0);
    EXPECT_FALSE(IsWindow(window));
  }
}

namespace {
// Chooses the shell's rename command (shown or not) instead of waiting for a user.
constexpr UINT kRenameCommand = 1 + 0x12;
BOOL WINAPI ChoosingRename(HMENU, UINT, int, int, HWND, LPTPMPARAMS) {
  ++gTracked;
  return static_cast<BOOL>(kRenameCommand);
}
}  // namespace

// The program's command hook frees the tree and leaves the command to it
// (Rename, where the shell knows that command there): the tree, gone, opens
// no editor, and nothing of it or of its item is touched afterwards.
TEST_F(ExplorerMenus, ACommandHookThatFreesTheTreeLeavesNothingTouched) {
  ASSERT_TRUE(TrackMenusWith(reinterpret_cast<void*>(&ChoosingRename)));
  gDoomed = New<TVirtualExplorerTreeview>(form);
  gDoomed->SetParent(form);
  gDoomed->SetBounds(4, 4, 400, 480);
  gDoomed->SetFileObjects({foFolders, foNonFolders});
  gDoomed->SetRootFolderCustomPath(folder);
  gDoomed->SetActive(true);
  gDoomed->BringToFront();
  static std::u16string gVerb;
  gVerb.clear();
  gDoomed->OnContextMenuCmd = [](TNamespace*, const std::u16string& verb, int, bool& handled) {
    gVerb = verb;
    std::exchange(gDoomed, nullptr)->Free();
    // Any other command is not run.
    handled = verb != u"rename";
  };
  // A file: the shell offers Rename for it.
  PVirtualNode first = gDoomed->GetFirst();
  while (first != nullptr && gDoomed->NodeNamespace(first)->Folder()) first = gDoomed->GetNext(first);
  ASSERT_NE(first, nullptr);
  SelectOnly(gDoomed, first);
  HWND window = gDoomed->Handle();
  gTracked = 0;
  SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), -1);
  EXPECT_EQ(gTracked, 1);
  EXPECT_EQ(gDoomed, nullptr) << "the hook ran";
  EXPECT_FALSE(gVerb.empty());
  EXPECT_FALSE(IsWindow(window));
}

namespace {

// A shell menu that counts the menu messages handed to it.
class TRecordingMenu : public IContextMenu3 {
public:
  std::map<UINT, int> seen;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IContextMenu || iid == IID_IContextMenu2 || iid == IID_IContextMenu3) {
      *out = static_cast<IContextMenu3*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT) override {
    InsertMenuW(menu, index, MF_BYPOSITION | MF_OWNERDRAW, first, nullptr);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT msg, WPARAM, LPARAM) override {
    ++seen[msg];
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT msg, WPARAM, LPARAM, LRESULT* result) override {
    ++seen[msg];
    if (result != nullptr) *result = msg == WM_MENUCHAR ? MAKELRESULT(0, MNC_EXECUTE) : TRUE;
    return S_OK;
  }
  LONG refs = 1;
};

TRecordingMenu* gRecording = nullptr;
using TGetUIObjectOf = HRESULT(STDMETHODCALLTYPE*)(IShellFolder*, HWND, UINT, LPCITEMIDLIST*, REFIID, UINT*, void**);
TGetUIObjectOf gShellGetUIObjectOf = nullptr;
LRESULT gMenuCharAnswer = 0;

HRESULT STDMETHODCALLTYPE RecordingGetUIObjectOf(IShellFolder* self, HWND window, UINT count, LPCITEMIDLIST* ids,
                                                 REFIID iid, UINT* reserved, void** out) {
  if (gRecording != nullptr && iid == IID_IContextMenu) return gRecording->QueryInterface(iid, out);
  return gShellGetUIObjectOf(self, window, count, ids, iid, reserved, out);
}

// Stands in for the menu's loop: the owner gets what a real menu sends it.
BOOL WINAPI SendingMenuMessages(HMENU menu, UINT, int, int, HWND owner, LPTPMPARAMS) {
  ++gTracked;
  UINT id = GetMenuItemID(menu, 0);
  SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, FALSE));
  MEASUREITEMSTRUCT measure{ODT_MENU, 0, id, 0, 0, 0};
  SendMessageW(owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
  DRAWITEMSTRUCT draw{};
  draw.CtlType = ODT_MENU;
  draw.itemID = id;
  draw.hwndItem = reinterpret_cast<HWND>(menu);
  draw.hDC = GetDC(owner);
  SendMessageW(owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
  ReleaseDC(owner, draw.hDC);
  gMenuCharAnswer = SendMessageW(owner, WM_MENUCHAR, MAKEWPARAM(u'r', MF_POPUP), reinterpret_cast<LPARAM>(menu));
  return 0;
}

// Shows a menu by show() while parent answers for its items with a recording
// menu: each owner-drawn menu message reaches that menu once, and its answer
// to a menu key comes back.
void ExpectEachMenuMessageOnce(IShellFolder* parent, const std::function<void()>& show) {
  TRecordingMenu menu;
  gRecording = &menu;
  {
    // GetUIObjectOf is the eleventh entry of IShellFolder's table.
    TMethodPatch folderPatch(parent, 10, reinterpret_cast<void*>(&RecordingGetUIObjectOf));
    gShellGetUIObjectOf = reinterpret_cast<TGetUIObjectOf>(folderPatch.original);
    gTracked = 0;
    show();
  }
  gRecording = nullptr;
  EXPECT_EQ(gTracked, 1);
  for (UINT msg : {UINT(WM_INITMENUPOPUP), UINT(WM_MEASUREITEM), UINT(WM_DRAWITEM), UINT(WM_MENUCHAR)})
    EXPECT_EQ(menu.seen[msg], 1) << "message 0x" << std::hex << msg;
  EXPECT_EQ(gMenuCharAnswer, MAKELRESULT(0, MNC_EXECUTE));
  EXPECT_EQ(menu.refs, 1) << "every reference the menu handed out came back";
}

}  // namespace

// The tree owns the shell's menu and hands owner-drawn menu messages on to
// it; the menu's own window procedure on the tree does so too. Each message
// reaches the menu once, and the menu's answer to a menu key comes back.
TEST_F(ExplorerMenus, EachMenuMessageReachesTheShellsMenuOnce) {
  ASSERT_TRUE(TrackMenusWith(reinterpret_cast<void*>(&SendingMenuMessages)));
  SetShellMenus(true);
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  IShellFolder* parent = tree->NodeNamespace(a)->ParentShellFolder();
  ASSERT_NE(parent, nullptr);
  ExpectEachMenuMessageOnce(parent, [&] { RightClick(a); });
}

// An owner that does not hand menu messages on itself (a plain form): the
// menu's window procedure gives each to the shell's menu, once.
TEST_F(ExplorerMenus, EachMenuMessageReachesTheShellsMenuOnceWhenTheOwnerIsNotTheTree) {
  ASSERT_TRUE(TrackMenusWith(reinterpret_cast<void*>(&SendingMenuMessages)));
  PVirtualNode a = NodeOf(folder + u"\\a.txt");
  ASSERT_NE(a, nullptr);
  TNamespace* item = tree->NodeNamespace(a);
  IShellFolder* parent = item->ParentShellFolder();
  ASSERT_NE(parent, nullptr);
  ExpectEachMenuMessageOnce(parent, [&] {
    TPoint at{20, 20};
    item->ShowContextMenu(form, &at, u"", nullptr, nullptr, nullptr, nullptr);
  });
}
