// Nodes travelling: MoveTo and CopyTo inside and between trees against a
// simple model (every attach mode, children only or not), pastes through the
// real system clipboard (copy duplicates, cut moves the same records or
// deletes them once from another tree), optimised moves in every mode keep
// their order, a drop that moved nodes leaves nothing for the source to
// delete, amNoWhere inserts nothing, and saving single nodes and whole trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "TreeTestSupport.h"
#include "core/MemoryStream.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// A tree whose nodes carry an id that travels in the node stream.
class TIdTree : public TVirtualDrawTree {
public:
  void Create(TComponent* owner) override {
    TVirtualDrawTree::Create(owner);
    SetNodeDataSize(sizeof(int));
    SetClipboardFormats({"Virtual Tree Data"});
    OnSaveNode = [](TBaseVirtualTree* tree, PVirtualNode node, TStream* stream) {
      stream->WriteBuffer(tree->GetNodeData(node), sizeof(int));
    };
    OnLoadNode = [](TBaseVirtualTree* tree, PVirtualNode node, TStream* stream) {
      stream->ReadBuffer(tree->GetNodeData(node), sizeof(int));
    };
  }
  void DoFreeNode(PVirtualNode node) override {
    ++freed;
    TVirtualDrawTree::DoFreeNode(node);
  }
  PVirtualNode Add(PVirtualNode parent, int id) {
    PVirtualNode node = AddChild(parent);
    Id(node) = id;
    InitNode(node);
    return node;
  }
  int& Id(PVirtualNode node) { return *static_cast<int*>(GetNodeData(node)); }
  // "id(children...)" for every top-level node.
  std::string Shape() {
    std::string out;
    Shape(RootNode(), out);
    return out;
  }
  void Shape(PVirtualNode parent, std::string& out) {
    for (PVirtualNode run = parent->FirstChild; run != nullptr; run = run->NextSibling) {
      out += std::to_string(Id(run));
      if (run->FirstChild != nullptr) {
        out += "(";
        Shape(run, out);
        out += ")";
      }
      out += " ";
    }
  }
  void Select(std::initializer_list<int> ids) {
    for (PVirtualNode run = GetFirstNoInit(); run != nullptr; run = GetNextNoInit(run))
      for (int id : ids)
        if (Id(run) == id) AddToSelection(run);
  }
  PVirtualNode Find(int id) {
    for (PVirtualNode run = GetFirstNoInit(); run != nullptr; run = GetNextNoInit(run))
      if (Id(run) == id) return run;
    return nullptr;
  }
  int freed = 0;
};

// The model: plain nodes with ids.
struct MNode {
  int id = -1;
  MNode* parent = nullptr;
  std::vector<MNode*> kids;
};

struct Model {
  std::deque<MNode> store;
  MNode* Make(int id) {
    store.push_back(MNode{id});
    return &store.back();
  }
  static void Detach(MNode* node) {
    auto& kids = node->parent->kids;
    kids.erase(std::find(kids.begin(), kids.end(), node));
    node->parent = nullptr;
  }
  static bool Inside(MNode* node, MNode* top) {
    for (MNode* run = node; run != nullptr; run = run->parent)
      if (run == top) return true;
    return false;
  }
  MNode* Clone(MNode* node) {
    MNode* copy = Make(node->id);
    for (MNode* kid : node->kids) {
      MNode* c = Clone(kid);
      c->parent = copy;
      copy->kids.push_back(c);
    }
    return copy;
  }
  static void Place(const std::vector<MNode*>& nodes, MNode* target, TVTNodeAttachMode mode) {
    std::vector<MNode*>* list = &target->kids;
    size_t at = 0;
    MNode* parent = target;
    if (mode == amInsertBefore || mode == amInsertAfter) {
      parent = target->parent;
      list = &parent->kids;
      at = std::find(list->begin(), list->end(), target) - list->begin() + (mode == amInsertAfter ? 1 : 0);
    } else if (mode == amAddChildLast) {
      at = list->size();
    }
    for (MNode* node : nodes) node->parent = parent;
    list->insert(list->begin() + at, nodes.begin(), nodes.end());
  }
  static void Shape(MNode* parent, std::string& out) {
    for (MNode* run : parent->kids) {
      out += std::to_string(run->id);
      if (!run->kids.empty()) {
        out += "(";
        Shape(run, out);
        out += ")";
      }
      out += " ";
    }
  }
  static void Preorder(MNode* parent, std::vector<MNode*>& out) {
    for (MNode* run : parent->kids) {
      out.push_back(run);
      Preorder(run, out);
    }
  }
};

struct TransportTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    for (TIdTree*& tree : trees) {
      tree = New<TIdTree>(form);
      tree->SetParent(form);
      TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
      tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
    }
  }
  void TearDown() override {
    if (form != nullptr) form->Free();
    OleSetClipboard(nullptr);
  }
  // Top-level nodes ids first .. first + count - 1, each with children id * 10 + 1 ...
  void Fill(TIdTree* tree, int first, int count, int children) {
    for (int i = 0; i < count; ++i) {
      PVirtualNode node = tree->Add(nullptr, first + i);
      for (int c = 1; c <= children; ++c) tree->Add(node, (first + i) * 10 + c);
    }
  }
  // A top node with two children added last to tree t and to its model.
  void AddTop(int t, Model& model, MNode* root, int& nextId) {
    int id = nextId++;
    PVirtualNode node = trees[t]->Add(nullptr, id);
    MNode* m = model.Make(id);
    Model::Place({m}, root, amAddChildLast);
    for (int c = 0; c < 2; ++c) {
      int childId = nextId++;
      trees[t]->Add(node, childId);
      Model::Place({model.Make(childId)}, m, amAddChildLast);
    }
  }
  // Both trees' nodes and their models' in preorder, as many of each.
  void ListBoth(MNode* const roots[2], std::vector<PVirtualNode> real[2], std::vector<MNode*> mod[2], int step) {
    for (int t = 0; t < 2; ++t) {
      for (PVirtualNode run = trees[t]->GetFirstNoInit(); run != nullptr; run = trees[t]->GetNextNoInit(run))
        real[t].push_back(run);
      Model::Preorder(roots[t], mod[t]);
      ASSERT_EQ(real[t].size(), mod[t].size()) << step;
    }
  }
  // Keeps the trees small (copies grow them): past `most` nodes together the
  // larger one loses its first top node, in the model too.
  bool ShrinkPast(size_t most, MNode* const roots[2], const std::vector<PVirtualNode> real[2]) {
    if (real[0].size() + real[1].size() <= most) return false;
    int big = real[0].size() > real[1].size() ? 0 : 1;
    trees[big]->DeleteNode(trees[big]->GetFirstNoInit());
    Model::Detach(roots[big]->kids.front());
    return true;
  }
  TForm* form = nullptr;
  TIdTree* trees[2] = {};
};

