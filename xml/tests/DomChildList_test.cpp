// Child lists of the DOM: random edits (append, insert, remove, replace,
// fragments, normalize) checked after every step against a plain reference
// tree of vectors; and the bulk operations on long lists, which would take
// minutes if each child cost a walk over its siblings. QV_LONG=1 runs far
// more random steps.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "DomTestSupport.h"

namespace {

class DomChildListTest : public DomTest {
protected:
  struct Model {
    std::map<TdomNode*, std::vector<TdomNode*>> children;
    std::map<TdomNode*, TdomNode*> parent;
    std::map<TdomNode*, std::u16string> text;  // text nodes only
  };

  // Checks every container of the reference against the DOM: forward and
  // backward links, parents, count, indexed access in random order, IndexOf.
  void CheckAgainst(const Model& model, std::mt19937& random) {
    for (const auto& [node, kids] : model.children) {
      ASSERT_EQ(node->GetChildCount(), static_cast<int>(kids.size()));
      TdomNode* c = node->GetFirstChildNode();
      for (TdomNode* kid : kids) {
        ASSERT_EQ(c, kid);
        ASSERT_EQ(c->GetParentNode(), node);
        c = c->GetNextSiblingNode();
      }
      ASSERT_EQ(c, nullptr);
      c = node->GetLastChildNode();
      for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        ASSERT_EQ(c, *it);
        c = c->GetPreviousSiblingNode();
      }
      ASSERT_EQ(c, nullptr);
      TdomNodeList* list = node->GetChildNodes();
      ASSERT_EQ(list->GetLength(), static_cast<int>(kids.size()));
      for (size_t k = 0; k < kids.size() * 2; ++k) {
        int index = static_cast<int>(random() % kids.size());
        ASSERT_EQ(list->Item(index), kids[index]) << "index " << index;
        ASSERT_EQ(list->IndexOf(kids[index]), index);
      }
      EXPECT_EQ(list->Item(static_cast<int>(kids.size())), nullptr);
    }
    for (const auto& [node, data] : model.text) ASSERT_EQ(static_cast<TdomText*>(node)->GetData(), data);
    for (const auto& [node, up] : model.parent) ASSERT_EQ(node->GetParentNode(), up);
  }

  static void Detach(Model& model, TdomNode* node) {
    TdomNode* up = model.parent[node];
    if (up == nullptr) return;
    auto& kids = model.children[up];
    kids.erase(std::find(kids.begin(), kids.end(), node));
    model.parent[node] = nullptr;
  }

  static bool IsAncestorOrSelf(Model& model, TdomNode* candidate, TdomNode* node) {
    for (TdomNode* up = node; up != nullptr; up = model.parent[up]) {
      if (up == candidate) return true;
    }
    return false;
  }

  // Puts the nodes (in order) before ref in parent's reference list (appends for null).
  static void Place(Model& model, TdomNode* parent, const std::vector<TdomNode*>& nodes, TdomNode* ref) {
    auto& kids = model.children[parent];
    auto at = ref == nullptr ? kids.end() : std::find(kids.begin(), kids.end(), ref);
    kids.insert(at, nodes.begin(), nodes.end());
    for (TdomNode* n : nodes) model.parent[n] = parent;
  }

  // Merges the runs of adjacent text nodes below node, as normalize does.
  static void Normalize(Model& model, TdomNode* node) {
    auto& kids = model.children[node];
    std::vector<TdomNode*> kept;
    for (TdomNode* kid : kids) {
      if (model.text.count(kid) && !kept.empty() && model.text.count(kept.back())) {
        model.text[kept.back()] += model.text[kid];
        model.text.erase(kid);
        model.parent.erase(kid);
        continue;
      }
      kept.push_back(kid);
    }
    kids = kept;
    for (TdomNode* kid : kept) {
      if (model.children.count(kid)) Normalize(model, kid);
    }
  }

