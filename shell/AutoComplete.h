#pragma once
// Auto-complete of shell paths: collects the children of the current folder,
// My Computer, the desktop and Favorites and hands their parsing names over
// as a TWideStringList.
#include <string>

#include "core/Component.h"
#include "core/Events.h"
#include "core/Set.h"
#include "shell/NameSpaceList.h"
#include "shell/WideStringList.h"

class TStringList;

enum TAutoCompleteContent {
  accCurrentDir, accMyComputer, accDesktop, accFavorites, accFileSysOnly, accFileSysDirs, accFileSysFiles,
  accHidden, accRecursive, accSortList
};
using TAutoCompleteContents = TSet<TAutoCompleteContent, 16>;

// Asked for every candidate; set allow false to leave it out.
using TVirtualAutoCompleteAddItem = TEvent<void(TObject* sender, TNamespace* autoCompleteItem, bool& allow)>;

class TCustomVirtualShellAutoComplete : public TComponent {
public:
  // With accRecursive, how many folder levels below a collected folder are
  // listed too; links, junctions and mount points are never entered.
  static constexpr int kMaxRecursionDepth = 16;
  // With accRecursive, how many folders one Refresh enters below the folders
  // it collects (it runs on the interface thread: a whole drive would take
  // minutes); the folders beyond are still candidates, their items are not.
  static constexpr int kMaxRecursiveFolders = 256;

  ~TCustomVirtualShellAutoComplete() override;
  void Create(TComponent* owner) override;

  const std::u16string& CurrentDir() const { return currentDir; }
  // Takes a different path that names an existing directory; other values are ignored.
  void SetCurrentDir(const std::u16string& value);
  // Collects the candidates again when the folder changed (current folder,
  // desktop, Favorites, My Computer, as Contents asks).
  void Refresh();
  // Forces the next Refresh to collect.
  void SetDirty() { dirty = true; }
  bool Dirty() const { return dirty; }
  // Strings becomes the parsing names of the collected items (sorted with accSortList).
  void FillStrings();
  TWideStringList* Strings() const { return strings; }
  TVirtualNameSpaceList* NameSpaces() const { return namespaces; }
  TAutoCompleteContents Contents() const { return contents; }
  void SetContents(TAutoCompleteContents value) { contents = value; }

  TVirtualAutoCompleteAddItem OnAutoCompleteAddItem;

protected:
  virtual void DoAutoCompleteAddItem(TNamespace* item, bool& allow);

private:
  // Lists folder's children; with accRecursive also theirs (depth levels down so far).
  void Collect(TNamespace* folder, int depth);
  bool EnumChild(HWND window, LPITEMIDLIST childPIDL, TNamespace* parent, void* data, bool& terminate);

  std::u16string currentDir;
  TWideStringList* strings = nullptr;  // owned
  TStringList* ansiStrings = nullptr;  // owned
  TAutoCompleteContents contents;
  TVirtualNameSpaceList* namespaces = nullptr;  // owned
  bool dirty = false;
  int collectDepth = 0;  // the level Collect lists now (0: a folder asked for)
  int foldersEntered = 0;  // by recursion in this Refresh
};

class TVirtualShellAutoComplete : public TCustomVirtualShellAutoComplete {};