const TVTNodeAttachMode kModes[] = {amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast};

}  // namespace

TEST_F(TransportTest, MoveToAndCopyToFollowTheModelInEveryMode) {
  std::mt19937 random(17);
  int steps = std::getenv("QV_LONG") != nullptr ? 5000 : 400;
  Model model;
  MNode* roots[2] = {model.Make(-1), model.Make(-1)};
  int nextId = 1;
  for (int t = 0; t < 2; ++t)
    for (int i = 0; i < 4; ++i) AddTop(t, model, roots[t], nextId);
  // The first difference between the trees and the model, or "".
  auto Divergence = [&]() -> std::string {
    for (int t = 0; t < 2; ++t) {
      std::string expected;
      Model::Shape(roots[t], expected);
      if (trees[t]->Shape() != expected) return "tree " + std::to_string(t) + ": " + trees[t]->Shape() + "/ " + expected;
      std::string invariants = CheckTreeInvariants(*trees[t]);
      if (!invariants.empty()) return invariants;
    }
    return "";
  };
  int errors = 0, drops = 0;
  for (int step = 0; step < steps; ++step) {
    std::vector<PVirtualNode> real[2];
    std::vector<MNode*> mod[2];
    ASSERT_NO_FATAL_FAILURE(ListBoth(roots, real, mod, step));
    if (ShrinkPast(60, roots, real)) continue;
    int st = random() % 2;
    if (real[st].empty()) st = 1 - st;
    if (real[st].empty()) {
      int id = nextId++;
      trees[0]->Add(nullptr, id);
      Model::Place({model.Make(id)}, roots[0], amAddChildLast);
      continue;
    }
    size_t si = random() % real[st].size();
    int tt = random() % 2;
    bool toRoot = real[tt].empty() || random() % 6 == 0;
    size_t ti = toRoot ? 0 : random() % real[tt].size();
    PVirtualNode source = real[st][si];
    PVirtualNode target = toRoot ? (random() % 2 ? nullptr : trees[tt]->RootNode()) : real[tt][ti];
    TVTNodeAttachMode mode = kModes[random() % 5];
    bool childrenOnly = random() % 3 == 0;
    bool copy = random() % 3 == 0;

    if (random() % 4 == 0) {
      // A drop that moves a dragged selection (tree order, no node inside
      // another); a node holding the target stays.
      std::vector<PVirtualNode> dragged;
      std::vector<MNode*> mdragged;
      for (size_t i = 0; i < real[st].size(); ++i) {
        if (random() % 3 != 0) continue;
        bool inside = false;
        for (MNode* m : mdragged) inside = inside || Model::Inside(mod[st][i], m);
        if (inside) continue;
        dragged.push_back(real[st][i]);
        mdragged.push_back(mod[st][i]);
      }
      trees[st]->DoStateChange({tsOLEDragging});
      trees[st]->DragSelection() = dragged;
      IDataObject* data = new TVTDataObject(trees[st], /*forClipboard=*/false);
      int effect = DROPEFFECT_MOVE;
      trees[tt]->ProcessDrop(data, target, effect, mode);
      data->Release();
      trees[st]->DoStateChange({}, {tsOLEDragging});
      ASSERT_TRUE(trees[st]->DragSelection().empty());
      MNode* mt = toRoot ? roots[tt] : mod[tt][ti];
      TVTNodeAttachMode mmode = mt->id == -1 ? (mode == amInsertBefore ? amAddChildFirst
                                               : mode == amInsertAfter ? amAddChildLast : mode) : mode;
      if (mode != amNoWhere) {
        std::vector<MNode*> moving;
        for (MNode* m : mdragged)
          if (!Model::Inside(mt, m)) moving.push_back(m);
        for (MNode* m : moving) Model::Detach(m);
        Model::Place(moving, mt, mmode);
      }
      ASSERT_EQ(Divergence(), "") << "drop step " << step;
      ++drops;
      continue;
    }

    // The model's answer.
    MNode* ms = mod[st][si];
    MNode* mt = toRoot ? roots[tt] : mod[tt][ti];
    TVTNodeAttachMode mmode = mode;
    bool besideItself = childrenOnly && (mode == amInsertBefore || mode == amInsertAfter);
    bool nothing = mode == amNoWhere || (!copy && target == source && !besideItself);
    bool expectError = false;
    if (!nothing) {
      if (target == nullptr) {
        mt = roots[st];
        mmode = amAddChildFirst;
      }
      if (mt->id == -1) mmode = mmode == amInsertBefore ? amAddChildFirst : mmode == amInsertAfter ? amAddChildLast : mmode;
      bool sameTree = mt == roots[st] || Model::Inside(mt, roots[st]);
      if (!copy && sameTree && mt->id != -1 && (mt == ms ? !besideItself : Model::Inside(mt, ms))) expectError = true;
    }
    std::string before0 = trees[0]->Shape(), before1 = trees[1]->Shape();
    try {
      if (copy)
        trees[st]->CopyTo(source, target, mode, childrenOnly);
      else
        trees[st]->MoveTo(source, target, mode, childrenOnly);
      EXPECT_FALSE(expectError) << step;
    } catch (const EVirtualTreeError& e) {
      EXPECT_TRUE(expectError) << step << " " << e.what();
      EXPECT_EQ(e.HelpContext(), hcTFWrongMoveError);
      ++errors;
      EXPECT_EQ(trees[0]->Shape(), before0);
      EXPECT_EQ(trees[1]->Shape(), before1);
      continue;
    }
    if (!nothing) {
      std::vector<MNode*> nodes = childrenOnly ? ms->kids : std::vector<MNode*>{ms};
      if (copy) {
        for (MNode*& node : nodes) node = model.Clone(node);
      } else {
        for (MNode* node : nodes) Model::Detach(node);
      }
      Model::Place(nodes, mt, mmode);
    }
    ASSERT_EQ(Divergence(), "") << "step " << step;
  }
  EXPECT_GT(errors, 0);
  std::printf("transport model: %d steps, %d dropped moves, %d refused moves, %zu nodes at the end\n", steps, drops,
              errors,
              size_t(trees[0]->RootNode()->TotalCount + trees[1]->RootNode()->TotalCount - 2));
}

