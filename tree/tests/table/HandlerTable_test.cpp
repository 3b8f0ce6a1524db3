// Every handler of the tree, made to free the tree, the node it is told about
// or that node's parent at its k-th call, while one script of operations that
// fire events runs on a fresh tree in a form. Released trees and forms are
// fenced and freed node records unreadable, so a touch of freed memory faults
// where it happens. A row passes when nothing faults, no handler of the freed
// tree or about a freed node runs afterwards, and what lives is sound: the
// tree's totals, counts and selection, or the form the freed tree sat in.
//
// The events are read from the tree's headers at build time (TreeEvents.inc);
// CI runs a fixed sample of the rows, QV_LONG=1 all of them.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "TreeTestSupport.h"
#include "core/FencedObjects.h"
#include "core/MemoryStream.h"
#include "table/RowProcesses.h"
#include "tree/StringEditLink.h"
#include "tree/VirtualTrees.h"
#include "win/ClassInfo.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace {

struct TTableTree : TVirtualStringTree {
  using TBaseVirtualTree::DoDragging;
};

// ---- The table: events x {tree, node, parent} x k ---------------------------

enum TAction { aTree, aNode, aParent };
const char* const kActionNames[] = {"tree", "node", "parent"};
constexpr int kMaxCall = 3;
constexpr int kSampleRows = 64;
constexpr int kRowsPerChild = 100;

struct TRow {
  int event;
  TAction action;
  int k;
};

// One event: its name and how to hang the table's handler on it (false when
// the string tree has no such event: the draw tree's own).
struct TEventSlot {
  const char* name;
  bool (*bind)(TTableTree* tree, int index);
};

template <auto Member>
bool Bind(TTableTree* tree, int index);

#define QV_TREE_EVENT(name)                                                   \
  TEventSlot{#name, [](auto* tree, int index) {                               \
               using T = std::remove_pointer_t<decltype(tree)>;               \
               if constexpr (requires { &T::name; }) return Bind<&T::name>(tree, index); \
               else return false;                                             \
             }},
const std::vector<TEventSlot> kEvents{
#include "TreeEvents.inc"
};
#undef QV_TREE_EVENT

std::vector<TRow> AllRows() {
  std::vector<TRow> rows;
  for (int e = 0; e < static_cast<int>(kEvents.size()); ++e)
    for (TAction action : {aTree, aNode, aParent})
      for (int k = 1; k <= kMaxCall; ++k) rows.push_back(TRow{e, action, k});
  return rows;
}

std::string Describe(const TRow& row) {
  return std::string(kEvents[row.event].name) + " frees the " + kActionNames[row.action] + " at call " +
         std::to_string(row.k);
}

// ---- What a row sees ------------------------------------------------------------

struct TRowState {
  TRow row{};
  TForm* form = nullptr;
  TTableTree* tree = nullptr;
  TImageList* images = nullptr;  // the form's, for the tree to take
  HWND window = nullptr;
  int headerHeight = 0;
  bool observing = false;  // the script runs (not the set-up or the tear-down)
  bool acting = false;     // the table's handler frees something right now
  bool acted = false;
  bool treeFreed = false;
  int calls = 0;
  const char* actedIn = nullptr;  // the step the table's handler freed something in
  std::string refused;            // why the tree refused the handler's deletion
  std::set<PVirtualNode> freedNodes;
  std::string problems;
} g;

void Problem(const std::string& text) {
  if (g.problems.find(text) != std::string::npos) return;
  g.problems += (g.problems.empty() ? "" : "; ") + text;
}

