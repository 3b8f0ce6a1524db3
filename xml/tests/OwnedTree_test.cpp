#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "xml/OwnedTree.h"
#include "xml/TreeUtilsNoRefCount.h"

namespace {

// Counts destructions and records the hooks it sees.
class TTestNode : public TCustomOwnedNode {
public:
  ~TTestNode() override { ++destroyed; }
  static inline int destroyed = 0;
  std::vector<std::string>* log = nullptr;

protected:
  void DoBeforeAttach(TCustomOwnedNode*) override { Record("beforeAttach"); }
  void DoAfterAttach(TCustomOwnedNode*) override { Record("afterAttach"); }
  void DoBeforeDetach(TCustomOwnedNode*) override { Record("beforeDetach"); }
  void DoAfterDetach(TCustomOwnedNode*) override { Record("afterDetach"); }
  void DoBeforeClear() override { Record("beforeClear"); }
  void DoAfterClear() override { Record("afterClear"); }

private:
  void Record(const char* what) {
    if (log != nullptr) log->push_back(what);
  }
};

class OwnedTreeTest : public testing::Test {
protected:
  void SetUp() override {
    TTestNode::destroyed = 0;
    owner = New<TTestNode>(nullptr);
    parent = Make();
  }
  void TearDown() override {
    if (owner != nullptr) owner->Free();
  }
  TTestNode* Make() { return New<TTestNode>(owner); }
  std::vector<TCustomOwnedNode*> Children(TCustomOwnedNode* node) {
    std::vector<TCustomOwnedNode*> out;
    for (auto* c = node->GetFirstChild(); c != nullptr; c = c->GetNextSibling()) out.push_back(c);
    // The sibling links and the children list must agree.
    EXPECT_EQ(static_cast<int>(out.size()), node->GetChildCount());
    for (int i = 0; i < node->GetChildCount(); ++i) EXPECT_EQ(node->GetChild(i), out[i]);
    std::vector<TCustomOwnedNode*> back;
    for (auto* c = node->GetLastChild(); c != nullptr; c = c->GetPreviousSibling()) back.insert(back.begin(), c);
    EXPECT_EQ(out, back);
    return out;
  }

  TTestNode* owner = nullptr;
  TTestNode* parent = nullptr;
};

TEST_F(OwnedTreeTest, AppendInsertAndMove) {
  auto* a = Make();
  auto* b = Make();
  auto* c = Make();
  parent->AppendChild(a);
  parent->InsertBefore(b, nullptr);
  parent->InsertBefore(c, a);
  EXPECT_EQ(Children(parent), (std::vector<TCustomOwnedNode*>{c, a, b}));
  parent->InsertBefore(b, c);  // moving within the same parent
  EXPECT_EQ(Children(parent), (std::vector<TCustomOwnedNode*>{b, c, a}));
  EXPECT_EQ(parent->IndexOfChild(a), 2);
  EXPECT_EQ(a->GetParent(), parent);
  EXPECT_TRUE(a->HasAsAncestor(parent));
  EXPECT_FALSE(parent->HasAsAncestor(a));
  EXPECT_FALSE(a->HasAsAncestor(nullptr));
}

TEST_F(OwnedTreeTest, ReplaceChild) {
  auto* a = Make();
  auto* b = Make();
  auto* c = Make();
  for (auto* n : {a, b, c}) parent->AppendChild(n);
  EXPECT_EQ(parent->ReplaceChild(b, a), a);  // b was a's next sibling
  EXPECT_EQ(Children(parent), (std::vector<TCustomOwnedNode*>{b, c}));
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(a->GetNextSibling(), nullptr);
  auto* other = Make();
  other->AppendChild(a);
  parent->ReplaceChild(a, c);  // newChild comes from another parent
  EXPECT_EQ(Children(parent), (std::vector<TCustomOwnedNode*>{b, a}));
  EXPECT_FALSE(other->HasChildren());
  EXPECT_EQ(parent->ReplaceChild(a, a), a);
  EXPECT_EQ(Children(parent), (std::vector<TCustomOwnedNode*>{b, a}));
}

TEST_F(OwnedTreeTest, HooksInOrder) {
  std::vector<std::string> log;
  parent->log = &log;
  auto* a = Make();
  auto* b = Make();
  parent->AppendChild(a);
  parent->ReplaceChild(b, a);
  parent->RemoveChild(b);
  parent->Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"beforeAttach", "afterAttach", "beforeDetach", "afterDetach",
                                           "beforeAttach", "afterAttach", "beforeDetach", "afterDetach",
                                           "beforeClear", "afterClear"}));
}