TEST_F(TransportTest, ClipboardRoundTripBetweenTwoTrees) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  Fill(a, 1, 3, 2);
  a->SetCheckType(a->Find(2), ctCheckBox);
  a->SetCheckState(a->Find(2), csCheckedNormal);
  a->Select({2, 3});
  a->CopyToClipBoard();
  ASSERT_TRUE(a->TreeStates().Contains(tsCopyPending));
  b->Add(nullptr, 100);
  EXPECT_TRUE(b->PasteFromClipboard());  // no focused node: last top-level nodes
  EXPECT_EQ(b->Shape(), "100 2(21 22 ) 3(31 32 ) ");
  EXPECT_EQ(b->Find(2)->CheckState, csCheckedNormal);
  EXPECT_FALSE(a->TreeStates().Contains(tsCopyPending));  // another tree's copy is ended
  EXPECT_EQ(a->Shape(), "1(11 12 ) 2(21 22 ) 3(31 32 ) ");

  // Copy and paste into the same tree duplicates; cut and paste moves the same records.
  a->ClearSelection();
  a->Select({1});
  a->CopyToClipBoard();
  a->SetFocusedNode(a->Find(3));
  EXPECT_TRUE(a->PasteFromClipboard());
  EXPECT_EQ(a->Shape(), "1(11 12 ) 2(21 22 ) 3(31 32 1(11 12 ) ) ");
  a->ClearSelection();
  PVirtualNode two = a->Find(2);
  a->Select({2});
  a->CutToClipBoard();
  a->SetDefaultPasteMode(amInsertBefore);
  a->SetFocusedNode(a->Find(1));
  EXPECT_TRUE(a->PasteFromClipboard());
  EXPECT_EQ(a->Shape(), "2(21 22 ) 1(11 12 ) 3(31 32 1(11 12 ) ) ");
  EXPECT_EQ(a->Find(2), two);
  EXPECT_FALSE(a->TreeStates().Contains(tsCutPending));

  // A cut pasted into another tree leaves the source exactly once.
  a->ClearSelection();
  a->Select({3});
  a->CutToClipBoard();
  int freedBefore = a->freed;
  b->SetFocusedNode(nullptr);
  EXPECT_TRUE(b->PasteFromClipboard());
  EXPECT_EQ(a->Shape(), "2(21 22 ) 1(11 12 ) ");
  EXPECT_EQ(a->freed - freedBefore, 6);
  EXPECT_EQ(b->Shape(), "100 2(21 22 ) 3(31 32 ) 3(31 32 1(11 12 ) ) ");
  EXPECT_EQ(CheckTreeInvariants(*a), "");
  EXPECT_EQ(CheckTreeInvariants(*b), "");
}

TEST_F(TransportTest, OptimisedMovesKeepTheirOrderInEveryMode) {
  for (TVTNodeAttachMode mode : {amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast}) {
    for (TIdTree* target : {trees[0], trees[1]}) {
      trees[0]->Clear();
      trees[1]->Clear();
      Fill(trees[0], 1, 6, 0);
      Fill(trees[1], 7, 2, 1);
      trees[0]->Select({2, 4, 5});
      trees[0]->CutToClipBoard();
      PVirtualNode at = target == trees[0] ? trees[0]->Find(6) : trees[1]->Find(8);
      IDataObject* data = nullptr;
      ASSERT_EQ(OleGetClipboard(&data), S_OK);
      EXPECT_TRUE(target->ProcessOLEData(trees[0], data, at, mode, /*optimized=*/true));
      data->Release();
      std::string shape = target->Shape();
      EXPECT_NE(shape.find("2 4 5 "), std::string::npos) << mode << " " << shape;
      EXPECT_EQ(trees[0]->Find(2) != nullptr, target == trees[0]);
    }
  }
}

