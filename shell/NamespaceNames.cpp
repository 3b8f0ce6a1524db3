// Shell items: shell attributes and display names.
#include "shell/ExactNames.h"
#include "shell/Namespace.h"

#include "shell/FileTypeCache.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

// The attributes nearly every item is asked for when it is listed (a view's
// filter, sorting, the tree's expand button and check box), with their cache
// bits: one call answers them all.
struct TCommonAttribute {
  uint32_t bit;
  ULONG mask;
};

}  // namespace

void TNamespace::CacheCommonAttributes() {
  static constexpr TCommonAttribute kCommon[] = {
      {cFileSystem, SFGAO_FILESYSTEM}, {cFolder, SFGAO_FOLDER}, {cRemovable, SFGAO_REMOVABLE}};
  ULONG value = 0;
  for (const TCommonAttribute& a : kCommon) value |= a.mask;
  IShellFolder* folder = ParentShellFolder();
  LPCITEMIDLIST items[1] = {relativePIDL};
  // A failed call says nothing about the item: every attribute is false then.
  if (folder == nullptr || FAILED(folder->GetAttributesOf(1, items, &value))) value = 0;
  for (const TCommonAttribute& a : kCommon) {
    if ((value & a.mask) != 0) {
      cache.answers |= a.bit;
    } else {
      cache.answers &= ~a.bit;
    }
    cache.known |= a.bit;
  }
}

bool TNamespace::CachedAttribute(Cached bit, ULONG mask) {
  if ((cache.known & bit) == 0 && (bit & (cFileSystem | cFolder | cRemovable)) != 0) CacheCommonAttributes();
  if ((cache.known & bit) == 0) {
    if (TestAttributesOf(mask)) {
      cache.answers |= bit;
    } else {
      cache.answers &= ~bit;
    }
    cache.known |= bit;
  }
  return (cache.answers & bit) != 0;
}

bool TNamespace::CanCopy() { return CachedAttribute(cCanCopy, SFGAO_CANCOPY); }
bool TNamespace::CanDelete() { return CachedAttribute(cCanDelete, SFGAO_CANDELETE); }
bool TNamespace::CanLink() { return CachedAttribute(cCanLink, SFGAO_CANLINK); }
bool TNamespace::CanMove() { return CachedAttribute(cCanMove, SFGAO_CANMOVE); }
bool TNamespace::CanRename() { return CachedAttribute(cCanRename, SFGAO_CANRENAME); }
bool TNamespace::DropTarget() { return IsDesktop() || TestAttributesOf(SFGAO_DROPTARGET); }
bool TNamespace::FileSysAncestor() { return CachedAttribute(cFileSysAncestor, SFGAO_FILESYSANCESTOR); }
bool TNamespace::FileSystem() { return CachedAttribute(cFileSystem, SFGAO_FILESYSTEM); }
bool TNamespace::Folder() { return CachedAttribute(cFolder, SFGAO_FOLDER); }
bool TNamespace::HiddenItem() { return CachedAttribute(cHiddenItem, SFGAO_HIDDEN); }
bool TNamespace::HasPropSheet() { return TestAttributesOf(SFGAO_HASPROPSHEET); }
bool TNamespace::HasSubFolder() { return TestAttributesOf(SFGAO_HASSUBFOLDER); }
bool TNamespace::Link() { return CachedAttribute(cLink, SFGAO_LINK); }
bool TNamespace::NewContent() { return TestAttributesOf(SFGAO_NEWCONTENT); }
bool TNamespace::NonEnumerated() { return TestAttributesOf(SFGAO_NONENUMERATED); }
bool TNamespace::ReadOnly() { return TestAttributesOf(SFGAO_READONLY); }
bool TNamespace::Removable() { return CachedAttribute(cRemovable, SFGAO_REMOVABLE); }
bool TNamespace::Share() { return TestAttributesOf(SFGAO_SHARE); }

std::u16string TNamespace::CachedName(Cached bit, std::u16string& slot, DWORD shgdn) {
  if ((cache.known & bit) == 0) {
    slot = DisplayNameOf(shgdn);
    cache.known |= bit;
  }
  return slot;
}

std::u16string TNamespace::NameAddressbar() { return DisplayNameOf(SHGDN_FORADDRESSBAR); }
std::u16string TNamespace::NameAddressbarInFolder() { return DisplayNameOf(SHGDN_FORADDRESSBAR | SHGDN_INFOLDER); }
std::u16string TNamespace::NameForEditing() { return DisplayNameOf(SHGDN_FOREDITING); }
std::u16string TNamespace::NameForEditingInFolder() { return DisplayNameOf(SHGDN_FOREDITING | SHGDN_INFOLDER); }

