// The tree's keyboard: navigation with range selection, expanding and
// collapsing, check boxes by the space bar, editing, the context-menu key and
// the hand-off of typed characters to the incremental search.
//
// In a right-to-left tree Left and Right are mirrored, as the arrows point on
// the screen: Right goes to the parent or collapses, Left expands.
#include <algorithm>

#include "tree/VirtualTrees.h"

namespace {
bool IsNavigationKey(uint16_t key) {
  switch (key) {
    case VK_BACK: case VK_TAB: case VK_PRIOR: case VK_NEXT: case VK_END:
    case VK_HOME: case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
      return true;
    default:
      return false;
  }
}

// The main keyboard's "*", "+", "-" and "/" act like the numeric pad's keys,
// also with Ctrl held (Ctrl with - restores the column widths), so the
// character is looked up without a lone Ctrl (Ctrl with Alt stays: AltGr).
uint16_t NumpadEquivalent(uint16_t key, LPARAM keyData, const BYTE* keyState) {
  BYTE lookup[256];
  std::copy(keyState, keyState + 256, lookup);
  if (!(lookup[VK_MENU] & 0x80)) lookup[VK_CONTROL] = lookup[VK_LCONTROL] = lookup[VK_RCONTROL] = 0;
  WORD chars[2] = {};
  UINT scan = (static_cast<UINT>(keyData) >> 16) & 0xFF;
  if (ToAscii(key, scan, lookup, chars, 0) != 1) return key;
  switch (static_cast<char>(chars[0])) {
    case '*': return VK_MULTIPLY;
    case '+': return VK_ADD;
    case '-': return VK_SUBTRACT;
    case '/': return VK_DIVIDE;
    default: return key;
  }
}
}  // namespace

bool TBaseVirtualTree::StartCheck(PVirtualNode node, TVirtualTreeState pendingState) {
  if (states.Contains(tsKeyCheckPending) || states.Contains(tsMouseCheckPending) || (node->States & vsDisabled))
    return false;
  TCheckState newState = DetermineNextCheckState(node->CheckType, node->CheckState);
  TCallOutScope scope(*this);
  if (!DoChecking(node, newState) || Gone(node)) return false;
  // Remembered before anyone hears of it: a node freed from here on is forgotten.
  checkNode = node;
  pendingCheckState = newState;
  node->CheckState = PressedCheckState(node->CheckState);
  DoStateChange({pendingState});
  if (Gone(node)) {
    // Its handler took the node away: nothing is pending any more.
    DoStateChange({}, {pendingState});
    return false;
  }
  InvalidateNode(node);
  return true;
}

