// Interaction figures of the virtual tree beside the system tree view doing
// the same work under the same display in the same run. Wine's tree view
// checks every item handle by a linear search of all its items, so its costs
// grow with its item count: it is compared where that search is small (its
// figures at two sizes are printed, so the reader sees whether they are still
// flat), with our tree holding as many nodes. The Down key held (key
// handling, focus, selection and scrolling; shown, and hidden so that nothing
// is painted); SelectAll and InvertSelection, and checking a node with shown
// children, per 1,000 nodes beside the tree view's TVM_GETNEXTITEM walk per
// 1,000 items. Our own figures at 1,000,000 nodes follow beside ours at the
// compared size: the same work, and a step that does not grow with the tree.
// A row's height set among 5,000 and 1,000,000 shown roots, in alternated
// rounds beside as many one-row changes of another kind (a check type), the
// window painted after them.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <chrono>
#include <cstdio>

#include "BenchSize.h"
#include "PairedRounds.h"
#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;

double Us(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void SizeLine(const char* what, double value, const char* unit, double smaller, uint32_t smallerSize) {
  std::printf("%-52s %10.3f %-3s  at %7u  %10.3f %-3s  ratio %8.2f\n", what, value, unit, unsigned(smallerSize),
              smaller, unit, smaller > 0 ? value / smaller : 0.0);
}

void SystemLine(const char* what, double value, const char* unit, double system) {
  std::printf("%-52s %10.3f %-3s  tree view  %10.3f %-3s  ratio %8.2f\n", what, value, unit, system, unit,
              system > 0 ? value / system : 0.0);
}

// The system tree view with count root items, in a window beside the tree's.
HWND MakeSystemTreeView(uint32_t count, int x, int width, int height) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&init);
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TreeInteractionBenchHost";
  RegisterClassW(&wc);  // fails harmlessly for the second tree view
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"Tree view", WS_OVERLAPPEDWINDOW, x, 0, width + 20, height + 40,
                              nullptr, nullptr, wc.hInstance, nullptr);
  HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_SHOWSELALWAYS, 0, 0, width, height,
                              host, nullptr, wc.hInstance, nullptr);
  TVINSERTSTRUCTW insert{};
  insert.hParent = TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<wchar_t*>(L"Node");
  SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
  for (uint32_t i = 0; i < count; ++i) SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
  SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
  return tree;
}

HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// The tree view's own walk over its first count items (TVM_GETNEXTITEM).
double SystemWalk(HWND tree, uint32_t count) {
  auto t = Clock::now();
  uint32_t i = 0;
  for (HTREEITEM run = NextItem(tree, nullptr, TVGN_ROOT); run != nullptr && i < count;
       run = NextItem(tree, run, TVGN_NEXT))
    ++i;
  return Us(t);
}

}  // namespace

