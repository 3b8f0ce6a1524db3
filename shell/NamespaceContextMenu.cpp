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

// The interfaces of one showing of a menu, with references of its own: the
// item they came from may be freed while the menu is up or after a command.
struct TMenuInterfaces {
  IContextMenu* menu = nullptr;
  IContextMenu2* menu2 = nullptr;
  IContextMenu3* menu3 = nullptr;

  TMenuInterfaces() = default;
  TMenuInterfaces(const TMenuInterfaces&) = delete;
  TMenuInterfaces& operator=(const TMenuInterfaces&) = delete;
  ~TMenuInterfaces() {
    ReleaseAndNil(menu3);
    ReleaseAndNil(menu2);
    ReleaseAndNil(menu);
  }
  IContextMenu* Richest() const {
    if (menu3 != nullptr) return menu3;
    if (menu2 != nullptr) return menu2;
    return menu;
  }
};

// A menu message the owner's window procedure is handling while a menu is up:
// when the owner hands it to the same menu itself (the explorer views do),
// the menu has had it and is not given it again.
struct TMenuDelivery {
  const TMenuInterfaces* menus;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool delivered = false;
  TMenuDelivery* outer = nullptr;
};
thread_local TMenuDelivery* tDelivery = nullptr;  // the innermost

bool HandleMenuMsg(IContextMenu2* menu2, IContextMenu3* menu3, UINT msg, WPARAM wParam, LPARAM lParam,
                   LRESULT& result) {
  if (TMenuDelivery* d = tDelivery; d != nullptr && d->msg == msg && d->wParam == wParam && d->lParam == lParam &&
                                    (menu2 != nullptr || menu3 != nullptr) && d->menus->menu2 == menu2 &&
                                    d->menus->menu3 == menu3)
    d->delivered = true;
  if (menu3 != nullptr) return SUCCEEDED(menu3->HandleMenuMsg2(msg, wParam, lParam, &result));
  if (menu2 == nullptr) return false;
  result = 0;
  return SUCCEEDED(menu2->HandleMenuMsg(msg, wParam, lParam));
}

template <class I>
I* AddRefed(I* p) {
  if (p != nullptr) p->AddRef();
  return p;
}

bool IsMenuMessage(UINT msg) {
  return msg == WM_DRAWITEM || msg == WM_MEASUREITEM || msg == WM_INITMENUPOPUP || msg == WM_MENUCHAR;
}

// The owner's window procedure while a menu is up: the owner's own handling
// first, then owner-drawn menu messages to the shell's menu, unless the
// owner's handling gave it to the menu already.
LRESULT CALLBACK ContextMenuWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (!IsMenuMessage(msg)) return DefSubclassProc(window, msg, wParam, lParam);
  auto* menus = reinterpret_cast<TMenuInterfaces*>(data);
  TMenuDelivery delivery{menus, msg, wParam, lParam};
  delivery.outer = tDelivery;
  tDelivery = &delivery;
  LRESULT result = DefSubclassProc(window, msg, wParam, lParam);
  tDelivery = delivery.outer;
  if (delivery.delivered) return result;
  try {
    LRESULT menuResult = 0;
    if (HandleMenuMsg(menus->menu2, menus->menu3, msg, wParam, lParam, menuResult) && msg == WM_MENUCHAR)
      return menuResult;
  } catch (...) {
    // Nothing may leave a window procedure.
  }
  return result;
}

}  // namespace

bool TNamespace::HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  return HandleMenuMsg(contextMenu2, contextMenu3, msg, wParam, lParam, result);
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
  // Declared before the session: released after the owner has its window procedure back.
  TMenuInterfaces menus;
  if (!SetWindowSubclass(window, ContextMenuWndProc, kSubclassId, reinterpret_cast<DWORD_PTR>(&menus))) return false;
  // Whatever happens, the menu goes, the item (when it still exists) lets go
  // of the menu's interfaces and the owner gets its window procedure back.
  struct TSession {
    HWND window;
    HMENU menu = nullptr;
    TMenuSessionLink link;
    TSession(TNamespace* item, HWND window_) : window(window_) {
      link.item = item;
      link.outer = item->menuSessions;
      item->menuSessions = &link;
    }
    ~TSession() {
      if (menu != nullptr) DestroyMenu(menu);
      if (TNamespace* item = link.item) {
        item->menuSessions = link.outer;
        ReleaseAndNil(item->contextMenu3);
        ReleaseAndNil(item->contextMenu2);
        ReleaseAndNil(item->contextMenu);
      }
      RemoveWindowSubclass(window, ContextMenuWndProc, kSubclassId);
    }
  } session{this, window};
  HMENU& menu = session.menu;
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
      menus.menu = static_cast<IContextMenu*>(found);
      if (FAILED(menus.menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menus.menu3))))
        menus.menu3 = nullptr;
      if (menus.menu3 == nullptr &&
          FAILED(menus.menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menus.menu2))))
        menus.menu2 = nullptr;
    }
  }
  // The item answers for the menu while it shows (ContextMenuVerb, menu messages).
  ReleaseAndNil(contextMenu3);
  ReleaseAndNil(contextMenu2);
  ReleaseAndNil(contextMenu);
  contextMenu = AddRefed(menus.menu);
  contextMenu2 = AddRefed(menus.menu2);
  contextMenu3 = AddRefed(menus.menu3);
  IContextMenu* richest = menus.Richest();
  if (richest == nullptr || FAILED(richest->QueryContextMenu(menu, 0, kFirstCommand, kLastCommand, flags)))
    return false;
  TMenuItemIDArray ids;
  std::map<UINT, TMenuItem*> inserted;
  AddMenuItems(menu, popup, submenuCaption, ids, inserted);
  bool allow = true;
  if (onShow) onShow(this, menu, allow);
  // From here on the hooks may have freed this item: only the session knows.
  if (!allow || session.link.item == nullptr) return false;
  UINT chosen =
      static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr));
  if (chosen == 0) return false;
  std::u16string verb = GetContextMenuVerb(richest, chosen - kFirstCommand);
  if (verb.empty()) verb = std::u16string(res::UnknownCommand);
  bool handled = false;
  auto insertedItem = inserted.find(chosen);
  if (insertedItem != inserted.end()) {
    insertedItem->second->Click();
    return false;
  }
  if (onCommand) onCommand(session.link.item, verb, static_cast<int>(chosen), handled);
  if (handled) return false;
  CMINVOKECOMMANDINFOEX info{};
  info.cbSize = vws::UseWideApi() ? sizeof(CMINVOKECOMMANDINFOEX) : sizeof(CMINVOKECOMMANDINFO);
  if (vws::UseWideApi()) {
    info.fMask = kExtendedMask;
    info.lpVerbW = MAKEINTRESOURCEW(chosen - kFirstCommand);
  }
  info.hwnd = window;
  info.lpVerb = MAKEINTRESOURCEA(chosen - kFirstCommand);
  info.nShow = SW_SHOWNORMAL;
  bool succeeded = SUCCEEDED(richest->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)));
  if (onAfterCommand) onAfterCommand(session.link.item, verb, static_cast<int>(chosen), succeeded);
  return succeeded;
}

std::u16string TNamespace::ContextMenuVerb(UINT commandID) {
  IContextMenu* richest = contextMenu3 != nullptr   ? static_cast<IContextMenu*>(contextMenu3)
                          : contextMenu2 != nullptr ? static_cast<IContextMenu*>(contextMenu2)
                                                    : contextMenu;
  if (richest == nullptr || commandID < kFirstCommand) return {};
  return GetContextMenuVerb(richest, commandID - kFirstCommand);
}
