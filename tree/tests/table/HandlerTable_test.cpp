// Every handler of the tree, made to free the tree, the node it is told about,
// that node's parent, a header column or the form (with its image list) at
// its k-th call, while one script of operations that fire events runs on a
// fresh tree in a form. Released trees, forms and columns are fenced and
// freed node records unreadable, so a touch of freed memory faults where it
// happens. A row passes when nothing faults, no handler of the freed tree,
// about a freed node or about a deleted column runs afterwards, what lives is
// sound (the tree's totals, counts and selection, or the form the freed tree
// sat in), and every node initialised was freed once.
//
// The events are read from the tree's headers at build time (TreeEvents.inc),
// with the class library's events the tree inherits; CI runs a fixed sample
// of the rows and a few chosen ones, QV_LONG=1 all of them.
//
// The second table takes each step alone as an operation called from outside
// any message: a dry run counts the calls of every event from the
// operation's start, and its rows act at the first, the second and the last
// of them, also on the operation's target, its parent, the whole content, the
// first column or the image lists the tree holds. Each row also checks what
// the operation did (where a node moved, which column a drag moved, a cut
// export told as a failure).
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TreeTestSupport.h"
#include "core/FencedObjects.h"
#include "core/MemoryStream.h"
#include "core/testing/HandlerTable.h"
#include "core/testing/RowProcesses.h"
#include "tree/StringEditLink.h"
#include "tree/VirtualTrees.h"
#include "win/ClassInfo.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace {

using namespace qvtable;

// Columns as large as a form: the fencing of released trees and forms takes them too.
struct TTableColumn : TVirtualTreeColumn {
  char padding[sizeof(TForm)]{};
};

// So is the form's image list the tree holds.
struct TTableImages : TImageList {
  char padding[sizeof(TForm)]{};
};

struct TTableTree : TVirtualStringTree {
  using TBaseVirtualTree::DoDragging;
  void DoFreeNode(PVirtualNode node) override;
  TVirtualTreeColumn* CreateColumn(TVirtualTreeColumns* collection) override {
    return New<TTableColumn>(collection);
  }
};

// ---- The table: events x {tree, node, parent, form, column} x k -------------

enum TAction { aTree, aNode, aParent, aForm, aColumn, aTarget, aTargetParent, aClear, aFirstColumn, aImages };
const std::vector<std::string> kActions{"tree",   "node",          "parent",         "form",         "column",
                                        "target", "target's parent", "whole content", "first column", "image list"};
constexpr int kSampleRows = 64;
constexpr int kRowsPerChild = 100;
constexpr int kOperationSample = 300;

// The events, on the string tree or on the draw tree beside it.
struct TTable;
#define QV_TREE_EVENT(name) QV_TABLE_EVENT(TTable, name),
const std::vector<TEventSlot<TTableTree, TVirtualDrawTree>> kEvents{
#include "TreeEvents.inc"
    // The class library's events of the tree.
    QV_TREE_EVENT(OnClick) QV_TREE_EVENT(OnDblClick) QV_TREE_EVENT(OnMouseDown) QV_TREE_EVENT(OnMouseUp)
    QV_TREE_EVENT(OnMouseMove) QV_TREE_EVENT(OnMouseEnter) QV_TREE_EVENT(OnMouseLeave) QV_TREE_EVENT(OnResize)
    QV_TREE_EVENT(OnContextPopup) QV_TREE_EVENT(OnKeyDown) QV_TREE_EVENT(OnKeyUp) QV_TREE_EVENT(OnKeyPress)
    QV_TREE_EVENT(OnEnter) QV_TREE_EVENT(OnExit) QV_TREE_EVENT(OnStartDrag) QV_TREE_EVENT(OnEndDrag)
};
#undef QV_TREE_EVENT

const TRows& Rows() {
  static const TRows rows = [] {
    // The events called all along the script act at later calls too, in later steps.
    const std::set<std::string> often{"OnGetText",  "OnGetImageIndex", "OnPaintText", "OnMeasureItem", "OnStateChange",
                                      "OnInitNode", "OnFreeNode",      "OnExpanding", "OnShowScrollbar"};
    TRows rows({}, {kActions.begin(), kActions.begin() + aTarget}, {});
    for (const auto& slot : kEvents)
      rows.AddEvent(slot.name, often.count(slot.name) ? std::vector<int>{1, 2, 3, 10, 100, 1000} : std::vector<int>{1, 2, 3});
    return rows;
  }();
  return rows;
}

// ---- What a row sees ------------------------------------------------------------

struct TRowState {
  TRow row{};
  int event = -1;                   // the event that acts
  PVirtualNode target = nullptr;    // the operation's
  bool plain = false;               // a view without check boxes
  std::vector<int> calls;           // by event, while a dry run counts them
  std::vector<TVirtualTreeColumn*> columnsBefore;  // in display order, before the operation
  TVirtualTreeColumn* pressed = nullptr;           // the column the mouse pressed
  std::vector<TVirtualTreeColumn*> draggedTold;    // what OnHeaderDragged named
  PVirtualNode source = nullptr;                   // what the operation moves
  std::string saved;                               // a stream the operation reads
  TRect rect;                                      // the place the operation gave
  uint32_t height = 0;                             // the height it gave
  TForm* form = nullptr;
  TTableTree* tree = nullptr;
  TVirtualDrawTree* drawTree = nullptr;  // beside the tree, for the draw tree's own events
  std::vector<bool> drawOnly;            // by event: the draw tree's own
  bool drawRow = false;                  // the row's event is the draw tree's: its handler frees that tree
  bool drawFreed = false;
  TImageList* images = nullptr;  // the form's, held by the tree and its header
  HWND window = nullptr;
  int headerHeight = 0;
  bool observing = false;  // the script runs (not the set-up or the tear-down)
  bool acting = false;     // the table's handler frees something right now
  bool acted = false;
  bool treeFreed = false;
  int eventCalls = 0;
  std::string actedIn;  // the step the table's handler freed something in
  std::string refused;            // why the tree refused the handler's deletion
  std::set<PVirtualNode> freedNodes;
  std::set<PVirtualNode> initialised;
  std::set<PVirtualNode> loaded;  // given to OnLoadNode
  std::map<PVirtualNode, int> freeCalls;  // of the tree's own DoFreeNode, by node
  std::string problems;
} g;

void Problem(const std::string& text) {
  if (g.problems.find(text) != std::string::npos) return;
  g.problems += (g.problems.empty() ? "" : "; ") + text;
}

// What a handler is told about: nodes, and the header column it draws.
struct TTold {
  std::vector<PVirtualNode> nodes;
  TVirtualTreeColumn* column = nullptr;
};

void Act(const TTold& told) {
  g.acted = true;
  g.actedIn = RowStep();
  g.acting = true;
  TBaseVirtualTree* tree = g.drawRow ? static_cast<TBaseVirtualTree*>(g.drawTree) : g.tree;
  if (g.row.action == aForm) {  // with both trees and the image list
    g.treeFreed = g.drawFreed = true;
    g.form->Free();
    g.form = nullptr;
    g.images = nullptr;
  } else if (g.row.action == aTree) {
    tree->Free();
    (g.drawRow ? g.drawFreed : g.treeFreed) = true;
  } else if (g.row.action == aImages) {
    if (g.images != nullptr) std::exchange(g.images, nullptr)->Free();
  } else if (g.row.action == aClear) {
    try {
      tree->Clear();
    } catch (const std::exception& e) {  // refused as a deletion is (a stream is being read)
      g.refused = e.what();
    }
  } else if (g.row.action == aColumn || g.row.action == aFirstColumn) {
    // The column drawn, else the focused one, else the first shown.
    TVirtualTreeColumns* columns = tree->Header()->Columns();
    TVirtualTreeColumn* column = told.column != nullptr ? told.column : columns->Items(tree->FocusedColumn());
    if (column == nullptr || g.row.action == aFirstColumn) column = columns->Items(columns->ColumnFromPositionIndex(0));
    if (column != nullptr) columns->Delete(column->Index());
  } else {
    PVirtualNode node = !told.nodes.empty() ? told.nodes.front() : tree->FocusedNode();
    if (node == nullptr) node = tree->RootNode()->FirstChild;
    if (g.row.action == aTarget || g.row.action == aTargetParent) node = g.drawRow ? nullptr : g.target;
    if (g.freedNodes.count(node)) node = nullptr;
    if (node != nullptr && (g.row.action == aParent || g.row.action == aTargetParent)) node = node->Parent;
    if (node != nullptr && node != tree->RootNode() && !g.freedNodes.count(node)) {
      try {
        tree->DeleteNode(node);
        // A node a deletion under way takes out already goes with it, told by its OnFreeNode then.
        if (node->States & vsDead) g.freedNodes.insert(node);
      } catch (const std::exception& e) {  // a deletion the tree cannot honour here is refused
        g.refused = e.what();
      }
    }
  }
  g.acting = false;
}