void TBaseVirtualTree::WMKeyDown(TMessage& m) {
  if (DoKeyDown(m)) return;  // OnKeyDown took the key
  if (Going()) return;
  // A character announced by an earlier key that never came is not searched for.
  DoStateChange({}, {tsIncrementalSearchPending});
  uint16_t key = static_cast<uint16_t>(m.WParam);
  // One read of the keyboard state serves the modifiers and the character look-up.
  BYTE keyState[256] = {};
  GetKeyboardState(keyState);
  TShiftState shift;
  if (keyState[VK_SHIFT] & 0x80) shift.Include(ssShift);
  if (keyState[VK_CONTROL] & 0x80) shift.Include(ssCtrl);
  if (keyState[VK_MENU] & 0x80) shift.Include(ssAlt);
  // The key's handler may free the tree (a form closed on a key).
  bool doDefault = DoKeyAction(key, shift);
  if (Going() || !doDefault) return;
  BeginInvalidationBatch();
  struct BatchEnd {
    TBaseVirtualTree* tree;
    ~BatchEnd() {
      if (!tree->Going()) tree->EndInvalidationBatch();
    }
  } batchEnd{this};

  if (states.Contains(tsKeyCheckPending) && key != VK_SPACE) {
    // Another key abandons the check the space bar began.
    DoStateChange({}, {tsKeyCheckPending});
    if (checkNode != nullptr) {
      checkNode->CheckState = UnpressedCheckState(checkNode->CheckState);
      InvalidateNode(checkNode);
    }
    checkNode = nullptr;
  }

  if (IsNavigationKey(key)) {
    if (BiDiMode() == bdRightToLeft && (key == VK_LEFT || key == VK_RIGHT)) key = key == VK_LEFT ? VK_RIGHT : VK_LEFT;
    HandleNavigationKey(key, shift);
    return;
  }

  key = NumpadEquivalent(key, m.LParam, keyState);
  bool searching = states.Contains(tsIncrementalSearching);
  bool ctrl = shift.Contains(ssCtrl);
  switch (key) {
    case VK_ADD:
      if (searching)
        DoStateChange({tsIncrementalSearchPending});
      else if (!ctrl) {
        if (focusedNode != nullptr && !(focusedNode->States & vsExpanded)) ToggleNode(focusedNode);
      } else if (shift.Contains(ssShift))
        FullExpand(nullptr);
      else
        FitColumnsToContent(/*restore=*/false);
      break;
    case VK_SUBTRACT:
      if (searching)
        DoStateChange({tsIncrementalSearchPending});
      else if (!ctrl) {
        if (focusedNode != nullptr && (focusedNode->States & vsExpanded)) ToggleNode(focusedNode);
      } else if (shift.Contains(ssShift))
        FullCollapse(nullptr);
      else
        FitColumnsToContent(/*restore=*/true);
      break;
    case VK_MULTIPLY:
      if (searching)
        DoStateChange({tsIncrementalSearchPending});
      else if (focusedNode != nullptr)
        FullExpand(focusedNode);
      break;
    case VK_DIVIDE:
      if (searching)
        DoStateChange({tsIncrementalSearchPending});
      else if (focusedNode != nullptr)
        FullCollapse(focusedNode);
      break;
    case VK_F1:
      ShowHelpForFocusedNode();
      break;
    case VK_F2:
      if (shift.Empty() && focusedNode != nullptr && CanEdit(focusedNode, focusedColumn)) {
        editColumn = focusedColumn;
        DoEdit();
      }
      break;
    case VK_ESCAPE:
      if (IsMouseSelecting()) {
        DoStateChange({}, {tsDrawSelPending, tsDrawSelecting});
        Invalidate();
      } else if (states.Contains(tsEditing)) {
        CancelEditNode();
      }
      break;
    case VK_SPACE:
      if (options.misc.Contains(toCheckSupport) && focusedNode != nullptr && focusedNode->CheckType != ctNone)
        StartCheck(focusedNode, tsKeyCheckPending);
      else
        DoStateChange({tsIncrementalSearchPending});
      break;
    case VK_APPS:
      ShowContextMenuAtFocus();
      break;
    case 'A':
      if (ctrl)
        SelectAll(true);
      else
        DoStateChange({tsIncrementalSearchPending});
      break;
    default:
      if (!ctrl && !shift.Contains(ssAlt) && key >= 32) DoStateChange({tsIncrementalSearchPending});
  }
  if (!Going()) DefaultHandler(m);
}

void TBaseVirtualTree::FitColumnsToContent(bool restore) {
  if (header == nullptr) return;
  if (restore)
    header->RestoreColumns();
  else
    header->AutoFitColumns(/*animated=*/true);
}

void TBaseVirtualTree::ShowContextMenuAtFocus() {
  if (focusedNode == nullptr) return;
  // Measuring the text calls out: a handler that frees the node (or the
  // tree) shows no menu for it.
  TCallOutScope scope(*this);
  PVirtualNode node = focusedNode;
  TRect r = GetDisplayRect(node, focusedColumn, false, true);
  if (scope.Lost(node) || focusedNode != node) return;
  int width = DoGetNodeWidth(focusedNode, focusedColumn);
  if (scope.Lost(node) || focusedNode != node) return;
  int limit = r.Right - r.Left;
  if (HeaderColumnCount() == 0 || limit <= 0) limit = ClientWidth();
  if (width > limit) width = limit;
  // The middle without adding the edges: a row far off may have both at the end of an int.
  DoPopupMenu(focusedNode, focusedColumn, Point(r.Left + width / 2, r.Top + (r.Bottom - r.Top) / 2));
}

