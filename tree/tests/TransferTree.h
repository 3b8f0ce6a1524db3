#pragma once
// Trees for drag-and-drop tests across trees and processes: each node keeps an
// id in its data (saved and loaded with the node stream), shows it as its
// text, has a check box, and a drop inserts the dragged nodes by the drop
// mode through ProcessDrop. Used by the tests and by the drop-target process.
#include <map>
#include <string>

#include "tree/VirtualTrees.h"

namespace transfer {

inline int32_t& Id(TBaseVirtualTree* tree, PVirtualNode node) {
  return *static_cast<int32_t*>(tree->GetNodeData(node));
}

inline TVTNodeAttachMode AttachModeFor(TDropMode mode) {
  switch (mode) {
    case dmAbove: return amInsertBefore;
    case dmBelow: return amInsertAfter;
    default: return amAddChildLast;
  }
}

// How often each id was freed (nodes made by Fill or loaded from a stream).
inline std::map<int32_t, int> gFreed;

inline void SetUp(TVirtualStringTree* tree) {
  tree->SetNodeDataSize(sizeof(int32_t));
  tree->SetClipboardFormats({"Virtual Tree Data"});
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toCheckSupport).Include(toAcceptOLEDrop));
  TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  tree->OnGetText = [](TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
    std::string id = std::to_string(Id(sender, node));
    text.assign(id.begin(), id.end());
  };
  tree->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->WriteBuffer(&Id(sender, node), sizeof(int32_t));
  };
  tree->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(&Id(sender, node), sizeof(int32_t));
  };
  tree->OnFreeNode = [](TBaseVirtualTree* sender, PVirtualNode node) { ++gFreed[Id(sender, node)]; };
  tree->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
  tree->OnDragOver = [](TBaseVirtualTree*, TObject*, TShiftState, TDragStateKind, TPoint, TDropMode, int&,
                        bool& accept) { accept = true; };
  tree->OnDragDrop = [](TBaseVirtualTree* sender, TObject*, IDataObject* data, const TFormatArray&, TShiftState, TPoint,
                        int& effect, TDropMode mode) {
    sender->ProcessDrop(data, sender->DropTargetNode(), effect, AttachModeFor(mode));
  };
}

// Adds count top-level nodes with ids first, first + 1, ...; every third node
// is checked and gets two children (ids 100 x id + 1, + 2).
inline void* AsData(intptr_t id) { return reinterpret_cast<void*>(id); }

inline void Fill(TVirtualStringTree* tree, int first, int count) {
  for (int i = 0; i < count; ++i) {
    int id = first + i;
    PVirtualNode node = tree->AddChild(nullptr, AsData(id));  // given data: freed with OnFreeNode
    tree->SetCheckType(node, ctCheckBox);
    if (i % 3 == 0) {
      tree->SetCheckState(node, csCheckedNormal);
      for (int c = 1; c <= 2; ++c) tree->AddChild(node, AsData(100 * id + c));
    }
  }
}

// One line per node in tree order: indentation by level, id, "x" when checked.
inline std::string Describe(TBaseVirtualTree* tree) {
  std::string result;
  for (PVirtualNode node = tree->GetFirst(); node != nullptr; node = tree->GetNext(node)) {
    result += std::string(2 * tree->GetNodeLevel(node), ' ') + std::to_string(Id(tree, node));
    if (tree->GetCheckState(node) == csCheckedNormal) result += " x";
    result += "\n";
  }
  return result;
}

}  // namespace transfer