// Every handler of the row comes here, the event under test and the rest.
void Observe(int index, const TTold& told, const std::function<void()>& baseline) {
  bool drawOnly = index < static_cast<int>(g.drawOnly.size()) && g.drawOnly[index];  // none outside a row
  bool freed = drawOnly ? g.drawFreed : g.treeFreed;
  if (freed && !g.acting) return Problem(std::string(kEvents[index].name) + " ran after its tree was freed");
  for (PVirtualNode node : told.nodes)
    if (g.freedNodes.count(node)) return Problem(std::string(kEvents[index].name) + " was told about a freed node");
  if (told.column != nullptr && told.column->Going())
    return Problem(std::string(kEvents[index].name) + " was told about a deleted column");
  baseline();
  if (!g.observing || g.acting) return;
  if (!g.calls.empty()) ++g.calls[index];  // a dry run
  if (g.acted || index != g.event) return;
  if (++g.eventCalls == g.row.k) Act(told);
}

// Every node initialised is freed once, whenever and however the tree goes.
void TTableTree::DoFreeNode(PVirtualNode node) {
  if (++g.freeCalls[node] == 2) Problem("a node was freed twice");
  TVirtualStringTree::DoFreeNode(node);
}

// What every handler hands the table: the nodes it is told about.
struct TTable {
  using Told = TTold;
  static void Collect(Told& told, PVirtualNode node) {
    if (node != nullptr) told.nodes.push_back(node);
  }
  static void Collect(Told& told, TVirtualTreeColumn* column) { told.column = column; }
  static void Collect(Told& told, const THeaderPaintInfo& info) { told.column = info.Column; }
  template <class T>
  static void Collect(Told&, const T&) {}
  static constexpr auto Observe = &::Observe;
};

// What the tree's handlers do in every row besides the table's: texts, hints,
// children and check boxes, drops accepted, owner-drawn header parts.
void SetBaselines() {
  using Core = TVirtualTreeCore;
  using Base = TBaseVirtualTree;
  using Strings = TCustomVirtualStringTree;
  SetBaseline<TTable, &Core::OnInitNode>(
      [](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states) {
        g.initialised.insert(node);
        if (!g.plain) node->CheckType = ctTriStateCheckBox;
        if (parent == nullptr && node->Index % 3 == 0) states.Include(ivsHasChildren);
      });
  SetBaseline<TTable, &Core::OnInitChildren>([](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = 3; });
  SetBaseline<TTable, &Core::OnFreeNode>([](TBaseVirtualTree*, PVirtualNode node) { g.freedNodes.insert(node); });
  SetBaseline<TTable, &Strings::OnGetText>(
      [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType, std::u16string& text) {
        std::string s = "Node " + std::to_string(node->Index);
        if (column == 1) s += " with a text too long for its cell";
        if (column != 2) text.assign(s.begin(), s.end());
      });
  SetBaseline<TTable, &Strings::OnGetHint>(
      [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVTTooltipLineBreakStyle&, std::u16string& hint) {
        hint = u"A hint";
      });
  SetBaseline<TTable, &Base::OnDragOver>(
      [](TBaseVirtualTree*, TObject*, TShiftState, TDragStateKind, TPoint, TDropMode, int&, bool& accept) {
        accept = true;
      });
  SetBaseline<TTable, &Core::OnCreateEditor>([](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr& link) {
    link = std::make_shared<TStringEditLink>();
  });
  SetBaseline<TTable, &Base::OnHeaderDrawQueryElements>(
      [](TVTHeader*, THeaderPaintInfo&, THeaderPaintElements& elements) { elements = hpeBackground | hpeText; });
  SetBaseline<TTable, &Core::OnSaveNode>(
      [](TBaseVirtualTree*, PVirtualNode node, TStream* stream) { stream->WriteBuffer(&node->Index, 4); });
  SetBaseline<TTable, &Core::OnLoadNode>([](TBaseVirtualTree*, PVirtualNode node, TStream* stream) {
    if (node != nullptr) g.loaded.insert(node);
    uint32_t index = 0;
    stream->ReadBuffer(&index, 4);
  });
  SetBaseline<TTable, &Base::OnGetImageIndex>(
      [](TBaseVirtualTree*, PVirtualNode, TVTImageKind kind, TColumnIndex, bool&, int& index) {
        index = kind == ikOverlay ? -1 : 0;
      });
  SetBaseline<TTable, &Core::OnGetNodeDataSize>([](TBaseVirtualTree*, int& size) { size = 0; });
  SetBaseline<TTable, &TCustomVirtualDrawTree::OnGetHintSize>(
      [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TRect& r) { r = TRect{0, 0, 120, 20}; });
  // The pressed column, as the header asks whether it may be dragged.
  SetBaseline<TTable, &Base::OnHeaderDragging>([](TVTHeader* header, TColumnIndex column, bool&) {
    if (g.pressed != nullptr) g.pressed = header->Columns()->Items(column);
  });
  SetBaseline<TTable, &Base::OnHeaderDragged>([](TVTHeader* header, TColumnIndex column, int) {
    g.draggedTold.push_back(header->Columns()->Items(column));
  });
  SetBaseline<TTable, &Base::OnGetLineStyle>([](TBaseVirtualTree*, void*& bits) {
    static uint16_t pattern[8] = {0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC};
    bits = pattern;
  });
}

// ---- The script ---------------------------------------------------------------

LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) {
  return g.treeFreed || !IsWindow(g.window) ? 0 : SendMessageW(g.window, message, w, l);
}
void Key(WORD key) {
  Send(WM_KEYDOWN, key, 1);
  Send(WM_KEYUP, key, 0xC0000001);
}
// To whichever window has the focus (the editor while one runs).
void KeyToFocus(WORD key, bool character = false) {
  HWND focus = GetFocus();
  if (focus == nullptr || g.treeFreed) return;
  if (character) {
    SendMessageW(focus, WM_CHAR, key, 1);
    return;
  }
  SendMessageW(focus, WM_KEYDOWN, key, 1);
  if (IsWindow(focus) && !g.treeFreed) SendMessageW(focus, WM_KEYUP, key, 0xC0000001);
}
void Mouse(UINT down, UINT up, int x, int y, WPARAM buttons = MK_LBUTTON) {
  Send(down, buttons, MAKELPARAM(x, y));
  if (up != 0) Send(up, 0, MAKELPARAM(x, y));
}
// A non-client message on the header at (x, y) from the header's top-left.
// The script never touches a freed tree itself: what it needs after a message
// was read before the message or comes from the window.
void Header(UINT message, int x, int y) {
  POINT pt{x, y - g.headerHeight};
  ClientToScreen(g.window, &pt);
  Send(message, HTBORDER, MAKELPARAM(pt.x, pt.y));
}
int HeaderY(int y) { return y - g.headerHeight; }
// The real mouse rests away from the form: only the script's messages reach the tree.
void ParkMouse() { SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1); }
void Pump(int ms) {
  if (!g.treeFreed) qvtest::Pump(ms);
}
PVirtualNode Shown(int i) {
  if (g.treeFreed) return nullptr;
  PVirtualNode run = g.tree->GetFirstVisible();
  while (run != nullptr && i-- > 0 && !g.treeFreed) run = g.tree->GetNextVisible(run);
  return g.treeFreed ? nullptr : run;
}
// A node the script may hand to the tree: one it did not see freed.
bool Usable(PVirtualNode node) { return !g.treeFreed && node != nullptr && !g.freedNodes.count(node); }
// Runs action when the tree still lives.
void Then(const std::function<void(TTableTree*)>& action) {
  if (!g.treeFreed) action(g.tree);
}
// A client point of the shown node i where the hit test finds what.
TPoint Where(int i, THitPosition what) {
  PVirtualNode node = Shown(i);
  if (node == nullptr || g.treeFreed) return TPoint{5, 5};
  TRect r = g.tree->GetDisplayRect(node, NoColumn, false);
  int y = (r.Top + r.Bottom) / 2;
  for (int x = 0; x < r.Right && !g.treeFreed; ++x) {
    THitInfo hit;
    g.tree->GetHitTestInfoAt(x, y, true, hit);
    if (hit.HitPositions.Contains(what)) return TPoint{x, y};
  }
  return TPoint{r.Left + 2, y};
}
void Click(TPoint p, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP) { Mouse(down, up, p.X, p.Y); }
void Options(TVTMiscOption misc, bool on) {
  TVTMiscOptions o = g.tree->TreeOptions()->MiscOptions();
  g.tree->TreeOptions()->SetMiscOptions(o.Set(misc, on));
}
void HeaderOption(TVTHeaderOption option, bool on) {
  TVTHeaderOptions o = g.tree->Header()->Options();
  g.tree->Header()->SetOptions(o.Set(option, on));
}
void ShowHint(TVTHintMode mode) {
  g.tree->SetHintMode(mode);
  TPoint p = Where(1, hiOnItemLabel);
  p.X += 140;  // the second column's cut-off text
  if (g.treeFreed) return;
  Application->HintMouseMessage(g.tree, p);
  if (!g.treeFreed) Application->ActivateHint(g.tree->ClientToScreen(p));
  Application->CancelHint();
}
IDropTarget* DropTarget() {
  IDropTarget* target = nullptr;
  IVTDragManager* manager = g.tree->GetDragManager();  // its handler may free the tree
  if (!g.treeFreed && manager != nullptr) manager->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
  return target;
}
void Drop(bool drop) {
  // The first drop makes the drag manager (the tree takes drops from here on).
  Options(toAcceptOLEDrop, true);
  if (g.treeFreed) return;
  g.tree->SelectAll(false);
  if (!g.treeFreed) g.tree->CopyToClipBoard();
  IDataObject* data = nullptr;
  if (g.treeFreed || OleGetClipboard(&data) != S_OK) return;
  IDropTarget* target = g.treeFreed ? nullptr : DropTarget();
  TPoint p = Where(3, hiOnItemLabel);
  if (!g.treeFreed) p = g.tree->ClientToScreen(p);
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  if (target != nullptr) {
    target->DragEnter(data, MK_LBUTTON, POINTL{p.X, p.Y}, &effect);
    if (!g.treeFreed) target->DragOver(MK_LBUTTON, POINTL{p.X, p.Y + 1}, &effect);
    Pump(30);  // the expand timer
    if (!g.treeFreed) drop ? target->Drop(data, 0, POINTL{p.X, p.Y + 1}, &effect) : target->DragLeave();
    target->Release();
  }
  data->Release();
}

// Runs action on the draw tree while it lives.
void OnDrawTree(const std::function<void(TVirtualDrawTree*)>& action) {
  if (!g.drawFreed) action(g.drawTree);
}

struct TStep {
  const char* name;
  std::function<void(TTableTree*)> run;
  // Alone, as an operation: what it needs first (not counted), the node it
  // works on, what it must have done, and whether the view has no check boxes.
  std::function<void(TTableTree*)> prepare = nullptr;
  std::function<PVirtualNode(TTableTree*)> target = nullptr;
  std::function<void(TTableTree*)> check = nullptr;
  bool plain = false;
};

