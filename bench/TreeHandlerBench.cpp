// Work whose event handlers free nodes, each figure beside the same work
// without such a handler (or the plain operations it amounts to) in the same
// run: check propagation from a tri-state folder down 100,000 children whose
// OnChecked handler frees one node elsewhere per call; cutting the 100,000
// children of one node and pasting them into a second tree, beside the
// source's DeleteChildren plus as many AddChild calls in the target; moving
// and copying 40,000 children to a second tree with a handler that frees one
// node elsewhere per node arrived; and clearing 1,000,000 nodes beside a loop
// that frees as many records. Sizes come from the command line (default
// 100,000 for the checks and the paste, 40,000 for the moves, 1,000,000 for
// the clear; far fewer under QV_BENCH_SMALL). Each figure and its reference
// run in alternated rounds; the ratio is taken within each round.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSize.h"
#include "PairedRounds.h"
#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A figure and its reference: the median time of each, and the ratio of each round.
void Line(const char* what, uint32_t count, const TPairedRounds& rounds, const char* reference) {
  std::printf("%-46s %9u %9.1f ms  %-28s %9.1f ms  %s\n", what, count, rounds.Work().median, reference,
              rounds.Reference().median, RatioSpreadText(rounds.Ratio()).c_str());
  std::fflush(stdout);
}

// False once a run did not do its work (the benchmark then fails).
bool gWorkRight = true;

void Wrong(const char* what, uint32_t done, uint32_t expected) {
  std::printf("  %s: %u, not %u!\n", what, done, expected);
  gWorkRight = false;
}

// Where handlers free nodes from: the children of this node, last first.
PVirtualNode gSpare = nullptr;
bool gFreeing = false;

void FreeOneSpare(TBaseVirtualTree* tree) {
  if (gFreeing && gSpare != nullptr && gSpare->LastChild != nullptr) tree->DeleteNode(gSpare->LastChild);
}

TVirtualDrawTree* MakeTree(TForm* form, int left) {
  auto* tree = New<TVirtualDrawTree>(form);
  tree->SetParent(form);
  tree->SetBounds(left, 0, 300, 400);
  tree->SetNodeDataSize(sizeof(int));
  tree->SetClipboardFormats({"Virtual Tree Data"});
  TCustomVirtualTreeOptions* o = tree->TreeOptions();
  o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
  o->SetSelectionOptions(o->SelectionOptions().Include(toMultiSelect));
  o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
  tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates&) {
    node->CheckType = parent == nullptr ? ctTriStateCheckBox : ctCheckBox;
  };
  tree->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->WriteBuffer(sender->GetNodeData(node), sizeof(int));
  };
  tree->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
  };
  tree->OnChecked = [](TBaseVirtualTree* sender, PVirtualNode) { FreeOneSpare(sender); };
  tree->OnNodeMoved = [](TBaseVirtualTree* sender, PVirtualNode) { FreeOneSpare(sender); };
  tree->OnNodeCopied = [](TBaseVirtualTree* sender, PVirtualNode) { FreeOneSpare(sender); };
  return tree;
}

// A node of tree (root level) with count initialised children.
PVirtualNode AddFolder(TVirtualDrawTree* tree, uint32_t count) {
  tree->BeginUpdate();
  PVirtualNode folder = tree->AddChild(nullptr);
  tree->InitNode(folder);
  tree->SetChildCount(folder, count);
  for (PVirtualNode run = folder->FirstChild; run != nullptr; run = run->NextSibling) tree->InitNode(run);
  tree->EndUpdate();
  return folder;
}

// Ticks a folder of count boxes down to every child, with or without a
// handler that frees one node elsewhere per child ticked.
double Propagation(TVirtualDrawTree* tree, uint32_t count, bool freeing) {
  tree->Clear();
  PVirtualNode folder = AddFolder(tree, count);
  gSpare = AddFolder(tree, count + 1);
  gFreeing = freeing;
  auto t = Clock::now();
  tree->SetCheckState(folder, csCheckedNormal);
  double ms = Ms(t);
  gFreeing = false;
  uint32_t ticked = 0;
  for (PVirtualNode run = folder->FirstChild; run != nullptr; run = run->NextSibling)
    ticked += run->CheckState == csCheckedNormal;
  if (ticked != count) Wrong("children ticked", ticked, count);
  if (freeing && gSpare->ChildCount != 0) Wrong("spare nodes left", gSpare->ChildCount, 0);
  gSpare = nullptr;
  return ms;
}

// Moves or copies count children of a node to a second tree, with or without
// a handler that frees one node elsewhere per node arrived.
double Transfer(TVirtualDrawTree* source, TVirtualDrawTree* target, uint32_t count, bool move, bool freeing) {
  source->Clear();
  target->Clear();
  PVirtualNode folder = AddFolder(source, count);
  PVirtualNode place = AddFolder(target, 0);
  gSpare = AddFolder(target, count + 1);
  gFreeing = freeing;
  auto t = Clock::now();
  if (move)
    source->MoveTo(folder, place, amAddChildLast, /*childrenOnly=*/true);
  else
    source->CopyTo(folder, place, amAddChildLast, /*childrenOnly=*/true);
  double ms = Ms(t);
  gFreeing = false;
  if (place->ChildCount != count) Wrong("children arrived", place->ChildCount, count);
  if (freeing && gSpare->ChildCount != 1) Wrong("spare nodes left", gSpare->ChildCount, 1);
  if (move && folder->ChildCount != 0) Wrong("children left behind", folder->ChildCount, 0);
  gSpare = nullptr;
  return ms;
}