TEST_F(TransportTest, AMovedDropLeavesNothingForTheSourceToDelete) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  Fill(a, 1, 3, 1);
  Fill(b, 5, 1, 0);
  // The source tree in its drag: what its drag end would delete.
  a->DoStateChange({tsOLEDragging});
  a->DragSelection() = {a->Find(1), a->Find(3)};
  IDataObject* data = new TVTDataObject(a, /*forClipboard=*/false);
  a->SetSelected(a->Find(1), true);
  int effect = DROPEFFECT_MOVE;
  b->ProcessDrop(data, b->Find(5), effect, amAddChildLast);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_TRUE(a->DragSelection().empty());
  EXPECT_EQ(a->Shape(), "2(21 ) ");
  EXPECT_EQ(b->Shape(), "5(1(11 ) 3(31 ) ) ");

  // Inside one tree: a node holding the target stays where it is.
  a->DragSelection() = {a->Find(2)};
  effect = DROPEFFECT_MOVE;
  a->ProcessDrop(data, a->Find(21), effect, amInsertAfter);
  EXPECT_EQ(a->Shape(), "2(21 ) ");
  EXPECT_TRUE(a->DragSelection().empty());

  // A copy drop copies the selection and lets the source decide.
  effect = DROPEFFECT_COPY;
  a->ClearSelection();
  a->SetSelected(a->Find(21), true);
  b->ProcessDrop(data, nullptr, effect, amAddChildLast);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  EXPECT_EQ(b->Shape(), "5(1(11 ) 3(31 ) ) 21 ");
  data->Release();
}

TEST_F(TransportTest, NowhereAndReadOnlyInsertNothing) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  Fill(a, 1, 2, 0);
  a->Select({1, 2});
  IDataObject* data = new TVTDataObject(a, /*forClipboard=*/false);
  EXPECT_FALSE(b->ProcessOLEData(a, data, nullptr, amNoWhere, false));
  EXPECT_EQ(b->GetRootNodeCount(), 0u);
  EXPECT_EQ(b->RootNode()->TotalCount, 1u);
  TVTMiscOptions misc = b->TreeOptions()->MiscOptions();
  b->TreeOptions()->SetMiscOptions(misc.Include(toReadOnly));
  EXPECT_FALSE(b->ProcessOLEData(a, data, nullptr, amAddChildLast, false));
  a->MoveTo(a->Find(1), b->RootNode(), amAddChildLast, false);
  EXPECT_EQ(a->Shape(), "1 2 ");
  b->TreeOptions()->SetMiscOptions(misc.Exclude(toReadOnly));
  EXPECT_TRUE(b->ProcessOLEData(a, data, nullptr, amAddChildFirst, false));
  EXPECT_EQ(b->Shape(), "1 2 ");
  data->Release();
}

TEST_F(TransportTest, SavingOneNodeOrTheWholeTree) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  Fill(a, 1, 3, 2);
  TMemoryStream stream;
  a->SaveToStream(&stream, a->Find(2));
  stream.SetPosition(0);
  b->LoadFromStream(&stream);
  EXPECT_EQ(b->Shape(), "2(21 22 ) ");
  stream.Clear();
  a->SaveToStream(&stream);
  stream.SetPosition(0);
  b->LoadFromStream(&stream);
  EXPECT_EQ(b->Shape(), a->Shape());
  a->Clear();
  stream.Clear();
  a->SaveToStream(&stream);
  EXPECT_EQ(stream.Size(), 16);  // the header and a count of 0
}

namespace {

// What the handlers of a cross-tree step do, by node id: the source refuses
// to move ids with id % 5 == refuse; the target frees an arrived node with
// id % 7 == free, gives one with id % 7 == add a new last child, and raises
// while it reads the node raise.
struct TCrossHandlers {
  int refuse = -1, free = -1, add = -1, raise = 0;
  int nextId = 0;
  std::map<int, int> moved;  // OnNodeMoved per id
};
TCrossHandlers gCross;

void ArmCrossHandlers(TIdTree* source, TIdTree* target) {
  source->OnNodeMoving = [](TBaseVirtualTree* sender, PVirtualNode node, PVirtualNode, bool& allowed) {
    allowed = static_cast<TIdTree*>(sender)->Id(node) % 5 != gCross.refuse;
  };
  target->OnNodeMoved = [](TBaseVirtualTree* sender, PVirtualNode node) {
    auto* tree = static_cast<TIdTree*>(sender);
    int id = tree->Id(node);
    ++gCross.moved[id];
    if (id % 7 == gCross.free)
      tree->DeleteNode(node);
    else if (id % 7 == gCross.add)
      tree->Add(node, gCross.nextId++);
  };
  target->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
    if (static_cast<TIdTree*>(sender)->Id(node) == gCross.raise) throw EStreamError("raised while reading");
  };
}

void DisarmCrossHandlers(TIdTree* source, TIdTree* target) {
  source->OnNodeMoving = nullptr;
  target->OnNodeMoved = nullptr;
  target->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
  };
}

size_t SubtreeSize(MNode* node) {
  size_t size = 1;
  for (MNode* kid : node->kids) size += SubtreeSize(kid);
  return size;
}

}  // namespace