void TBaseVirtualTree::ShowHelpForFocusedNode() {
  if (OnGetHelpContext) {
    // The handler may free the node asked about, or the whole tree: the walk
    // up stops there, and a freed tree shows no help.
    TCallOutScope scope(*this);
    int context = 0;
    for (PVirtualNode run = focusedNode; run != nullptr && run != root && context == 0; run = run->Parent) {
      if (!Fire(OnGetHelpContext, this, run, run == focusedNode ? focusedColumn : 0, context)) return;
      if (Gone(run)) break;
    }
    for (TControl* control = this; control != nullptr && context == 0; control = control->Parent())
      context = control->HelpContext();
    if (context != 0 && Application != nullptr) Application->HelpContext(context);
    return;
  }
  if (Application != nullptr) Application->HelpForControl(this);
}

void TBaseVirtualTree::HandleNavigationKey(uint16_t key, TShiftState shift) {
  bool multi = options.selection.Contains(toMultiSelect);
  bool grid = options.misc.Contains(toGridExtensions);
  bool ctrl = shift.Contains(ssCtrl);
  bool multiHandling = shift.Contains(ssShift) && multi && !states.Contains(tsEditing);
  bool rangeSelection = (key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME) && multiHandling;
  bool repaintAll = rangeSelection || selectionCount > 1;
  bool backOrTab = key == VK_BACK || key == VK_TAB;
  bool clearPending;
  if (shift.Empty())
    clearPending = true;
  else if (!grid)
    clearPending = !multi || backOrTab;
  else if (!shift.Contains(ssShift))
    clearPending = true;
  else
    clearPending = !multi || backOrTab;

  // Every handler on the way may free nodes this key has in hand.
  TCallOutScope scope(*this);
  auto gone = [&](PVirtualNode node) { return node != nullptr && scope.Lost(node); };
  PVirtualNode lastFocused = focusedNode;
  if (lastFocused == nullptr && !shift.Empty()) lastFocused = GetFirstVisible();
  if (rangeAnchor == nullptr) {
    rangeAnchor = GetFirstSelected();
    if (rangeAnchor == nullptr) rangeAnchor = GetFirst();
  }
  int columns = HeaderColumnCount();
  int clientHeight = ClientHeight();

  // Moves the focus to node with the column rules of Up and Down.
  auto focusVertically = [&](PVirtualNode node, bool leaveWhenAfter) {
    if (node == nullptr) {
      if (focusedNode != nullptr) InvalidateNode(focusedNode);
      return;
    }
    if (!EndEditNode() || gone(node)) return;
    if (multiHandling && lastFocused != nullptr && !gone(lastFocused) && rangeAnchor != nullptr &&
        focusedNode != nullptr) {
      int order = CompareNodeOrder(lastFocused, rangeAnchor);
      if (leaveWhenAfter ? order > 0 : order < 0) RemoveFromSelection(focusedNode);
      if (gone(node)) return;
    }
    if (focusedColumn == NoColumn && columns > 0) focusedColumn = HeaderMainColumn();
    SetFocusedNode(node);
  };

  switch (key) {
    case VK_BACK:
      if (states.Contains(tsIncrementalSearching))
        DoStateChange({tsIncrementalSearchPending});
      else if (focusedNode != nullptr && focusedNode->Parent != root)
        SetFocusedNode(focusedNode->Parent);
      break;
    case VK_TAB: {
      if (!options.selection.Contains(toExtendedFocus) || columns == 0) break;
      bool back = shift.Contains(ssShift);
      PVirtualNode node = focusedNode;
      TColumnIndex candidate = focusedColumn < 0 ? (back ? LastVisibleColumn() : FirstVisibleColumn())
                                                 : (back ? PreviousVisibleColumn(focusedColumn)
                                                         : NextVisibleColumn(focusedColumn));
      // A focus handler that changes the columns ends the search: the candidates went stale.
      const uint32_t columnSet = ColumnSetChanges();
      auto lost = [&] { return gone(node) || ColumnSetChanges() != columnSet; };
      while (node != nullptr) {
        while (candidate >= 0 && !DoFocusChanging(focusedNode, node, focusedColumn, candidate) && !lost())
          candidate = back ? PreviousVisibleColumn(candidate) : NextVisibleColumn(candidate);
        if (lost()) break;
        if (candidate >= 0) {
          SetFocusedNodeAndColumn(node, candidate);
          break;
        }
        // The row is done: the next row's first cell (the previous row's last).
        node = back ? GetPreviousVisible(node) : GetNextVisible(node);
        candidate = back ? LastVisibleColumn() : FirstVisibleColumn();
      }
      break;
    }
    case VK_PRIOR:
    case VK_NEXT: {
      bool up = key == VK_PRIOR;
      if (ctrl) {
        SetOffsetY(offsetY + (up ? clientHeight : -clientHeight));
        break;
      }
      if (focusedNode == nullptr) {
        SetFocusedNode(up ? GetFirstVisible() : GetLastVisible());
        break;
      }
      PVirtualNode node = focusedNode;
      int height = 0;
      for (;;) {
        PVirtualNode step = up ? GetPreviousVisible(node) : GetNextVisible(node);
        if (step == nullptr || height + static_cast<int>(GetNodeHeight(node)) >= clientHeight) break;
        node = step;
        height += static_cast<int>(GetNodeHeight(step));
      }
      SetFocusedNode(node);
      break;
    }
    case VK_HOME:
    case VK_END: {
      bool home = key == VK_HOME;
      PVirtualNode target = home ? GetFirstVisible() : GetLastVisible();
      TColumnIndex column = NoColumn;
      if (columns > 0) {
        column = home ? FirstVisibleColumn() : LastVisibleColumn();
        while (column >= 0 && !DoFocusChanging(focusedNode, target, focusedColumn, column) && !gone(target))
          column = home ? NextVisibleColumn(column) : PreviousVisibleColumn(column);
        if (column < 0 || gone(target)) break;
      }
      if (ctrl && !shift.Contains(ssShift) && !shift.Contains(ssAlt) && !grid) {
        if (target != nullptr)
          ScrollIntoView(target, options.selection.Contains(toCenterScrollIntoView),
                         !options.autoOptions.Contains(toDisableAutoscrollOnFocus));
        SetOffsetX(home ? 0 : -2147483647);
      } else if (grid && !ctrl) {
        if (!options.selection.Contains(toFullRowSelect)) SetFocusedColumn(column);
      } else {
        SetFocusedNode(target);
        if (grid && !options.selection.Contains(toFullRowSelect)) SetFocusedColumn(column);
      }
      break;
    }
    case VK_LEFT:
      if (ctrl) {
        SetOffsetX(offsetX + static_cast<int>(indent));
      } else if (options.selection.Contains(toExtendedFocus) && grid) {
        TColumnIndex column = PreviousVisibleColumn(focusedColumn);
        if (column >= 0) SetFocusedColumn(column);
      } else if (focusedNode == nullptr) {
        SetFocusedNode(GetFirstVisible());
      } else if ((focusedNode->States & vsExpanded) && (focusedNode->States & vsHasChildren) && shift.Empty()) {
        ToggleNode(focusedNode);
      } else if (focusedNode->Parent != root) {
        PVirtualNode parent = focusedNode->Parent;
        if (multiHandling) {
          if (focusedNode->Index == 0 && rangeAnchor != nullptr && CompareNodeOrder(parent, rangeAnchor) > 0)
            RemoveFromSelection(focusedNode);
          else
            rangeSelection = true;
        }
        if (!gone(parent)) SetFocusedNode(parent);
      }
      break;
    case VK_RIGHT:
      if (ctrl) {
        SetOffsetX(offsetX - static_cast<int>(indent));
      } else if (options.selection.Contains(toExtendedFocus) && grid) {
        TColumnIndex column = NextVisibleColumn(focusedColumn);
        if (column >= 0) SetFocusedColumn(column);
      } else if (focusedNode == nullptr) {
        SetFocusedNode(GetFirstVisible());
      } else if (!(focusedNode->States & vsExpanded) && (focusedNode->States & vsHasChildren) && shift.Empty()) {
        ToggleNode(focusedNode);
      } else {
        PVirtualNode child = GetFirstVisibleChild(focusedNode);
        if (child != nullptr) {
          if (multiHandling && rangeAnchor != nullptr && CompareNodeOrder(child, rangeAnchor) < 0)
            RemoveFromSelection(focusedNode);
          if (!gone(child)) SetFocusedNode(child);
        }
      }
      break;
    case VK_UP:
      if (ctrl)
        SetOffsetY(offsetY + static_cast<int>(defaultNodeHeight));
      else
        focusVertically(focusedNode == nullptr ? GetLastVisible() : GetPreviousVisible(focusedNode), true);
      break;
    case VK_DOWN:
      if (ctrl)
        SetOffsetY(offsetY - static_cast<int>(defaultNodeHeight));
      else
        focusVertically(focusedNode == nullptr ? GetFirstVisible() : GetNextVisible(focusedNode), false);
      break;
  }

  // A handler on the way may have freed the tree itself.
  if (scope.TreeGone()) return;
  if (gone(lastFocused)) lastFocused = nullptr;
  bool cleared = false;
  if (clearPending && (focusedNode != lastFocused || selectionCount != 1)) {
    ClearSelection();
    cleared = true;
  }
  if (shift.Empty()) {
    rangeAnchor = focusedNode;
    lastSelectionLevel = focusedNode != nullptr ? static_cast<int>(GetNodeLevel(focusedNode)) : -1;
  }
  if (rangeSelection && lastFocused != nullptr && !gone(lastFocused) && focusedNode != nullptr)
    ToggleSelection(lastFocused, focusedNode);
  if (focusedNode != nullptr && (focusedNode != lastFocused || cleared)) AddToSelection(focusedNode);
  if (repaintAll) Invalidate();
}