  void RunRandomEdits(unsigned seed, int steps) {
    std::mt19937 random(seed);
    Model model;
    std::vector<TdomNode*> containers;  // elements and fragments
    auto pick = [&](const std::vector<TdomNode*>& from) { return from[random() % from.size()]; };
    auto anyNode = [&]() {
      std::vector<TdomNode*> all;
      for (const auto& entry : model.parent) all.push_back(entry.first);
      return pick(all);
    };
    int made = 0;
    auto makeNode = [&]() -> TdomNode* {
      TdomNode* node;
      if (random() % 2 == 0) {
        node = Elem(u"e" + std::u16string(1, char16_t(u'a' + made % 26)));
        model.children[node];
        containers.push_back(node);
      } else {
        std::u16string data(1 + random() % 3, char16_t(u'a' + made % 26));
        node = Text(data);
        model.text[node] = data;
      }
      model.parent[node] = nullptr;
      ++made;
      return node;
    };
    for (int i = 0; i < 4; ++i) {
      TdomNode* fragment = doc->createDocumentFragment();
      model.children[fragment];
      model.parent[fragment] = nullptr;
      containers.push_back(fragment);
    }
    for (int i = 0; i < 30; ++i) makeNode();

    for (int step = 0; step < steps; ++step) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
      TdomNode* parent = pick(containers);
      const auto& kids = model.children[parent];
      TdomNode* ref = kids.empty() || random() % 4 == 0 ? nullptr : pick(kids);
      TdomNode* node = anyNode();
      bool isFragment = node->GetNodeType() == ntDocument_Fragment_Node;
      switch (random() % 8) {
        case 0:
          makeNode();
          break;
        case 1:
        case 2: {  // append or insert one node, or a fragment's children
          if (random() % 2 == 0) ref = nullptr;
          bool refused = isFragment ? IsAncestorOrSelf(model, node, parent) && !model.children[node].empty()
                                    : IsAncestorOrSelf(model, node, parent) || node == ref;
          if (refused) {
            EXPECT_ANY_THROW(parent->insertBefore(node, ref));
            break;
          }
          std::vector<TdomNode*> moved = isFragment ? model.children[node] : std::vector<TdomNode*>{node};
          if (isFragment) {
            model.children[node].clear();
          } else {
            Detach(model, node);
          }
          if (ref != nullptr) {
            parent->insertBefore(node, ref);
          } else {
            parent->appendChild(node);
          }
          Place(model, parent, moved, ref);
          break;
        }
        case 3: {  // replace a child by a node or a fragment's children
          if (ref == nullptr) break;
          bool refused = node != ref && IsAncestorOrSelf(model, node, parent) &&
                         !(isFragment && model.children[node].empty());
          if (refused) {
            EXPECT_ANY_THROW(parent->replaceChild(node, ref));
            break;
          }
          if (node == ref) {
            parent->replaceChild(node, ref);
            break;
          }
          std::vector<TdomNode*> moved = isFragment ? model.children[node] : std::vector<TdomNode*>{node};
          if (isFragment) model.children[node].clear();
          if (!isFragment) Detach(model, node);
          auto& list = model.children[parent];
          size_t at = std::find(list.begin(), list.end(), ref) - list.begin();
          list.erase(list.begin() + at);
          model.parent[ref] = nullptr;
          list.insert(list.begin() + at, moved.begin(), moved.end());
          for (TdomNode* m : moved) model.parent[m] = parent;
          parent->replaceChild(node, ref);
          break;
        }
        case 4:
        case 5: {  // remove a child
          if (ref == nullptr) break;
          parent->removeChild(ref);
          Detach(model, ref);
          break;
        }
        case 6: {  // a child that is not one raises and changes nothing
          if (model.parent[node] == parent || isFragment) break;
          EXPECT_DOM_ERROR(parent->removeChild(node), ENot_Found_Err, "Node not found.");
          break;
        }
        case 7: {
          if (parent->GetNodeType() != ntElement_Node) break;
          parent->normalize();
          Normalize(model, parent);
          break;
        }
      }
      CheckAgainst(model, random);
      if (HasFatalFailure()) return;
    }
  }
};

TEST_F(DomChildListTest, RandomEditsMatchAReferenceTree) {
  const bool longRun = std::getenv("QV_LONG") != nullptr;
  const int seeds = longRun ? 200 : 6;
  for (unsigned seed = 1; seed <= static_cast<unsigned>(seeds); ++seed) {
    RunRandomEdits(seed, longRun ? 3000 : 400);
    if (HasFatalFailure()) return;
    TearDown();
    SetUp();
  }
}

// 200,000 children: a walk over the siblings per child, or a copy of the text
// so far per merged node, would run for minutes here.
TEST_F(DomChildListTest, LongListsMoveAndMergeInLinearTime) {
  constexpr int kCount = 200000;
  TdomElement* root = Add(doc, Elem(u"root"));
  TdomElement* first = Add(root, Elem(u"first"));
  TdomElement* last = Add(root, Elem(u"last"));

  TdomDocumentFragment* fragment = doc->createDocumentFragment();
  for (int i = 0; i < kCount; ++i) fragment->appendChild(Text(i % 2 == 0 ? u"a" : u"b"));
  root->insertBefore(fragment, last);
  EXPECT_FALSE(fragment->hasChildNodes());
  ASSERT_EQ(root->GetChildCount(), kCount + 2);
  EXPECT_EQ(first->GetNextSiblingNode()->GetNodeValue(), u"a");
  EXPECT_EQ(last->GetPreviousSiblingNode()->GetNodeValue(), u"b");
  // Stepping through the live list costs O(1) a step.
  TdomNodeList* list = root->GetChildNodes();
  int bs = 0;
  for (int i = 0; i < list->GetLength(); ++i) bs += list->Item(i)->GetNodeValue() == u"b";
  EXPECT_EQ(bs, kCount / 2);
  for (int i = list->GetLength() - 1; i >= 0; i -= 2) list->Item(i);

  // The run of texts between the two elements becomes one node.
  root->normalize();
  ASSERT_EQ(root->GetChildCount(), 3);
  std::u16string merged = first->GetNextSiblingNode()->GetNodeValue();
  ASSERT_EQ(merged.size(), static_cast<size_t>(kCount));
  EXPECT_EQ(merged.substr(0, 4), u"abab");

  // And back out: replacing a child by a large fragment, then removing every child from the front.
  TdomDocumentFragment* again = doc->createDocumentFragment();
  for (int i = 0; i < kCount; ++i) again->appendChild(Elem(u"x"));
  root->replaceChild(again, first);
  ASSERT_EQ(root->GetChildCount(), kCount + 2);
  EXPECT_EQ(root->GetFirstChildNode()->GetNodeName(), u"x");
  while (TdomNode* child = root->GetFirstChildNode()) root->removeChild(child)->Free();
  EXPECT_EQ(root->GetChildCount(), 0);
}

}  // namespace