// Random cross-tree MoveTo (one node or the children) and cut-and-paste of
// random selections between two trees, with handlers that refuse moves, free
// or add nodes as they arrive, or raise while one is read, against a model of
// both trees: order and shape, the moved event once for each arrived node,
// and OnFreeNode once for each node that left the source or was freed on
// arrival. A raise leaves both trees as they were.
TEST_F(TransportTest, CrossTreeMovesWithHostileHandlersFollowTheModel) {
  std::mt19937 random(29);
  int steps = std::getenv("QV_LONG") != nullptr ? 4000 : 300;
  Model model;
  MNode* roots[2] = {model.Make(-1), model.Make(-1)};
  int nextId = 1;
  for (int t = 0; t < 2; ++t)
    for (int i = 0; i < 4; ++i) AddTop(t, model, roots[t], nextId);
  int raised = 0, pasted = 0, freedOnArrival = 0, refused = 0;
  for (int step = 0; step < steps; ++step) {
    std::vector<PVirtualNode> real[2];
    std::vector<MNode*> mod[2];
    ASSERT_NO_FATAL_FAILURE(ListBoth(roots, real, mod, step));
    if (ShrinkPast(70, roots, real)) continue;
    int st = random() % 2;
    if (real[st].empty()) st = 1 - st;
    if (real[st].size() < 3) {
      AddTop(st, model, roots[st], nextId);
      continue;
    }
    int tt = 1 - st;
    bool toRoot = real[tt].empty() || random() % 5 == 0;
    size_t ti = toRoot ? 0 : random() % real[tt].size();
    MNode* mt = toRoot ? roots[tt] : mod[tt][ti];
    TVTNodeAttachMode mode = kModes[random() % 5];
    gCross = TCrossHandlers{};
    gCross.refuse = random() % 3 == 0 ? int(random() % 5) : -1;
    gCross.free = random() % 2 == 0 ? int(random() % 7) : -1;
    gCross.add = random() % 2 == 0 ? int(random() % 7) : -1;
    if (gCross.add == gCross.free) gCross.add = -1;
    gCross.nextId = nextId;
    bool paste = random() % 2 == 0;

    // The nodes asked to move, in order, none inside another.
    std::vector<MNode*> asked;
    size_t si = random() % real[st].size();
    bool childrenOnly = !paste && random() % 3 == 0;
    if (paste) {
      trees[st]->ClearSelection();
      std::vector<PVirtualNode> chosen;
      for (size_t i = 0; i < real[st].size(); ++i) {
        if (random() % 3 != 0) continue;
        chosen.push_back(real[st][i]);
        bool inside = false;
        for (MNode* m : asked) inside = inside || Model::Inside(mod[st][i], m);
        if (!inside) asked.push_back(mod[st][i]);
      }
      trees[st]->AddToSelection(chosen, /*forceInsert=*/false);
    } else {
      asked = childrenOnly ? mod[st][si]->kids : std::vector<MNode*>{mod[st][si]};
    }
    // A raise on a node of the run (or of a subtree in it) now and then.
    if (!asked.empty() && random() % 6 == 0) {
      std::vector<MNode*> inRun;
      for (MNode* m : asked) {
        inRun.push_back(m);
        Model::Preorder(m, inRun);
      }
      gCross.raise = inRun[random() % inRun.size()]->id;
    }

    // The model's answer.
    std::vector<MNode*> moving;
    if (mode != amNoWhere) {
      if (paste) {
        for (MNode* m : asked)
          if (m->id % 5 != gCross.refuse) moving.push_back(m);
      } else if (mod[st][si]->id % 5 != gCross.refuse) {
        moving = asked;
      }
    }
    refused += int(asked.size() - moving.size());
    bool raises = false;
    for (MNode* m : moving) {
      std::vector<MNode*> sub{m};
      Model::Preorder(m, sub);
      for (MNode* s : sub) raises = raises || s->id == gCross.raise;
    }
    std::string before0 = trees[0]->Shape(), before1 = trees[1]->Shape();
    int freedBefore[2] = {trees[0]->freed, trees[1]->freed};

    ArmCrossHandlers(trees[st], trees[tt]);
    bool threw = false;
    try {
      if (paste) {
        trees[st]->CutToClipBoard();
        trees[tt]->SetFocusedNode(toRoot ? nullptr : real[tt][ti]);
        trees[tt]->SetDefaultPasteMode(mode);
        trees[tt]->PasteFromClipboard();
        ++pasted;
      } else {
        trees[st]->MoveTo(real[st][si], toRoot ? trees[tt]->RootNode() : real[tt][ti], mode, childrenOnly);
      }
    } catch (const EStreamError&) {
      threw = true;
    }
    DisarmCrossHandlers(trees[st], trees[tt]);
    trees[st]->CancelCutOrCopy();
    ASSERT_EQ(threw, raises) << "step " << step;
    if (threw) {
      // The target is left as it was, and the source keeps its nodes.
      ++raised;
      EXPECT_EQ(trees[0]->Shape(), before0) << "step " << step;
      EXPECT_EQ(trees[1]->Shape(), before1) << "step " << step;
      for (int t = 0; t < 2; ++t) ASSERT_EQ(CheckTreeInvariants(*trees[t]), "") << "step " << step;
      nextId = gCross.nextId;
      continue;
    }

    size_t leftSource = 0, freedTarget = 0;
    std::map<int, int> expectedMoved;
    for (MNode* m : moving) {
      leftSource += SubtreeSize(m);
      Model::Detach(m);
    }
    TVTNodeAttachMode mmode = mode;
    if (mt->id == -1) mmode = mode == amInsertBefore ? amAddChildFirst : mode == amInsertAfter ? amAddChildLast : mode;
    if (!moving.empty()) Model::Place(moving, mt, mmode);
    for (MNode* m : moving) {
      ++expectedMoved[m->id];
      if (m->id % 7 == gCross.free) {
        freedTarget += SubtreeSize(m);
        ++freedOnArrival;
        Model::Detach(m);
      } else if (m->id % 7 == gCross.add) {
        Model::Place({model.Make(nextId++)}, m, amAddChildLast);
      }
    }
    EXPECT_EQ(gCross.nextId, nextId) << "step " << step;
    nextId = gCross.nextId;
    EXPECT_EQ(gCross.moved, expectedMoved) << "step " << step;
    EXPECT_EQ(size_t(trees[st]->freed - freedBefore[st]), leftSource) << "step " << step;
    EXPECT_EQ(size_t(trees[tt]->freed - freedBefore[tt]), freedTarget) << "step " << step;
    for (int t = 0; t < 2; ++t) {
      std::string expected;
      Model::Shape(roots[t], expected);
      ASSERT_EQ(trees[t]->Shape(), expected) << "tree " << t << ", step " << step;
      ASSERT_EQ(CheckTreeInvariants(*trees[t]), "") << "step " << step;
    }
  }
  EXPECT_GT(raised, 0);
  EXPECT_GT(pasted, 0);
  EXPECT_GT(freedOnArrival, 0);
  EXPECT_GT(refused, 0);
  std::printf("cross-tree model: %d steps, %d pastes, %d raised, %d freed on arrival, %d refused\n", steps, pasted,
              raised, freedOnArrival, refused);
}

