// Transport figures of the virtual tree, each beside a plain loop in the same
// run: copying 100,000 nodes to the system clipboard and pasting them into a
// second tree (the node stream rendered on demand, then read node by node),
// beside a loop that writes the same chunks into a byte vector and reads them
// back into plain records; cutting them and pasting them into the second tree
// (an optimised move), and moving them inside one tree; then the attach modes
// that place nodes before or after another node or first among children:
// MoveTo of all children, pastes and optimised moves in those modes.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchSize.h"
#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Line(const char* what, double value, double baseline) {
  std::printf("%-52s %10.1f ms  plain loop %8.1f ms  ratio %6.1f\n", what, value, baseline,
              baseline > 0 ? value / baseline : 0.0);
}

TVirtualDrawTree* MakeTree(TForm* form) {
  auto* tree = New<TVirtualDrawTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 300, 400);
  tree->SetNodeDataSize(sizeof(int));
  tree->SetClipboardFormats({"Virtual Tree Data"});
  TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  tree->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->WriteBuffer(sender->GetNodeData(node), sizeof(int));
  };
  tree->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
  };
  return tree;
}

void Fill(TVirtualDrawTree* tree, uint32_t count) {
  tree->BeginUpdate();
  for (uint32_t i = 0; i < count; ++i) {
    PVirtualNode node = tree->AddChild(nullptr);
    *static_cast<int*>(tree->GetNodeData(node)) = int(i);
    tree->InitNode(node);
  }
  tree->EndUpdate();
}

// The plain loop: the same chunks (node, base record, user data) written for
// count records into one byte vector, then read back into plain records.
double PlainSerialiseLoop(uint32_t count) {
  struct Record {
    uint32_t height;
    uint16_t states;
    uint8_t align, checkState, checkType;
    int id;
  };
  auto t = Clock::now();
  std::vector<uint8_t> bytes;
  auto put = [&](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes.insert(bytes.end(), b, b + n);
  };
  for (uint32_t i = 0; i < count; ++i) {
    int32_t header[2] = {1, 8 + 17 + 8 + 4};
    put(header, 8);
    int32_t base[2] = {2, 17};
    put(base, 8);
    uint8_t record[17] = {};
    record[4] = 18;
    record[8] = 0x21;
    put(record, 17);
    int32_t user[2] = {4, 4};
    put(user, 8);
    int id = int(i);
    put(&id, 4);
  }
  std::vector<Record> records;
  size_t at = 0;
  while (at + 8 <= bytes.size()) {
    int32_t size = 0;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    const uint8_t* body = bytes.data() + at + 8;
    Record r{};
    std::memcpy(&r.height, body + 8 + 4, 4);
    std::memcpy(&r.states, body + 8 + 8, 2);
    r.align = body[8 + 10];
    r.checkState = body[8 + 11];
    r.checkType = body[8 + 12];
    std::memcpy(&r.id, body + 8 + 17 + 8, 4);
    records.push_back(r);
    at += 8 + size_t(size);
  }
  double result = Ms(t);
  if (records.size() != count) std::printf("plain loop read %zu records\n", records.size());
  return result;
}

bool SameIds(TVirtualDrawTree* tree, uint32_t count) {
  uint32_t i = 0;
  for (PVirtualNode run = tree->GetFirstNoInit(); run != nullptr; run = run->NextSibling, ++i)
    if (*static_cast<int*>(tree->GetNodeData(run)) != int(i)) return false;
  return i == count;
}

}  // namespace

