// A 10,000-node tree driven by real mouse and keyboard input (SendInput):
// clicks with modifiers on labels, buttons, check boxes and beside labels,
// rubber bands, arrows, pages, Home and End, +, -, Space, Ctrl+A and typed
// letters. After every step focus, selection, check states and expansion are
// compared with a model of the same tree. QV_STEPS sets the number of steps
// (default 300); QV_LONG=1 runs 5,000.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "InputDriver.h"
#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

constexpr int kTop = 100;
constexpr int kChildren = 99;  // 100 + 100 x 99 = 10,000 nodes
constexpr int kLabelWidth = 60;

class TModelTree : public TVirtualDrawTree {
public:
  std::vector<char16_t> initials;  // by tree order
  std::map<PVirtualNode, int> order;
  int DoGetNodeWidth(PVirtualNode, TColumnIndex, TCanvas*) override { return kLabelWidth; }
  int DoIncrementalSearch(PVirtualNode node, const std::u16string& text) override {
    return text.size() == 1 && initials[order[node]] == text[0] ? 0 : 1;
  }
};

int StepCount() {
  if (const char* steps = std::getenv("QV_STEPS")) return std::atoi(steps);
  const char* longRun = std::getenv("QV_LONG");
  return longRun != nullptr && std::string(longRun) == "1" ? 5000 : 300;
}

// The model: the same nodes by tree-order index, with expansion, checks,
// focus, selection and range anchor.
struct Model {
  std::vector<int> parent;          // -1 for top-level
  std::vector<int> level;
  std::vector<bool> hasChildren, expanded, checked;
  std::set<int> selected;
  int focus = -1;
  int anchor = -1;

  std::vector<int> Shown() const {
    std::vector<int> result;
    for (int i = 0; i < static_cast<int>(parent.size()); ++i)
      if (parent[i] < 0 || expanded[parent[i]]) result.push_back(i);
    return result;
  }
  static int IndexIn(const std::vector<int>& list, int node) {
    auto it = std::find(list.begin(), list.end(), node);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
  }
  void Only(int node) {
    selected.clear();
    if (node >= 0) selected.insert(node);
  }
  // After a plain navigation key: the focused node alone, unless nothing moved
  // and one node is selected already.
  void AfterPlainKey(int oldFocus) {
    if (focus != oldFocus || selected.size() != 1) Only(focus);
    anchor = focus;
  }
  // The focus moving with Shift: an empty selection re-anchors at the new focus.
  void MoveFocusExtending(int node) {
    focus = node;
    if (selected.empty()) anchor = node;
  }
  void Toggle(int node) {
    if (!selected.erase(node)) selected.insert(node);
  }
  // A keyboard range from last to now, anchored: the keyboard's toggling rule.
  void ToggleRange(const std::vector<int>& shown, int last, int now) {
    int a = IndexIn(shown, last), b = IndexIn(shown, now);
    if (a == b) return;
    if (a > b) std::swap(a, b);
    int first = shown[a], end = shown[b];
    bool firstMoves = first < anchor, lastMoves = end > anchor;
    for (int k = a; k <= b; ++k) {
      int node = shown[k];
      if ((node == first && !firstMoves) || (node == end && !lastMoves)) continue;
      Toggle(node);
    }
    selected.insert(anchor);
  }
};

