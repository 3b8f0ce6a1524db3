// Random tree operations (insert, append, replace, remove, with nodes and
// with fragments, and normalize) while listeners remove, move and free nodes
// at every notice. The listeners' acts are logged; a plain model of vectors
// then runs the same operation, meeting the same notices in the same order
// and replaying the logged acts there, and must end in the same tree and the
// same outcome. The tree's own links are checked after every step too.
// QV_LONG=1 runs far more steps.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "DomTestSupport.h"

namespace {

enum class Outcome { Done, NotFound, Hierarchy, NotSpecified };

const char* Name(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::NotFound: return "not found";
    case Outcome::Hierarchy: return "hierarchy";
    case Outcome::NotSpecified: return "not specified";
  }
  return "?";
}

enum class NoticeKind { Removing, Inserted, Data };
enum class ActKind { None, Remove, Move, Free };

// One notice and what the listener did at it.
struct Meddling {
  NoticeKind notice;
  TdomNode* about;
  ActKind act = ActKind::None;
  TdomNode* target = nullptr;
  TdomNode* parent = nullptr;  // Move: the new parent and the node to go before
  TdomNode* ref = nullptr;
};

class RandomListenerEditsTest : public DomTest {
protected:
  // --- The model ----------------------------------------------------------------
  std::map<TdomNode*, TdomNode*> parentOf;               // every live node; null: none
  std::map<TdomNode*, std::vector<TdomNode*>> kidsOf;    // elements and fragments
  std::map<TdomNode*, std::u16string> textOf;            // text nodes
  std::set<TdomNode*> fragments;

  bool Alive(TdomNode* n) const { return n != nullptr && parentOf.count(n) != 0; }
  bool IsText(TdomNode* n) const { return n != nullptr && textOf.count(n) != 0; }
  bool IsElement(TdomNode* n) const { return kidsOf.count(n) != 0 && fragments.count(n) == 0; }
  TdomNode* First(TdomNode* n) const {
    auto it = kidsOf.find(n);
    return it == kidsOf.end() || it->second.empty() ? nullptr : it->second.front();
  }
  TdomNode* Next(TdomNode* n) const {
    TdomNode* up = parentOf.at(n);
    if (up == nullptr) return nullptr;
    const auto& kids = kidsOf.at(up);
    auto it = std::find(kids.begin(), kids.end(), n);
    return it + 1 == kids.end() ? nullptr : *(it + 1);
  }
  // True when candidate is node or one of its ancestors.
  bool AncestorOrSelf(TdomNode* candidate, TdomNode* node) const {
    for (TdomNode* up = node; up != nullptr; up = parentOf.at(up)) {
      if (up == candidate) return true;
    }
    return false;
  }
  void Detach(TdomNode* n) {
    TdomNode* up = parentOf[n];
    if (up == nullptr) return;
    auto& kids = kidsOf[up];
    kids.erase(std::find(kids.begin(), kids.end(), n));
    parentOf[n] = nullptr;
  }
  void PlaceBefore(TdomNode* parent, TdomNode* n, TdomNode* ref) {
    Detach(n);
    auto& kids = kidsOf[parent];
    kids.insert(ref == nullptr ? kids.end() : std::find(kids.begin(), kids.end(), ref), n);
    parentOf[n] = parent;
  }
  void FreeInModel(TdomNode* n) {
    Detach(n);
    std::vector<TdomNode*> going{n};
    while (!going.empty()) {
      TdomNode* g = going.back();
      going.pop_back();
      if (kidsOf.count(g)) going.insert(going.end(), kidsOf[g].begin(), kidsOf[g].end());
      parentOf.erase(g);
      kidsOf.erase(g);
      textOf.erase(g);
      fragments.erase(g);
    }
  }

  // The model's side of a notice: the logged act is done again here.
  void Notice(NoticeKind notice, TdomNode* about) {
    if (replayed >= log.size()) {
      diverged = "a notice the tree did not give";
      return;
    }
    const Meddling& m = log[replayed++];
    if (m.notice != notice || m.about != about) diverged = "notices in another order";
    switch (m.act) {
      case ActKind::None: break;
      case ActKind::Remove: Detach(m.target); break;
      case ActKind::Move: PlaceBefore(m.parent, m.target, m.ref); break;
      case ActKind::Free: FreeInModel(m.target); break;
    }
  }

  // The operations as the model runs them, notices where the tree gives them.
  Outcome ModelMoveFragment(TdomNode* p, TdomNode* f, TdomNode* ref) {
    while (Alive(p) && Alive(f)) {
      TdomNode* child = First(f);
      if (child == nullptr) return Outcome::Done;
      if (ref != nullptr && (!Alive(ref) || parentOf[ref] != p)) return Outcome::NotFound;
      if (AncestorOrSelf(child, p)) return Outcome::Hierarchy;
      PlaceBefore(p, child, ref);
      Notice(NoticeKind::Inserted, child);
    }
    return Outcome::Done;
  }

