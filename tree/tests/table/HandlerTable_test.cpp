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
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
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

struct TTableTree : TVirtualStringTree {
  using TBaseVirtualTree::DoDragging;
  void DoFreeNode(PVirtualNode node) override;
  TVirtualTreeColumn* CreateColumn(TVirtualTreeColumns* collection) override {
    return New<TTableColumn>(collection);
  }
};

// ---- The table: events x {tree, node, parent, form, column} x k -------------

enum TAction { aTree, aNode, aParent, aForm, aColumn };
constexpr int kSampleRows = 64;
constexpr int kRowsPerChild = 100;

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
    TRows rows({}, {"tree", "node", "parent", "form", "column"}, {});
    for (const auto& slot : kEvents)
      rows.AddEvent(slot.name, often.count(slot.name) ? std::vector<int>{1, 2, 3, 10, 100, 1000} : std::vector<int>{1, 2, 3});
    return rows;
  }();
  return rows;
}

// ---- What a row sees ------------------------------------------------------------

struct TRowState {
  TRow row{};
  TForm* form = nullptr;
  TTableTree* tree = nullptr;
  TVirtualDrawTree* drawTree = nullptr;  // beside the tree, for the draw tree's own events
  std::vector<bool> drawOnly;            // by event: the draw tree's own
  bool drawRow = false;                  // the row's event is the draw tree's: its handler frees that tree
  bool drawFreed = false;
  TImageList* images = nullptr;  // the form's, for the tree to take
  HWND window = nullptr;
  int headerHeight = 0;
  bool observing = false;  // the script runs (not the set-up or the tear-down)
  bool acting = false;     // the table's handler frees something right now
  bool acted = false;
  bool treeFreed = false;
  int calls = 0;
  std::string actedIn;  // the step the table's handler freed something in
  std::string refused;            // why the tree refused the handler's deletion
  std::set<PVirtualNode> freedNodes;
  std::set<PVirtualNode> initialised;
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
  } else if (g.row.action == aTree) {
    tree->Free();
    (g.drawRow ? g.drawFreed : g.treeFreed) = true;
  } else if (g.row.action == aColumn) {
    // The column drawn, else the focused one, else the first shown.
    TVirtualTreeColumns* columns = tree->Header()->Columns();
    TVirtualTreeColumn* column = told.column != nullptr ? told.column : columns->Items(tree->FocusedColumn());
    if (column == nullptr) column = columns->Items(columns->ColumnFromPositionIndex(0));
    if (column != nullptr) columns->Delete(column->Index());
  } else {
    PVirtualNode node = !told.nodes.empty() ? told.nodes.front() : tree->FocusedNode();
    if (node == nullptr) node = tree->RootNode()->FirstChild;
    if (node != nullptr && g.row.action == aParent) node = node->Parent;
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
  if (!g.observing || g.acting || g.acted || index != g.row.event) return;
  if (++g.calls == g.row.k) Act(told);
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
        node->CheckType = ctTriStateCheckBox;
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
  SetBaseline<TTable, &Core::OnLoadNode>([](TBaseVirtualTree*, PVirtualNode, TStream* stream) {
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

// ---- One row ------------------------------------------------------------------

void MakeTree() {
  ParkMouse();
  g.form = New<TForm>(Application);
  g.form->SetBounds(0, 0, 420, 420);
  g.tree = New<TTableTree>(g.form);
  g.drawTree = New<TVirtualDrawTree>(g.form);
  g.images = New<TImageList>(g.form);
  TBitmap* image = New<TBitmap>();
  image->SetSize(16, 16);
  g.images->Add(image, nullptr);
  image->Free();
  TTableTree* t = g.tree;
  // The plain owner draw is asked only when no one answers which parts to draw.
  g.drawOnly = BindAll(kEvents, t, g.drawTree);
  if (std::string(kEvents[g.row.event].name) == "OnHeaderDraw") t->OnHeaderDrawQueryElements = nullptr;
  g.drawRow = g.drawOnly[g.row.event];
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
  o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport).Include(toEditable).Include(toVariableNodeHeight)
                        .Include(toWheelPanning).Exclude(toAcceptOLEDrop));  // the script's first drop takes it
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

std::string RunRow(const TRow& row) {
  g = TRowState{};
  g.row = row;
  MakeTree();
  int formComponents = g.form->ComponentCount();
  HWND formWindow = g.form->Handle();
  g.observing = true;
  for (const TStep& step : Script()) {
    if (g.treeFreed) break;
    SetRowStep(step.name);
    try {
      step.run(g.tree);
    } catch (const std::exception& e) {
      Problem(std::string("\"") + step.name + "\" raised " + e.what());
      break;
    }
  }
  SetRowStep("messages after the script");
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
  return g.problems;
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

// The rows this process was started for, one after another (see RowProcesses.h).
TEST(HandlerTable, Rows) {
  if (ChildRows().empty()) GTEST_SKIP() << "run by HandlerTable.EveryHandlerFreesWhatItIsToldAbout";
  SetBaselines();
  Application->Initialize();
  OleInitialize(nullptr);
  // An error a message ends with is the row's, not a box for nobody to close.
  Application->OnException = [](TObject*, const std::exception& e) {
    Problem(std::string("\"") + RowStep() + "\" raised " + e.what());
  };
  SetObjectFencing(std::min(sizeof(TTableTree), sizeof(TForm)));
  RunOwnRows(Rows(), [](int index) {
    std::string problems = RunRow(Rows().all[index]);
    if (!problems.empty()) ADD_FAILURE() << problems;
    std::string note = !g.acted ? "never freed" : "freed in \"" + g.actedIn + "\"";
    return g.refused.empty() ? note : note + ", refused: " + g.refused;
  });
  SetObjectFencing(0);
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
