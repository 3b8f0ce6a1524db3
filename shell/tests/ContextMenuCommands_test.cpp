// What happens after a choice in a shell item's context menu: the class
// library's items (nested too) clicked by their own numbers, the view's
// command and after-command hooks, a command the shell names no verb for,
// extended verbs with Shift. The menu's choice is made by standing in for
// TrackPopupMenuEx, so no menu waits for a user.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ImportPatch.h"
#include "ShellTestHelpers.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"
#include "win/controls/Menus.h"
#include "win/testing/Harness.h"

using shelltest::TempFolder;

namespace {

// The menu's answer: what the chooser returns for the menu about to show.
std::function<UINT(HMENU)> gChooser;
std::vector<UINT> gShownFlags;

BOOL WINAPI ChoosingTrackPopupMenuEx(HMENU menu, UINT flags, int, int, HWND, LPTPMPARAMS) {
  gShownFlags.push_back(flags);
  return gChooser ? static_cast<BOOL>(gChooser(menu)) : 0;
}

// Every command number of menu and its submenus, in menu order.
void CollectIDs(HMENU menu, std::vector<UINT>& ids) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      CollectIDs(sub, ids);
      continue;
    }
    UINT id = GetMenuItemID(menu, i);
    if (id != 0 && id != UINT(-1)) ids.push_back(id);
  }
}

// The command number of the item captioned caption anywhere in menu, or 0.
UINT FindByCaption(HMENU menu, const std::u16string& caption) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (UINT id = FindByCaption(sub, caption)) return id;
      continue;
    }
    wchar_t text[128] = {};
    GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
    if (vws::FromW(text) == caption) return GetMenuItemID(menu, i);
  }
  return 0;
}

struct TCommandLog : TObject {
  TNamespace* item = nullptr;
  std::vector<std::u16string> commands, afterCommands;
  std::vector<int> commandIDs, afterIDs;
  std::vector<bool> afterSucceeded;
  bool handle = false;
  void Clear(bool handle_) {
    commands.clear();
    afterCommands.clear();
    commandIDs.clear();
    afterIDs.clear();
    afterSucceeded.clear();
    handle = handle_;
  }
  void Command(TNamespace*, const std::u16string& verb, int id, bool& handled) {
    commands.push_back(verb);
    commandIDs.push_back(id);
    handled = handle;
  }
  void After(TNamespace*, const std::u16string& verb, int id, bool succeeded) {
    afterCommands.push_back(verb);
    afterIDs.push_back(id);
    afterSucceeded.push_back(succeeded);
  }
};

struct TClickLog : TObject {
  std::vector<std::string> clicked;
  void Click(TObject* sender) { clicked.push_back(static_cast<TMenuItem*>(sender)->Caption()); }
};

struct ContextMenuCommands : ::testing::Test {
  TempFolder folder;
  TForm* form = nullptr;
  TNamespace* item = nullptr;
  TImportPatch* patch = nullptr;
  TPoint at{40, 40};

  static void SetUpTestSuite() { OleInitialize(nullptr); }
  void SetUp() override {
    patch = new TImportPatch("user32.dll", "TrackPopupMenuEx", reinterpret_cast<void*>(&ChoosingTrackPopupMenuEx));
    ASSERT_TRUE(patch->Active());
    gChooser = nullptr;
    gShownFlags.clear();
    form = qvtest::NewFormFromText<TForm>("TForm MenuOwner { Left = 10; Top = 10; Width = 300; Height = 200; }");
    item = TNamespace::CreateFromFileName(folder.MakeFile(u"picked.txt", 10));
  }
  void TearDown() override {
    if (item != nullptr) item->Free();
    if (form != nullptr) form->Free();
    delete patch;
    gChooser = nullptr;
    OleSetClipboard(nullptr);
  }
  // The command number whose verb the shell gives as verb (the item's menu is up), or 0.
  UINT FindVerb(HMENU menu, const std::u16string& verb) {
    std::vector<UINT> ids;
    CollectIDs(menu, ids);
    for (UINT id : ids)
      if (lstrcmpiW(shelltest::W(item->ContextMenuVerb(id)), shelltest::W(verb)) == 0) return id;
    return 0;
  }
};

}  // namespace

TEST_F(ContextMenuCommands, NestedItemsOfOurPopupHaveTheirOwnNumbers) {
  TPopupMenu* popup = New<TPopupMenu>(form);
  TClickLog clicks;
  auto add = [&](TMenuItem* parent, const char* caption) {
    TMenuItem* made = New<TMenuItem>(popup);
    made->SetCaption(caption);
    made->OnClick = MakeEvent<&TClickLog::Click>(&clicks);
    parent->Add(made);
    return made;
  };
  add(popup->Items(), "Top");
  TMenuItem* outer = add(popup->Items(), "Outer");
  add(outer, "First inner");
  TMenuItem* deeper = add(outer, "Deeper");
  add(deeper, "Deepest A");
  add(deeper, "Deepest B");
  add(outer, "Last inner");
  add(popup->Items(), "Bottom");
  std::vector<UINT> seen;
  for (const char16_t* caption : {u"Deepest A", u"First inner", u"Bottom", u"Deepest B", u"Top", u"Last inner"}) {
    gChooser = [&, caption](HMENU menu) {
      seen.clear();
      CollectIDs(menu, seen);
      return FindByCaption(menu, caption);
    };
    clicks.clicked.clear();
    item->ShowContextMenu(form, &at, u"Ours", popup, nullptr, nullptr, nullptr);
    EXPECT_EQ(clicks.clicked, std::vector<std::string>{vws::ToAnsi(caption)});
    std::set<UINT> unique(seen.begin(), seen.end());
    EXPECT_EQ(unique.size(), seen.size()) << "command numbers are given twice";
  }
}