std::u16string TNamespace::NameForParsing() {
  // The desktop's parsing name is that of the folder behind it.
  if (IsDesktop() && DesktopDirectoryFolder() != nullptr && DesktopDirectoryFolder() != this)
    return DesktopDirectoryFolder()->NameForParsing();
  std::u16string name = DisplayNameOf(SHGDN_FORPARSING);
  // A name this long may have been cut to another item's: made whole level
  // by level, or left as the shell gave it where it cannot be.
  if (name.size() >= exactnames::kMayBeCutLength) {
    std::u16string whole = exactnames::WholeParsingName(absolutePIDL);
    if (!whole.empty()) return whole;
  }
  return name;
}

std::u16string TNamespace::NameForParsingInFolder() {
  if (IsDesktop() && DesktopDirectoryFolder() != nullptr && DesktopDirectoryFolder() != this)
    return DesktopDirectoryFolder()->NameForParsingInFolder();
  return DisplayNameOf(SHGDN_FORPARSING | SHGDN_INFOLDER);
}

std::u16string TNamespace::NameInFolder() {
  if ((cache.known & cNameInFolder) == 0) {
    cache.nameInFolder = ShownNameInFolder();
    cache.known |= cNameInFolder;
  }
  return cache.nameInFolder;
}

// A plain file's shown name is its file name, without the extension when the
// shell hides that extension, unless its folder gives it another name in a
// desktop.ini, which the shell reads only in read-only or system folders (and
// on the desktop). Asking the shell for the shown name reads the registry for
// the extension every time (about 40 us under Wine); the parsing name costs
// no such look-up.
bool TNamespace::NamedByExtensionRule() {
  if (IsDesktop() || ParentIsDesktop() || ParentShellFolder() == nullptr || parent == nullptr) return false;
  if (!FileSystem() || Folder() || !parent->FileSystem() || !parent->GetDataFromIDList()) return false;
  return !parent->ReadOnlyFile() && !parent->SystemFile();
}

std::u16string TNamespace::ShownNameInFolder() {
  if (!NamedByExtensionRule()) return DisplayNameOf(SHGDN_INFOLDER);
  std::u16string fileName = DisplayNameOf(SHGDN_FORPARSING | SHGDN_INFOLDER);
  std::u16string extension = vws::WideExtractFileExt(fileName);
  if (extension.size() < 2 || extension.size() >= fileName.size()) return DisplayNameOf(SHGDN_INFOLDER);
  std::u16string stem = fileName.substr(0, fileName.size() - extension.size());
  bool shown = false;
  if (LookupExtensionShown(extension, shown)) return shown ? fileName : stem;
  // The first file of an extension teaches the rule; a name that follows
  // neither form teaches nothing.
  std::u16string name = DisplayNameOf(SHGDN_INFOLDER);
  if (name == fileName) {
    StoreExtensionShown(extension, true);
  } else if (name == stem) {
    StoreExtensionShown(extension, false);
  }
  return name;
}
std::u16string TNamespace::NameNormal() { return CachedName(cNameNormal, cache.nameNormal, SHGDN_NORMAL); }

std::u16string TNamespace::NameParseAddress() {
  return CachedName(cNameParseAddress, cache.nameParseAddress, SHGDN_FORPARSING | SHGDN_FORADDRESSBAR);
}

std::u16string TNamespace::NameParseAddressInFolder() {
  return DisplayNameOf(SHGDN_FORPARSING | SHGDN_FORADDRESSBAR | SHGDN_INFOLDER);
}

std::u16string TNamespace::Extension() { return vws::WideExtractFileExt(NameForParsingInFolder()); }

std::u16string TNamespace::InfoTip() {
  if (queryInfo == nullptr) {
    IShellFolder* folder = ParentShellFolder();
    if (folder == nullptr) return {};
    LPCITEMIDLIST items[1] = {relativePIDL};
    void* info = nullptr;
    if (FAILED(folder->GetUIObjectOf(nullptr, 1, items, IID_IQueryInfo, nullptr, &info)) || info == nullptr) return {};
    queryInfo = static_cast<IQueryInfo*>(info);
  }
  LPWSTR tip = nullptr;
  if (FAILED(queryInfo->GetInfoTip(0, &tip)) || tip == nullptr) return {};
  std::u16string out = vws::FromW(tip);
  if (NamespacePIDLManager != nullptr) {
    NamespacePIDLManager->FreeOLEStr(tip);
  } else {
    CoTaskMemFree(tip);
  }
  return out;
}
