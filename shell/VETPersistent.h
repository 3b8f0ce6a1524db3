#pragma once
// What an explorer tree can save of itself and build again: the root, the
// deepest expanded folders, the selection, the top and focused items and the
// node storage with the check states (TVETPersistent); named snapshots of it
// (TView, TViewList, TViewManager). Streams are little-endian and untrusted
// on reading (PIDLs and counts checked against the bytes left).
#include <string>
#include <vector>

#include "shell/NodeStorage.h"
#include "shell/Streamable.h"
#include "shell/VirtualPIDLTools.h"

class TCustomVirtualExplorerTree;

class TLeafNodeList;

// What an owner releases while one of its operations is under way: its
// handlers may clear or save the owner again while the operation still walks
// what it began with, so the released lists, views and IDs are freed only
// when the outermost operation returns.
class TReleaseLater {
public:
  TReleaseLater() = default;
  TReleaseLater(const TReleaseLater&) = delete;
  TReleaseLater& operator=(const TReleaseLater&) = delete;
  ~TReleaseLater();
  // One operation of the owner, from its start to its return.
  class TScope {
  public:
    explicit TScope(TReleaseLater& later_);
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;
    ~TScope();

  private:
    TReleaseLater& later;
  };
  bool UnderWay() const { return depth > 0; }
  // Takes object (or pidl) and frees it now, or when the last scope ends.
  void Release(TObject* object);
  void Release(LPITEMIDLIST pidl);

private:
  void FreeKept();
  int depth = 0;
  std::vector<TObject*> objects;
  std::vector<LPITEMIDLIST> pidls;
};

// One expanded folder of a saved tree.
class TLeafNode : public TStreamableClass {
public:
  ~TLeafNode() override;
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;
  bool Expanded = false;
  LPITEMIDLIST PIDL = nullptr;  // absolute, owned
  TLeafNodeList* Owner = nullptr;
};

class TLeafNodeList : public TStreamableList {
public:
  ~TLeafNodeList() override;
  // Stores a copy of pidl in a new leaf.
  void Add(LPCITEMIDLIST pidl, bool expanded);
  TLeafNode* Items(int index) const { return static_cast<TLeafNode*>(Get(index)); }
  // Frees the leaves unless ShareNodes.
  void Clear() override;
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;
  bool ShareNodes = false;
};

class TVETPersistent : public TStreamableClass {
public:
  void Create();
  ~TVETPersistent() override;
  // Empties the lists, frees the selection's parent and custom root and clears the storage.
  virtual void Clear();

  // listedAgain: the tree is cleared and built again from fresh listings at
  // once (F5). The selected files beside the first one are then not asked of
  // the disk one by one: the listing of their folder finds them or not (and
  // when no rebuild comes after all, RestoreTree asks the disk then).
  void SaveTree(TCustomVirtualExplorerTree* tree, bool saveSelection, bool saveFocus, bool listedAgain = false);
  void RestoreTree(TCustomVirtualExplorerTree* tree, bool restoreSelection, bool restoreTopNode, bool restoreFocus);
  // The expanded folders (and the selection) below node, for RefreshNode.
  void SaveExpandedBelow(TCustomVirtualExplorerTree* tree, PVirtualNode node, bool saveSelection);
  void RestoreExpandedBelow(TCustomVirtualExplorerTree* tree, PVirtualNode node, bool restoreSelection);

  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;

  TLeafNodeList* LeafNodeList = nullptr;  // owned
  TPIDLList* SelectedPIDLs = nullptr;     // owned; relative PIDLs
  LPITEMIDLIST TopNodePIDL = nullptr;     // owned
  std::u16string RootFolderCustomPath;
  int RootFolder = 16;  // TRootFolder ordinal (rfDesktop)
  LPITEMIDLIST SelectedPIDLsParent = nullptr;  // owned
  TRootNodeStorage* Storage = nullptr;         // owned
  LPITEMIDLIST RootFolderCustomPIDL = nullptr;  // owned
  LPITEMIDLIST FocusedPIDL = nullptr;           // owned

private:
  // The slot's ID, the leaves and the selection released (see TReleaseLater); the lists start empty.
  void ReleaseSlot(LPITEMIDLIST& slot);
  void ReleaseLeaves();
  void ReleaseSelection();
  void SaveExpandedBelow(TCustomVirtualExplorerTree* tree, PVirtualNode node, bool saveSelection, bool listedAgain);
  void SaveSelection(TCustomVirtualExplorerTree* tree, bool listedAgain);
  void RestoreSelection(TCustomVirtualExplorerTree* tree);
  // Drops the saved IDs taken on the shell's word whose items the disk does not find now.
  void ConfirmUnasked();
  // Selects the children of parent whose IDs are in saved.
  void SelectSaved(TCustomVirtualExplorerTree* tree, PVirtualNode parent, TPIDLList* saved);
  void CollectLeaves(TCustomVirtualExplorerTree* tree, PVirtualNode start);
  void InitAllExisting(TCustomVirtualExplorerTree* tree);
  bool allInitialized = false;
  // Entries of SelectedPIDLs saved on the shell's word (ascending), and the
  // tree's count of rebuilds then: a rebuild since lists them afresh.
  std::vector<int> unasked;
  uint64_t rebuildsAtSave = 0;
  TReleaseLater later;
};

class TView : public TVETPersistent {
public:
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;
  std::u16string ViewName;
};

class TViewList : public TStreamableList {
public:
  ~TViewList() override;
  TView* Items(int index) const { return static_cast<TView*>(Get(index)); }
  // Frees every view, last first.
  void Clear() override;
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;
};

class TViewManager : public TStreamableClass {
public:
  void Create();
  ~TViewManager() override;
  // Saves tree into the view of that name (case-insensitive; a new view when none).
  void StoreView(const std::u16string& viewName, TCustomVirtualExplorerTree* tree);
  // Restores the view of that name into tree; an unknown name changes nothing.
  virtual void ShowView(const std::u16string& viewName, TCustomVirtualExplorerTree* tree);
  // Frees every view (a handler's clear while a view is stored or shown: when that returns).
  void Clear();
  TViewList* Views() const { return views; }
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;

protected:
  // The last view of that name (case-insensitive), or null.
  TView* FindView(const std::u16string& viewName) const;
  // Saves tree into view (StoreView's work on the view found or made).
  virtual void SaveView(TView* view, TCustomVirtualExplorerTree* tree);

private:
  TViewList* views = nullptr;  // owned
  TReleaseLater later;
};
