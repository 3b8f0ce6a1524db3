// Shell items: verbs run through the shell's own context menu, drag and drop
// forwarded to an item's drop target, data objects, and starting an item.
#include <memory>

#include "shell/Namespace.h"
#include "shell/ShellLink.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualResources.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"

namespace {

constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;
constexpr int kVerbLength = 128;

HWND ApplicationWindow() { return Application != nullptr ? Application->Handle() : nullptr; }

// Destroys a menu handle when the scope ends (also when an exception passes).
struct TMenuHandle {
  HMENU menu = CreatePopupMenu();
  ~TMenuHandle() {
    if (menu != nullptr) DestroyMenu(menu);
  }
};

bool SameVerb(const std::u16string& a, const std::u16string& b) {
  if (vws::UseWideApi()) return lstrcmpiW(vws::W(a), vws::W(b)) == 0;
  return lstrcmpiA(vws::ToAnsi(a).c_str(), vws::ToAnsi(b).c_str()) == 0;
}

bool AllCanDelete(const TNamespaceArray& items) {
  for (TNamespace* item : items)
    if (item == nullptr || !item->CanDelete()) return false;
  return true;
}

bool AllHavePropSheet(const TNamespaceArray& items) {
  for (TNamespace* item : items)
    if (item == nullptr || !item->HasPropSheet()) return false;
  return true;
}

// ShellExecuteEx of an item by its PIDL, wide or ANSI.
template <class Info, class Text>
bool StartItem(BOOL(WINAPI* execute)(Info*), LPITEMIDLIST pidl, const Text* parameters, const Text* directory,
               bool hasParameters, bool hasDirectory) {
  Info info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = ApplicationWindow();
  info.nShow = SW_SHOWNORMAL;
  info.lpIDList = pidl;
  info.lpParameters = hasParameters ? parameters : nullptr;
  info.lpDirectory = hasDirectory ? directory : nullptr;
  bool started = execute(&info) != FALSE;
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  return started;
}

}  // namespace

std::u16string TNamespace::GetContextMenuVerb(IContextMenu* menu, UINT commandOffset) {
  if (menu == nullptr) return {};
  if (vws::UseWideApi()) {
    wchar_t verb[kVerbLength] = {};
    if (FAILED(menu->GetCommandString(commandOffset, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb), kVerbLength)))
      return {};
    verb[kVerbLength - 1] = 0;
    return vws::FromW(verb);
  }
  char verb[kVerbLength] = {};
  if (FAILED(menu->GetCommandString(commandOffset, GCS_VERBA, nullptr, verb, kVerbLength))) return {};
  verb[kVerbLength - 1] = 0;
  return vws::FromAnsi(verb);
}

bool TNamespace::ExecuteContextMenuVerb(const std::u16string& verb, const TPIDLArray& relativePIDLs, HWND owner) {
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return false;
  TPIDLArray pidls = relativePIDLs.empty() ? TPIDLArray{relativePIDL} : relativePIDLs;
  if (VerbTrace != nullptr && !VerbTrace(NameForParsing(), verb, pidls.size(), false)) return false;
  IContextMenu* menu = nullptr;
  if (FAILED(folder->GetUIObjectOf(owner, static_cast<UINT>(pidls.size()), const_cast<LPCITEMIDLIST*>(pidls.data()),
                                   IID_IContextMenu, nullptr, reinterpret_cast<void**>(&menu))) ||
      menu == nullptr)
    return false;
  return InvokeMenuVerb(menu, verb, owner);
}

bool TNamespace::ExecuteFolderMenuVerb(const std::u16string& verb, HWND owner) {
  if (VerbTrace != nullptr && Folder() && !VerbTrace(NameForParsing(), verb, 1, true)) return false;
  IShellFolder* own = Folder() ? GetShellFolder() : nullptr;
  IContextMenu* menu = nullptr;
  if (own == nullptr ||
      FAILED(own->CreateViewObject(owner != nullptr ? owner : ApplicationWindow(), IID_IContextMenu,
                                   reinterpret_cast<void**>(&menu))) ||
      menu == nullptr)
    return false;
  return InvokeMenuVerb(menu, verb, owner);
}