// Thousands of selected nodes cut in one tree and pasted into another whose
// own selection stays: both selections hold exactly the model's nodes, and
// the arrays behind them answer searches and removals (kept in order).
TEST_F(TransportTest, ManySelectedNodesLeaveOneSelectionAndJoinTheOther) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  std::mt19937 rng(2024);
  for (int round = 0; round < 3; ++round) {
    a->Clear();
    b->Clear();
    a->BeginUpdate();
    Fill(a, 10000, 3000, round);
    a->EndUpdate();
    b->BeginUpdate();
    Fill(b, 500000, 1500, 0);
    b->EndUpdate();
    // Cut: a random run of top-level nodes; selected after the cut: others
    // of a (children of cut nodes among them, which go with their parents).
    std::set<int> cut, stays, joins;
    std::vector<PVirtualNode> chosen;
    for (PVirtualNode run = a->GetFirstNoInit(); run != nullptr; run = run->NextSibling)
      if (rng() % 3 != 0) {
        chosen.push_back(run);
        cut.insert(a->Id(run));
      }
    a->AddToSelection(chosen, /*forceInsert=*/false);
    a->CutToClipBoard();
    for (PVirtualNode run = a->GetFirstNoInit(); run != nullptr; run = a->GetNextNoInit(run)) {
      if (run->States & vsSelected || rng() % 4 != 0) continue;
      a->AddToSelection(run);
      bool underCut = run->Parent != a->RootNode() && cut.count(a->Id(run->Parent)) > 0;
      (underCut ? joins : stays).insert(a->Id(run));
    }
    for (PVirtualNode run = b->GetFirstNoInit(); run != nullptr; run = run->NextSibling)
      if (rng() % 2 == 0) {
        b->AddToSelection(run);
        joins.insert(b->Id(run));
      }
    joins.insert(cut.begin(), cut.end());
    b->SetFocusedNode(nullptr);
    ASSERT_TRUE(b->PasteFromClipboard());
    for (auto [tree, expected] : {std::pair{a, &stays}, std::pair{b, &joins}}) {
      std::set<int> selected;
      for (PVirtualNode run = tree->GetFirstNoInit(); run != nullptr; run = tree->GetNextNoInit(run))
        if (run->States & vsSelected) selected.insert(tree->Id(run));
      EXPECT_EQ(selected, *expected) << "round " << round;
      EXPECT_EQ(tree->SelectedCount(), expected->size());
      EXPECT_EQ(CheckTreeInvariants(*tree), "");
      // Every second one leaves through a search of the array, then the rest at once.
      int left = int(expected->size());
      for (PVirtualNode run = tree->GetFirstNoInit(); run != nullptr; run = tree->GetNextNoInit(run))
        if ((run->States & vsSelected) && tree->Id(run) % 2 == 0) {
          tree->RemoveFromSelection(run);
          --left;
        }
      EXPECT_EQ(int(tree->SelectedCount()), left);
      tree->ClearSelection();
      for (PVirtualNode run = tree->GetFirstNoInit(); run != nullptr; run = tree->GetNextNoInit(run))
        ASSERT_FALSE(run->States & vsSelected) << tree->Id(run);
    }
  }
}

// Selected nodes (with and without children, their children selected or
// not) cut from a multi-select tree and pasted into a tree without
// multi-select, or moved there: none arrives selected, and the target keeps
// the one node it had selected.
TEST_F(TransportTest, ATreeWithoutMultiSelectDropsTheSelectionOfArrivedNodes) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  b->TreeOptions()->SetSelectionOptions(b->TreeOptions()->SelectionOptions().Exclude(toMultiSelect));
  std::mt19937 rng(31);
  for (int round = 0; round < 12; ++round) {
    a->Clear();
    b->Clear();
    Fill(a, 100, 20, int(rng() % 3));
    Fill(b, 5000, 4, 1);
    PVirtualNode own = b->Find(5002);
    b->AddToSelection(own);
    std::vector<PVirtualNode> chosen;
    for (PVirtualNode run = a->GetFirstNoInit(); run != nullptr; run = a->GetNextNoInit(run))
      if (rng() % 2 == 0) chosen.push_back(run);
    a->AddToSelection(chosen, /*forceInsert=*/false);
    if (round % 2 == 0) {
      a->CutToClipBoard();
      b->SetFocusedNode(nullptr);
      ASSERT_TRUE(b->PasteFromClipboard()) << "round " << round;
    } else {
      // Moved with their flags: the top nodes one by one, selected or not.
      for (PVirtualNode top = a->GetFirstNoInit(); top != nullptr; top = a->GetFirstNoInit())
        a->MoveTo(top, b->RootNode(), amAddChildLast, false);
    }
    std::vector<int> flagged;
    for (PVirtualNode run = b->GetFirstNoInit(); run != nullptr; run = b->GetNextNoInit(run))
      if (run->States & vsSelected) flagged.push_back(b->Id(run));
    EXPECT_EQ(flagged, std::vector<int>{5002}) << "round " << round;
    EXPECT_EQ(b->SelectedCount(), 1u) << "round " << round;
    EXPECT_EQ(CheckTreeInvariants(*b), "") << "round " << round;
  }
}

