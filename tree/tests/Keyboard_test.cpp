// The tree's keyboard through real input: navigation tables left-to-right and
// right-to-left, keyboard ranges, check boxes by the space bar, the main
// keyboard's + and -, incremental search of non-Latin names, the wheel.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "InputDriver.h"
#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// A draw tree whose nodes carry names (the incremental search compares prefixes).
class TNamedTree : public TVirtualDrawTree {
public:
  std::map<PVirtualNode, std::u16string> names;
  int DoIncrementalSearch(PVirtualNode node, const std::u16string& text) override {
    ++searchCalls;
    const std::u16string& name = names[node];
    return name.compare(0, text.size(), text) == 0 ? 0 : 1;
  }
  int searchCalls = 0;
  using TBaseVirtualTree::HandleIncrementalSearch;
};

struct KeyboardTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 420, 320);
    tree = New<TNamedTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetNodeDataSize(0);
    form->Show();
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    input = std::make_unique<TInputDriver>(tree);
    qvtest::Pump(20);
  }
  void TearDown() override {
    input.reset();
    form->Free();
  }
  // Top-level nodes named A, B, C... with children A0, A1...
  void Build(int top, int children) {
    tree->SetRootNodeCount(top);
    int i = 0;
    for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNextSibling(run), ++i) {
      std::u16string name(1, static_cast<char16_t>(u'A' + i));
      tree->names[run] = name;
      tree->SetChildCount(run, children);
      int j = 0;
      for (PVirtualNode child = tree->GetFirstChild(run); child != nullptr; child = tree->GetNextSibling(child), ++j)
        tree->names[child] = name + static_cast<char16_t>(u'0' + j);
    }
  }
  std::string Name(PVirtualNode node) {
    if (node == nullptr) return "-";
    std::string result;
    for (char16_t c : tree->names[node]) result += static_cast<char>(c);
    return result;
  }
  std::string Expanded() {
    std::string result;
    for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNext(run))
      if (tree->GetExpanded(run)) result += Name(run);
    return result;
  }
  std::string Selected() {
    std::string result;
    for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNext(run))
      if (tree->GetSelected(run)) result += Name(run);
    return result;
  }
  PVirtualNode Named(const std::string& name) {
    for (auto& [node, text] : tree->names)
      if (Name(node) == name) return node;
    return nullptr;
  }
  void SetMultiSelect() {
    TCustomVirtualTreeOptions* o = tree->TreeOptions();
    TVTSelectionOptions selection = o->SelectionOptions();
    selection.Include(toMultiSelect);
    o->SetSelectionOptions(selection);
  }

  TForm* form = nullptr;
  TNamedTree* tree = nullptr;
  std::unique_ptr<TInputDriver> input;
};

struct NavigationRow {
  WORD key;
  bool shift;
  const char* focus;
  const char* expanded;
};

// The table is written for left-to-right; a right-to-left tree gets the
// arrows mirrored and must end in the same states.
void RunNavigationTable(KeyboardTest& t, bool rightToLeft) {
  static const NavigationRow rows[] = {
      {VK_RIGHT, false, "A", "A"},      // a collapsed node with children expands
      {VK_RIGHT, false, "A0", "A"},     // an expanded one goes to its first child
      {VK_RIGHT, false, "A0", "A"},     // a leaf stays
      {VK_LEFT, false, "A", "A"},       // a leaf goes to its parent
      {VK_LEFT, false, "A", ""},        // an expanded node collapses
      {VK_LEFT, false, "A", ""},        // a top-level node stays
      {VK_DOWN, false, "B", ""},
      {VK_END, false, "C", ""},
      {VK_UP, false, "B", ""},
      {VK_HOME, false, "A", ""},
      {VK_UP, false, "A", ""},          // the first node keeps the focus
      {VK_ADD, false, "A", "A"},
      {VK_DOWN, false, "A0", "A"},
      {VK_BACK, false, "A", "A"},       // Backspace goes to the parent
      {VK_SUBTRACT, false, "A", ""},
      {VK_MULTIPLY, false, "A", "A"},
      {VK_NEXT, false, "C", "A"},       // all rows fit: Page Down ends at the last node
      {VK_PRIOR, false, "A", "A"},
      {VK_DIVIDE, false, "A", ""},
  };
  t.tree->SetBiDiMode(rightToLeft ? bdRightToLeft : bdLeftToRight);
  t.tree->SetFocusedNode(t.Named("A"));
  t.tree->AddToSelection(t.Named("A"));
  int line = 0;
  for (const NavigationRow& row : rows) {
    WORD key = row.key;
    if (rightToLeft && key == VK_LEFT) key = VK_RIGHT;
    else if (rightToLeft && key == VK_RIGHT) key = VK_LEFT;
    if (row.shift)
      t.input->Key(key, {VK_SHIFT});
    else
      t.input->Key(key);
    EXPECT_EQ(t.Name(t.tree->FocusedNode()), row.focus) << "row " << line << (rightToLeft ? " RTL" : " LTR");
    EXPECT_EQ(t.Expanded(), row.expanded) << "row " << line << (rightToLeft ? " RTL" : " LTR");
    EXPECT_EQ(t.Selected(), row.focus) << "row " << line;
    ++line;
  }
}

}  // namespace