struct ScriptedInputTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    oldDoubleClickTime = GetDoubleClickTime();
    SetDoubleClickTime(1);  // clicks in a row are single clicks
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 420, 480);
    tree = New<TModelTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 400, 440);
    TCustomVirtualTreeOptions* o = tree->TreeOptions();
    TVTSelectionOptions selection = o->SelectionOptions();
    selection.Include(toMultiSelect);
    o->SetSelectionOptions(selection);
    TVTMiscOptions misc = o->MiscOptions();
    misc.Include(toCheckSupport);
    misc.Exclude(toToggleOnDblClick);
    o->SetMiscOptions(misc);
    TVTAutoOptions autoOptions = o->AutoOptions();
    autoOptions.Exclude(toAutoTristateTracking);
    autoOptions.Exclude(toAutoScroll);
    o->SetAutoOptions(autoOptions);
    tree->SetIncrementalSearch(isVisibleOnly);
    tree->SetIncrementalSearchTimeout(1);
    tree->SetNodeDataSize(0);
    tree->SetRootNodeCount(kTop);
    std::mt19937 names(7);
    for (PVirtualNode top = tree->GetFirst(); top != nullptr; top = tree->GetNextSibling(top)) {
      Add(top, -1, true, names);
      tree->SetChildCount(top, kChildren);
      int topIndex = static_cast<int>(model.parent.size()) - 1;
      for (PVirtualNode child = tree->GetFirstChild(top); child != nullptr; child = tree->GetNextSibling(child))
        Add(child, topIndex, false, names);
    }
    ASSERT_EQ(nodes.size(), 10000u);
    form->Show();
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    input = std::make_unique<TInputDriver>(tree);
    qvtest::Pump(20);
    checkWidth = tree->CheckImages() != nullptr ? tree->CheckImages()->Width() : 0;
  }
  void TearDown() override {
    input.reset();
    form->Free();
    SetDoubleClickTime(oldDoubleClickTime);
  }
  void Add(PVirtualNode node, int parent, bool hasChildren, std::mt19937& names) {
    tree->order[node] = static_cast<int>(nodes.size());
    tree->initials.push_back(static_cast<char16_t>(u'a' + names() % 8));
    tree->SetCheckType(node, ctCheckBox);
    nodes.push_back(node);
    model.parent.push_back(parent);
    model.level.push_back(parent < 0 ? 0 : 1);
    model.hasChildren.push_back(hasChildren);
    model.expanded.push_back(false);
    model.checked.push_back(false);
  }
  int Index(PVirtualNode node) { return node == nullptr ? -1 : tree->order[node]; }

  // The first difference between tree and model, or "".
  std::string Compare() {
    if (Index(tree->FocusedNode()) != model.focus)
      return "focus " + std::to_string(Index(tree->FocusedNode())) + " model " + std::to_string(model.focus);
    for (size_t i = 0; i < nodes.size(); ++i) {
      PVirtualNode node = nodes[i];
      if (tree->GetSelected(node) != (model.selected.count(static_cast<int>(i)) > 0))
        return "selection of " + std::to_string(i);
      if ((tree->GetCheckState(node) == csCheckedNormal) != model.checked[i]) return "check of " + std::to_string(i);
      if (model.hasChildren[i] && tree->GetExpanded(node) != model.expanded[i]) return "expansion of " + std::to_string(i);
    }
    if (tree->SelectedCount() != model.selected.size()) return "selected count";
    return "";
  }

  // A shown node fully inside the client area, and its client y (row middle).
  bool PickRow(std::mt19937& random, int& node, int& y) {
    std::vector<int> shown = model.Shown();
    int height = tree->ClientHeight();
    std::vector<int> candidates;
    for (int k = 0; k < static_cast<int>(shown.size()); ++k) {
      int top = k * 18 + tree->OffsetY();
      if (top >= 0 && top + 18 <= height) candidates.push_back(k);
      if (top > height) break;
    }
    if (candidates.empty()) return false;
    int k = candidates[random() % candidates.size()];
    node = shown[k];
    y = k * 18 + tree->OffsetY() + 9;
    return true;
  }
  int LabelLeft(int node) { return (model.level[node] + 1) * 18 + 4 + checkWidth + 2; }

  TForm* form = nullptr;
  TModelTree* tree = nullptr;
  std::unique_ptr<TInputDriver> input;
  std::vector<PVirtualNode> nodes;
  Model model;
  int checkWidth = 0;
  UINT oldDoubleClickTime = 500;
};

}  // namespace