// Runs verb of menu (whose reference it takes over); false when the menu has no such verb.
bool TNamespace::InvokeMenuVerb(IContextMenu* menu, const std::u16string& verb, HWND owner) {
  std::unique_ptr<IContextMenu, void (*)(IContextMenu*)> menuRef(menu, [](IContextMenu* m) { m->Release(); });
  IContextMenu2* menu2 = nullptr;
  if (FAILED(menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2)))) menu2 = nullptr;
  std::unique_ptr<IContextMenu2, void (*)(IContextMenu2*)> menu2Ref(menu2, [](IContextMenu2* m) {
    if (m != nullptr) m->Release();
  });
  IContextMenu* used = menu2 != nullptr ? menu2 : menu;

  TMenuHandle popup;
  if (popup.menu == nullptr) return false;
  if (FAILED(used->QueryContextMenu(popup.menu, 0, kFirstCommand, kLastCommand, CMF_EXPLORE))) return false;
  int count = GetMenuItemCount(popup.menu);
  for (int i = 0; i < count; ++i) {
    UINT id = GetMenuItemID(popup.menu, i);
    if (id == static_cast<UINT>(-1) || id < kFirstCommand) continue;  // submenus and separators
    if (!SameVerb(GetContextMenuVerb(used, id - kFirstCommand), verb)) continue;
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.hwnd = owner != nullptr ? owner : ApplicationWindow();
    info.lpVerb = MAKEINTRESOURCEA(id - kFirstCommand);
    info.nShow = SW_SHOWNORMAL;
    return SUCCEEDED(used->InvokeCommand(&info));
  }
  return false;
}

bool TNamespace::VerifyPIDLRelationship(const TNamespaceArray& items) {
  if (items.empty()) return true;
  // An item made from a path has no parent item until its folder is asked.
  if (!IsDesktop()) ParentShellFolder();
  bool related;
  if (parent == nullptr) {
    related = items.size() == 1 && items[0] != nullptr && items[0]->IsDesktop();
  } else {
    related = true;
    for (TNamespace* item : items) {
      if (item == nullptr || !vst::ILIsParent(parent->AbsolutePIDL(), item->AbsolutePIDL(), /*immediate=*/true)) {
        related = false;
        break;
      }
    }
  }
  if (!related && !IsDesktop()) vws::WideMessageBox(ApplicationWindow(), res::NotSiblings, res::Error);
  return related;
}

bool TNamespace::Copy(const TNamespaceArray& items) {
  if (!VerifyPIDLRelationship(items)) return false;
  return ExecuteContextMenuVerb(u"copy", NamespaceToRelativePIDLArray(items));
}

bool TNamespace::Cut(const TNamespaceArray& items) {
  if (items.empty() || !AllCanDelete(items) || !VerifyPIDLRelationship(items)) return false;
  return ExecuteContextMenuVerb(u"cut", NamespaceToRelativePIDLArray(items));
}

bool TNamespace::Delete(const TNamespaceArray& items) {
  if (items.empty() || !AllCanDelete(items) || !VerifyPIDLRelationship(items)) return false;
  return ExecuteContextMenuVerb(u"delete", NamespaceToRelativePIDLArray(items));
}

bool TNamespace::Paste(const TNamespaceArray& items, bool plainPaste) {
  if (items.empty()) return false;
  const char16_t* verb = plainPaste ? u"paste" : u"pastelink";
  if (IsDesktop()) {
    // The desktop pastes into the folder behind it: the items are made again
    // as items of that folder's road through the namespace.
    if (DesktopDirectoryFolder() == nullptr) return false;
    TNamespaceArray again;
    for (TNamespace* item : items) {
      LPITEMIDLIST pidl = item != nullptr ? PathToPIDL(item->NameForParsing()) : nullptr;
      if (pidl != nullptr) again.push_back(New<TNamespace>(pidl, static_cast<TNamespace*>(nullptr)));
    }
    bool done = !again.empty() && DesktopDirectoryFolder()->Paste(again, plainPaste);
    for (TNamespace* item : again) item->Free();
    return done;
  }
  if (!VerifyPIDLRelationship(items)) return false;
  if (ExecuteContextMenuVerb(verb, NamespaceToRelativePIDLArray(items))) return true;
  // A shell whose item menus offer no paste pastes into a folder through the folder's own menu.
  return items.size() == 1 && items[0] == this && ExecuteFolderMenuVerb(verb);
}

bool TNamespace::ShowPropertySheetMulti(const TNamespaceArray& items) {
  if (items.empty() || !AllHavePropSheet(items)) return false;
  if (wide::SHMultiFileProperties != nullptr && DesktopFolder() != nullptr) {
    TPIDLArray pidls = NamespaceToAbsolutePIDLArray(items);
    IShellFolder* desktop = DesktopFolder()->GetShellFolder();
    IDataObject* data = nullptr;
    if (desktop == nullptr ||
        FAILED(desktop->GetUIObjectOf(ApplicationWindow(), static_cast<UINT>(pidls.size()),
                                      const_cast<LPCITEMIDLIST*>(pidls.data()), IID_IDataObject, nullptr,
                                      reinterpret_cast<void**>(&data))) ||
        data == nullptr)
      return false;
    HRESULT hr = wide::SHMultiFileProperties(data, 0);
    data->Release();
    return SUCCEEDED(hr);
  }
  if (!VerifyPIDLRelationship(items)) return false;
  return ExecuteContextMenuVerb(std::u16string(res::VerbProperties), NamespaceToRelativePIDLArray(items));
}

