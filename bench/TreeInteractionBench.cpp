// Interaction figures of the virtual tree beside the system tree view doing
// the same work under the same display in the same run: the Down key held for
// 10,000 steps over 1,000,000 nodes (key handling, focus, selection and
// scrolling; shown, and hidden so that nothing is painted) beside the tree
// view's own Down steps over as many items; SelectAll and InvertSelection of
// 1,000,000 nodes, and checking a node with 100,000 shown children, beside
// the tree view's TVM_GETNEXTITEM walk (per 10,000 items: Wine's walk is
// quadratic, so only its first 10,000 items are walked). The plain
// loop over the tree's own records is shown too, as the floor.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <chrono>
#include <cstdio>

#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;

double Us(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void Line(const char* what, double value, const char* unit, double baseline) {
  std::printf("%-52s %10.3f %-3s  plain loop %10.3f %-3s  ratio %8.1f\n", what, value, unit, baseline, unit,
              baseline > 0 ? value / baseline : 0.0);
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
  RegisterClassW(&wc);
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
// Wine checks every handle it is given by a linear search of all items, so a
// walk is quadratic there: only the first kSystemWalk items are walked, and
// the figures compare per kSystemWalk items.
double SystemWalk(HWND tree, uint32_t count) {
  auto t = Clock::now();
  uint32_t i = 0;
  for (HTREEITEM run = NextItem(tree, nullptr, TVGN_ROOT); run != nullptr && i < count;
       run = NextItem(tree, run, TVGN_NEXT))
    ++i;
  return Us(t);
}

// The plain loop: walk count records along the sibling chain, flipping a bit.
double WalkRecords(PVirtualNode first, uint32_t count, uint16_t bit) {
  auto t = Clock::now();
  PVirtualNode run = first;
  for (uint32_t i = 0; i < count && run != nullptr; ++i, run = run->NextSibling) run->States ^= bit;
  double result = Us(t);
  run = first;
  for (uint32_t i = 0; i < count && run != nullptr; ++i, run = run->NextSibling) run->States ^= bit;
  return result;
}

}  // namespace

int main() {
  const uint32_t kMillion = 1000000;
  const uint32_t kSteps = 10000;
  const uint32_t kSystemSteps = 300;
  const uint32_t kSystemWalk = 10000;
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
  tree->SetRootNodeCount(kMillion);
  form->Show();
  // Let the position cache be built on the window's thread first.
  auto ready = Clock::now();
  MSG msg;
  while (!tree->TreeStates().Contains(tsUseCache) && Us(ready) < 60e6) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(1);
  }
  tree->SetFocusedNode(tree->GetFirst());
  tree->AddToSelection(tree->GetFirst());

  // Key repeat: WM_KEYDOWN with the previous-state bit, no WM_PAINT in between.
  // Once with the window shown (the scroll bar and the moved content are
  // redrawn at once by the system), once hidden: the handling without painting.
  HWND window = tree->Handle();
  UINT scan = MapVirtualKeyW(VK_DOWN, MAPVK_VK_TO_VSC);
  LPARAM repeat = 1 | (static_cast<LPARAM>(scan) << 16) | (1 << 24) | (1 << 30);
  double downPerStep = 0;
  auto downSteps = [&](const char* what) {
    tree->SetFocusedNode(tree->GetFirst());
    tree->ClearSelection();
    tree->AddToSelection(tree->GetFirst());
    tree->SetOffsetY(0);
    auto t = Clock::now();
    for (uint32_t i = 0; i < kSteps; ++i) SendMessageW(window, WM_KEYDOWN, VK_DOWN, repeat);
    double perStep = Us(t) / kSteps;
    downPerStep = perStep;
    double plain = WalkRecords(tree->GetFirst(), kSteps, vsCutOrCopy) / kSteps;
    Line(what, perStep, "us", plain);
    std::printf("%-52s %u (expected %u)\n", "  focused node index", tree->FocusedNode()->Index, kSteps);
    ValidateRect(window, nullptr);
  };
  // The system tree view beside the form, as many items, the same client size.
  HWND system = MakeSystemTreeView(kMillion, 440, 400, 440);
  HWND systemHost = GetParent(system);
  auto systemDownSteps = [&] {
    HTREEITEM first = NextItem(system, nullptr, TVGN_ROOT);
    SendMessageW(system, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(first));
    SendMessageW(system, TVM_SELECTITEM, TVGN_FIRSTVISIBLE, reinterpret_cast<LPARAM>(first));
    // Wine's tree view searches all its items on every step (each handle is
    // checked by a linear search): fewer steps give its mean.
    auto t = Clock::now();
    for (uint32_t i = 0; i < kSystemSteps; ++i) SendMessageW(system, WM_KEYDOWN, VK_DOWN, repeat);
    double perStep = Us(t) / kSystemSteps;
    ValidateRect(system, nullptr);
    return perStep;
  };
  ShowWindow(systemHost, SW_SHOWNOACTIVATE);
  UpdateWindow(systemHost);
  downSteps("Down held, 10,000 steps of 1,000,000 nodes, shown");
  SystemLine("  beside the system tree view (mean of 300 steps)", downPerStep, "us", systemDownSteps());
  form->Hide();
  ShowWindow(systemHost, SW_HIDE);
  downSteps("Down held, 10,000 steps of 1,000,000 nodes, no paint");
  SystemLine("  beside the system tree view (mean of 300 steps)", downPerStep, "us", systemDownSteps());
  {
    // The same keys where the view never scrolls: Down and Up in turn.
    tree->SetFocusedNode(tree->GetFirst());
    tree->SetOffsetY(0);
    auto t = Clock::now();
    for (uint32_t i = 0; i < kSteps; ++i) SendMessageW(window, WM_KEYDOWN, i % 2 ? VK_UP : VK_DOWN, repeat);
    Line("Down and Up in turn without scrolling, no paint", Us(t) / kSteps, "us",
         WalkRecords(tree->GetFirst(), kSteps, vsCutOrCopy) / kSteps);
    // What one round trip to the window server costs on this machine now: a
    // step needs two (the keyboard state and one repaint request).
    t = Clock::now();
    for (uint32_t i = 0; i < 1000; ++i) GetKeyState(VK_SHIFT);
    std::printf("%-52s %10.3f us\n", "  one server round trip (GetKeyState)", Us(t) / 1000);
  }

  double walk = WalkRecords(tree->GetFirst(), kMillion, vsCutOrCopy) / 1000.0;
  auto t = Clock::now();
  tree->SelectAll(false);
  double selectAll = Us(t) / 1000.0;
  Line("SelectAll of 1,000,000 nodes", selectAll, "ms", walk);
  // Per kSystemWalk items: ours scaled down from the million.
  const double perWalk = double(kSystemWalk) / kMillion;
  double systemWalk = SystemWalk(system, kSystemWalk) / 1000.0;
  const char* walkLine = "  per 10,000: beside the tree view's walk of its first 10,000 (quadratic under Wine)";
  SystemLine(walkLine, selectAll * perWalk, "ms", systemWalk);
  std::printf("%-52s %u\n", "  selected", tree->SelectedCount());
  t = Clock::now();
  tree->InvertSelection(false);
  double invert = Us(t) / 1000.0;
  Line("InvertSelection of 1,000,000 selected nodes", invert, "ms", walk);
  SystemLine(walkLine, invert * perWalk, "ms", systemWalk);
  t = Clock::now();
  tree->InvertSelection(false);
  invert = Us(t) / 1000.0;
  Line("InvertSelection of 1,000,000 unselected nodes", invert, "ms", walk);
  SystemLine(walkLine, invert * perWalk, "ms", systemWalk);
  std::printf("%-52s %u\n", "  selected", tree->SelectedCount());
  ValidateRect(window, nullptr);
  {
    // Checking a tri-state node whose 100,000 children are shown.
    const uint32_t kChildren = 100000;
    tree->Clear();
    TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
    tree->TreeOptions()->SetMiscOptions(misc.Include(toCheckSupport));
    TVTAutoOptions autoOptions = tree->TreeOptions()->AutoOptions();
    tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoTristateTracking));
    form->Show();
    PVirtualNode parent = tree->AddChild(nullptr);
    tree->SetCheckType(parent, ctTriStateCheckBox);
    tree->SetChildCount(parent, kChildren);
    for (PVirtualNode child = tree->GetFirstChild(parent); child != nullptr; child = child->NextSibling)
      tree->SetCheckType(child, ctTriStateCheckBox);
    tree->SetExpanded(parent, true);
    double plain = WalkRecords(parent->FirstChild, kChildren, vsCutOrCopy) / 1000.0;
    t = Clock::now();
    tree->SetCheckState(parent, csCheckedNormal);
    double check = Us(t) / 1000.0;
    Line("check a node with 100,000 shown children", check, "ms", plain);
    SystemLine(walkLine, check * kSystemWalk / kChildren, "ms", systemWalk);
    t = Clock::now();
    tree->SetCheckState(parent, csUncheckedNormal);
    Line("uncheck it again", Us(t) / 1000.0, "ms", plain);
    ValidateRect(window, nullptr);
  }
  form->Free();
  // Under Wine the system tree view deletes its items in quadratic time (a
  // million take about a minute): the process ends without destroying it.
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}
