// Interaction figures of the virtual tree, each beside a plain loop over the
// same node records in the same run: the Down key held for 10,000 steps over
// 1,000,000 nodes (key handling, focus, selection and scrolling; no painting),
// and SelectAll and InvertSelection of 1,000,000 nodes.
#include <windows.h>

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
  auto downSteps = [&](const char* what) {
    tree->SetFocusedNode(tree->GetFirst());
    tree->ClearSelection();
    tree->AddToSelection(tree->GetFirst());
    tree->SetOffsetY(0);
    auto t = Clock::now();
    for (uint32_t i = 0; i < kSteps; ++i) SendMessageW(window, WM_KEYDOWN, VK_DOWN, repeat);
    double perStep = Us(t) / kSteps;
    double plain = WalkRecords(tree->GetFirst(), kSteps, vsCutOrCopy) / kSteps;
    Line(what, perStep, "us", plain);
    std::printf("%-52s %u (expected %u)\n", "  focused node index", tree->FocusedNode()->Index, kSteps);
    ValidateRect(window, nullptr);
  };
  downSteps("Down held, 10,000 steps of 1,000,000 nodes, shown");
  form->Hide();
  downSteps("Down held, 10,000 steps of 1,000,000 nodes, no paint");
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
  std::printf("%-52s %u\n", "  selected", tree->SelectedCount());
  t = Clock::now();
  tree->InvertSelection(false);
  Line("InvertSelection of 1,000,000 selected nodes", Us(t) / 1000.0, "ms", walk);
  t = Clock::now();
  tree->InvertSelection(false);
  Line("InvertSelection of 1,000,000 unselected nodes", Us(t) / 1000.0, "ms", walk);
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
    Line("check a node with 100,000 shown children", Us(t) / 1000.0, "ms", plain);
    t = Clock::now();
    tree->SetCheckState(parent, csUncheckedNormal);
    Line("uncheck it again", Us(t) / 1000.0, "ms", plain);
    ValidateRect(window, nullptr);
  }
  form->Free();
  return 0;
}