  Outcome ModelInsert(TdomNode* p, TdomNode* n, TdomNode* ref) {
    if (fragments.count(n)) {
      if (ref != nullptr && parentOf[ref] != p) return Outcome::NotFound;
      if (First(n) != nullptr && AncestorOrSelf(n, p)) return Outcome::Hierarchy;
      return ModelMoveFragment(p, n, ref);
    }
    if (AncestorOrSelf(n, p) || n == ref) return Outcome::Hierarchy;
    if (ref != nullptr && parentOf[ref] != p) return Outcome::NotFound;
    PlaceBefore(p, n, ref);
    Notice(NoticeKind::Inserted, n);
    return Outcome::Done;
  }

  // The replacement's checks made again after a notice.
  Outcome ModelReplaceAgain(TdomNode* p, TdomNode* n, TdomNode* old) {
    if (!Alive(n) || !Alive(old)) return Outcome::NotSpecified;
    if (AncestorOrSelf(n, p)) return Outcome::Hierarchy;
    if (parentOf[old] != p) return Outcome::NotFound;
    if (parentOf[n] != nullptr) return Outcome::Hierarchy;
    return Outcome::Done;
  }

  Outcome ModelReplace(TdomNode* p, TdomNode* n, TdomNode* old) {
    if (fragments.count(n)) {
      if (parentOf[old] != p) return Outcome::NotFound;
      if (First(n) == nullptr) return ModelRemove(p, old);
      if (AncestorOrSelf(n, p)) return Outcome::Hierarchy;
      Notice(NoticeKind::Removing, old);
      if (!Alive(p) || !Alive(n)) return Outcome::Done;
      if (!Alive(old) || parentOf[old] != p) return Outcome::NotFound;
      TdomNode* ref = Next(old);
      Detach(old);
      return ModelMoveFragment(p, n, ref);
    }
    if (AncestorOrSelf(n, p)) return Outcome::Hierarchy;
    if (parentOf[old] != p) return Outcome::NotFound;
    if (n == old) return Outcome::Done;
    if (TdomNode* from = parentOf[n]) {
      Notice(NoticeKind::Removing, n);
      if (Alive(from) && Alive(n) && parentOf[n] == from) Detach(n);
      if (!Alive(p)) return Outcome::Done;
      if (Outcome again = ModelReplaceAgain(p, n, old); again != Outcome::Done) return again;
    }
    Notice(NoticeKind::Removing, old);
    if (!Alive(p)) return Outcome::Done;
    if (Outcome again = ModelReplaceAgain(p, n, old); again != Outcome::Done) return again;
    TdomNode* ref = Next(old);
    Detach(old);
    PlaceBefore(p, n, ref);
    Notice(NoticeKind::Inserted, n);
    return Outcome::Done;
  }

  Outcome ModelRemove(TdomNode* p, TdomNode* old) {
    if (parentOf[old] != p) return Outcome::NotFound;
    Notice(NoticeKind::Removing, old);
    if (Alive(p) && Alive(old) && parentOf[old] == p) Detach(old);
    return Outcome::Done;
  }

  bool ModelMerge(TdomNode* e) {
    if (!IsElement(e)) return false;
    bool merged = false;
    TdomNode* current = First(e);
    while (current != nullptr) {
      TdomNode* next = Next(current);
      if (!IsText(current) || !IsText(next)) {
        current = next;
        continue;
      }
      merged = true;
      TdomNode* kept = current;
      std::u16string text = textOf[kept];
      while (IsText(next)) {
        text += textOf[next];
        FreeInModel(next);
        next = Next(kept);
      }
      textOf[kept] = text;
      Notice(NoticeKind::Data, kept);
      if (!Alive(e)) return true;
      current = Alive(kept) && parentOf[kept] == e ? Next(kept) : First(e);
    }
    return merged;
  }

  void ModelNormalize(TdomNode* top) {
    TdomNode* current = top;
    while (current != nullptr) {
      if (ModelMerge(current)) {
        if (!Alive(top)) return;
        if (!Alive(current) || !AncestorOrSelf(top, current)) {
          current = top;
          continue;
        }
      }
      if (TdomNode* child = First(current)) {
        current = child;
        continue;
      }
      while (current != top && Next(current) == nullptr) current = parentOf[current];
      current = current == top ? nullptr : Next(current);
    }
  }