TEST_F(ContextMenuCommands, TheHooksSeeTheVerbAndTheAfterHookTheOutcome) {
  TCommandLog log;
  UINT copyID = 0;
  gChooser = [&](HMENU menu) { return copyID = FindVerb(menu, u"copy"); };
  bool ran = item->ShowContextMenu(form, &at, u"", nullptr, nullptr, MakeEvent<&TCommandLog::Command>(&log),
                                   MakeEvent<&TCommandLog::After>(&log));
  ASSERT_NE(copyID, 0u);
  EXPECT_TRUE(ran);
  ASSERT_EQ(log.commands.size(), 1u);
  EXPECT_EQ(lstrcmpiW(shelltest::W(log.commands[0]), L"copy"), 0);
  EXPECT_EQ(log.commandIDs[0], int(copyID));
  ASSERT_EQ(log.afterCommands.size(), 1u);
  EXPECT_EQ(log.afterCommands[0], log.commands[0]);
  EXPECT_EQ(log.afterIDs[0], int(copyID));
  EXPECT_TRUE(log.afterSucceeded[0]);
  // The shell really ran it: the clipboard offers the file.
  IDataObject* data = nullptr;
  ASSERT_EQ(OleGetClipboard(&data), S_OK);
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(data->QueryGetData(&format), S_OK);
  data->Release();

  // A command the hook handles is not run, and the after hook hears nothing.
  OleSetClipboard(nullptr);
  log.Clear(true);
  ran = item->ShowContextMenu(form, &at, u"", nullptr, nullptr, MakeEvent<&TCommandLog::Command>(&log),
                              MakeEvent<&TCommandLog::After>(&log));
  EXPECT_FALSE(ran);
  EXPECT_EQ(log.commands.size(), 1u);
  EXPECT_TRUE(log.afterCommands.empty());
  ASSERT_EQ(OleGetClipboard(&data), S_OK);
  EXPECT_NE(data->QueryGetData(&format), S_OK);
  data->Release();

  // Nothing chosen: no hook runs.
  log.Clear(false);
  gChooser = [](HMENU) { return 0u; };
  EXPECT_FALSE(item->ShowContextMenu(form, &at, u"", nullptr, nullptr, MakeEvent<&TCommandLog::Command>(&log),
                                     MakeEvent<&TCommandLog::After>(&log)));
  EXPECT_TRUE(log.commands.empty());
}

TEST_F(ContextMenuCommands, ACommandWithoutAVerbIsAnUnknownCommand) {
  TCommandLog log;
  log.handle = true;  // never run: the number is none of the shell's
  UINT chosen = 0;
  gChooser = [&](HMENU menu) {
    std::vector<UINT> ids;
    CollectIDs(menu, ids);
    chosen = 1;
    while (std::find(ids.begin(), ids.end(), chosen) != ids.end()) ++chosen;
    chosen += 0x400;  // far past every number the shell gave
    return chosen;
  };
  item->ShowContextMenu(form, &at, u"", nullptr, nullptr, MakeEvent<&TCommandLog::Command>(&log),
                        MakeEvent<&TCommandLog::After>(&log));
  ASSERT_EQ(log.commands.size(), 1u);
  EXPECT_EQ(log.commands[0], u"Unknown Command");
  EXPECT_EQ(log.commandIDs[0], int(chosen));
}