TEST_F(OwnedTreeTest, FailedChecksChangeNothing) {
  auto* a = Make();
  auto* b = Make();
  parent->AppendChild(a);
  a->AppendChild(b);
  EXPECT_THROW(parent->AppendChild(nullptr), ENotAssignedError);
  EXPECT_THROW(b->AppendChild(parent), EHierarchyRequestError);
  EXPECT_THROW(a->AppendChild(a), EHierarchyRequestError);
  EXPECT_THROW(parent->InsertBefore(a, a), EHierarchyRequestError);
  auto* stranger = New<TTestNode>(nullptr);
  EXPECT_THROW(parent->AppendChild(stranger), EWrongOwnerError);
  try {
    parent->AppendChild(stranger);
  } catch (const EWrongOwnerError& e) {
    EXPECT_EQ(e.Message(), "Wrong Owner Error");
  }
  stranger->Free();
  auto* c = Make();
  EXPECT_THROW(parent->RemoveChild(b), ENotFoundError);
  EXPECT_EQ(b->GetParent(), a);
  EXPECT_THROW(parent->InsertBefore(c, b), ENotFoundError);
  EXPECT_EQ(c->GetParent(), nullptr);
  a->SetReadOnly(true);
  EXPECT_THROW(parent->AppendChild(b), ENoModificationAllowedError);  // old parent read-only
  EXPECT_THROW(a->AppendChild(c), ENoModificationAllowedError);
  EXPECT_THROW(a->Clear(), ENoModificationAllowedError);
  EXPECT_EQ(Children(a), std::vector<TCustomOwnedNode*>{b});
  EXPECT_EQ(Children(parent), std::vector<TCustomOwnedNode*>{a});
  EXPECT_THROW(parent->GetChild(1), EListError);
  // A child owned by the parent itself is accepted.
  auto* own = New<TTestNode>(parent);
  EXPECT_NO_THROW(parent->AppendChild(own));
}

TEST_F(OwnedTreeTest, FreeingOwnerFreesEachNodeOnce) {
  auto* a = Make();
  auto* b = Make();
  auto* c = Make();
  parent->AppendChild(a);
  a->AppendChild(b);
  b->AppendChild(c);
  auto* loose = Make();
  (void)loose;
  owner->Free();
  owner = nullptr;
  EXPECT_EQ(TTestNode::destroyed, 6);  // owner, parent, a, b, c, loose
}

TEST_F(OwnedTreeTest, FreeingANodeFreesItsSubtreeAndLeavesOwner) {
  auto* a = Make();
  auto* b = Make();
  auto* keep = Make();
  parent->AppendChild(a);
  parent->AppendChild(keep);
  a->AppendChild(b);
  int ownedBefore = owner->OwnedObjectCount();
  a->Free();
  EXPECT_EQ(TTestNode::destroyed, 2);
  EXPECT_EQ(owner->OwnedObjectCount(), ownedBefore - 2);
  EXPECT_EQ(Children(parent), std::vector<TCustomOwnedNode*>{keep});
  EXPECT_EQ(keep->GetPreviousSibling(), nullptr);
}

TEST_F(OwnedTreeTest, AdoptObjectAndNode) {
  auto* other = New<TTestNode>(nullptr);
  auto* a = Make();
  auto* b = Make();
  auto* c = Make();
  parent->AppendChild(a);
  a->AppendChild(b);
  a->AppendChild(c);
  other->AdoptNode(a);
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(a->GetOwner(), other);
  EXPECT_EQ(b->GetOwner(), other);
  EXPECT_EQ(c->GetOwner(), other);
  EXPECT_EQ(other->OwnedObjectCount(), 3);
  EXPECT_EQ(other->GetOwnedObject(0), a);
  EXPECT_EQ(other->GetOwnedObject(2), c);
  EXPECT_THROW(other->GetOwnedObject(3), EListError);
  other->AdoptObject(a);  // already owned: nothing changes
  EXPECT_EQ(other->GetOwnedObject(0), a);
  EXPECT_EQ(other->OwnedObjectCount(), 3);
  EXPECT_THROW(other->AdoptNode(nullptr), ENotAssignedError);
  // An owner cannot be adopted by what it owns.
  EXPECT_THROW(a->AdoptObject(other), EHierarchyRequestError);
  other->Free();
  EXPECT_EQ(TTestNode::destroyed, 4);
}

// Deep chains must be built, freed and adopted without recursion.
TEST_F(OwnedTreeTest, MillionDeepChain) {
  constexpr int kDepth = 1000000;
  TCustomOwnedNode* tip = parent;
  for (int i = 0; i < kDepth; ++i) tip = tip->AppendChild(Make());
  EXPECT_TRUE(tip->HasAsAncestor(parent));
  auto* other = New<TTestNode>(nullptr);
  other->AdoptNode(parent->GetFirstChild());
  EXPECT_EQ(other->OwnedObjectCount(), kDepth);
  other->Free();
  EXPECT_EQ(TTestNode::destroyed, kDepth + 1);
  tip = parent;
  for (int i = 0; i < kDepth; ++i) tip = tip->AppendChild(Make());
  parent->Free();  // freed from the top: the subtree goes bottom-up
  EXPECT_EQ(TTestNode::destroyed, 2 * kDepth + 2);
  EXPECT_EQ(owner->OwnedObjectCount(), 0);
}