int main() {
  // Under QV_BENCH_SMALL far fewer nodes and steps (the labels name the full sizes).
  const uint32_t kMillion = BenchSize(1000000u, 10000u);
  const uint32_t kShownChildren = BenchSize(100000u, 2000u);
  // The compared size, and the larger one at which the tree view's figures
  // are taken again to show how far they still are from growing.
  const uint32_t kCompared = 1000, kCheckedFlat = 4000;
  const uint32_t kComparedSteps = kCompared - 100;
  const uint32_t kSteps = BenchSize(10000u, 500u);
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 420, 480);
  TVirtualDrawTree* tree = New<TVirtualDrawTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 440);
  TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
  selection.Include(toMultiSelect);
  tree->TreeOptions()->SetSelectionOptions(selection);
  tree->SetNodeDataSize(0);
  form->Show();
  HWND window = tree->Handle();
  auto fill = [&](uint32_t count) {
    tree->Clear();
    tree->SetRootNodeCount(count);
    // Let the position cache be built on the window's thread first.
    auto ready = Clock::now();
    MSG msg;
    while (count > tree->CacheSpacing() && !tree->TreeStates().Contains(tsUseCache) && Us(ready) < 60e6) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(1);
    }
  };

  // Key repeat: WM_KEYDOWN with the previous-state bit, no WM_PAINT in between.
  // Once with the window shown (the scroll bar and the moved content are
  // redrawn at once by the system), once hidden: the handling without painting.
  UINT scan = MapVirtualKeyW(VK_DOWN, MAPVK_VK_TO_VSC);
  LPARAM repeat = 1 | (static_cast<LPARAM>(scan) << 16) | (1 << 24) | (1 << 30);
  auto downSteps = [&](uint32_t steps) {
    tree->SetFocusedNode(tree->GetFirst());
    tree->ClearSelection();
    tree->AddToSelection(tree->GetFirst());
    tree->SetOffsetY(0);
    auto t = Clock::now();
    for (uint32_t i = 0; i < steps; ++i) SendMessageW(window, WM_KEYDOWN, VK_DOWN, repeat);
    double perStep = Us(t) / steps;
    if (tree->FocusedNode()->Index != steps)
      std::printf("  focused node index %u, expected %u\n", tree->FocusedNode()->Index, steps);
    ValidateRect(window, nullptr);
    return perStep;
  };
  // The system tree views beside the form, the same client size.
  HWND system = MakeSystemTreeView(kCompared, 440, 400, 440);
  HWND larger = MakeSystemTreeView(kCheckedFlat, 440, 400, 440);
  auto systemDownSteps = [&](HWND view, uint32_t steps) {
    HTREEITEM first = NextItem(view, nullptr, TVGN_ROOT);
    SendMessageW(view, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(first));
    SendMessageW(view, TVM_SELECTITEM, TVGN_FIRSTVISIBLE, reinterpret_cast<LPARAM>(first));
    auto t = Clock::now();
    for (uint32_t i = 0; i < steps; ++i) SendMessageW(view, WM_KEYDOWN, VK_DOWN, repeat);
    double perStep = Us(t) / steps;
    ValidateRect(view, nullptr);
    return perStep;
  };
  auto shown = [&](HWND view, bool show) {
    ShowWindow(GetParent(view), show ? SW_SHOWNOACTIVATE : SW_HIDE);
    if (show) UpdateWindow(GetParent(view));
  };
  auto compareDown = [&](const char* what) {
    double ours = downSteps(kComparedSteps);
    shown(system, form->Visible());
    double theirs = systemDownSteps(system, kComparedSteps);
    shown(system, false);
    shown(larger, form->Visible());
    double theirsLarger = systemDownSteps(larger, kComparedSteps);
    shown(larger, false);
    SystemLine(what, ours, "us", theirs);
    std::printf("%-52s %10.3f us at %u items\n", "  the tree view again, larger", theirsLarger, kCheckedFlat);
    return ours;
  };
  fill(kCompared);
  double comparedShown = compareDown("Down held, 900 steps of 1,000 nodes, shown");
  form->Hide();
  double comparedHidden = compareDown("Down held, 900 steps of 1,000 nodes, no paint");

  // Per 1,000 items: the tree view's walk, at both sizes.
  const double kPer = 1000;
  double walk = SystemWalk(system, kCompared) / 1000.0 * kPer / kCompared;
  double walkLarger = SystemWalk(larger, kCheckedFlat) / 1000.0 * kPer / kCheckedFlat;
  const char* walkLine = "  per 1,000 beside the tree view's walk per 1,000 items";
  auto walkAgain = [&] { std::printf("%-52s %10.3f ms at %u items\n", "  the walk again, larger", walkLarger, kCheckedFlat); };
  auto t = Clock::now();
  tree->SelectAll(false);
  double selectAll = Us(t) / 1000.0;
  std::printf("%-52s %10.3f ms\n", "SelectAll of 1,000 nodes", selectAll);
  SystemLine(walkLine, selectAll * kPer / kCompared, "ms", walk);
  walkAgain();
  t = Clock::now();
  tree->InvertSelection(false);
  double invert = Us(t) / 1000.0;
  std::printf("%-52s %10.3f ms\n", "InvertSelection of 1,000 selected nodes", invert);
  SystemLine(walkLine, invert * kPer / kCompared, "ms", walk);

  // Our own figures at 1,000,000 nodes beside ours at the compared size.
  fill(kMillion);
  form->Show();
  SizeLine("Down held, 10,000 steps of 1,000,000 nodes, shown", downSteps(kSteps), "us", comparedShown, kCompared);
  form->Hide();
  SizeLine("Down held, 10,000 steps of 1,000,000 nodes, no paint", downSteps(kSteps), "us", comparedHidden,
           kCompared);
  {
    // The same keys where the view never scrolls: Down and Up in turn.
    tree->SetFocusedNode(tree->GetFirst());
    tree->SetOffsetY(0);
    t = Clock::now();
    for (uint32_t i = 0; i < kSteps; ++i) SendMessageW(window, WM_KEYDOWN, i % 2 ? VK_UP : VK_DOWN, repeat);
    std::printf("%-52s %10.3f us\n", "Down and Up in turn without scrolling, no paint", Us(t) / kSteps);
    // What one round trip to the window server costs on this machine now: a
    // step needs two (the keyboard state and one repaint request).
    t = Clock::now();
    for (uint32_t i = 0; i < 1000; ++i) GetKeyState(VK_SHIFT);
    std::printf("%-52s %10.3f us\n", "  one server round trip (GetKeyState)", Us(t) / 1000);
  }
  t = Clock::now();
  tree->SelectAll(false);
  SizeLine("SelectAll of 1,000,000 nodes, per 1,000", Us(t) / 1000.0 * kPer / kMillion, "ms",
           selectAll * kPer / kCompared, kCompared);
  t = Clock::now();
  tree->InvertSelection(false);
  SizeLine("InvertSelection of 1,000,000 selected, per 1,000", Us(t) / 1000.0 * kPer / kMillion, "ms",
           invert * kPer / kCompared, kCompared);
  t = Clock::now();
  tree->InvertSelection(false);
  std::printf("%-52s %10.3f ms  selected %u\n", "InvertSelection of 1,000,000 unselected, per 1,000",
              Us(t) / 1000.0 * kPer / kMillion, tree->SelectedCount());
  ValidateRect(window, nullptr);
  {
    // 1,000 rows from the top row on (a screenful shown, the rest below)
    // change, then the window is painted: per row, with the paint. Every
    // call changes its row (each round sets other values than the one before).
    const uint32_t kRowChanges = 1000;
    int round = 0;
    auto rowChanges = [&](bool height) {
      PVirtualNode node = tree->GetTopNode();
      auto t = Clock::now();
      for (uint32_t i = 0; i < kRowChanges && node != nullptr; ++i) {
        bool odd = (i + round / 2) % 2 != 0;
        if (height)
          tree->SetNodeHeight(node, odd ? 24 : 30);
        else
          tree->SetCheckType(node, odd ? ctCheckBox : ctRadioButton);
        node = tree->GetNextVisible(node);
      }
      UpdateWindow(window);
      ++round;
      return Us(t) / kRowChanges;
    };
    form->Show();
    std::printf("SetNodeHeight beside a check type change of as many rows, per row, %s\n", MachineLoad().c_str());
    for (uint32_t roots : {5000u, kMillion}) {
      fill(roots);
      tree->SetOffsetY(-18 * int64_t(roots / 2));
      UpdateWindow(window);
      TPairedRounds rounds;
      round = 0;
      rounds.Run(6, [&] { return rowChanges(true); }, [&] { return rowChanges(false); });
      std::printf("  among %9u roots, painted %10.3f us  check type %10.3f us  %s\n", roots, rounds.Work().median,
                  rounds.Reference().median, rounds.RatioText().c_str());
    }
  }
  {
    // Checking a tri-state node whose shown children are tri-state too: at
    // the compared size, then with 100,000 children.
    TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
    tree->TreeOptions()->SetMiscOptions(misc.Include(toCheckSupport));
    TVTAutoOptions autoOptions = tree->TreeOptions()->AutoOptions();
    tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoTristateTracking));
    form->Show();
    auto check = [&](uint32_t children, bool uncheck) {
      tree->Clear();
      PVirtualNode parent = tree->AddChild(nullptr);
      tree->SetCheckType(parent, ctTriStateCheckBox);
      tree->SetChildCount(parent, children);
      for (PVirtualNode child = tree->GetFirstChild(parent); child != nullptr; child = child->NextSibling)
        tree->SetCheckType(child, ctTriStateCheckBox);
      tree->SetExpanded(parent, true);
      t = Clock::now();
      tree->SetCheckState(parent, csCheckedNormal);
      double ms = Us(t) / 1000.0;
      if (uncheck) {
        t = Clock::now();
        tree->SetCheckState(parent, csUncheckedNormal);
        ms = Us(t) / 1000.0;
      }
      ValidateRect(window, nullptr);
      return ms * kPer / children;
    };
    double checked = check(kCompared, false);
    std::printf("%-52s %10.3f ms\n", "check a node with 1,000 shown children", checked);
    SystemLine(walkLine, checked, "ms", walk);
    walkAgain();
    SizeLine("check a node with 100,000 shown children, per 1,000", check(kShownChildren, false), "ms", checked, kCompared);
    double unchecked = check(kCompared, true);
    SizeLine("uncheck it again, 100,000, per 1,000", check(kShownChildren, true), "ms", unchecked, kCompared);
  }
  form->Free();
  DestroyWindow(GetParent(system));
  DestroyWindow(GetParent(larger));
  return 0;
}