// Cuts the count children of a node of source and pastes them into target's
// root; the time of both.
double CutAndPaste(TVirtualDrawTree* source, TVirtualDrawTree* target, uint32_t count) {
  source->Clear();
  target->Clear();
  PVirtualNode folder = AddFolder(source, count);
  std::vector<PVirtualNode> children;
  for (PVirtualNode run = folder->FirstChild; run != nullptr; run = run->NextSibling) children.push_back(run);
  source->AddToSelection(children, /*forceInsert=*/false);
  auto t = Clock::now();
  source->CutToClipBoard();
  bool pasted = target->PasteFromClipboard();
  double ms = Ms(t);
  if (!pasted || target->GetRootNodeCount() != count) Wrong("nodes pasted", target->GetRootNodeCount(), count);
  if (folder->ChildCount != 0) Wrong("nodes left after the cut", folder->ChildCount, 0);
  return ms;
}

// The same count of nodes deleted in source (DeleteChildren) and added to
// target (AddChild, in one update: alone, each call would update the view).
double DeleteAndAdd(TVirtualDrawTree* source, TVirtualDrawTree* target, uint32_t count) {
  source->Clear();
  target->Clear();
  PVirtualNode folder = AddFolder(source, count);
  auto t = Clock::now();
  source->DeleteChildren(folder);
  target->BeginUpdate();
  for (uint32_t i = 0; i < count; ++i) target->AddChild(nullptr);
  target->EndUpdate();
  return Ms(t);
}

struct Bare {
  Bare* next;
};

// The plain loop: count records of a node's size, linked and freed one by one.
double PlainFree(uint32_t count) {
  Bare* first = nullptr;
  for (uint32_t i = 0; i < count; ++i) {
    Bare* b = static_cast<Bare*>(std::calloc(1, kNodeHeaderSize + sizeof(int)));
    b->next = first;
    first = b;
  }
  auto t = Clock::now();
  while (first != nullptr) {
    Bare* next = first->next;
    std::free(first);
    first = next;
  }
  return Ms(t);
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t checks = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : BenchSize(100000u, 2000u);
  uint32_t moves = argc > 2 ? uint32_t(std::strtoul(argv[2], nullptr, 10)) : BenchSize(40000u, 1000u);
  uint32_t clears = argc > 3 ? uint32_t(std::strtoul(argv[3], nullptr, 10)) : BenchSize(1000000u, 20000u);
  const int rounds = BenchSize(7, 2);
  Application->Initialize();
  OleInitialize(nullptr);
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 640, 440);
  TVirtualDrawTree* tree = MakeTree(form, 0);
  TVirtualDrawTree* other = MakeTree(form, 320);
  form->Show();
  std::printf("%d alternated rounds of each figure and its reference, %s\n", rounds, MachineLoad().c_str());
  std::printf("%-46s %9s %12s  %-28s %12s  %s\n", "", "nodes", "median", "reference", "median",
              "ratio min / median / max");

  TPairedRounds ticks;
  ticks.Run(rounds, [&] { return Propagation(tree, checks, true); }, [&] { return Propagation(tree, checks, false); });
  Line("ticks down a folder, a handler frees 1 each", checks, ticks, "the same without it");
  std::printf("%-46s (at most 3)\n", "");

  // Cut and paste of one node's children into a second tree, beside the
  // DeleteChildren and AddChild calls it amounts to.
  TPairedRounds paste;
  paste.Run(rounds, [&] { return CutAndPaste(tree, other, checks); }, [&] { return DeleteAndAdd(tree, other, checks); });
  Line("cut children, paste into a second tree", checks, paste, "DeleteChildren + AddChild");
  std::printf("%-46s (at most 2)\n", "");

  TPairedRounds move, copy;
  move.Run(rounds, [&] { return Transfer(tree, other, moves, true, true); },
           [&] { return Transfer(tree, other, moves, true, false); });
  Line("MoveTo children, a handler frees 1 each", moves, move, "the same without it");
  copy.Run(rounds, [&] { return Transfer(tree, other, moves, false, true); },
           [&] { return Transfer(tree, other, moves, false, false); });
  Line("CopyTo children, a handler frees 1 each", moves, copy, "the same without it");

  TPairedRounds clear;
  clear.Run(rounds, [&] {
    tree->Clear();
    other->Clear();
    tree->SetRootNodeCount(clears);
    auto t = Clock::now();
    tree->Clear();
    double ms = Ms(t);
    if (tree->GetRootNodeCount() != 0) Wrong("nodes left after Clear", tree->GetRootNodeCount(), 0);
    return ms;
  }, [&] { return PlainFree(clears); });
  Line("Clear", clears, clear, "plain loop freeing records");
  std::printf("ratio: the figure's time over its reference's in the same round\n");
  form->Free();
  OleUninitialize();
  return gWorkRight ? 0 : 1;
}