TEST_F(KeyboardTest, NavigationTableLeftToRight) {
  Build(3, 2);
  RunNavigationTable(*this, false);
}

TEST_F(KeyboardTest, NavigationTableRightToLeft) {
  Build(3, 2);
  RunNavigationTable(*this, true);
}

TEST_F(KeyboardTest, ShiftRangesFromTheAnchor) {
  SetMultiSelect();
  Build(10, 0);
  input->Key(VK_DOWN);  // no focus yet: the first node
  input->Key(VK_DOWN);
  EXPECT_EQ(Selected(), "B");
  input->Key(VK_DOWN, {VK_SHIFT});
  input->Key(VK_DOWN, {VK_SHIFT});
  EXPECT_EQ(Selected(), "BCD");
  input->Key(VK_UP, {VK_SHIFT});
  EXPECT_EQ(Selected(), "BC");
  input->Key(VK_UP, {VK_SHIFT});
  input->Key(VK_UP, {VK_SHIFT});
  EXPECT_EQ(Selected(), "AB");
  input->Key(VK_END, {VK_SHIFT});
  EXPECT_EQ(Selected(), "BCDEFGHIJ");
  EXPECT_EQ(Name(tree->FocusedNode()), "J");
  input->Key(VK_HOME);
  EXPECT_EQ(Selected(), "A");
  input->Key('A', {VK_CONTROL});
  EXPECT_EQ(Selected(), "ABCDEFGHIJ");
  input->Key(VK_DOWN);
  EXPECT_EQ(Selected(), "B");
}

TEST_F(KeyboardTest, SpaceChecksOnReleaseAndAnArrowAbandonsIt) {
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  misc.Include(toCheckSupport);
  tree->TreeOptions()->SetMiscOptions(misc);
  Build(3, 0);
  for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNext(run))
    tree->SetCheckType(run, ctCheckBox);
  static int checked;
  checked = 0;
  tree->OnChecked = [](TBaseVirtualTree*, PVirtualNode) { ++checked; };
  input->Key(VK_DOWN);
  input->Key(VK_SPACE);
  EXPECT_EQ(tree->GetCheckState(Named("A")), csCheckedNormal);
  EXPECT_EQ(checked, 1);
  // Space held, then an arrow: no check, the box shows its normal state again.
  input->KeyDown(VK_SPACE);
  input->Sync();
  EXPECT_EQ(tree->GetCheckState(Named("A")), csCheckedPressed);
  input->Key(VK_DOWN);
  input->KeyUp(VK_SPACE);
  input->Sync();
  EXPECT_EQ(tree->GetCheckState(Named("A")), csCheckedNormal);
  EXPECT_EQ(tree->GetCheckState(Named("B")), csUncheckedNormal);
  EXPECT_EQ(checked, 1);
}

TEST_F(KeyboardTest, MainKeyboardPlusAndMinusExpandAndCollapse) {
  Build(2, 2);
  input->Key(VK_DOWN);
  input->Key(VK_OEM_PLUS, {VK_SHIFT});  // "+" on the main keyboard
  EXPECT_EQ(Expanded(), "A");
  input->Key(VK_OEM_MINUS);  // "-"
  EXPECT_EQ(Expanded(), "");
}

TEST_F(KeyboardTest, WheelPartsOfANotchAddUp) {
  tree->SetRootNodeCount(200);
  tree->UpdateScrollBars(true);
  ASSERT_EQ(tree->OffsetY(), 0);
  // A third of a notch scrolls nothing; three of them scroll as one notch.
  SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-40)), 0);
  EXPECT_EQ(tree->OffsetY(), 0);
  SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-40)), 0);
  SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-40)), 0);
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  EXPECT_EQ(tree->OffsetY(), -static_cast<int>(lines) * 18);
  SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  EXPECT_EQ(tree->OffsetY(), 0);
}

TEST_F(KeyboardTest, TypingNonLatinNamesFindsThem) {
  tree->SetIncrementalSearch(isAll);
  tree->SetIncrementalSearchTimeout(300);
  const std::u16string names[] = {u"Άλφα", u"Βήτα", u"Δέλτα", u"Δόξα", u"Ёлка", u"東京", u"Zeta"};
  tree->SetRootNodeCount(7);
  int i = 0;
  for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNextSibling(run)) tree->names[run] = names[i++];
  input->Type(u"Δό");
  EXPECT_EQ(tree->names[tree->FocusedNode()], u"Δόξα");
  EXPECT_EQ(tree->SearchBuffer(), u"Δό");
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->SearchBuffer().empty(); }, 3000));
  input->Type(u"東");
  EXPECT_EQ(tree->names[tree->FocusedNode()], u"東京");
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->SearchBuffer().empty(); }, 3000));
  input->Type(u"Ё");
  EXPECT_EQ(tree->names[tree->FocusedNode()], u"Ёлка");
  EXPECT_EQ(tree->SelectedCount(), 1u);
  EXPECT_TRUE(tree->GetSelected(tree->FocusedNode()));
}

