// Shell items: the shell's context menu of one or several items, with the
// class library's menu items mixed in and the owning view's three hooks.
#include <commctrl.h>

#include <map>

#include "shell/ErrorModeScope.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualResources.h"
#include "shell/VirtualWideStrings.h"
#include "win/Controls.h"
#include "win/controls/Menus.h"

namespace {

constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;
constexpr UINT_PTR kSubclassId = 0x51E1;
// The extended command record's mask bit as the shell's callers pass it.
constexpr DWORD kExtendedMask = 0x10000;

bool MenuHasID(HMENU menu, UINT id) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (GetMenuItemID(menu, i) == id) return true;
    HMENU sub = GetSubMenu(menu, i);
    if (sub != nullptr && MenuHasID(sub, id)) return true;
  }
  return false;
}

// The first command number from start up that no item of menu has.
UINT NextFreeMenuID(HMENU menu, UINT start) {
  UINT id = start;
  while (MenuHasID(menu, id)) ++id;
  return id;
}

std::u16string Wide(const std::string& ansi) { return vws::FromAnsi(ansi); }

// Copies the items of source into target (sub-items as submenus), each with a
// free command number from the root menu; remembers which item has which number.
void CopyMenuItems(HMENU root, HMENU target, TMenuItem* source, TMenuItemIDArray& ids,
                   std::map<UINT, TMenuItem*>& items) {
  for (int i = 0; i < source->Count(); ++i) {
    TMenuItem* item = source->Items(i);
    if (!item->Visible()) continue;
    if (item->IsLine()) {
      AppendMenuW(target, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    std::u16string caption = Wide(item->Caption());
    UINT state = (item->Enabled() ? MF_ENABLED : MF_GRAYED) | (item->Checked() ? MF_CHECKED : MF_UNCHECKED);
    if (item->Count() > 0) {
      // Attached before it is filled: the numbers of its items must be seen from the root.
      HMENU sub = CreatePopupMenu();
      AppendMenuW(target, MF_POPUP | MF_STRING | state, reinterpret_cast<UINT_PTR>(sub), vws::W(caption));
      CopyMenuItems(root, sub, item, ids, items);
      continue;
    }
    UINT id = NextFreeMenuID(root, kLastCommand + 1);
    AppendMenuW(target, MF_STRING | state, id, vws::W(caption));
    ids.push_back(id);
    items[id] = item;
  }
}

// Appends a submenu named caption holding popup's items to the end of menu.
void AddMenuItems(HMENU menu, TPopupMenu* popup, const std::u16string& caption, TMenuItemIDArray& ids,
                  std::map<UINT, TMenuItem*>& items) {
  if (popup == nullptr || popup->Items() == nullptr || popup->Items()->Count() == 0) return;
  HMENU sub = CreatePopupMenu();
  AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), vws::W(caption));
  CopyMenuItems(menu, sub, popup->Items(), ids, items);
}

// The owner's window procedure while a menu is up: the owner's own handling
// first, then owner-drawn menu messages to the shell's menu.
LRESULT CALLBACK ContextMenuWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  LRESULT result = DefSubclassProc(window, msg, wParam, lParam);
  switch (msg) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_INITMENUPOPUP:
    case WM_MENUCHAR: {
      try {
        LRESULT menuResult = 0;
        auto* item = reinterpret_cast<TNamespace*>(data);
        if (item->HandleContextMenuMsg(msg, wParam, lParam, menuResult) && msg == WM_MENUCHAR) return menuResult;
      } catch (...) {
        // Nothing may leave a window procedure.
      }
      break;
    }
    default:
      break;
  }
  return result;
}

}  // namespace

bool TNamespace::HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (contextMenu3 != nullptr) return SUCCEEDED(contextMenu3->HandleMenuMsg2(msg, wParam, lParam, &result));
  if (contextMenu2 != nullptr) {
    result = 0;
    return SUCCEEDED(contextMenu2->HandleMenuMsg(msg, wParam, lParam));
  }
  return false;
}

bool TNamespace::ShowContextMenu(TWinControl* owner, const TPoint* point, const std::u16string& submenuCaption,
                                 TPopupMenu* popup, TContextMenuShowEvent onShow, TContextMenuCmdEvent onCommand,
                                 TContextMenuAfterCmdEvent onAfterCommand) {
  return InternalShowContextMenu(owner, point, TPIDLArray{relativePIDL}, /*absolute=*/false, submenuCaption, popup,
                                 onShow, onCommand, onAfterCommand);
}

bool TNamespace::ShowContextMenuMulti(TWinControl* owner, const TNamespaceArray& items, bool absolute,
                                      const TPoint* point, const std::u16string& submenuCaption, TPopupMenu* popup,
                                      TContextMenuShowEvent onShow, TContextMenuCmdEvent onCommand,
                                      TContextMenuAfterCmdEvent onAfterCommand) {
  TPIDLArray pidls = absolute ? NamespaceToAbsolutePIDLArray(items) : NamespaceToRelativePIDLArray(items);
  return InternalShowContextMenu(owner, point, pidls, absolute, submenuCaption, popup, onShow, onCommand,
                                 onAfterCommand);
}