TEST_F(ScriptedInputTest, RandomInputAgainstAModel) {
  std::mt19937 random(20261207);
  int steps = StepCount();
  std::map<std::string, int> counts;
  // Start with a click on the first node's label.
  input->Click(LabelLeft(0) + 10, 9);
  model.focus = model.anchor = 0;
  model.Only(0);
  ASSERT_EQ(Compare(), "");
  for (int step = 0; step < steps; ++step) {
    ASSERT_EQ(tree->OffsetX(), 0);
    std::vector<int> shown = model.Shown();
    int focusAt = Model::IndexIn(shown, model.focus);
    ASSERT_GE(focusAt, 0) << "the focused node is always shown here";
    int node = 0, y = 0;
    std::string action;
    int choice = random() % 20;
    if (choice < 8 && !PickRow(random, node, y)) choice = 8;
    switch (choice) {
      case 0:
      case 1: {  // plain click on a label
        action = "click";
        input->Click(LabelLeft(node) + 5 + random() % 50, y);
        model.Only(node);
        model.focus = model.anchor = node;
        break;
      }
      case 2: {  // Ctrl+click on a label toggles it
        action = "ctrl-click";
        input->Click(LabelLeft(node) + 5 + random() % 50, y, {VK_CONTROL});
        model.focus = model.anchor = node;
        model.Toggle(node);
        break;
      }
      case 3: {  // Shift+click selects the range from the anchor
        if (Model::IndexIn(shown, model.anchor) < 0) continue;
        action = "shift-click";
        input->Click(LabelLeft(node) + 5 + random() % 50, y, {VK_SHIFT});
        if (model.selected.empty()) model.anchor = node;
        int a = Model::IndexIn(shown, model.anchor), b = Model::IndexIn(shown, node);
        if (a > b) std::swap(a, b);
        model.selected.clear();
        for (int k = a; k <= b; ++k) model.selected.insert(shown[k]);
        model.focus = node;
        break;
      }
      case 4: {  // the expand button (never collapsing the focused node's parent)
        if (!model.hasChildren[node]) continue;
        if (model.expanded[node] && model.parent[model.focus] == node) continue;
        action = "button";
        input->Click(model.level[node] * 18 + 3 + random() % 12, y);
        model.expanded[node] = !model.expanded[node];
        break;
      }
      case 5: {  // the check box
        action = "checkbox";
        input->Click((model.level[node] + 1) * 18 + 2 + random() % (checkWidth + 2), y);
        model.checked[node] = !model.checked[node];
        break;
      }
      case 6: {  // beside the label: deselects all but a selected clicked node
        action = "beside";
        input->Click(LabelLeft(node) + kLabelWidth + 20 + random() % 100, y);
        if (model.selected.count(node)) model.Only(node); else model.selected.clear();
        model.anchor = model.focus;
        break;
      }
      case 7: {  // a rubber band from beside the labels, plain or with Ctrl
        int node2 = 0, y2 = 0;
        if (!PickRow(random, node2, y2) || node2 == node) continue;
        bool ctrl = random() % 2;
        action = ctrl ? "ctrl-band" : "band";
        int x0 = 260 + random() % 40;
        if (ctrl)
          input->Drag(x0, y, 60, y2, {VK_CONTROL});
        else
          input->Drag(x0, y, 60, y2);
        int a = Model::IndexIn(shown, node), b = Model::IndexIn(shown, node2);
        if (a > b) std::swap(a, b);
        if (!ctrl) {
          if (model.selected.count(node)) model.Only(node); else model.selected.clear();
          model.anchor = model.focus;
          for (int k = a; k <= b; ++k) model.selected.insert(shown[k]);
        } else {
          for (int k = a; k <= b; ++k) model.Toggle(shown[k]);
        }
        break;
      }
      case 8:
      case 9:
      case 10:
      case 11: {  // arrows, plain or with Shift
        bool down = random() % 2;
        bool shift = random() % 3 == 0;
        action = std::string(shift ? "shift-" : "") + (down ? "down" : "up");
        input->Key(down ? VK_DOWN : VK_UP, shift ? std::initializer_list<WORD>{VK_SHIFT} : std::initializer_list<WORD>{});
        int target = focusAt + (down ? 1 : -1);
        if (target < 0 || target >= static_cast<int>(shown.size())) {
          if (!shift) model.AfterPlainKey(model.focus);
          break;
        }
        int last = model.focus;
        if (shift) {
          if (down ? last < model.anchor : last > model.anchor) model.selected.erase(last);
          model.MoveFocusExtending(shown[target]);
          model.selected.insert(model.focus);
        } else {
          model.focus = shown[target];
          model.AfterPlainKey(last);
        }
        break;
      }
      case 12: {  // pages, Home and End, plain or with Shift (a range from the anchor)
        static const WORD keys[] = {VK_NEXT, VK_PRIOR, VK_HOME, VK_END};
        WORD key = keys[random() % 4];
        bool shift = random() % 3 == 0;
        action = "page " + std::to_string(key) + (shift ? " shift" : "");
        input->Key(key, shift ? std::initializer_list<WORD>{VK_SHIFT} : std::initializer_list<WORD>{});
        int target = focusAt;
        if (key == VK_HOME) target = 0;
        if (key == VK_END) target = static_cast<int>(shown.size()) - 1;
        if (key == VK_NEXT || key == VK_PRIOR) {
          int height = 0, client = tree->ClientHeight();
          for (;;) {
            int next = target + (key == VK_NEXT ? 1 : -1);
            if (next < 0 || next >= static_cast<int>(shown.size()) || height + 18 >= client) break;
            target = next;
            height += 18;
          }
        }
        int last = model.focus;
        if (shift) {
          model.MoveFocusExtending(shown[target]);
          model.ToggleRange(shown, last, model.focus);
          if (model.focus != last) model.selected.insert(model.focus);
        } else {
          model.focus = shown[target];
          model.AfterPlainKey(last);
        }
        break;
      }
      case 13: {  // Left and Right
        bool right = random() % 2;
        action = right ? "right" : "left";
        input->Key(right ? VK_RIGHT : VK_LEFT);
        int f = model.focus;
        int last = f;
        if (right) {
          if (model.hasChildren[f] && !model.expanded[f])
            model.expanded[f] = true;
          else if (model.hasChildren[f])
            model.focus = f + 1;
        } else {
          if (model.hasChildren[f] && model.expanded[f])
            model.expanded[f] = false;
          else if (model.parent[f] >= 0)
            model.focus = model.parent[f];
        }
        model.AfterPlainKey(last);
        break;
      }
      case 14: {  // + and - on nodes with children (the pad's keys or the main keyboard's)
        if (!model.hasChildren[model.focus]) continue;
        bool expand = random() % 2;
        bool pad = random() % 2;
        action = expand ? "plus" : "minus";
        if (expand)
          input->Key(pad ? VK_ADD : VK_OEM_PLUS, pad ? std::initializer_list<WORD>{} : std::initializer_list<WORD>{VK_SHIFT});
        else
          input->Key(pad ? VK_SUBTRACT : VK_OEM_MINUS);
        model.expanded[model.focus] = expand;
        break;
      }
      case 15:
      case 16: {  // Space checks the focused node
        action = "space";
        input->Key(VK_SPACE);
        model.checked[model.focus] = !model.checked[model.focus];
        break;
      }
      case 17: {  // Ctrl+A selects every shown node
        action = "ctrl-a";
        input->Key('A', {VK_CONTROL});
        model.selected.insert(shown.begin(), shown.end());
        break;
      }
      default: {  // a typed letter: the next shown node with that initial after the focused one
        char16_t letter = static_cast<char16_t>(u'a' + random() % 8);
        action = "type";
        input->Type(std::u16string(1, letter));
        ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->SearchBuffer().empty(); }, 3000));
        for (size_t k = 1; k < shown.size(); ++k) {
          int candidate = shown[(focusAt + k) % shown.size()];
          if (tree->initials[candidate] == letter) {
            model.focus = model.anchor = candidate;
            model.Only(candidate);
            break;
          }
        }
        break;
      }
    }
    ++counts[action];
    std::string difference = Compare();
    ASSERT_EQ(difference, "") << "step " << step << " after " << action;
  }
  std::string summary;
  for (auto& [name, count] : counts) summary += name + "=" + std::to_string(count) + " ";
  std::printf("%d steps: %s\n", steps, summary.c_str());
}