TEST_F(KeyboardTest, SearchModesDirectionsAndRepeats) {
  tree->SetIncrementalSearch(isVisibleOnly);
  tree->SetIncrementalSearchTimeout(100000);
  const std::u16string names[] = {u"bar", u"baz", u"bb", u"cat", u"bob"};
  tree->SetRootNodeCount(5);
  int i = 0;
  for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNextSibling(run)) tree->names[run] = names[i++];
  auto focused = [&] { return tree->names[tree->FocusedNode()]; };
  tree->HandleIncrementalSearch(u'b');
  EXPECT_EQ(focused(), u"bar");
  // "b" again: "bar" does not start with "bb", so the next "b" node.
  tree->HandleIncrementalSearch(u'b');
  EXPECT_EQ(focused(), u"baz");
  tree->HandleIncrementalSearch(u'b');
  EXPECT_EQ(focused(), u"bb");
  tree->HandleIncrementalSearch(u'b');
  // "bb" matches "bb" itself: the search text grows instead of cycling.
  EXPECT_EQ(focused(), u"bb");
  EXPECT_EQ(tree->SearchBuffer(), u"bb");
  // A character nothing matches leaves focus and buffer alone.
  tree->HandleIncrementalSearch(u'x');
  EXPECT_EQ(focused(), u"bb");
  EXPECT_EQ(tree->SearchBuffer(), u"bb");
  // Backspace searches the shorter text backwards.
  tree->HandleIncrementalSearch(8);
  EXPECT_EQ(focused(), u"baz");
  EXPECT_EQ(tree->SearchBuffer(), u"b");
}

TEST_F(KeyboardTest, SearchEndsOverRefusingNodesAndForgetsADeletedHit) {
  tree->SetIncrementalSearch(isAll);
  tree->SetIncrementalSearchStart(ssLastHit);
  tree->SetIncrementalSearchTimeout(100000);
  tree->SetRootNodeCount(50);
  int i = 0;
  for (PVirtualNode run = tree->GetFirst(); run != nullptr; run = tree->GetNextSibling(run), ++i)
    tree->names[run] = i == 20 ? u"hit" : u"other";
  tree->HandleIncrementalSearch(u'h');
  PVirtualNode hit = tree->FocusedNode();
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(tree->LastSearchHit(), hit);
  tree->DeleteNode(hit);
  EXPECT_EQ(tree->LastSearchHit(), nullptr);
  // Nothing matches now: the walk visits each node once at most and stops.
  tree->searchCalls = 0;
  tree->HandleIncrementalSearch(u'i');
  EXPECT_LE(tree->searchCalls, 2 * 49 + 2);
  tree->SetIncrementalSearchStart(ssAlwaysStartOver);
  tree->searchCalls = 0;
  tree->HandleIncrementalSearch(u'q');
  EXPECT_LE(tree->searchCalls, 49 + 1);
}

namespace {

// Ctrl with + fits the header's columns to their texts; Ctrl with - gives them back.
TEST(KeyboardColumnFitTest, CtrlPlusFitsColumnsAndCtrlMinusRestoresThem) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(10, 10, 420, 320);
  auto* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 400, 200);
  TVTHeader* header = tree->Header();
  for (int i = 0; i < 3; ++i) header->Columns()->Add()->SetWidth(30);
  header->Columns()->Items(2)->SetOptions(header->Columns()->Items(2)->Options().Exclude(coResizable));
  header->SetOptions(header->Options().Include(hoVisible));
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType, std::u16string& text) {
    text = std::u16string(static_cast<size_t>(12 + 4 * column + node->Index), u'W');
  };
  tree->SetRootNodeCount(3);
  form->Show();
  SetForegroundWindow(form->Handle());
  tree->SetFocus();
  auto input = std::make_unique<TInputDriver>(tree);
  qvtest::Pump(20);

  int fitted[2] = {tree->GetMaxColumnWidth(0), tree->GetMaxColumnWidth(1)};
  ASSERT_GT(fitted[0], 30);
  ASSERT_GT(fitted[1], fitted[0]);
  input->Key(VK_ADD, {VK_CONTROL});
  input->Sync();
  EXPECT_EQ(header->Columns()->Items(0)->Width(), fitted[0]);
  EXPECT_EQ(header->Columns()->Items(1)->Width(), fitted[1]);
  EXPECT_EQ(header->Columns()->Items(2)->Width(), 30);  // not resizable
  EXPECT_EQ(tree->GetFirst()->States & vsExpanded, 0u);

  input->Key(VK_SUBTRACT, {VK_CONTROL});
  input->Sync();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(header->Columns()->Items(i)->Width(), 30) << i;

  // The main keyboard's - does the same.
  input->Key(VK_ADD, {VK_CONTROL});
  input->Key(VK_OEM_MINUS, {VK_CONTROL});
  input->Sync();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(header->Columns()->Items(i)->Width(), 30) << i;
  input.reset();
  form->Free();
}

}  // namespace
