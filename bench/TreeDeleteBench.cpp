// Deleting many nodes of a tree in a shown window, each figure beside a loop
// that frees as many linked records of the same size (unlinking each as it
// goes; for every other node, freeing every other record and numbering the
// rest) and beside the tree's own DeleteChildren of the same nodes (half of
// its time for every other node):
// SetChildCount shrinking an expanded node to one child, ReinitChildren
// whose OnInitChildren asks for one child, and DeleteMarkedCutNodes of cut
// siblings (all of them, every other one, all of them hidden, and all of
// them hidden but the last one, which is not cut). Sizes
// come from the command line (default 5,000, 20,000, 100,000, 1,000,000;
// 500 and 5,000 for the run that checks the work).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSize.h"
#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Bare {
  Bare* next;
  Bare* prev;
  Bare* parent;
  uint32_t index;
};

// The plain loop: count linked records of a node's size; every step-th is
// unlinked and freed (walking from the first), the others numbered afresh.
// Only that is timed; the records left are freed afterwards.
double PlainFree(uint32_t count, uint32_t step) {
  Bare parent{};
  Bare* first = nullptr;
  Bare* last = nullptr;
  for (uint32_t i = 0; i < count; ++i) {
    Bare* b = static_cast<Bare*>(std::calloc(1, kNodeHeaderSize + sizeof(int)));
    b->prev = last;
    b->parent = &parent;
    b->index = i;
    if (last != nullptr) last->next = b;
    if (first == nullptr) first = b;
    last = b;
  }
  auto t = Clock::now();
  uint32_t i = 0, index = 0;
  for (Bare* run = first; run != nullptr; ++i) {
    Bare* next = run->next;
    if (i % step == 0) {
      if (run->prev != nullptr) run->prev->next = next;
      else first = next;
      if (next != nullptr) next->prev = run->prev;
      std::free(run);
    } else {
      run->index = index++;
    }
    run = next;
  }
  double ms = Ms(t);
  while (first != nullptr) {
    Bare* next = first->next;
    std::free(first);
    first = next;
  }
  return ms;
}

uint32_t gInitCount = 1;

TVirtualDrawTree* MakeTree(TForm* form) {
  auto* tree = New<TVirtualDrawTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 300, 400);
  tree->SetNodeDataSize(sizeof(int));
  tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = gInitCount; };
  return tree;
}

// An expanded node with count children, the last root node of a few.
PVirtualNode MakeParent(TVirtualDrawTree* tree, uint32_t count) {
  tree->Clear();
  tree->SetRootNodeCount(3);
  PVirtualNode parent = tree->GetLast();
  tree->SetChildCount(parent, count);
  tree->SetExpanded(parent, true);
  tree->Update();
  return parent;
}

// A benchmark that finds its work wrong ends with a failure: its figures
// would time something else.
void Expect(bool ok, const char* what, uint32_t count) {
  if (ok) return;
  std::printf("FAILED: %s (%u nodes)\n", what, count);
  std::exit(1);
}

void Line(const char* what, uint32_t count, double ms, double plain, double children) {
  std::printf("%-40s %9u %10.1f ms  plain loop %8.1f ms  DeleteChildren %8.1f ms  ratio %6.1f\n", what,
              count, ms, plain, children, children > 0 ? ms / children : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint32_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
  if (sizes.empty()) sizes = BenchSize<std::vector<uint32_t>>({5000, 20000, 100000, 1000000}, {500, 5000});
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 320, 440);
  TVirtualDrawTree* tree = MakeTree(form);
  form->Show();
  std::printf("%-40s %9s %13s  (ratio: beside DeleteChildren)\n", "", "nodes", "time");
  for (uint32_t count : sizes) {
    double plain = PlainFree(count, 1);
    PVirtualNode parent = MakeParent(tree, count);
    auto t = Clock::now();
    tree->DeleteChildren(parent);
    double children = Ms(t);
    Expect(tree->GetChildCount(parent) == 0 && tree->RootNode()->TotalCount == 4, "DeleteChildren", count);

    parent = MakeParent(tree, count);
    t = Clock::now();
    tree->SetChildCount(parent, 1);
    Line("SetChildCount to 1", count, Ms(t), plain, children);
    Expect(tree->GetChildCount(parent) == 1 && tree->RootNode()->TotalCount == 5, "SetChildCount to 1", count);

    parent = MakeParent(tree, count);
    gInitCount = 1;
    t = Clock::now();
    tree->ReinitChildren(parent, false);
    Line("ReinitChildren asking for 1", count, Ms(t), plain, children);
    Expect(tree->GetChildCount(parent) == 1 && tree->RootNode()->TotalCount == 5, "ReinitChildren asking for 1", count);

    // Cut siblings: all of them, every other one (half as many deleted), and
    // all of them hidden (their parent then looks for a visible child left).
    // Last, all of them hidden but the last one, which stays: each deletion
    // leaves a visible child behind the hidden ones.
    for (int step : {1, 2, 0, -1}) {
      parent = MakeParent(tree, count);
      if (step <= 0) {
        tree->BeginUpdate();
        for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling)
          tree->SetIsVisible(run, step == -1 && run == parent->LastChild);
        tree->EndUpdate();
      }
      uint32_t i = 0;
      for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling, ++i)
        if (step == 0 || (step == -1 && run != parent->LastChild) || (step > 0 && i % step == 0))
          run->States |= vsCutOrCopy;
      tree->DoStateChange({tsCutPending});
      t = Clock::now();
      tree->DeleteMarkedCutNodes();
      double ms = Ms(t);
      const char* what = step == 1 ? "DeleteMarkedCutNodes, all"
                         : step == 2 ? "DeleteMarkedCutNodes, every other"
                         : step == 0 ? "DeleteMarkedCutNodes, all hidden"
                                     : "DeleteMarkedCutNodes, hidden, one shown";
      Line(what, count, ms, step == 2 ? PlainFree(count, 2) : plain, step == 2 ? children / 2 : children);
      const uint32_t left = step == 2 ? count / 2 : step == -1 ? 1 : 0;
      Expect(tree->GetChildCount(parent) == left && tree->RootNode()->TotalCount == 4 + left, what, count);
      uint32_t index = 0;
      for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling)
        Expect(run->Index == index++, "the children left numbered afresh", count);
    }
    std::fflush(stdout);
  }
  form->Free();
  return 0;
}