namespace {

// Watches QueryContextMenu of the shell's own menu objects: the slot of their
// (shared) function table is replaced for the lifetime of the watch.
using TQueryContextMenu = HRESULT(STDMETHODCALLTYPE*)(IContextMenu*, HMENU, UINT, UINT, UINT, UINT);
TQueryContextMenu gOriginalQuery = nullptr;
std::vector<UINT> gQueryFlags;

HRESULT STDMETHODCALLTYPE WatchedQuery(IContextMenu* self, HMENU menu, UINT index, UINT first, UINT last,
                                       UINT flags) {
  gQueryFlags.push_back(flags);
  return gOriginalQuery(self, menu, index, first, last, flags);
}

struct TQueryWatch {
  void** slot = nullptr;
  explicit TQueryWatch(IContextMenu* sample) {
    slot = &(*reinterpret_cast<void***>(sample))[3];  // IUnknown's three, then QueryContextMenu
    gOriginalQuery = reinterpret_cast<TQueryContextMenu>(*slot);
    Write(reinterpret_cast<void*>(&WatchedQuery));
  }
  ~TQueryWatch() { Write(reinterpret_cast<void*>(gOriginalQuery)); }
  void Write(void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
  }
};

void SetShiftDown(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = down ? 0x80 : 0;
  keys[VK_LSHIFT] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

}  // namespace

TEST_F(ContextMenuCommands, ShiftAsksTheShellForItsExtendedVerbs) {
  // A menu object of the same kind as the one the item shows, to find its function table.
  IShellFolder* parent = item->ParentShellFolder();
  ASSERT_NE(parent, nullptr);
  LPCITEMIDLIST child = item->RelativePIDL();
  IContextMenu* sample = nullptr;
  ASSERT_EQ(parent->GetUIObjectOf(form->Handle(), 1, &child, IID_IContextMenu, nullptr,
                                  reinterpret_cast<void**>(&sample)),
            S_OK);
  IContextMenu* richest = nullptr;
  for (REFIID iid : {IID_IContextMenu3, IID_IContextMenu2})
    if (richest == nullptr && FAILED(sample->QueryInterface(iid, reinterpret_cast<void**>(&richest)))) richest = nullptr;
  if (richest == nullptr) richest = sample, sample->AddRef();
  sample->Release();
  gQueryFlags.clear();
  {
    TQueryWatch watch(richest);
    SetShiftDown(true);
    item->ShowContextMenu(form, &at, u"", nullptr, nullptr, nullptr, nullptr);
    SetShiftDown(false);
    item->ShowContextMenu(form, &at, u"", nullptr, nullptr, nullptr, nullptr);
  }
  richest->Release();
  ASSERT_EQ(gQueryFlags.size(), 2u);
  EXPECT_NE(gQueryFlags[0] & CMF_EXTENDEDVERBS, 0u);
  EXPECT_EQ(gQueryFlags[1] & CMF_EXTENDEDVERBS, 0u);
  EXPECT_NE(gQueryFlags[1] & CMF_EXPLORE, 0u);
  EXPECT_EQ(gShownFlags.size(), 2u);  // both menus went up (and nothing was chosen)
}

namespace {

// A view's hooks that free the item whose menu is up, as a "Refresh" of its
// folder does; the fixture's pointer is cleared with it.
struct TFreeingHooks : TObject {
  TNamespace** item = nullptr;
  std::vector<TNamespace*> afterItems;
  std::vector<bool> afterSucceeded;
  void FreeItem() {
    (*item)->Free();
    *item = nullptr;
  }
  void FreeOnShow(TNamespace*, HMENU, bool&) { FreeItem(); }
  void FreeOnCommand(TNamespace*, const std::u16string&, int, bool&) { FreeItem(); }
  void FreeOnClick(TObject*) { FreeItem(); }
  void After(TNamespace* ns, const std::u16string&, int, bool succeeded) {
    afterItems.push_back(ns);
    afterSucceeded.push_back(succeeded);
  }
};

}  // namespace

TEST_F(ContextMenuCommands, AHandlerThatFreesTheItemLeavesTheMenuWhole) {
  TFreeingHooks hooks;
  hooks.item = &item;
  // The command hook frees it: the shell's command still runs, and the after hook hears the item went.
  gChooser = [&](HMENU menu) { return FindVerb(menu, u"copy"); };
  bool ran = item->ShowContextMenu(form, &at, u"", nullptr, nullptr, MakeEvent<&TFreeingHooks::FreeOnCommand>(&hooks),
                                   MakeEvent<&TFreeingHooks::After>(&hooks));
  EXPECT_EQ(item, nullptr);
  EXPECT_TRUE(ran);
  ASSERT_EQ(hooks.afterItems.size(), 1u);
  EXPECT_EQ(hooks.afterItems[0], nullptr) << "the after hook was given the freed item";
  EXPECT_TRUE(hooks.afterSucceeded[0]);

  // A clicked item of the view's popup frees it.
  item = TNamespace::CreateFromFileName(folder / u"picked.txt");
  TPopupMenu* popup = New<TPopupMenu>(form);
  TMenuItem* refresh = New<TMenuItem>(popup);
  refresh->SetCaption("Refresh");
  refresh->OnClick = MakeEvent<&TFreeingHooks::FreeOnClick>(&hooks);
  popup->Items()->Add(refresh);
  gChooser = [](HMENU menu) { return FindByCaption(menu, u"Refresh"); };
  EXPECT_FALSE(item->ShowContextMenu(form, &at, u"Ours", popup, nullptr, nullptr,
                                     MakeEvent<&TFreeingHooks::After>(&hooks)));
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(hooks.afterItems.size(), 1u);

  // The show hook frees it: no menu goes up for an item that is gone.
  item = TNamespace::CreateFromFileName(folder / u"picked.txt");
  gShownFlags.clear();
  EXPECT_FALSE(item->ShowContextMenu(form, &at, u"", nullptr, MakeEvent<&TFreeingHooks::FreeOnShow>(&hooks),
                                     nullptr, nullptr));
  EXPECT_EQ(item, nullptr);
  EXPECT_TRUE(gShownFlags.empty());
}