void Act(PVirtualNode told) {
  g.acted = true;
  g.actedIn = RowStep();
  g.acting = true;
  TTableTree* tree = g.tree;
  if (g.row.action == aTree) {
    tree->Free();
    g.treeFreed = true;
  } else {
    PVirtualNode node = told != nullptr ? told : tree->FocusedNode();
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
void Observe(int index, const std::vector<PVirtualNode>& nodes, const std::function<void()>& baseline) {
  if (g.treeFreed && !g.acting) return Problem(std::string(kEvents[index].name) + " ran after its tree was freed");
  for (PVirtualNode node : nodes)
    if (g.freedNodes.count(node)) return Problem(std::string(kEvents[index].name) + " was told about a freed node");
  baseline();
  if (!g.observing || g.acting || g.acted || index != g.row.event) return;
  if (++g.calls == g.row.k) Act(nodes.empty() ? nullptr : nodes.front());
}

// What the tree's handlers do in every row besides the table's: texts, hints,
// children and check boxes, drops accepted, owner-drawn header parts.
template <auto Member>
struct TBaseline {
  template <class... A>
  static void Run(A&...) {}
};
template <>
struct TBaseline<&TVirtualTreeCore::OnInitNode> {
  static void Run(TBaseVirtualTree*, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states) {
    node->CheckType = ctTriStateCheckBox;
    if (parent == nullptr && node->Index % 3 == 0) states.Include(ivsHasChildren);
  }
};
template <>
struct TBaseline<&TVirtualTreeCore::OnInitChildren> {
  static void Run(TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = 3; }
};
template <>
struct TBaseline<&TVirtualTreeCore::OnFreeNode> {
  static void Run(TBaseVirtualTree*, PVirtualNode node) { g.freedNodes.insert(node); }
};
template <>
struct TBaseline<&TCustomVirtualStringTree::OnGetText> {
  static void Run(TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType, std::u16string& text) {
    std::string s = "Node " + std::to_string(node->Index) + (column == 1 ? " with a text too long for its cell" : "");
    if (column != 2) text.assign(s.begin(), s.end());
  }
};
template <>
struct TBaseline<&TCustomVirtualStringTree::OnGetHint> {
  static void Run(TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVTTooltipLineBreakStyle&, std::u16string& hint) {
    hint = u"A hint";
  }
};
template <>
struct TBaseline<&TBaseVirtualTree::OnDragOver> {
  static void Run(TBaseVirtualTree*, TObject*, TShiftState, TDragStateKind, TPoint, TDropMode, int&, bool& accept) {
    accept = true;
  }
};
template <>
struct TBaseline<&TVirtualTreeCore::OnCreateEditor> {
  static void Run(TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr& link) {
    link = std::make_shared<TStringEditLink>();
  }
};
template <>
struct TBaseline<&TBaseVirtualTree::OnHeaderDrawQueryElements> {
  static void Run(TVTHeader*, THeaderPaintInfo&, THeaderPaintElements& elements) { elements = hpeBackground | hpeText; }
};
template <>
struct TBaseline<&TVirtualTreeCore::OnSaveNode> {
  static void Run(TBaseVirtualTree*, PVirtualNode node, TStream* stream) { stream->WriteBuffer(&node->Index, 4); }
};
template <>
struct TBaseline<&TVirtualTreeCore::OnLoadNode> {
  static void Run(TBaseVirtualTree*, PVirtualNode, TStream* stream) {
    uint32_t index = 0;
    stream->ReadBuffer(&index, 4);
  }
};
template <>
struct TBaseline<&TBaseVirtualTree::OnGetLineStyle> {
  static void Run(TBaseVirtualTree*, void*& bits) {
    static uint16_t pattern[8] = {0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC};
    bits = pattern;
  }
};

void Collect(std::vector<PVirtualNode>& nodes, PVirtualNode node) {
  if (node != nullptr) nodes.push_back(node);
}
template <class T>
void Collect(std::vector<PVirtualNode>&, const T&) {}

// The event an event property holds: itself, or the one a property that only
// its owner may fire wraps.
template <class E>
struct TEventOf {
  using Type = E;
};
template <class E>
  requires requires { typename E::Event; }
struct TEventOf<E> {
  using Type = typename E::Event;
};
template <class Member>
struct TMemberType;
template <class C, class E>
struct TMemberType<E C::*> {
  using Signature = typename TEventOf<E>::Type::Signature;
};

template <auto Member, class Signature = typename TMemberType<decltype(Member)>::Signature>
struct THandler;
template <auto Member, class R, class... A>
struct THandler<Member, R(A...)> {
  static inline int index = -1;
  static R Call(A... args) {
    std::vector<PVirtualNode> nodes;
    (Collect(nodes, args), ...);
    Observe(index, nodes, [&] { TBaseline<Member>::Run(args...); });
    return R();
  }
};

template <auto Member>
bool Bind(TTableTree* tree, int index) {
  THandler<Member>::index = index;
  tree->*Member = &THandler<Member>::Call;
  return true;
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
  g.tree->GetDragManager()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
  return target;
}
void Drop(bool drop) {
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
      {"tooltip", [](TTableTree*) { ShowHint(hmTooltip); }},
      {"hint", [](TTableTree*) { ShowHint(hmHint); }},
      {"export HTML", [](TTableTree* t) { t->ContentToHTML(tstAll); }},
      {"export RTF", [](TTableTree* t) { t->ContentToRTF(tstAll); }},
      {"export text", [](TTableTree* t) { t->ContentToText(tstVisible, '\t'); }},
      {"export to the clipboard", [](TTableTree* t) {
         if (HGLOBAL block = t->ContentToClipboard(CF_UNICODETEXT, tstAll)) GlobalFree(block);
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
  g.form->SetBounds(0, 0, 420, 320);
  g.tree = New<TTableTree>(g.form);
  g.images = New<TImageList>(g.form);
  TTableTree* t = g.tree;
  // The plain owner draw is asked only when no one answers which parts to draw.
  bool plainOwnerDraw = std::string(kEvents[g.row.event].name) == "OnHeaderDraw";
  for (int e = 0; e < static_cast<int>(kEvents.size()); ++e)
    if (!plainOwnerDraw || std::string(kEvents[e].name) != "OnHeaderDrawQueryElements") kEvents[e].bind(t, e);
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
                        .Include(toWheelPanning).Include(toAcceptOLEDrop));
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
  } else if (g.form->Going() || !IsWindow(formWindow) || g.form->ComponentCount() != formComponents - 1) {
    Problem("more than the tree went");
  }
  SetRowStep("the form freed");
  g.treeFreed = true;  // the tree goes with its form: its handlers say nothing more
  g.acting = true;
  g.form->Free();
  qvtest::Pump(5);
  return g.problems;
}

std::vector<int> ChosenRows() {
  int count = static_cast<int>(AllRows().size());
  std::vector<int> rows(count);
  for (int i = 0; i < count; ++i) rows[i] = i;
  if (const char* chosen = std::getenv("QV_TABLE_CHOSEN")) {  // rows to look at again: "3,17,40"
    std::vector<int> some;
    std::istringstream items(chosen);
    for (std::string item; std::getline(items, item, ',');) some.push_back(std::atoi(item.c_str()));
    return some;
  }
  const char* longRun = std::getenv("QV_LONG");
  if (longRun != nullptr && std::string(longRun) == "1") return rows;
  std::mt19937 random(57);
  std::shuffle(rows.begin(), rows.end(), random);
  rows.resize(std::min(count, kSampleRows));
  std::sort(rows.begin(), rows.end());
  return rows;
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
  std::vector<int> rows = ChildRows();
  if (rows.empty()) GTEST_SKIP() << "run by HandlerTable.EveryHandlerFreesWhatItIsToldAbout";
  Application->Initialize();
  OleInitialize(nullptr);
  // An error a message ends with is the row's, not a box for nobody to close.
  Application->OnException = [](TObject*, const std::exception& e) {
    Problem(std::string("\"") + RowStep() + "\" raised " + e.what());
  };
  SetObjectFencing(std::min(sizeof(TTableTree), sizeof(TForm)));
  std::vector<TRow> all = AllRows();
  for (int index : rows) {
    BeginRow(index, Describe(all[index]));
    std::string problems = RunRow(all[index]);
    std::string note = g.actedIn == nullptr ? "never freed" : std::string("freed in \"") + g.actedIn + "\"";
    if (!g.refused.empty()) note += ", refused: " + g.refused;
    EndRow(problems, note);
  }
  SetObjectFencing(0);
}

// Where a failing row went wrong, to group the rows by: the faulting code, the
// hanging code, or the first problem seen.
std::string Site(const std::string& report) {
  for (const char* mark : {"by the code at ", "hung at ", "exception "}) {
    size_t at = report.find(mark);
    if (at != std::string::npos) return report.substr(at, report.find(';', at) - at);
  }
  size_t colon = report.find("): ");
  std::string first = colon == std::string::npos ? report : report.substr(colon + 3);
  return first.substr(0, first.find(';'));
}

TEST(HandlerTable, EveryHandlerFreesWhatItIsToldAbout) {
  if (!ChildRows().empty()) GTEST_SKIP() << "a child runs rows only";
  std::vector<int> rows = ChosenRows();
  std::vector<TRowOutcome> outcomes = RunRowsInChildren(rows, "HandlerTable.Rows", kRowsPerChild);
  std::map<std::string, std::vector<int>> bySite;
  int neverFreed = 0;
  std::string silent;  // events whose handler no step called
  std::vector<TRow> all = AllRows();
  std::map<std::string, int> refusals;  // deletions the tree refused, by its reason
  for (const TRowOutcome& outcome : outcomes) {
    if (outcome.row < 0) {
      ADD_FAILURE() << outcome.report;
      continue;
    }
    if (size_t at = outcome.report.find("refused: "); at != std::string::npos)
      ++refusals[outcome.report.substr(at, outcome.report.find("): ", at) - at)];
    if (outcome.report.find("never freed") != std::string::npos) {
      ++neverFreed;
      if (all[outcome.row].k == 1 && all[outcome.row].action == aTree) silent += std::string(" ") + kEvents[all[outcome.row].event].name;
    }
    if (outcome.passed) continue;
    bySite[Site(outcome.report)].push_back(outcome.row);
    ADD_FAILURE() << "row " << outcome.row << ": " << outcome.report;
  }
  for (const auto& [reason, count] : refusals) std::printf("%d rows %s\n", count, reason.c_str());
  std::printf("%zu rows, %d of them never reached their call (never called:%s); failing rows by site:\n",
              outcomes.size(), neverFreed, silent.c_str());
  for (const auto& [site, failed] : bySite) {
    std::printf("  %s:", site.c_str());
    for (int row : failed) std::printf(" %d", row);
    std::printf("\n");
  }
}