bool TNamespace::InternalShowContextMenu(TWinControl* owner, const TPoint* point, const TPIDLArray& pidls,
                                         bool absolute, const std::u16string& submenuCaption, TPopupMenu* popup,
                                         TContextMenuShowEvent onShow, TContextMenuCmdEvent onCommand,
                                         TContextMenuAfterCmdEvent onAfterCommand) {
  TErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  if (owner == nullptr)
    throw EAssertionFailed("To show a Context Menu using TNamespace you must pass a valid Owner TWinControl");
  HWND window = owner->Handle();
  if (!SetWindowSubclass(window, ContextMenuWndProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  // Whatever happens, the menu goes, the menu interfaces are released and the
  // owner gets its window procedure back.
  struct TSession {
    TNamespace* item;
    HWND window;
    HMENU menu = nullptr;
    ~TSession() {
      if (menu != nullptr) DestroyMenu(menu);
      ReleaseAndNil(item->contextMenu3);
      ReleaseAndNil(item->contextMenu2);
      ReleaseAndNil(item->contextMenu);
      RemoveWindowSubclass(window, ContextMenuWndProc, kSubclassId);
    }
  } session{this, window};
  HMENU& menu = session.menu;
  bool succeeded = false;
  if (pidls.empty()) return false;
  POINT at{};
  if (point != nullptr) {
    at = {point->X, point->Y};
  } else {
    GetCursorPos(&at);
  }
  menu = CreatePopupMenu();
  UINT flags = CMF_EXPLORE;
  if (onCommand && pidls.size() == 1) flags |= CMF_CANRENAME;
  if (GetKeyState(VK_SHIFT) < 0) flags |= CMF_EXTENDEDVERBS;
  IShellFolder* folder = nullptr;
  {
    TErrorModeScope shellQuiet;
    TNamespace* desktop = absolute ? DesktopFolder() : nullptr;
    folder = absolute ? (desktop != nullptr ? desktop->GetShellFolder() : nullptr) : ParentShellFolder();
    void* found = nullptr;
    if (menu != nullptr && folder != nullptr &&
        SUCCEEDED(folder->GetUIObjectOf(window, static_cast<UINT>(pidls.size()),
                                        const_cast<LPCITEMIDLIST*>(pidls.data()), IID_IContextMenu, nullptr,
                                        &found)) &&
        found != nullptr) {
      contextMenu = static_cast<IContextMenu*>(found);
      if (FAILED(contextMenu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&contextMenu3))))
        contextMenu3 = nullptr;
      if (contextMenu3 == nullptr &&
          FAILED(contextMenu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&contextMenu2))))
        contextMenu2 = nullptr;
    }
  }
  IContextMenu* richest = contextMenu3 != nullptr   ? static_cast<IContextMenu*>(contextMenu3)
                          : contextMenu2 != nullptr ? static_cast<IContextMenu*>(contextMenu2)
                                                    : contextMenu;
  if (richest != nullptr && SUCCEEDED(richest->QueryContextMenu(menu, 0, kFirstCommand, kLastCommand, flags))) {
    TMenuItemIDArray ids;
    std::map<UINT, TMenuItem*> inserted;
    AddMenuItems(menu, popup, submenuCaption, ids, inserted);
    bool allow = true;
    if (onShow) onShow(this, menu, allow);
    UINT chosen = allow ? static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                                               window, nullptr))
                        : 0;
    if (chosen != 0) {
      std::u16string verb = GetContextMenuVerb(richest, chosen - kFirstCommand);
      if (verb.empty()) verb = std::u16string(res::UnknownCommand);
      bool handled = false;
      auto insertedItem = inserted.find(chosen);
      if (insertedItem != inserted.end()) {
        insertedItem->second->Click();
        handled = true;
      } else if (onCommand) {
        onCommand(this, verb, static_cast<int>(chosen), handled);
      }
      if (!handled) {
        CMINVOKECOMMANDINFOEX info{};
        info.cbSize = vws::UseWideApi() ? sizeof(CMINVOKECOMMANDINFOEX) : sizeof(CMINVOKECOMMANDINFO);
        if (vws::UseWideApi()) {
          info.fMask = kExtendedMask;
          info.lpVerbW = MAKEINTRESOURCEW(chosen - kFirstCommand);
        }
        info.hwnd = window;
        info.lpVerb = MAKEINTRESOURCEA(chosen - kFirstCommand);
        info.nShow = SW_SHOWNORMAL;
        succeeded = SUCCEEDED(richest->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)));
        if (onAfterCommand) onAfterCommand(this, verb, static_cast<int>(chosen), succeeded);
      }
    }
  }
  return succeeded;
}

std::u16string TNamespace::ContextMenuVerb(UINT commandID) {
  IContextMenu* richest = contextMenu3 != nullptr   ? static_cast<IContextMenu*>(contextMenu3)
                          : contextMenu2 != nullptr ? static_cast<IContextMenu*>(contextMenu2)
                                                    : contextMenu;
  if (richest == nullptr || commandID < kFirstCommand) return {};
  return GetContextMenuVerb(richest, commandID - kFirstCommand);
}