  // --- The tree side -----------------------------------------------------------
  std::mt19937 random;
  std::vector<TdomNode*> live;  // the tree's live nodes, in the order made
  std::set<TdomNode*> liveFragments;
  std::vector<Meddling> log;
  size_t replayed = 0;
  std::string diverged;
  bool armed = false;
  bool busy = false;
  TdomElement* root = nullptr;
  int made = 0;
  std::map<std::string, int> tally;  // outcomes and acts, to show the run did something

  void Deleted(TdomUserDataOperation operation, const std::u16string&, TdomUserData data, TdomNode*, TdomNode*) {
    if (operation != NODE_DELETED) return;
    auto* node = static_cast<TdomNode*>(data);
    auto it = std::find(live.begin(), live.end(), node);
    if (it != live.end()) live.erase(it);
    liveFragments.erase(node);
  }
  void Track(TdomNode* node) {
    live.push_back(node);
    node->setUserData(u"live", node, MakeEvent<&RandomListenerEditsTest::Deleted>(this));
    parentOf[node] = nullptr;
  }
  TdomNode* MakeNode() {
    ++made;
    TdomNode* node;
    switch (random() % 3) {
      case 0: {
        std::u16string data(1 + random() % 2, char16_t(u'a' + made % 26));
        node = Text(data);
        textOf[node] = data;
        break;
      }
      case 1:
        node = doc->createDocumentFragment();
        kidsOf[node];
        fragments.insert(node);
        liveFragments.insert(node);
        break;
      default:
        node = Elem(u"e" + std::u16string(1, char16_t(u'a' + made % 26)));
        kidsOf[node];
        break;
    }
    Track(node);
    return node;
  }

  TdomNode* Pick(const std::vector<TdomNode*>& from) { return from.empty() ? nullptr : from[random() % from.size()]; }
  std::vector<TdomNode*> Containers() const {
    std::vector<TdomNode*> result;
    for (TdomNode* n : live) {
      if (n->GetNodeType() == ntElement_Node || n->GetNodeType() == ntDocument_Fragment_Node) result.push_back(n);
    }
    return result;
  }
  std::vector<TdomNode*> Movable() const {
    std::vector<TdomNode*> result;
    for (TdomNode* n : live) {
      if (n != root && n->GetNodeType() != ntDocument_Fragment_Node) result.push_back(n);
    }
    return result;
  }
  std::vector<TdomNode*> KidsInTree(TdomNode* p) const {
    std::vector<TdomNode*> result;
    for (TdomNode* c = p->GetFirstChildNode(); c != nullptr; c = c->GetNextSiblingNode()) result.push_back(c);
    return result;
  }

  // A listener's act: remove, move or free a node, or nothing; refused moves count as nothing.
  void Meddle(Meddling& m) {
    unsigned roll = random() % 10;
    if (roll < 3) return;
    if (roll < 5) {
      std::vector<TdomNode*> attached;
      for (TdomNode* n : Movable()) {
        if (n->GetParentNode() != nullptr) attached.push_back(n);
      }
      if (attached.empty()) return;
      m.target = Pick(attached);
      m.target->GetParentNode()->removeChild(m.target);
      m.act = ActKind::Remove;
      return;
    }
    if (roll < 8) {
      m.target = Pick(Movable());
      m.parent = Pick(Containers());
      std::vector<TdomNode*> kids = KidsInTree(m.parent);
      m.ref = random() % 3 == 0 ? nullptr : Pick(kids);
      try {
        m.parent->insertBefore(m.target, m.ref);
        m.act = ActKind::Move;
      } catch (const EDomException&) {
      }
      return;
    }
    std::vector<TdomNode*> freeable;
    for (TdomNode* n : live) {
      if (n != root) freeable.push_back(n);
    }
    m.target = Pick(freeable);
    if (m.target == nullptr) return;
    m.act = ActKind::Free;
    m.target->Free();
  }

  void Heard(NoticeKind notice, TdomNode* about) {
    if (!armed || busy) return;
    Meddling m{notice, about};
    busy = true;
    Meddle(m);
    busy = false;
    log.push_back(m);
    static const char* const kActs[] = {"nothing", "remove", "move", "free"};
    ++tally[std::string("act: ") + kActs[static_cast<int>(m.act)]];
  }
  void HeardRemoving(TObject*, TdomNode* node) { Heard(NoticeKind::Removing, node); }
  void HeardInserted(TObject*, TdomNode* node) { Heard(NoticeKind::Inserted, node); }
  void HeardData(TObject*, TdomNode* node) { Heard(NoticeKind::Data, node); }

  template <class Op>
  Outcome RunOnTree(Op op) {
    log.clear();
    replayed = 0;
    diverged.clear();
    armed = true;
    Outcome outcome = Outcome::Done;
    try {
      op();
    } catch (const ENot_Found_Err&) {
      outcome = Outcome::NotFound;
    } catch (const EHierarchy_Request_Err&) {
      outcome = Outcome::Hierarchy;
    } catch (const ENot_Supported_Err&) {
      outcome = Outcome::NotSpecified;
    }
    armed = false;
    return outcome;
  }

