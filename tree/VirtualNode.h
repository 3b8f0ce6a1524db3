#pragma once
// The node record of the virtual tree and the small value types around it.
// Win32-free: the node model, checks, cache, streams and sorting build on it.
//
// A node is one zero-filled allocation: the fixed header below, then the
// tree's internal data area, then the user's node data. The tree owns every
// node; deleting or clearing nodes invalidates pointers to them.
#include <cstddef>
#include <cstdint>

#include "core/Set.h"

enum TCheckState : uint8_t {
  csUncheckedNormal,
  csUncheckedPressed,
  csCheckedNormal,
  csCheckedPressed,
  csMixedNormal,
  csMixedPressed,
};

enum TCheckType : uint8_t {
  ctNone,
  ctTriStateCheckBox,
  ctCheckBox,
  ctRadioButton,
  ctButton,
};

// Bits of TVirtualNode::States.
enum TVirtualNodeState : uint16_t {
  vsInitialized = 0x0001,
  vsChecking = 0x0002,
  vsCutOrCopy = 0x0004,
  vsDisabled = 0x0008,
  vsDeleting = 0x0010,
  vsExpanded = 0x0020,
  vsHasChildren = 0x0040,
  vsVisible = 0x0080,
  vsSelected = 0x0100,
  vsInitialUserData = 0x0200,
  vsAllChildrenHidden = 0x0400,
  vsClearing = 0x0800,
  vsMultiline = 0x1000,
  vsHeightMeasured = 0x2000,
  vsToggling = 0x4000,
  // Deleted while an operation that called out was running: unlinked, its
  // record kept until that operation ends (never set on a linked node).
  vsDead = 0x8000,
};
using TVirtualNodeStates = uint16_t;

struct TVirtualNode;
using PVirtualNode = TVirtualNode*;

struct TVirtualNode {
  uint32_t Index;               // position among the siblings, from 0
  uint32_t ChildCount;          // children (for the hidden root: RootNodeCount)
  uint16_t NodeHeight;          // pixels
  TVirtualNodeStates States;
  uint8_t Align;                // vertical alignment of images and button; 50 when new
  TCheckState CheckState;
  TCheckType CheckType;
  uint8_t Reserved;             // keeps the counters aligned
  uint32_t TotalCount;          // nodes in the subtree, the node included
  uint32_t TotalHeight;         // own height plus the visible children's when expanded
  PVirtualNode Parent;          // top-level nodes point to the hidden root; null above it
  PVirtualNode PrevSibling;
  PVirtualNode NextSibling;
  PVirtualNode FirstChild;
  PVirtualNode LastChild;
};

// Size of the fixed header: 44 bytes on the 32-bit target.
constexpr uint32_t kNodeHeaderSize = sizeof(TVirtualNode);
static_assert(sizeof(void*) != 4 || sizeof(TVirtualNode) == 44, "node header layout");

// What OnInitNode may ask for a node it initialises.
enum TVirtualNodeInitState { ivsDisabled, ivsExpanded, ivsHasChildren, ivsMultiline, ivsSelected };
using TVirtualNodeInitStates = TSet<TVirtualNodeInitState, 8>;

// Where a node is linked relative to a destination node.
enum TVTNodeAttachMode { amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast };

enum TChangeReason { crIgnore, crAccumulated, crChildAdded, crChildDeleted, crNodeAdded, crNodeCopied, crNodeMoved };

enum TVTUpdateState { usBegin, usBeginSynch, usSynch, usUpdate, usEnd, usEndSynch };

enum TSortDirection { sdAscending, sdDescending };

// Signed column index: -1 means no column; position look-ups answer -2 where none is.
using TColumnIndex = int32_t;
constexpr TColumnIndex NoColumn = -1;
constexpr TColumnIndex InvalidColumn = -2;

// The tree's state flags, entered and left only through DoStateChange.
enum TVirtualTreeState {
  tsCancelHintAnimation,
  tsChangePending,
  tsCheckPropagation,
  tsCollapsing,
  tsToggleFocusedSelection,
  tsClearPending,
  tsClipboardFlushing,
  tsCopyPending,
  tsCutPending,
  tsDrawSelPending,
  tsDrawSelecting,
  tsEditing,
  tsEditPending,
  tsExpanding,
  tsHint,
  tsInAnimation,
  tsIncrementalSearching,
  tsIncrementalSearchPending,
  tsIterating,
  tsKeyCheckPending,
  tsLeftButtonDown,
  tsMouseCheckPending,
  tsMiddleButtonDown,
  tsNeedScale,
  tsNeedRootCountUpdate,
  tsOLEDragging,
  tsOLEDragPending,
  tsPainting,
  tsRightButtonDown,
  tsPopupMenuShown,
  tsScrolling,
  tsScrollPending,
  tsSizing,
  tsStopValidation,
  tsStructureChangePending,
  tsSynchMode,
  tsThumbTracking,
  tsUpdateHiddenChildrenNeeded,
  tsUpdating,
  tsUseCache,
  tsUserDragObject,
  tsUseThemes,
  tsValidating,
  tsValidationNeeded,
  tsVCLDragging,
  tsVCLDragPending,
  tsWheelPanning,
  tsWheelScrolling,
  tsWindowCreating,
};
using TVirtualTreeStates = TSet<TVirtualTreeState, 64>;

// The pressed and unpressed look of a check state (a held mouse button).
inline TCheckState PressedCheckState(TCheckState s) {
  static const TCheckState map[6] = {csUncheckedPressed, csUncheckedPressed, csCheckedPressed,
                                     csCheckedPressed,   csMixedPressed,     csMixedPressed};
  return s <= csMixedPressed ? map[s] : s;
}
inline TCheckState UnpressedCheckState(TCheckState s) {
  static const TCheckState map[6] = {csUncheckedNormal, csUncheckedNormal, csCheckedNormal,
                                     csCheckedNormal,   csMixedNormal,     csMixedNormal};
  return s <= csMixedPressed ? map[s] : s;
}
// The two box types take part in tri-state propagation.
inline bool IsBoxCheckType(TCheckType t) { return t == ctTriStateCheckBox || t == ctCheckBox; }