void TBaseVirtualTree::WMKeyUp(TMessage& m) {
  if (DoKeyUp(m)) return;
  if (Going()) return;
  if (m.WParam == VK_SPACE && states.Contains(tsKeyCheckPending)) {
    DoStateChange({}, {tsKeyCheckPending});
    PVirtualNode node = checkNode;
    checkNode = nullptr;
    if (node != nullptr) {
      // A check node that lost the focus meanwhile is only repainted.
      node->CheckState = UnpressedCheckState(node->CheckState);
      TCallOutScope scope(*this);
      if (node == focusedNode) DoCheckClick(node, pendingCheckState);
      if (scope.TreeGone()) return;
      if (!Gone(node)) InvalidateNode(node);
    }
  }
  DefaultHandler(m);
}

void TBaseVirtualTree::WMChar(TMessage& m) {
  // The search and key handlers may free the tree.
  if (states.Contains(tsIncrementalSearchPending)) {
    // The window is a Unicode window: the character is one UTF-16 unit.
    HandleIncrementalSearch(static_cast<char16_t>(m.WParam));
    if (Going()) return;
    DoStateChange({}, {tsIncrementalSearchPending});
  }
  if (DoKeyPress(m)) return;
  if (!Going()) DefaultHandler(m);
}

void TBaseVirtualTree::WMGetDlgCode(TMessage& m) {
  m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
  if (wantTabs) m.Result |= DLGC_WANTTAB;
}