namespace {
// A transfer between two other trees started by a read handler: the trees
// and the ids whose arrival starts it.
struct TNestedTransfer {
  TIdTree* from = nullptr;
  TIdTree* to = nullptr;
  int every = 0;
  bool copy = false;
};
TNestedTransfer gNested;
}  // namespace

// While the nodes of a move or copy between two trees are read, a handler
// moves or copies the children of a folder between two other trees, now and
// then: both runs (each written to a block of its own, the inner one while
// the outer one is still being read) arrive whole and in order.
TEST_F(TransportTest, ATransferStartedWhileAnotherIsReadKeepsBothRunsApart) {
  TIdTree* a = trees[0];
  TIdTree* b = trees[1];
  TIdTree* c = New<TIdTree>(form);
  TIdTree* d = New<TIdTree>(form);
  for (int round = 0; round < 4; ++round) {
    for (TIdTree* tree : {a, b, c, d}) tree->Clear();
    // Folders of many children with children of their own: runs of some kilobytes.
    PVirtualNode outer = a->Add(nullptr, 1);
    for (int i = 0; i < 400; ++i) a->Add(a->Add(outer, 1000 + i), 100000 + i);
    PVirtualNode inner = c->Add(nullptr, 2);
    for (int i = 0; i < 150; ++i) c->Add(c->Add(inner, 5000 + i), 500000 + i);
    std::string outerRun = a->Shape().substr(2, a->Shape().size() - 4);
    std::string innerRun = c->Shape().substr(2, c->Shape().size() - 4);
    gNested = TNestedTransfer{c, d, 97, round % 2 == 1};
    b->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
      stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
      int id = static_cast<TIdTree*>(sender)->Id(node);
      PVirtualNode folder = gNested.from->GetFirstNoInit();
      if (id % gNested.every != 0 || folder == nullptr || folder->ChildCount == 0) return;
      // The folder's children, the first one's own children only on a copy.
      if (gNested.copy)
        gNested.from->CopyTo(folder, gNested.to->RootNode(), amAddChildLast, /*childrenOnly=*/true);
      else
        gNested.from->MoveTo(folder, gNested.to->RootNode(), amAddChildLast, /*childrenOnly=*/true);
    };
    if (round < 2)
      a->MoveTo(outer, b->RootNode(), amAddChildLast, /*childrenOnly=*/true);
    else
      a->CopyTo(outer, b->RootNode(), amAddChildLast, /*childrenOnly=*/true);
    ASSERT_EQ(b->Shape(), outerRun) << "round " << round;
    // Every id of the inner run arrived once per transfer started, in order.
    std::string arrived = d->Shape();
    ASSERT_FALSE(arrived.empty()) << "round " << round;
    for (size_t at = 0; at < arrived.size(); at += innerRun.size())
      ASSERT_EQ(arrived.substr(at, innerRun.size()), innerRun) << "round " << round;
    EXPECT_EQ(CheckTreeInvariants(*b), "") << "round " << round;
    EXPECT_EQ(CheckTreeInvariants(*d), "") << "round " << round;
  }
  b->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream* stream) {
    stream->ReadBuffer(sender->GetNodeData(node), sizeof(int));
  };
}

// Cutting or copying marks exactly the selected nodes that are not disabled,
// however the selection came about: added and removed one by one or many at
// once, selected nodes deleted (their entries left behind until the array is
// compacted), selected nodes inside collapsed folders.
TEST_F(TransportTest, CutAndCopyMarkExactlyTheSelectedEnabledNodes) {
  TIdTree* a = trees[0];
  std::mt19937 rng(77);
  for (int round = 0; round < 40; ++round) {
    a->Clear();
    a->BeginUpdate();
    Fill(a, 1, 30 + int(rng() % 40), int(rng() % 4));
    a->EndUpdate();
    auto all = [&] {
      std::vector<PVirtualNode> nodes;
      for (PVirtualNode run = a->GetFirstNoInit(); run != nullptr; run = a->GetNextNoInit(run)) nodes.push_back(run);
      return nodes;
    };
    for (int step = 0; step < 30; ++step) {
      std::vector<PVirtualNode> nodes = all();
      if (nodes.empty()) break;
      PVirtualNode node = nodes[rng() % nodes.size()];
      switch (rng() % 6) {
        case 0: a->AddToSelection(node); break;
        case 1: a->RemoveFromSelection(node); break;
        case 2: {
          std::vector<PVirtualNode> many;
          for (PVirtualNode run : nodes)
            if (!(run->States & vsSelected) && rng() % 3 == 0) many.push_back(run);
          a->AddToSelection(many, /*forceInsert=*/false);
          break;
        }
        case 3: a->DeleteNode(node); break;
        case 4: node->States ^= vsDisabled; break;
        default: a->SetExpanded(node, !a->GetExpanded(node)); break;
      }
    }
    bool cut = round % 2 == 0;
    if (cut)
      a->CutToClipBoard();
    else
      a->CopyToClipBoard();
    for (PVirtualNode run : all()) {
      bool expected = a->TreeStates().Contains(cut ? tsCutPending : tsCopyPending) && (run->States & vsSelected) &&
                      !(run->States & vsDisabled);
      ASSERT_EQ((run->States & vsCutOrCopy) != 0, expected) << "round " << round << " node " << a->Id(run);
    }
    EXPECT_EQ(CheckTreeInvariants(*a), "");
    a->CancelCutOrCopy();
  }
}