// A node that knows which of its kind are alive.
class TTrackedNode : public TCustomOwnedNode {
public:
  TTrackedNode() { live.insert(this); }
  ~TTrackedNode() override {
    EXPECT_EQ(live.erase(this), 1u);  // freed once
  }
  static inline std::set<const TCustomOwnedNode*> live;
};

// An owner that frees what it owns in one batch, as a document does.
class TBatchOwner : public TTrackedNode {
public:
  bool FreesSubtreeInDestructor() const override { return true; }
  ~TBatchOwner() override {
    for (TCustomOwnedNode* child = GetFirstChild(); child != nullptr;) {
      TCustomOwnedNode* next = child->GetNextSibling();
      if (child->GetOwner() != this) UnlinkChild(child);
      child = next;
    }
    FreeOwnedObjectsTogether();
    ForgetChildren();
  }
};

// Random forests under a batch owner: nodes it owns, nodes owned by those
// nodes (below their owner or its other nodes), ownerless nodes hung below
// the batch owner, detached nodes, moves and single frees, checked against
// the set of nodes alive. Freeing the batch owner must free exactly what it
// owns, each once (and, under AddressSanitizer, touch no freed node); the
// ownerless nodes stay, unlinked.
TEST(OwnedTreeBatch, FreesWhatItOwnsOnceWhateverTheShape) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    auto* owner = New<TBatchOwner>(nullptr);
    std::vector<TCustomOwnedNode*> nodes{owner};  // live nodes that may be parents
    std::vector<TCustomOwnedNode*> ownerless;
    for (int step = 0; step < 60; ++step) {
      TCustomOwnedNode* parent = nodes[random() % nodes.size()];
      switch (random() % 6) {
        case 0:
        case 1: {  // a node of parent's owner (the batch owner's own, below it)
          TCustomOwnedObject* by = parent == owner ? owner : parent->GetOwner();
          TCustomOwnedNode* node = New<TTrackedNode>(by);
          if (random() % 4 != 0) parent->AppendChild(node);
          nodes.push_back(node);
          break;
        }
        case 2: {  // a node owned by parent, below parent
          if (parent == owner) break;
          TCustomOwnedNode* node = New<TTrackedNode>(parent);
          parent->InsertBefore(node, parent->GetFirstChild());
          nodes.push_back(node);
          break;
        }
        case 3: {  // an ownerless node right below the batch owner
          TCustomOwnedNode* node = New<TTrackedNode>(nullptr);
          owner->AppendChild(node);
          ownerless.push_back(node);
          break;
        }
        case 4: {  // move a node below parent where the owners allow it
          TCustomOwnedNode* node = nodes[random() % nodes.size()];
          if (node == owner || node == parent || parent->HasAsAncestor(node)) break;
          if (node->GetOwner() != parent->GetOwner() && node->GetOwner() != parent) break;
          parent->AppendChild(node);
          break;
        }
        case 5: {  // free a node with what it holds
          if (parent == owner) break;
          parent->Free();
          std::erase_if(nodes, [](TCustomOwnedNode* n) { return TTrackedNode::live.count(n) == 0; });
          break;
        }
      }
    }
    owner->Free();
    ASSERT_EQ(TTrackedNode::live.size(), ownerless.size()) << "round " << round;
    for (TCustomOwnedNode* node : ownerless) {
      EXPECT_EQ(node->GetParent(), nullptr);
      node->Free();
    }
  }
}

class TTwoFaced : public TUtilsNoRefCount {
protected:
  bool GetInterface(const TGuid& iid, void** obj) override {
    if (!(iid == kId)) return false;
    *obj = this;
    return true;
  }

public:
  static constexpr TGuid kId = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
};

TEST(TreeUtilsNoRefCount, AnswersFromItsTable) {
  TTwoFaced object;
  void* out = &object;
  EXPECT_EQ(object.QueryInterface(TGuid{9, 9, 9, {}}, &out), kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object.QueryInterface(TTwoFaced::kId, &out), kS_OK);
  EXPECT_EQ(out, &object);
  EXPECT_EQ(object.QueryInterface(TTwoFaced::kId, nullptr), kE_NOINTERFACE);
  EXPECT_EQ(object._AddRef(), -1);
  EXPECT_EQ(object._Release(), -1);
}

}  // namespace