int main() {
  const uint32_t kCount = BenchSize(100000u, 1000u);  // the labels name the full size
  Application->Initialize();
  OleInitialize(nullptr);
  TForm* form = New<TForm>(Application);
  TVirtualDrawTree* source = MakeTree(form);
  TVirtualDrawTree* target = MakeTree(form);
  Fill(source, kCount);
  double plain = PlainSerialiseLoop(kCount);

  source->SelectAll(false);
  auto t = Clock::now();
  source->CopyToClipBoard();
  bool pasted = target->PasteFromClipboard();
  double copyPaste = Ms(t);
  Line("copy 100,000 nodes, paste into a second tree", copyPaste, plain);
  bool right = pasted && SameIds(target, kCount);
  std::printf("  pasted %s, %u nodes, ids %s\n", pasted ? "yes" : "no", target->GetRootNodeCount(),
              SameIds(target, kCount) ? "in order" : "WRONG");

  target->Clear();
  t = Clock::now();
  source->CutToClipBoard();
  pasted = target->PasteFromClipboard();
  double cutPaste = Ms(t);
  Line("cut 100,000 nodes, paste into a second tree (move)", cutPaste, plain);
  std::printf("  moved %s, %u nodes left in the source, %u in the target, ids %s\n", pasted ? "yes" : "no",
              source->GetRootNodeCount(), target->GetRootNodeCount(), SameIds(target, kCount) ? "in order" : "WRONG");
  right = right && pasted && source->GetRootNodeCount() == 0 && SameIds(target, kCount);

  // Inside one tree: the same records relinked below a new first node.
  PVirtualNode holder = target->AddChild(nullptr);
  *static_cast<int*>(target->GetNodeData(holder)) = -1;
  target->MoveTo(holder, nullptr, amAddChildFirst, false);
  std::vector<PVirtualNode> all;
  for (PVirtualNode run = target->GetFirstNoInit()->NextSibling; run != nullptr; run = run->NextSibling)
    all.push_back(run);
  target->ClearSelection();
  for (PVirtualNode node : all) target->AddToSelection(node);
  t = Clock::now();
  target->CutToClipBoard();
  target->SetFocusedNode(holder);
  target->PasteFromClipboard();
  double moveInside = Ms(t);
  bool inside = holder->ChildCount == kCount && target->GetRootNodeCount() == 1;
  Line("cut 100,000 nodes, paste below a node of the same tree", moveInside, plain);
  std::printf("  %u children below the holder %s\n", holder->ChildCount, inside ? "" : "(WRONG)");
  right = right && inside;

  // The attach modes that put nodes before or after a node or first among
  // children: each moves 100,000 nodes with MoveTo, moves them back with a
  // cut and paste (an optimised move) and pastes 100,000 copies.
  struct TModeCase {
    TVTNodeAttachMode mode;
    const char* name;
  };
  const TModeCase modes[] = {{amInsertBefore, "before"}, {amInsertAfter, "after"}, {amAddChildFirst, "first child of"}};
  char what[96];
  for (const TModeCase& m : modes) {
    bool children = m.mode == amAddChildFirst;
    PVirtualNode other = target->AddChild(nullptr);
    PVirtualNode place = children ? other : target->AddChild(other);
    t = Clock::now();
    target->MoveTo(holder, place, m.mode, /*childrenOnly=*/true);
    std::snprintf(what, sizeof what, "MoveTo all children, %s a node", m.name);
    Line(what, Ms(t), plain);
    std::printf("  %u nodes moved\n", other->ChildCount - (children ? 0 : 1));

    PVirtualNode anchor = target->AddChild(holder);
    target->ClearSelection();
    for (PVirtualNode run = other->FirstChild; run != nullptr; run = run->NextSibling)
      if (run != place) target->AddToSelection(run);
    target->SetDefaultPasteMode(m.mode);
    t = Clock::now();
    target->CutToClipBoard();
    target->SetFocusedNode(children ? holder : anchor);
    target->PasteFromClipboard();
    std::snprintf(what, sizeof what, "cut, paste (move) in one tree, %s a node", m.name);
    Line(what, Ms(t), plain);
    target->DeleteNode(anchor);
    std::printf("  %u nodes back below the holder\n", holder->ChildCount);
    right = right && holder->ChildCount == kCount;

    source->Clear();
    Fill(source, kCount);
    source->SelectAll(false);
    source->CopyToClipBoard();
    PVirtualNode pasteAnchor = target->AddChild(nullptr);
    target->SetFocusedNode(pasteAnchor);
    t = Clock::now();
    target->PasteFromClipboard();
    std::snprintf(what, sizeof what, "paste 100,000 copies, %s a node", m.name);
    Line(what, Ms(t), plain);
    std::printf("  %u nodes in the tree\n", target->RootNode()->TotalCount - 1);
    // Everything but the holder and its children goes.
    target->BeginUpdate();
    for (PVirtualNode run = target->GetFirstNoInit()->NextSibling; run != nullptr;) {
      PVirtualNode next = run->NextSibling;
      target->DeleteNode(run);
      run = next;
    }
    target->EndUpdate();
  }
  OleSetClipboard(nullptr);
  form->Free();
  return right ? 0 : 1;
}