namespace {
// A tree whose moving handler refuses some nodes and deletes a planned node
// when asked about another, and notes whom it was asked about.
class TMoveTree : public TIdTree {
public:
  using TBaseVirtualTree::MoveNodes;
  bool DoNodeMoving(PVirtualNode node, PVirtualNode target) override {
    int id = Id(node);
    askedIds.push_back(id);
    bool allowed = refuse.count(id) == 0 && TIdTree::DoNodeMoving(node, target);
    auto victim = deleteOnAsk.find(id);
    if (victim != deleteOnAsk.end())
      if (PVirtualNode found = Find(victim->second)) DeleteNode(found);
    return allowed;
  }
  std::map<int, int> deleteOnAsk;
  std::set<int> refuse;
  std::vector<int> askedIds;
};

// The nodes of asked a move may take: none that left the tree, none that is
// or holds the target; unless all are children of one parent, none below
// another one taken.
std::vector<MNode*> ModelMovable(const std::vector<MNode*>& asked, MNode* target, MNode* root) {
  std::vector<MNode*> alive;
  for (MNode* m : asked)
    if (Model::Inside(m, root) && !Model::Inside(target, m)) alive.push_back(m);
  if (std::all_of(alive.begin(), alive.end(), [&](MNode* m) { return m->parent == alive[0]->parent; })) return alive;
  std::vector<MNode*> result;
  for (MNode* m : alive) {
    bool inside = false;
    for (MNode* other : alive) inside = inside || (other != m && Model::Inside(m, other));
    if (!inside) result.push_back(m);
  }
  return result;
}
}  // namespace

// Moves inside one tree of random node lists (children of one parent or of
// many, nested ones, the target and nodes holding it, in any order) with a
// moving handler that refuses nodes or deletes nodes on the way (listed ones,
// their parents, the target): the handler is asked about exactly the nodes
// the model takes, in order, and the tree ends as the model.
TEST_F(TransportTest, MovedNodeListsInOneTreeFollowTheModel) {
  std::mt19937 random(5150);
  int mixed = 0, dropped = 0, deleted = 0, moved = 0;
  for (int round = 0; round < 600; ++round) {
    TMoveTree* tree = New<TMoveTree>(form);
    tree->SetParent(form);
    Model model;
    MNode* root = model.Make(-1);
    // Index i holds the node with id i (0: the root).
    std::vector<PVirtualNode> real{tree->RootNode()};
    std::vector<MNode*> mod{root};
    int count = 4 + int(random() % 14);
    for (int id = 1; id <= count; ++id) {
      size_t p = random() % real.size();
      real.push_back(tree->Add(p == 0 ? nullptr : real[p], id));
      mod.push_back(model.Make(id));
      Model::Place({mod.back()}, mod[p], amAddChildLast);
    }
    size_t ti = random() % real.size();
    TVTNodeAttachMode mode = kModes[1 + random() % 4];
    std::vector<int> ids;
    if (random() % 3 == 0) {
      // Children of one parent.
      MNode* parent = mod[1 + random() % count]->parent;
      for (MNode* kid : parent->kids)
        if (random() % 3 != 0) ids.push_back(kid->id);
    } else {
      for (int id = 1; id <= count; ++id)
        if (random() % 3 == 0) ids.push_back(id);
    }
    // The target and a node holding it, now and then.
    if (ti != 0 && random() % 4 == 0) ids.push_back(int(ti));
    if (ti != 0 && mod[ti]->parent != root && random() % 3 == 0) ids.push_back(mod[ti]->parent->id);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::shuffle(ids.begin(), ids.end(), random);
    for (int id : ids) {
      if (random() % 7 == 0) tree->refuse.insert(id);
      if (random() % 6 == 0) tree->deleteOnAsk[id] = ti != 0 && random() % 4 == 0 ? int(ti) : 1 + int(random() % count);
    }
    std::vector<PVirtualNode> nodes;
    std::vector<MNode*> asked;
    for (int id : ids) {
      nodes.push_back(real[size_t(id)]);
      asked.push_back(mod[size_t(id)]);
    }

    // The model's answer.
    MNode* target = mod[ti];
    std::vector<MNode*> first = ModelMovable(asked, target, root);
    for (MNode* m : first) mixed += int(m->parent != first[0]->parent);
    dropped += int(first.size() < asked.size());
    std::vector<int> expectedAsked;
    std::vector<MNode*> allowed;
    for (MNode* m : first) {
      if (!Model::Inside(m, root)) continue;
      expectedAsked.push_back(m->id);
      auto victim = tree->deleteOnAsk.find(m->id);
      if (victim != tree->deleteOnAsk.end() && Model::Inside(mod[size_t(victim->second)], root)) {
        Model::Detach(mod[size_t(victim->second)]);
        ++deleted;
      }
      if (tree->refuse.count(m->id) == 0) allowed.push_back(m);
    }
    if (Model::Inside(target, root)) {
      std::vector<MNode*> last = ModelMovable(allowed, target, root);
      for (MNode* m : last) Model::Detach(m);
      TVTNodeAttachMode placed = mode;
      if (target == root) placed = mode == amInsertBefore ? amAddChildFirst : mode == amInsertAfter ? amAddChildLast : mode;
      if (!last.empty()) Model::Place(last, target, placed);
      moved += int(last.size());
    }

    tree->MoveNodes(nodes, real[ti], mode);
    std::string expected;
    Model::Shape(root, expected);
    ASSERT_EQ(tree->askedIds, expectedAsked) << "round " << round;
    ASSERT_EQ(tree->Shape(), expected) << "round " << round;
    ASSERT_EQ(CheckTreeInvariants(*tree), "") << "round " << round;
    tree->Free();
  }
  EXPECT_GT(mixed, 0);
  EXPECT_GT(dropped, 0);
  EXPECT_GT(deleted, 0);
  EXPECT_GT(moved, 0);
}