  // The tree against the model, and the tree's links against each other.
  void CheckAgainstModel() {
    ASSERT_EQ(live.size(), parentOf.size());
    for (TdomNode* n : live) {
      ASSERT_TRUE(parentOf.count(n)) << "a node the model has freed lives";
      if (n != root) ASSERT_EQ(n->GetParentNode(), parentOf[n]);  // the model leaves the document out
    }
    for (const auto& [node, kids] : kidsOf) {
      ASSERT_EQ(node->GetChildCount(), static_cast<int>(kids.size()));
      TdomNode* c = node->GetFirstChildNode();
      TdomNode* previous = nullptr;
      for (TdomNode* kid : kids) {
        ASSERT_EQ(c, kid);
        ASSERT_EQ(c->GetPreviousSiblingNode(), previous);
        previous = c;
        c = c->GetNextSiblingNode();
      }
      ASSERT_EQ(c, nullptr);
      ASSERT_EQ(node->GetLastChildNode(), previous);
    }
    for (const auto& [node, text] : textOf) ASSERT_EQ(static_cast<TdomText*>(node)->GetData(), text);
  }

  void RunSteps(unsigned seed, int steps) {
    random.seed(seed);
    doc->OnNodeRemoving = MakeEvent<&RandomListenerEditsTest::HeardRemoving>(this);
    doc->OnNodeInserted = MakeEvent<&RandomListenerEditsTest::HeardInserted>(this);
    doc->OnCharacterDataModified = MakeEvent<&RandomListenerEditsTest::HeardData>(this);
    root = Add(doc, Elem(u"root"));
    kidsOf[root];
    Track(root);
    for (int i = 0; i < 24; ++i) {
      TdomNode* n = MakeNode();
      if (n->GetNodeType() == ntDocument_Fragment_Node) continue;
      std::vector<TdomNode*> places;
      for (TdomNode* c : Containers()) {
        if (c != n && !AncestorOrSelf(n, c)) places.push_back(c);
      }
      TdomNode* p = Pick(places);
      p->appendChild(n);
      PlaceBefore(p, n, nullptr);
    }
    for (int step = 0; step < steps; ++step) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
      if (live.size() < 20) MakeNode();
      TdomNode* p = Pick(Containers());
      std::vector<TdomNode*> kids = KidsInTree(p);
      std::vector<TdomNode*> others;
      for (TdomNode* n : live) {
        if (n != root) others.push_back(n);
      }
      TdomNode* n = Pick(others);
      TdomNode* child = Pick(kids);
      Outcome onTree = Outcome::Done;
      Outcome inModel = Outcome::Done;
      switch (random() % 7) {
        case 0:
        case 1: {
          TdomNode* ref = random() % 4 == 0 ? nullptr : child;
          onTree = RunOnTree([&] { ref != nullptr ? p->insertBefore(n, ref) : p->appendChild(n); });
          inModel = ModelInsert(p, n, ref);
          break;
        }
        case 2:
        case 3:
          if (child == nullptr) continue;
          onTree = RunOnTree([&] { p->replaceChild(n, child); });
          inModel = ModelReplace(p, n, child);
          break;
        case 4:
          if (child == nullptr) continue;
          onTree = RunOnTree([&] { p->removeChild(child); });
          inModel = ModelRemove(p, child);
          break;
        case 5:
          onTree = RunOnTree([&] { p->normalize(); });
          ModelNormalize(p);
          break;
        default:
          MakeNode();
          continue;
      }
      ++tally[std::string("outcome: ") + Name(onTree)];
      EXPECT_EQ(Name(onTree), std::string(Name(inModel)));
      EXPECT_EQ(diverged, "");
      EXPECT_EQ(replayed, log.size()) << "notices the model did not give";
      CheckAgainstModel();
      if (HasFailure()) return;
    }
  }
};

TEST_F(RandomListenerEditsTest, TreeAndModelAgreeWhileListenersMeddle) {
  const bool longRun = std::getenv("QV_LONG") != nullptr;
  const unsigned seeds = longRun ? 400 : 30;
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    RunSteps(seed, longRun ? 2000 : 400);
    if (HasFailure()) return;
    if (seed == seeds) {
      std::string line;
      for (const auto& [what, count] : tally) line += what + " " + std::to_string(count) + "; ";
      std::printf("listener edits: %s\n", line.c_str());
    }
    parentOf.clear();
    kidsOf.clear();
    textOf.clear();
    fragments.clear();
    live.clear();
    liveFragments.clear();
    TearDown();
    SetUp();
  }
}

}  // namespace