// ---------------------------------------------------------------------------
// Drag and drop

// Whether two interface pointers are the same COM object.
static bool SameObject(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return false;
  IUnknown* ua = nullptr;
  IUnknown* ub = nullptr;
  bool same = SUCCEEDED(a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua))) &&
              SUCCEEDED(b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub))) && ua == ub;
  if (ua != nullptr) ua->Release();
  if (ub != nullptr) ub->Release();
  return same;
}

IDropTarget* TNamespace::GetDropTargetInterface() {
  if (dropTarget != nullptr) return dropTarget;
  void* target = nullptr;
  // A folder's own drop target comes from the folder: some shells answer a
  // child's GetUIObjectOf with the parent's target, and a drop meant for the
  // folder would land beside it.
  if (Folder()) {
    IShellFolder* own = GetShellFolder();
    if (own != nullptr && SUCCEEDED(own->CreateViewObject(ApplicationWindow(), IID_IDropTarget, &target)) &&
        target != nullptr) {
      dropTarget = static_cast<IDropTarget*>(target);
      return dropTarget;
    }
    target = nullptr;
  }
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return nullptr;
  LPCITEMIDLIST items[1] = {relativePIDL};
  if (FAILED(folder->GetUIObjectOf(ApplicationWindow(), 1, items, IID_IDropTarget, nullptr, &target)) ||
      target == nullptr)
    return nullptr;
  // The parent folder's own target is not the item's: a drop there would land beside the item.
  if (SameObject(static_cast<IUnknown*>(target), folder)) {
    static_cast<IUnknown*>(target)->Release();
    return nullptr;
  }
  dropTarget = static_cast<IDropTarget*>(target);
  return dropTarget;
}

HRESULT TNamespace::DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) {
  if (!DropTarget()) return E_FAIL;
  ReleaseAndNil(dropTarget);  // a new drag asks the folder again
  IDropTarget* target = GetDropTargetInterface();
  return target != nullptr ? target->DragEnter(data, keyState, pt, effect) : E_FAIL;
}

HRESULT TNamespace::DragOver(DWORD keyState, POINTL pt, DWORD* effect) {
  if (!DropTarget()) return E_FAIL;
  IDropTarget* target = GetDropTargetInterface();
  return target != nullptr ? target->DragOver(keyState, pt, effect) : E_FAIL;
}

HRESULT TNamespace::DragLeave() {
  if (!DropTarget()) return E_FAIL;
  IDropTarget* target = GetDropTargetInterface();
  HRESULT hr = target != nullptr ? target->DragLeave() : E_FAIL;
  ReleaseAndNil(dropTarget);
  return hr;
}

HRESULT TNamespace::Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) {
  if (!DropTarget()) return E_FAIL;
  IDropTarget* target = GetDropTargetInterface();
  HRESULT hr = target != nullptr ? target->Drop(data, keyState, pt, effect) : E_FAIL;
  ReleaseAndNil(dropTarget);
  return hr;
}

IDataObject* TNamespace::DataObjectMulti(const TNamespaceArray& items) {
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr || items.empty()) return nullptr;
  TPIDLArray pidls = NamespaceToRelativePIDLArray(items);
  void* data = nullptr;
  if (FAILED(folder->GetUIObjectOf(ApplicationWindow(), static_cast<UINT>(pidls.size()),
                                   const_cast<LPCITEMIDLIST*>(pidls.data()), IID_IDataObject, nullptr, &data)))
    return nullptr;
  return static_cast<IDataObject*>(data);
}

// ---------------------------------------------------------------------------
// Starting an item

bool TNamespace::ShellExecuteNamespace(const std::u16string& workingDir, const std::u16string& parameters,
                                       bool runFolderShortcuts, bool runFolders) {
  if (Folder() && !runFolders) return false;
  if (!runFolderShortcuts && Link()) {
    TVirtualShellLink* link = New<TVirtualShellLink>(static_cast<TComponent*>(nullptr));
    bool toFolder = link->ReadLink(NameParseAddress()) && vws::WideDirectoryExists(link->TargetPath());
    link->Free();
    if (toFolder) return false;
  }
  std::u16string directory = vws::WideDirectoryExists(workingDir) ? workingDir
                                                                    : vws::WideExtractFileDir(NameForParsing());
  if (vws::UseWideApi()) {
    return StartItem<SHELLEXECUTEINFOW>(ShellExecuteExW, absolutePIDL, vws::W(parameters), vws::W(directory),
                                        !parameters.empty(), !directory.empty());
  }
  std::string ansiParameters = vws::ToAnsi(parameters);
  std::string ansiDirectory = vws::ToAnsi(directory);
  return StartItem<SHELLEXECUTEINFOA>(ShellExecuteExA, absolutePIDL, ansiParameters.c_str(), ansiDirectory.c_str(),
                                      !parameters.empty(), !directory.empty());
}