const std::vector<TStep>& Script() {
  static TMemoryStream* saved = new TMemoryStream;
  static const std::vector<TStep> steps{
      {"GetFirst on uninitialised nodes", [](TTableTree* t) { t->GetFirst(); }},
      {"GetFirstVisible", [](TTableTree* t) { t->GetFirstVisible(); }},
      {"paint", [](TTableTree*) { RedrawWindow(g.window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW); }},
      {"paint to a bitmap", [](TTableTree* t) {
         TBitmap* bitmap = New<TBitmap>();
         bitmap->SetSize(t->ClientWidth(), t->ClientHeight());
         t->PaintTree(bitmap->Canvas(), TRect{0, 0, t->ClientWidth(), t->ClientHeight()}, TPoint{0, 0},
                      {ppBackground, ppSelection, ppFocusRect, ppGridLines});
         bitmap->Free();
       }},
      // First of the mouse steps: the releases that end these drags are the first the tree sees.
      {"class-library drag, drop", [](TTableTree* t) {
         t->SetDragType(dtVCL);
         t->BeginDrag(/*immediate=*/true);
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 70));
         Send(WM_LBUTTONUP, 0, MAKELPARAM(60, 70));
       }},
      {"class-library drag, Escape", [](TTableTree* t) {
         t->BeginDrag(/*immediate=*/true);
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 90));
         Send(WM_KEYDOWN, VK_ESCAPE, 1);
         Then([](TTableTree* t) { t->SetDragType(dtOLE); });
       }},
      {"Down", [](TTableTree*) { Key(VK_DOWN); }},
      {"End", [](TTableTree*) { Key(VK_END); }},
      {"Home", [](TTableTree*) { Key(VK_HOME); }},
      {"PgDn", [](TTableTree*) { Key(VK_NEXT); }},
      {"PgUp", [](TTableTree*) { Key(VK_PRIOR); }},
      {"Right expands", [](TTableTree*) { Key(VK_RIGHT); }},
      {"Left collapses", [](TTableTree*) { Key(VK_LEFT); }},
      {"+", [](TTableTree*) { Key(VK_ADD); }},
      {"-", [](TTableTree*) { Key(VK_SUBTRACT); }},
      {"*", [](TTableTree*) { Key(VK_MULTIPLY); }},
      {"Space on a check box", [](TTableTree*) { Key(VK_SPACE); }},
      {"F1", [](TTableTree*) { Key(VK_F1); }},
      {"menu key", [](TTableTree*) { Key(VK_APPS); }},
      {"Enter", [](TTableTree*) { Key(VK_RETURN); }},
      {"Right in a grid", [](TTableTree* t) {
         Options(toGridExtensions, true);
         Then([](TTableTree* t) { t->SetFocusedColumn(0); });
         Key(VK_RIGHT);
       }},
      {"Tab in a grid", [](TTableTree*) { Key(VK_TAB); }},
      {"F2, type, Enter", [](TTableTree*) {
         Options(toGridExtensions, false);
         Then([](TTableTree* t) { t->SetFocusedColumn(0); });
         Key(VK_F2);
         KeyToFocus('x', true);
         KeyToFocus(VK_RETURN);
       }},
      {"F2, Escape", [](TTableTree*) {
         Key(VK_F2);
         KeyToFocus(VK_ESCAPE);
       }},
      {"edit, cancel", [](TTableTree* t) {
         if (t->FocusedNode() != nullptr && t->EditNode(t->FocusedNode(), 0) && !g.treeFreed) t->CancelEditNode();
       }},
      {"edit delay", [](TTableTree* t) {
         t->SetEditDelay(10);
         Click(Where(0, hiOnItemLabel));
         Click(Where(0, hiOnItemLabel));
         Pump(40);
         if (!g.treeFreed) t->CancelEditNode();
       }},
      {"click a button", [](TTableTree*) { Click(Where(0, hiOnItemButton)); }},
      {"click a check box", [](TTableTree*) { Click(Where(1, hiOnItemCheckbox)); }},
      {"click a cell", [](TTableTree*) { Click(Where(2, hiOnItemLabel)); }},
      {"double click", [](TTableTree*) { Click(Where(3, hiOnItemLabel), WM_LBUTTONDBLCLK); }},
      {"right click", [](TTableTree*) { Click(Where(4, hiOnItemLabel), WM_RBUTTONDOWN, WM_RBUTTONUP); }},
      {"hot tracking", [](TTableTree*) {
         Send(CM_MOUSEENTER);
         TPoint p = Where(2, hiOnItemLabel);
         Send(WM_MOUSEMOVE, 0, MAKELPARAM(p.X, p.Y));
         Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(g.window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
         Send(WM_MOUSEMOVE, 0, MAKELPARAM(p.X, p.Y + 40));
         Send(CM_MOUSELEAVE);
       }},
      {"rubber band with auto-scroll", [](TTableTree* t) {
         int x = t->ClientWidth() - 6, below = t->ClientHeight() + 20;
         Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 30));
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x - 200, 60));
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x - 200, below));
         Pump(60);
         Send(WM_LBUTTONUP, 0, MAKELPARAM(x - 200, below));
       }},
      {"wheel", [](TTableTree* t) {
         TPoint p = t->ClientToScreen(TPoint{40, 40});
         Send(WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA * 3), MAKELPARAM(p.X, p.Y));
       }},
      {"wheel panning", [](TTableTree* t) {
         t->StartWheelPanning(TPoint{100, 100});
         Send(WM_MOUSEMOVE, 0, MAKELPARAM(100, 190));
         Pump(50);
         if (!g.treeFreed) t->StopWheelPanning();
       }},
      {"scroll bars", [](TTableTree*) {
         Send(WM_VSCROLL, SB_LINEDOWN);
         Send(WM_VSCROLL, SB_PAGEDOWN);
         Send(WM_HSCROLL, SB_LINERIGHT);
         Send(WM_VSCROLL, SB_BOTTOM);
       }},
      {"collapse while scrolled to the end", [](TTableTree* t) {
         t->FullExpand();
         Send(WM_VSCROLL, SB_BOTTOM);
         if (!g.treeFreed) t->FullCollapse();
       }},
      {"shrink while scrolled to the end", [](TTableTree* t) {
         Send(WM_VSCROLL, SB_BOTTOM);
         if (!g.treeFreed) t->SetRootNodeCount(14);
       }},
      {"offset", [](TTableTree* t) { t->SetOffsetY(-40); }},
      {"change delay", [](TTableTree* t) {
         t->SetChangeDelay(10);
         t->ClearSelection();
         PVirtualNode node = Shown(2);
         if (Usable(node)) t->SetSelected(node, true);
         Pump(40);
         if (!g.treeFreed) t->SetChangeDelay(0);
       }},
      {"incremental search", [](TTableTree* t) {
         t->SetIncrementalSearch(isAll);
         t->SetIncrementalSearchTimeout(20);
         for (char16_t c : u"No") {
           Send(WM_KEYDOWN, c == u'N' ? 'N' : 'O', 1);
           Send(WM_CHAR, c, 1);
         }
         Pump(50);
       }},
      {"drag enter, over, drop", [](TTableTree*) { Drop(true); }},
      {"drag enter, over, leave", [](TTableTree*) { Drop(false); }},
      {"drag start", [](TTableTree* t) {
         PVirtualNode node = Shown(1);
         if (Usable(node)) t->SetSelected(node, true);
         TPoint p = Where(1, hiOnItemLabel);
         if (!g.treeFreed) t->DoDragging(p);
       }},
      {"context menu from the keyboard", [](TTableTree*) {
         Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(g.window), MAKELPARAM(-1, -1));
       }},
      {"focus away and back", [](TTableTree* t) {
         OnDrawTree([](TVirtualDrawTree* d) { d->SetFocus(); });
         Then([](TTableTree* t) { t->SetFocus(); });
       }},
      {"resize", [](TTableTree* t) {
         t->SetBounds(0, 0, 380, 270);
         Then([](TTableTree* t) { t->SetBounds(0, 0, 400, 280); });
       }},
      {"paste", [](TTableTree* t) { t->PasteFromClipboard(); }},
      {"move and copy nodes", [](TTableTree* t) {
         PVirtualNode from = Shown(5), to = Shown(1);
         if (Usable(from) && Usable(to)) t->MoveTo(from, to, amInsertBefore, false);
         from = Shown(2), to = Shown(6);
         if (Usable(from) && Usable(to)) t->CopyTo(from, to, amAddChildLast, false);
       }},
      {"header click", [](TTableTree*) {
         POINT over{40, 8 - g.headerHeight};  // the header's cursor is asked where the mouse really is
         ClientToScreen(g.window, &over);
         SetCursorPos(over.x, over.y);
         Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(g.window), MAKELPARAM(HTBORDER, WM_MOUSEMOVE));
         ParkMouse();
         Header(WM_NCMOUSEMOVE, 40, 8);
         Header(WM_NCLBUTTONDOWN, 40, 8);
         Header(WM_NCLBUTTONUP, 40, 8);
         Header(WM_NCLBUTTONDBLCLK, 40, 8);
       }},
      {"column drag and drop", [](TTableTree*) {
         Header(WM_NCLBUTTONDOWN, 50, 8);
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(70, HeaderY(8)));
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(260, HeaderY(8)));
         Send(WM_LBUTTONUP, 0, MAKELPARAM(260, HeaderY(8)));
       }},
      {"column drag out", [](TTableTree*) {
         Header(WM_NCLBUTTONDOWN, 150, 8);
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(170, HeaderY(8)));
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(170, HeaderY(8) + 400));
         Send(WM_LBUTTONUP, 0, MAKELPARAM(170, HeaderY(8) + 400));
       }},
      {"column resize", [](TTableTree* t) {
         int edge = t->Header()->Columns()->Items(t->Header()->Columns()->PositionToIndex()[0])->Width();
         Header(WM_NCLBUTTONDOWN, edge, 8);
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(edge + 30, HeaderY(8)));
         Send(WM_LBUTTONUP, 0, MAKELPARAM(edge + 30, HeaderY(8)));
       }},
      {"column resize with auto-resize", [](TTableTree* t) {
         int edge = t->Header()->Columns()->Items(t->Header()->Columns()->PositionToIndex()[0])->Width();
         HeaderOption(hoAutoResize, true);
         Header(WM_NCLBUTTONDOWN, edge, 8);
         Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(edge - 20, HeaderY(8)));
         Send(WM_LBUTTONUP, 0, MAKELPARAM(edge - 20, HeaderY(8)));
       }},
      {"header owner draw", [](TTableTree*) {
         HeaderOption(hoOwnerDraw, true);
         RedrawWindow(g.window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
       }},
      {"custom tree lines and images", [](TTableTree* t) {
         t->SetLineStyle(lsCustomStyle);
         if (!g.treeFreed) t->SetImages(g.images);
         RedrawWindow(g.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
       }},
      {"images from the plain handler", [](TTableTree* t) {
         t->OnGetImageIndexEx = nullptr;
         RedrawWindow(g.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
       }},
      {"text spanning empty cells", [](TTableTree* t) {
         t->SetDefaultText(u"");
         RedrawWindow(g.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
       }},
      {"draw tree paint", [](TTableTree*) {
         OnDrawTree([](TVirtualDrawTree* d) {
           RedrawWindow(d->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
         });
       }},
      {"draw tree hint", [](TTableTree*) {
         OnDrawTree([](TVirtualDrawTree* d) {
           TPoint p{20, 5};
           TPoint screen = d->ClientToScreen(p);
           Application->HintMouseMessage(d, p);
           if (!g.drawFreed) Application->ActivateHint(screen);
           Application->CancelHint();
         });
       }},
      {"tooltip", [](TTableTree*) { ShowHint(hmTooltip); }},
      {"hint", [](TTableTree*) { ShowHint(hmHint); }},
      {"export HTML", [](TTableTree* t) { t->ContentToHTML(tstAll); }},
      {"export RTF", [](TTableTree* t) { t->ContentToRTF(tstAll); }},
      {"export text", [](TTableTree* t) { t->ContentToText(tstVisible, '\t'); }},
      {"export to the clipboard", [](TTableTree* t) {
         if (HGLOBAL block = t->ContentToClipboard(CF_UNICODETEXT, tstAll)) GlobalFree(block);
       }},
      {"clipboard text rendered", [](TTableTree* t) {
         t->SetClipboardFormats({"Virtual Tree Data", "Unicode text"});
         t->SelectAll(false);
         if (!g.treeFreed) t->CopyToClipBoard();
         IDataObject* data = nullptr;
         if (g.treeFreed || OleGetClipboard(&data) != S_OK) return;
         FORMATETC format{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
         STGMEDIUM medium{};
         if (data->GetData(&format, &medium) == S_OK) ReleaseStgMedium(&medium);
         data->Release();
       }},
      {"sort", [](TTableTree* t) { t->SortTree(0, sdDescending); }},
      {"check with tri-state propagation", [](TTableTree* t) {
         PVirtualNode parent = t->RootNode()->FirstChild;
         if (Usable(parent)) t->SetCheckState(parent, csCheckedNormal);
         if (Usable(parent) && Usable(parent->FirstChild)) t->SetCheckState(parent->FirstChild, csUncheckedNormal);
       }},
      {"FullExpand", [](TTableTree* t) { t->FullExpand(); }},
      {"FullCollapse", [](TTableTree* t) { t->FullCollapse(); }},
      {"animated toggle", [](TTableTree* t) {
         t->SetAnimationDuration(40);
         t->TreeOptions()->SetAnimationOptions(TVTAnimationOptions{toAnimatedToggle});
         Then([](TTableTree* t) {
           if (Usable(t->RootNode()->FirstChild)) t->ToggleNode(t->RootNode()->FirstChild);
         });
       }},
      {"reset and reinitialise", [](TTableTree* t) {
         PVirtualNode node = Shown(1);
         if (Usable(node)) t->ResetNode(node);
         Then([](TTableTree* t) { t->ReinitNode(nullptr, true); });
       }},
      {"save to a stream", [](TTableTree* t) {
         saved->Clear();
         t->SaveToStream(saved);
       }},
      {"load from a stream", [](TTableTree* t) {
         saved->SetPosition(0);
         t->LoadFromStream(saved);
       }},
      {"GetFirst after loading", [](TTableTree* t) { t->GetFirst(); }},
      {"node data size asked", [](TTableTree* t) { t->SetNodeDataSize(-1); }},
      {"deselect", [](TTableTree* t) {
         t->SelectAll(false);
         if (!g.treeFreed) t->ClearSelection();
       }},
      {"timers", [](TTableTree*) { Pump(30); }},
  };
  return steps;
}

// ---- The operations, alone -----------------------------------------------------

std::vector<TVirtualTreeColumn*> ColumnsInOrder(TTableTree* t) {
  std::vector<TVirtualTreeColumn*> result;
  TVirtualTreeColumns* columns = t->Header()->Columns();
  for (TColumnIndex index : columns->PositionToIndex()) result.push_back(columns->Items(index));
  return result;
}
// Columns of before that are still there (by address only: a deleted one may be freed), in before's order.
std::vector<TVirtualTreeColumn*> StillThere(const std::vector<TVirtualTreeColumn*>& before,
                                            const std::vector<TVirtualTreeColumn*>& now, TVirtualTreeColumn* but) {
  std::vector<TVirtualTreeColumn*> result;
  for (TVirtualTreeColumn* column : before)
    if (column != but && std::find(now.begin(), now.end(), column) != now.end()) result.push_back(column);
  return result;
}
// Four owner-drawn columns A B C D of 90 pixels; the second is pressed (and focused).
void PressSecondColumn(TTableTree* t) {
  HeaderOption(hoOwnerDraw, true);
  t->Header()->Columns()->Add();
  for (TVirtualTreeColumn* column : ColumnsInOrder(t)) column->SetWidth(90);
  t->SetFocusedColumn(1);
  g.columnsBefore = ColumnsInOrder(t);
  g.pressed = g.columnsBefore[1];
}
void MultiLine(TTableTree* t) { t->SetMultiline(Shown(30), true); }
PVirtualNode FirstChild(TTableTree* t) { return t->GetFirstChild(t->GetFirst()); }
void Move(TTableTree* t, bool childrenOnly, TVTNodeAttachMode mode) {
  if (Usable(g.source) && Usable(g.target)) t->MoveTo(g.source, g.target, mode, childrenOnly);
}
UINT HtmlFormat() { return RegisterClipboardFormatA("HTML Format"); }

// The left button pressed on the header at x, moved with it held through
// moves, and let go at the last of them.
void HeaderGesture(int x, std::initializer_list<int> moves) {
  Header(WM_NCLBUTTONDOWN, x, 8);
  for (int to : moves) Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, HeaderY(8)));
  Send(WM_LBUTTONUP, 0, MAKELPARAM(*(moves.end() - 1), HeaderY(8)));
}
// A freed node has no height; a live one the height it has now.
void HeightKept(TTableTree*) {
  if (!Usable(g.target)) {
    EXPECT_EQ(g.height, 0u) << "a freed node has a height";
  } else {
    EXPECT_EQ(g.height, g.target->NodeHeight) << "a stale height";
  }
}
// A place its handlers changed under it is none; otherwise it is the
// node's place now.
std::function<void(TTableTree*)> DisplayRectKept(TColumnIndex column) {
  return [column](TTableTree* t) {
    if (!Usable(g.target)) {
      EXPECT_TRUE(g.rect.IsEmpty()) << "a freed node has a place";
    } else if (!g.rect.IsEmpty()) {
      TRect now = t->GetDisplayRect(g.target, column, true);
      EXPECT_TRUE(g.rect.Left == now.Left && g.rect.Right == now.Right && g.rect.Top == now.Top) << "a stale place";
    }
  };
}

const std::vector<TStep>& Operations() {
  static const std::vector<TStep> operations = [] {
    std::vector<TStep> all;
    for (const TStep& step : Script())  // these need the steps before them
      if (std::string(step.name) != "load from a stream" && std::string(step.name) != "GetFirst after loading")
        all.push_back(step);
    auto target = [](int shown) { return [shown](TTableTree*) { return Shown(shown); }; };
    std::vector<TStep> own{
        {.name = "MoveTo before a child", .run = [](TTableTree* t) { Move(t, false, amInsertBefore); },
         .prepare = [](TTableTree*) { g.source = Shown(5); }, .target = FirstChild,
         .check = [](TTableTree*) {
           if (Usable(g.source) && Usable(g.target)) EXPECT_EQ(g.source->NextSibling, g.target) << "no move";
         }},
        {.name = "MoveTo after a node", .run = [](TTableTree* t) { Move(t, false, amInsertAfter); },
         .prepare = [](TTableTree*) { g.source = Shown(1); }, .target = target(6),
         .check = [](TTableTree*) {
           if (Usable(g.source) && Usable(g.target)) EXPECT_EQ(g.target->NextSibling, g.source) << "no move";
         }},
        {.name = "MoveTo the children", .run = [](TTableTree* t) { Move(t, true, amAddChildLast); },
         .prepare = [](TTableTree* t) { g.source = t->GetFirst(); FirstChild(t); }, .target = target(4),
         .check = [](TTableTree*) {
           if (Usable(g.source) && Usable(g.target)) EXPECT_EQ(g.source->FirstChild, nullptr) << "children not moved";
         }},
        {.name = "CopyTo", .run = [](TTableTree* t) {
           if (Usable(g.source) && Usable(g.target)) t->CopyTo(g.source, g.target, amAddChildLast, false);
         }, .prepare = [](TTableTree*) { g.source = Shown(2); }, .target = FirstChild},
        {.name = "DeleteNode", .run = [](TTableTree* t) { t->DeleteNode(g.target); }, .target = FirstChild,
         .check = [](TTableTree*) { EXPECT_FALSE(Usable(g.target)) << "not deleted"; }},
        {.name = "DeleteChildren", .run = [](TTableTree* t) { t->DeleteChildren(g.target); },
         .target = [](TTableTree* t) { FirstChild(t); return t->GetFirst(); }},
        {.name = "Clear", .run = [](TTableTree* t) { t->Clear(); }},
        {.name = "DeleteSelectedNodes", .run = [](TTableTree* t) { t->DeleteSelectedNodes(); },
         .prepare = [](TTableTree* t) { t->SelectAll(false); }},
        {.name = "RootNodeCount grows", .run = [](TTableTree* t) { t->SetRootNodeCount(50); }},
        {.name = "AddChild", .run = [](TTableTree* t) { t->AddChild(g.target); }, .target = target(3)},
        {.name = "SetChildCount", .run = [](TTableTree* t) { t->SetChildCount(g.target, 2); },
         .target = [](TTableTree* t) { FirstChild(t); return t->GetFirst(); }},
        {.name = "ToggleNode", .run = [](TTableTree* t) { t->ToggleNode(g.target); }, .target = target(0)},
        {.name = "SetNodeHeight", .run = [](TTableTree* t) { t->SetNodeHeight(g.target, 30); }, .target = target(2)},
        // A node made multi-line is measured again.
        {.name = "NodeHeight", .run = [](TTableTree* t) { g.height = t->GetNodeHeight(g.target); },
         .prepare = MultiLine, .target = target(30), .check = HeightKept},
        {.name = "NodeHeight (no check boxes)", .run = [](TTableTree* t) { g.height = t->GetNodeHeight(g.target); },
         .prepare = MultiLine, .target = target(30), .check = HeightKept, .plain = true},
        {.name = "GetDisplayRect, text only", .run = [](TTableTree* t) { g.rect = t->GetDisplayRect(g.target, 0, true); },
         .target = target(30), .check = DisplayRectKept(0)},
        {.name = "GetDisplayRect, text only (no check boxes)",
         .run = [](TTableTree* t) { g.rect = t->GetDisplayRect(g.target, 1, true); }, .target = target(30),
         .check = DisplayRectKept(1), .plain = true},
        {.name = "GetMaxColumnWidth", .run = [](TTableTree* t) { t->GetMaxColumnWidth(0); }},
        {.name = "SetSelected", .run = [](TTableTree* t) { t->SetSelected(g.target, true); }, .target = target(3)},
        {.name = "SetFocusedNode", .run = [](TTableTree* t) { t->SetFocusedNode(g.target); }, .target = target(3)},
        {.name = "ScrollIntoView", .run = [](TTableTree* t) { t->ScrollIntoView(g.target, true); },
         .target = target(35)},
        {.name = "InvertSelection", .run = [](TTableTree* t) { t->InvertSelection(false); }},
        {.name = "Sort the children", .run = [](TTableTree* t) { t->Sort(g.target, 0, sdDescending); },
         .target = [](TTableTree* t) { FirstChild(t); return t->GetFirst(); }},
        {.name = "ReinitNode", .run = [](TTableTree* t) { t->ReinitNode(g.target, true); }, .target = target(0)},
        {.name = "CutToClipBoard", .run = [](TTableTree* t) { t->CutToClipBoard(); }, .prepare = [](TTableTree* t) {
           t->SetSelected(Shown(2), true);
         }},
        {.name = "load from a stream", .run = [](TTableTree* t) {
           TMemoryStream* stream = New<TMemoryStream>();
           stream->WriteBuffer(g.saved.data(), static_cast<int32_t>(g.saved.size()));
           stream->SetPosition(0);
           t->LoadFromStream(stream);
           stream->Free();
         }, .prepare = [](TTableTree* t) {
           TMemoryStream* stream = New<TMemoryStream>();
           t->SaveToStream(stream);
           g.saved.assign(static_cast<const char*>(stream->Memory()), static_cast<size_t>(stream->Size()));
           stream->Free();
         }},
        {.name = "PasteFromClipboard", .run = [](TTableTree* t) { t->PasteFromClipboard(); },
         .prepare = [](TTableTree* t) {
           t->SetClipboardFormats({"Virtual Tree Data"});
           t->SetSelected(Shown(1), true);
           t->CopyToClipBoard();
         }},
        {.name = "paint (no check boxes)", .run = [](TTableTree*) {
           RedrawWindow(g.window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
         }, .plain = true},
        {.name = "export HTML (no check boxes)", .run = [](TTableTree* t) { t->ContentToHTML(tstAll); }, .plain = true},
        {.name = "HTML for the clipboard", .run = [](TTableTree* t) {
           HGLOBAL block = t->ContentToClipboard(HtmlFormat(), tstAll);
           if (g.treeFreed && block != nullptr) ADD_FAILURE() << "an export cut short was handed out";
           if (block != nullptr) GlobalFree(block);
         }},
        {.name = "clipboard HTML rendered", .run = [](TTableTree*) {
           IDataObject* data = nullptr;
           if (OleGetClipboard(&data) != S_OK) return;
           FORMATETC format{static_cast<CLIPFORMAT>(HtmlFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
           STGMEDIUM medium{};
           HRESULT rendered = data->GetData(&format, &medium);
           if (rendered == S_OK) ReleaseStgMedium(&medium);
           data->Release();
           if (g.treeFreed && rendered == S_OK) ADD_FAILURE() << "an export cut short was rendered as S_OK";
         }, .prepare = [](TTableTree* t) {
           t->SetClipboardFormats({"Virtual Tree Data", "HTML Format"});
           t->SelectAll(false);
           t->CopyToClipBoard();
         }},
        {.name = "column drag to the right", .run = [](TTableTree*) {
           HeaderGesture(130, {150, 250, 260});  // B pressed, dropped on C's right half (D's once A went)
         }, .prepare = PressSecondColumn, .check = [](TTableTree* t) {
           // The pressed column moves, or none; and the handler is told of that one.
           std::vector<TVirtualTreeColumn*> now = ColumnsInOrder(t);
           bool kept = std::find(now.begin(), now.end(), g.pressed) != now.end();
           TVirtualTreeColumn* but = kept ? g.pressed : nullptr;
           EXPECT_EQ(StillThere(g.columnsBefore, now, but), StillThere(now, now, but)) << "another column moved";
           for (TVirtualTreeColumn* told : g.draggedTold) EXPECT_EQ(told, g.pressed) << "OnHeaderDragged named another";
         }},
        {.name = "column resize, second column", .run = [](TTableTree*) { HeaderGesture(180, {190, 210, 210}); },
         .prepare = PressSecondColumn, .check = [](TTableTree* t) {
           // A column deleted in the resize's handler: the next move puts the edge at the mouse.
           std::vector<TVirtualTreeColumn*> now = ColumnsInOrder(t);
           if (g.acted && std::string(kEvents[g.event].name) != "OnColumnResize") return;
           if (std::find(now.begin(), now.end(), g.pressed) == now.end()) return;
           int left = 0, right = 0;
           t->Header()->Columns()->GetColumnBounds(g.pressed->Index(), left, right);
           EXPECT_EQ(right, 210) << "the column's edge is not where the mouse is";
         }},
    };
    all.insert(all.end(), own.begin(), own.end());
    return all;
  }();
  return operations;
}

// ---- One row ------------------------------------------------------------------

void MakeTree() {
  ParkMouse();
  g.form = New<TForm>(Application);
  g.form->SetBounds(0, 0, 420, 420);
  // Made before the trees: the form frees it after them (a tree a handler
  // freed outlives it, going, until the operation ends).
  g.images = New<TTableImages>(g.form);
  g.tree = New<TTableTree>(g.form);
  g.drawTree = New<TVirtualDrawTree>(g.form);
  TBitmap* image = New<TBitmap>();
  image->SetSize(16, 16);
  g.images->Add(image, nullptr);
  image->Free();
  TTableTree* t = g.tree;
  // The plain owner draw is asked only when no one answers which parts to draw.
  g.drawOnly = BindAll(kEvents, t, g.drawTree);
  if (g.event >= 0 && std::string(kEvents[g.event].name) == "OnHeaderDraw") t->OnHeaderDrawQueryElements = nullptr;
  g.drawRow = g.event >= 0 && g.drawOnly[g.event];
  g.drawTree->SetParent(g.form);
  g.drawTree->SetBounds(0, 285, 400, 100);
  g.drawTree->SetHintMode(hmHint);
  g.drawTree->SetHintAnimation(hatNone);
  g.drawTree->SetShowHint(true);
  g.drawTree->SetRootNodeCount(6);
  t->SetParent(g.form);
  t->SetBounds(0, 0, 400, 280);
  t->SetNodeDataSize(0);
  for (int i = 0; i < 3; ++i) t->Header()->Columns()->Add()->SetWidth(120);
  HeaderOption(hoVisible, true);
  HeaderOption(hoDrag, true);
  t->SetHintAnimation(hatNone);
  t->SetShowHint(true);
  TCustomStringTreeOptions* o = t->TreeOptions();
  o->SetMiscOptions(o->MiscOptions().Set(toCheckSupport, !g.plain).Include(toEditable).Include(toVariableNodeHeight)
                        .Include(toWheelPanning).Exclude(toAcceptOLEDrop));  // the script's first drop takes it
  t->SetImages(g.images);
  t->Header()->SetImages(g.images);
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
  o->SetAutoOptions(o->AutoOptions().Include(toAutoScroll).Include(toAutoTristateTracking).Include(toAutoSpanColumns).Include(toAutoDropExpand));
  o->SetPaintOptions(o->PaintOptions().Include(toHotTrack));
  t->SetAutoScrollDelay(10);
  t->SetAutoExpandDelay(10);
  t->SetRootNodeCount(40);
  g.form->Show();
  g.window = t->Handle();
  g.headerHeight = static_cast<int>(t->Header()->Height());
  SetForegroundWindow(g.form->Handle());
  t->SetFocus();
  qvtest::Pump(10);
}

// The checks after a row: what lives is sound, then every node goes with the form once.
std::string FinishRow(int formComponents, HWND formWindow) {
  SetRowStep("messages after the operations");
  qvtest::Pump(20);
  SetRowStep("the checks");
  g.observing = false;
  if (!g.treeFreed) {
    std::string broken = CheckTreeInvariants(*g.tree);
    if (!broken.empty()) Problem("the tree is unsound: " + broken);
    for (PVirtualNode node = g.tree->GetFirstSelected(); node != nullptr; node = g.tree->GetNextSelected(node))
      if (g.freedNodes.count(node)) Problem("a freed node is selected");
  }
  if (!g.drawFreed) {
    std::string broken = CheckTreeInvariants(*g.drawTree);
    if (!broken.empty()) Problem("the draw tree is unsound: " + broken);
  }
  if (g.form != nullptr && (g.treeFreed || g.drawFreed) &&
      (g.form->Going() || !IsWindow(formWindow) || g.form->ComponentCount() != formComponents - 1))
    Problem("more than the tree went");
  SetRowStep("the form freed");
  g.treeFreed = g.drawFreed = true;  // the trees go with their form: their handlers say nothing more
  g.acting = true;
  if (g.form != nullptr) g.form->Free();
  qvtest::Pump(5);
  for (PVirtualNode node : g.initialised)
    if (g.freeCalls[node] == 0) Problem("a node was never freed");
  // What OnLoadNode gave a node only OnFreeNode can take back.
  for (PVirtualNode node : g.loaded)
    if (!g.freedNodes.count(node)) Problem("a loaded node was never told it was freed");
  return g.problems;
}

void Run(const TStep& step) {
  SetRowStep(step.name);
  try {
    step.run(g.tree);
  } catch (const std::exception& e) {
    Problem(std::string("\"") + step.name + "\" raised " + e.what());
  }
}

std::string RunRow(const TRow& row) {
  g = TRowState{};
  g.row = row;
  g.event = row.event;
  MakeTree();
  int formComponents = g.form->ComponentCount();
  HWND formWindow = g.form->Handle();
  g.observing = true;
  for (const TStep& step : Script())
    if (!g.treeFreed && g.problems.find("raised") == std::string::npos) Run(step);
  return FinishRow(formComponents, formWindow);
}

// Operation step alone on a fresh tree: a dry run (event -1) counts the
// calls of every event from its start; a row acts at its call of event.
std::string RunOperation(int step, int event, const TRow& row) {
  const TStep& operation = Operations()[step];
  g = TRowState{};
  g.row = row;
  g.event = event;
  g.plain = operation.plain;
  MakeTree();
  int formComponents = g.form->ComponentCount();
  HWND formWindow = g.form->Handle();
  SetRowStep(std::string(operation.name) + ": set-up");
  if (operation.prepare) operation.prepare(g.tree);
  if (operation.target) g.target = operation.target(g.tree);
  if (event < 0) g.calls.assign(kEvents.size(), 0);
  g.observing = true;
  Run(operation);
  g.observing = false;
  SetRowStep(std::string(operation.name) + ": what it did");
  if (!g.treeFreed && operation.check) operation.check(g.tree);
  return FinishRow(formComponents, formWindow);
}

// The operation table: every operation x each event its dry run saw x act x
// the first, second and last call. The parent's dry runs go to the children
// in a file, so that both read the same rows.
struct TOperationRows {
  TRows rows{{}, kActions, {}};
  std::vector<std::pair<int, int>> pairs;  // by the rows' event: operation, event
  std::vector<std::vector<int>> calls;     // by operation and event, in its dry run
};

const TOperationRows& OperationRows() {
  static const TOperationRows table = [] {
    TOperationRows t;
    std::vector<std::vector<int>>& calls = t.calls;
    const char* path = std::getenv("QV_OPERATION_CALLS");
    if (path != nullptr) {
      std::ifstream in(path);
      for (int step = 0, count = 0; in >> step >> count;) {
        calls.emplace_back(count);
        for (int& c : calls.back()) in >> c;
      }
    } else {
      for (size_t step = 0; step < Operations().size(); ++step) {
        std::string problems = RunOperation(static_cast<int>(step), -1, TRow{});
        EXPECT_EQ(problems, "") << Operations()[step].name << " alone";
        calls.push_back(g.calls);
      }
    }
    for (size_t step = 0; step < calls.size(); ++step)
      for (size_t event = 0; event < calls[step].size(); ++event) {
        int count = calls[step][event];
        if (count == 0) continue;
        int pair = static_cast<int>(t.pairs.size());
        t.pairs.emplace_back(static_cast<int>(step), static_cast<int>(event));
        t.rows.events.push_back(std::string(Operations()[step].name) + ": " + kEvents[event].name);
        for (int action = 0; action < static_cast<int>(kActions.size()); ++action) {
          bool targeted = action == aTarget || action == aTargetParent;
          if (targeted && !Operations()[step].target) continue;
          for (int k : std::set<int>{1, std::min(2, count), count}) t.rows.all.push_back(TRow{pair, action, k});
        }
      }
    return t;
  }();
  return table;
}

}  // namespace

// Every handler property of the tree is in the table, and every event the
// tree publishes is one of them.
TEST(HandlerTable, HoldsEveryEventOfTheTree) {
  Application->Initialize();
  auto* tree = New<TTableTree>(Application);
  std::set<std::string> bound;
  for (int e = 0; e < static_cast<int>(kEvents.size()); ++e) {
    if (kEvents[e].bind(tree, e))
      bound.insert(kEvents[e].name);
    else
      EXPECT_NE(FindClassInfo("TVirtualDrawTree")->FindProp(kEvents[e].name), nullptr)
          << kEvents[e].name << " is neither the string tree's nor a published event of the draw tree";
  }
  EXPECT_GE(bound.size(), 70u) << "the events were not read from the headers";
  for (const char* owner : {"TBaseVirtualTree", "TCustomVirtualStringTree", "TVirtualStringTree"})
    for (const TPropInfo& prop : FindClassInfo(owner)->props)
      if (prop.kind == pkMethod) {
        EXPECT_TRUE(bound.count(prop.name)) << prop.name << " is not in the table";
      }
  tree->Free();
}

// The rows of table this process was started for, one after another (see
// RowProcesses.h), each run by run, which answers its problems.
void RunChildRows(const TRows& table, const std::function<std::string(const TRow&)>& run) {
  SetBaselines();
  Application->Initialize();
  OleInitialize(nullptr);
  // An error a message ends with is the row's, not a box for nobody to close.
  Application->OnException = [](TObject*, const std::exception& e) {
    Problem(std::string("\"") + RowStep() + "\" raised " + e.what());
  };
  SetObjectFencing(std::min(sizeof(TTableTree), sizeof(TForm)));
  RunOwnRows(table, [&](int index) {
    std::string problems = run(table.all[index]);
    if (!problems.empty()) ADD_FAILURE() << problems;
    std::string note = !g.acted ? "never freed" : "freed in \"" + g.actedIn + "\"";
    return g.refused.empty() ? note : note + ", refused: " + g.refused;
  });
  SetObjectFencing(0);
}

TEST(HandlerTable, Rows) {
  if (ChildRows().empty()) GTEST_SKIP() << "run by HandlerTable.EveryHandlerFreesWhatItIsToldAbout";
  RunChildRows(Rows(), RunRow);
}

TEST(HandlerTable, EveryHandlerFreesWhatItIsToldAbout) {
  if (!ChildRows().empty()) GTEST_SKIP() << "a child runs rows only";
  // Besides the sample: the first column's cell deleted while the header
  // draws it, and the tree freed by the release that ends a cancelled
  // class-library drag (OnEndDrag came after it).
  auto always = [](const TRow& row) {
    const std::string& event = Rows().events[row.event];
    bool headerDraw = event == "OnHeaderDrawQueryElements" || event == "OnAdvancedHeaderDraw";
    return row.k == 2 && ((headerDraw && row.action == aColumn) || (event == "OnMouseUp" && row.action == aTree));
  };
  std::vector<TRowOutcome> outcomes =
      RunRowsInChildren(Rows().Chosen(kSampleRows, /*seed=*/57, always), kRowsPerChild, "HandlerTable.Rows");
  int neverFreed = 0;
  std::string silent;  // events whose handler no step called
  std::map<std::string, int> refusals;  // deletions the tree refused, by its reason
  for (const TRowOutcome& outcome : outcomes) {
    if (size_t at = outcome.note.find("refused: "); at != std::string::npos) ++refusals[outcome.note.substr(at)];
    if (outcome.row < 0 || outcome.note.find("never freed") == std::string::npos) continue;
    ++neverFreed;
    const TRow& row = Rows().all[outcome.row];
    if (row.k == 1 && row.action == aTree) silent += " " + Rows().events[row.event];
  }
  for (const auto& [reason, count] : refusals) std::printf("%d rows %s\n", count, reason.c_str());
  std::printf("%zu rows, %d of them never reached their call (never called:%s); failing rows by site:\n%s",
              outcomes.size(), neverFreed, silent.c_str(), FailingRowsBySite(outcomes).c_str());
  // An event the script never reaches proves nothing: a step must call it.
  EXPECT_TRUE(silent.empty()) << "no step of the script calls" << silent;
}

TEST(HandlerTable, OperationRows) {
  if (ChildRows().empty()) GTEST_SKIP() << "run by HandlerTable.EveryOperationSurvivesEveryHandler";
  const TOperationRows& table = OperationRows();
  RunChildRows(table.rows, [&](const TRow& row) {
    return RunOperation(table.pairs[row.event].first, table.pairs[row.event].second, row);
  });
}

TEST(HandlerTable, EveryOperationSurvivesEveryHandler) {
  if (!ChildRows().empty()) GTEST_SKIP() << "a child runs rows only";
  SetBaselines();
  Application->Initialize();
  OleInitialize(nullptr);
  const TOperationRows& table = OperationRows();
  std::string path = std::string(std::getenv("TEMP") != nullptr ? std::getenv("TEMP") : ".") + "\\qv-operation-calls-" +
                     std::to_string(GetCurrentProcessId()) + ".txt";
  {
    std::ofstream out(path);
    for (size_t step = 0; step < table.calls.size(); ++step) {
      out << step << ' ' << table.calls[step].size();
      for (int count : table.calls[step]) out << ' ' << count;
      out << '\n';
    }
  }
  SetEnvironmentVariableA("QV_OPERATION_CALLS", path.c_str());
  // Besides the sample, the rows of the faults found before.
  auto always = [&](const TRow& row) {
    const std::string& name = table.rows.events[row.event];
    auto has = [&](const char* part) { return name.find(part) != std::string::npos; };
    TAction action = static_cast<TAction>(row.action);
    return (has("MoveTo before a child: OnUpdating") && (action == aTarget || action == aTargetParent)) ||
           (has("column drag to the right: OnHeaderDragging") && (action == aColumn || action == aFirstColumn)) ||
           (has("column drag to the right: OnHeaderDrawQueryElements") && action == aFirstColumn && row.k == 1) ||
           (has("column resize, second column: OnColumnResize") && action == aFirstColumn) ||
           (has("NodeHeight: OnMeasureItem") && (action == aNode || action == aClear)) ||
           (has("text only: OnGetText") && (action == aNode || action == aClear || action == aFirstColumn)) ||
           (has("HTML rendered: OnGetText") && action == aTree && row.k == 2) ||
           (has("paint: OnGetText") && action == aForm && row.k == 1) ||
           (has("images from the plain handler: OnGetImageIndex") && action == aImages && row.k == 1) ||
           (has("change delay: OnStateChange") && action == aClear && row.k == 1) ||
           (has("drag start: OnPaintText") && action == aNode && row.k == 1) ||
           (has("Escape: OnStateChange") && action == aTree && row.k == 1) ||
           (has("click a cell: OnGetImageIndexEx") && action == aTree && row.k == 2) ||
           (has("PasteFromClipboard: OnLoadNode") && action == aTree);
  };
  std::vector<int> chosen = table.rows.Chosen(kOperationSample, /*seed=*/66, always);
  // QV_TABLE_SHARD=i/n takes every n-th of them from the i-th, for runs side by side.
  if (const char* shard = std::getenv("QV_TABLE_SHARD")) {
    const char* slash = std::strchr(shard, '/');
    int i = std::atoi(shard), n = std::max(1, slash != nullptr ? std::atoi(slash + 1) : 1);
    std::erase_if(chosen, [&](int row) { return row % n != i; });
  }
  std::vector<TRowOutcome> outcomes = RunRowsInChildren(chosen, kRowsPerChild, "HandlerTable.OperationRows");
  int acted = 0;
  for (const TRowOutcome& outcome : outcomes) acted += outcome.note.rfind("freed in", 0) == 0;
  std::set<int> events;
  for (const auto& [step, event] : table.pairs) events.insert(event);
  std::printf("%zu operations, %zu events, %zu operation-event pairs, %zu rows; %zu run, %d of them acted; failing "
              "rows:\n%s",
              table.calls.size(), events.size(), table.pairs.size(), table.rows.all.size(), outcomes.size(), acted,
              FailingRowsBySite(outcomes).c_str());
  std::remove(path.c_str());
}
