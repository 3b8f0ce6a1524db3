#include "shell/AutoComplete.h"

#include "core/Strings.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"
#include "win/ClassInfo.h"

namespace {

const TEnumNames kContentNames = {"accCurrentDir", "accMyComputer", "accDesktop", "accFavorites", "accFileSysOnly",
                                  "accFileSysDirs", "accFileSysFiles", "accHidden", "accRecursive", "accSortList"};

TPropInfo CurrentDirProp() {
  TPropInfo p = Prop("CurrentDir", &TCustomVirtualShellAutoComplete::CurrentDir,
                     &TCustomVirtualShellAutoComplete::SetCurrentDir);
  // An 8-bit value in a definition is taken too.
  p.setStr = [](TObject* o, const std::string& v) {
    static_cast<TCustomVirtualShellAutoComplete*>(o)->SetCurrentDir(vws::FromAnsi(v));
  };
  return p;
}

const TClassRegistrar<TVirtualShellAutoComplete, TComponent> kRegistrar(
    "TVirtualShellAutoComplete",
    {SetOfProp("Contents", &TCustomVirtualShellAutoComplete::Contents, &TCustomVirtualShellAutoComplete::SetContents,
               kContentNames),
     CurrentDirProp(), EventProp("OnAutoCompleteAddItem", &TCustomVirtualShellAutoComplete::OnAutoCompleteAddItem)});

}  // namespace

TCustomVirtualShellAutoComplete::~TCustomVirtualShellAutoComplete() {
  FreeAndNil(strings);
  FreeAndNil(ansiStrings);
  if (namespaces != nullptr) {
    delete namespaces;
    namespaces = nullptr;
  }
}

void TCustomVirtualShellAutoComplete::Create(TComponent* owner) {
  TComponent::Create(owner);
  strings = New<TWideStringList>();
  ansiStrings = New<TStringList>();
  namespaces = new TVirtualNameSpaceList;
  contents = {accCurrentDir, accMyComputer, accFileSysDirs, accFileSysFiles};
}

void TCustomVirtualShellAutoComplete::SetCurrentDir(const std::u16string& value) {
  if (value == currentDir || !vws::WideDirectoryExists(value)) return;
  currentDir = value;
  dirty = true;
}

void TCustomVirtualShellAutoComplete::DoAutoCompleteAddItem(TNamespace* item, bool& allow) {
  if (!OnAutoCompleteAddItem || Going()) return;
  // The handler may free this component: its memory stays for the collection
  // that goes on around the call, which stops at its next Going() test.
  TDoorHold hold(this);
  auto handler = OnAutoCompleteAddItem;
  handler(this, item, allow);
}

bool TCustomVirtualShellAutoComplete::EnumChild(HWND window, LPITEMIDLIST childPIDL, TNamespace* parent, void* data,
                                                bool& terminate) {
  TNamespace* item = New<TNamespace>(childPIDL, parent);
  bool keep = true;
  if (item->HiddenItem() && !contents.Contains(accHidden)) keep = false;
  if (keep && contents.Contains(accFileSysOnly) && !item->FileSystem()) keep = false;
  if (!keep) {
    item->Free();
    return false;
  }
  try {
    if (contents.Contains(accRecursive) && collectDepth < kMaxRecursionDepth &&
        foldersEntered < kMaxRecursiveFolders && item->Folder() && !IsLinkOrReparsePoint(item)) {
      ++foldersEntered;
      Collect(item, collectDepth + 1);
    }
    bool allow = true;
    if (!Going()) DoAutoCompleteAddItem(item, allow);
    terminate = terminate || Going();
    if (!allow || Going()) {
      item->Free();
      return false;
    }
  } catch (...) {
    item->Free();
    throw;
  }
  // The item keeps a pointer to its parent: a collected child needs a parent of its own.
  TNamespace* owned = item->Clone(/*freePIDLOnDestroy=*/true);
  item->Free();
  namespaces->Add(owned);
  return true;
}

void TCustomVirtualShellAutoComplete::Collect(TNamespace* folder, int depth) {
  int outer = collectDepth;
  collectDepth = depth;
  try {
    folder->EnumerateFolder(nullptr, contents.Contains(accFileSysDirs), contents.Contains(accFileSysFiles),
                            contents.Contains(accHidden), MakeEvent<&TCustomVirtualShellAutoComplete::EnumChild>(this),
                            nullptr);
  } catch (...) {
    collectDepth = outer;
    throw;
  }
  collectDepth = outer;
}

void TCustomVirtualShellAutoComplete::Refresh() {
  if (!dirty) return;
  // Collected once per change of folder; SetDirty asks for another round.
  dirty = false;
  namespaces->Clear();
  foldersEntered = 0;
  if (contents.Contains(accCurrentDir) && vws::WideDirectoryExists(currentDir)) {
    TNamespace* folder = nullptr;
    try {
      folder = TNamespace::CreateFromFileName(currentDir);
    } catch (const Exception&) {
      folder = nullptr;
    }
    if (folder != nullptr) {
      try {
        Collect(folder, 0);
      } catch (...) {
        folder->Free();
        throw;
      }
      folder->Free();
    }
  }
  if (!Going() && contents.Contains(accDesktop) && DesktopFolder() != nullptr) Collect(DesktopFolder(), 0);
  if (!Going() && contents.Contains(accFavorites) && FavoritesFolder() != nullptr) Collect(FavoritesFolder(), 0);
  if (!Going() && contents.Contains(accMyComputer) && DrivesFolder() != nullptr) Collect(DrivesFolder(), 0);
}

void TCustomVirtualShellAutoComplete::FillStrings() {
  strings->BeginUpdate();
  try {
    strings->Clear();
    for (int i = 0; i < namespaces->Count(); ++i) strings->Add(namespaces->Items(i)->NameParseAddress());
    if (contents.Contains(accSortList)) strings->Sort();
  } catch (...) {
    strings->EndUpdate();
    throw;
  }
  strings->EndUpdate();
}
