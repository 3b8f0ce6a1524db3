// The in-place editor of the string tree through real input: F2 and the slow
// second click start it, Enter keeps and Escape drops the text, line breaks
// never reach a single-line name, focus loss with and without auto-accept,
// bounds, and the edit control freed exactly once however editing ends.
#include <gtest/gtest.h>

#include <map>

#include "InputDriver.h"
#include "TreeTestSupport.h"
#include "tree/StringEditLink.h"
#include "tree/VirtualTrees.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/Harness.h"

namespace {

std::map<uint32_t, std::u16string> gNames;
std::u16string gNewText;
int gNewTexts = 0;
int gCancelled = 0;

struct EditorTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    gNames = {{0, u"alpha"}, {1, u"beta"}, {2, u"gamma"}};
    gNewText.clear();
    gNewTexts = gCancelled = 0;
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 420, 300);
    tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    other = New<TButton>(form);
    other->SetParent(form);
    other->SetBounds(310, 10, 80, 24);
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
      text = gNames[node->Index];
    };
    tree->OnNewText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::u16string& text) {
      gNames[node->Index] = text;
      gNewText = text;
      ++gNewTexts;
    };
    tree->OnEditCancelled = [](TBaseVirtualTree*, TColumnIndex) { ++gCancelled; };
    TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
    tree->TreeOptions()->SetMiscOptions(misc.Include(toEditable));
    tree->SetEditDelay(50);
    tree->SetNodeDataSize(0);
    tree->SetRootNodeCount(3);
    form->Show();
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    input = std::make_unique<TInputDriver>(tree);
    qvtest::Pump(20);
  }
  void TearDown() override {
    input.reset();
    if (form != nullptr) form->Free();
    qvtest::Pump(20);
    EXPECT_EQ(TVTEdit::LiveCount(), 0);
  }
  PVirtualNode Node(int i) {
    PVirtualNode run = tree->GetFirst();
    while (i-- > 0) run = tree->GetNextSibling(run);
    return run;
  }
  TVTEdit* Editor() {
    for (int i = 0; i < tree->ComponentCount(); ++i)
      if (auto* edit = dynamic_cast<TVTEdit*>(tree->Components(i)); edit != nullptr && edit->Visible()) return edit;
    return nullptr;
  }
  // Focuses node 1 and starts editing it with F2.
  TVTEdit* StartWithF2() {
    tree->SetFocusedNode(Node(1));
    input->Key(VK_F2);
    EXPECT_TRUE(tree->IsEditing());
    TVTEdit* edit = Editor();
    EXPECT_NE(edit, nullptr);
    return edit;
  }
  void PutOnClipboard(const std::u16string& text) {
    ASSERT_TRUE(OpenClipboard(form->Handle()));
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
    auto* chars = static_cast<char16_t*>(GlobalLock(data));
    std::copy(text.begin(), text.end(), chars);
    chars[text.size()] = 0;
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
  }

  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
  TButton* other = nullptr;
  std::unique_ptr<TInputDriver> input;
};

}  // namespace

TEST_F(EditorTest, F2TypeAndEnterRenames) {
  TVTEdit* edit = StartWithF2();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->WideText(), u"beta");
  EXPECT_EQ(GetFocus(), edit->Handle());
  input->Type(u"Δέλτα");
  input->Key(VK_RETURN);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNewTexts, 1);
  EXPECT_EQ(gNames[1], u"Δέλτα");
  EXPECT_EQ(GetFocus(), tree->Handle());
  ASSERT_TRUE(qvtest::PumpUntil([] { return TVTEdit::LiveCount() == 0; }, 2000));
}

TEST_F(EditorTest, EscapeKeepsTheOldName) {
  StartWithF2();
  input->Type(u"changed");
  input->Key(VK_ESCAPE);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNewTexts, 0);
  EXPECT_EQ(gCancelled, 1);
  EXPECT_EQ(gNames[1], u"beta");
  ASSERT_TRUE(qvtest::PumpUntil([] { return TVTEdit::LiveCount() == 0; }, 2000));
}

// Deleting the edited node (or its parent) ends the edit first, cancelled:
// typing then reaches no editor of a freed node.
TEST_F(EditorTest, DeletingTheEditedNodeCancelsTheEdit) {
  StartWithF2();
  input->Type(u"changed");
  tree->DeleteNode(Node(1));
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNewTexts, 0);
  EXPECT_EQ(gCancelled, 1);
  input->Type(u"more");
  ASSERT_TRUE(qvtest::PumpUntil([] { return TVTEdit::LiveCount() == 0; }, 2000));
  // A text handler that frees the tree while the editor is being made takes
  // the editor with it; the edit does not start.
  static TForm* freeing = nullptr;
  freeing = form;
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
    text = gNames[node->Index];
    if (freeing != nullptr && Application->Terminated() == false && TVTEdit::LiveCount() > 0)
      std::exchange(freeing, nullptr)->Free();
  };
  tree->SetFocusedNode(Node(0));
  tree->EditNode(Node(0), NoColumn);
  form = nullptr;
  qvtest::Pump(20);
  EXPECT_EQ(freeing, nullptr) << "the handler never ran while the editor was made";
  EXPECT_EQ(TVTEdit::LiveCount(), 0);
}

TEST_F(EditorTest, SlowSecondClickOnTheSelectedLabelEdits) {
  TRect text = tree->GetDisplayRect(Node(2), NoColumn, true);
  int x = text.Left + 5, y = (text.Top + text.Bottom) / 2;
  input->Click(x, y);
  EXPECT_EQ(tree->FocusedNode(), Node(2));
  EXPECT_FALSE(tree->IsEditing());
  qvtest::Pump(static_cast<int>(GetDoubleClickTime()) + 50);  // not a double click
  input->Click(x + 1, y);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->IsEditing(); }, 2000));
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->WideText(), u"gamma");
  input->Key(VK_ESCAPE);
}

TEST_F(EditorTest, LineBreaksNeverReachASingleLineName) {
  TVTEdit* edit = StartWithF2();
  ASSERT_NE(edit, nullptr);
  input->Key(VK_END);
  PutOnClipboard(u"one\r\ntwo\nthree");
  input->Key('V', {VK_CONTROL});
  SendMessageW(edit->Handle(), WM_CHAR, u'\n', 0);
  SendMessageW(edit->Handle(), WM_CHAR, u'\r', 0);
  EXPECT_EQ(edit->WideText(), u"betaonetwothree");
  input->Key(VK_RETURN, {VK_CONTROL});  // Ctrl+Enter ends a single-line edit as well
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"betaonetwothree");
}

TEST_F(EditorTest, FocusLossAcceptsOnlyWithAutoAccept) {
  StartWithF2();
  input->Type(u"kept");
  other->SetFocus();
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"kept");

  auto* options = static_cast<TCustomStringTreeOptions*>(tree->TreeOptions());
  TVTStringOptions stringOptions = options->StringOptions();
  options->SetStringOptions(stringOptions.Exclude(toAutoAcceptEditChange));
  tree->SetFocus();
  StartWithF2();
  input->Type(u"dropped");
  other->SetFocus();
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"kept");
  EXPECT_EQ(gCancelled, 1);
}

TEST_F(EditorTest, BoundsAtLeastThirtyWideAndInsideTheTree) {
  StartWithF2();
  TVTEdit* edit = Editor();
  ASSERT_NE(edit, nullptr);
  TEditLinkPtr link = std::make_shared<TStringEditLink>();
  auto* stringLink = static_cast<TStringEditLink*>(link.get());
  ASSERT_TRUE(stringLink->PrepareEdit(tree, Node(0), NoColumn));
  link->SetBounds(10, 0, 15, 18);
  int l, t, r, b;
  link->GetBounds(l, t, r, b);
  EXPECT_EQ(r - l, 30);
  link->SetBounds(250, 0, 900, 18);
  link->GetBounds(l, t, r, b);
  EXPECT_EQ(r, tree->ClientWidth());
  // The formatting rectangle: the client area inflated by the offset vertically
  // and narrowed by the text margin less the offset.
  EXPECT_EQ(EditFormattingRect(TRect{0, 0, 100, 16}, 4, /*themed=*/true, 0), (TRect{1, -3, 99, 19}));
  EXPECT_EQ(EditFormattingRect(TRect{0, 0, 100, 16}, 4, /*themed=*/false, 5), (TRect{2, 3, 98, 23}));
  // Cancelling ends the tree's edit too, once; then bounds are ignored.
  EXPECT_TRUE(link->CancelEdit());
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_FALSE(link->CancelEdit());
  link->SetBounds(0, 0, 100, 18);
  link->GetBounds(l, t, r, b);
  EXPECT_EQ(r, tree->ClientWidth());
  link.reset();
}

TEST_F(EditorTest, EnterBreaksTheLineOfAMultiLineNodeAndCtrlEnterEnds) {
  tree->SetMultiline(Node(1), true);
  StartWithF2();
  input->Type(u"one");
  input->Key(VK_RETURN);
  EXPECT_TRUE(tree->IsEditing()) << "Enter only breaks the line";
  input->Type(u"two");
  input->Key(VK_RETURN, {VK_CONTROL});
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"one\r\ntwo");
  // A single-line node ends with Enter.
  tree->SetMultiline(Node(1), false);
  StartWithF2();
  input->Type(u"three");
  input->Key(VK_RETURN);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"three");
}

TEST_F(EditorTest, AnEditorWindowDestroyedWhileEditingKeepsTheTextWithAutoAccept) {
  TVTEdit* edit = StartWithF2();
  input->Type(u"kept");
  DestroyWindow(edit->Handle());
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"kept");

  auto* options = static_cast<TCustomStringTreeOptions*>(tree->TreeOptions());
  options->SetStringOptions(options->StringOptions().Exclude(toAutoAcceptEditChange));
  tree->SetFocus();
  edit = StartWithF2();
  input->Type(u"dropped");
  DestroyWindow(edit->Handle());
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"kept");
}

TEST_F(EditorTest, RecreatingTheWindowKeepsTheTextWithAutoAcceptAndTheTreeMayGoWhileEditing) {
  StartWithF2();
  input->Type(u"typed");
  tree->RecreateWnd();
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNewTexts, 1);
  EXPECT_EQ(gNames[1], u"typed");
  // A new reading order recreates the window too.
  tree->SetFocus();
  StartWithF2();
  input->Type(u"mirrored");
  tree->SetBiDiMode(bdRightToLeft);
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNames[1], u"mirrored");
  tree->SetBiDiMode(bdLeftToRight);
  // Without auto-accept a recreation cancels.
  auto* options = static_cast<TCustomStringTreeOptions*>(tree->TreeOptions());
  options->SetStringOptions(options->StringOptions().Exclude(toAutoAcceptEditChange));
  tree->SetFocus();
  StartWithF2();
  input->Type(u"half");
  tree->RecreateWnd();
  qvtest::Pump(20);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(gNewTexts, 2);
  EXPECT_EQ(gNames[1], u"mirrored");
  // A tree freed in the middle of an edit takes its editor with it (TearDown counts).
  tree->SetFocus();
  StartWithF2();
  input->Type(u"gone");
  form->Free();
  form = nullptr;
  EXPECT_EQ(gNewTexts, 2);
}

// A row above the edited one grows while the position cache is in use: the
// editor moves down with its row (its place is not taken from a cache entry
// that the change made stale).
TEST_F(EditorTest, TheEditorFollowsItsRowWhenARowAboveGrows) {
  tree->SetRootNodeCount(6000);
  PVirtualNode edited = Node(4500);
  tree->SetTopNode(Node(4495));
  tree->SetFocusedNode(edited);
  ASSERT_TRUE(tree->EditNode(edited, NoColumn));
  TVTEdit* edit = Editor();
  ASSERT_NE(edit, nullptr);
  tree->ValidateCache();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->TreeStates().Contains(tsUseCache); }, 5000));
  int before = edit->Top();
  int rowBefore = tree->GetDisplayRect(edited, NoColumn, false).Top;
  tree->SetNodeHeight(Node(1), tree->DefaultNodeHeight() + 22);
  EXPECT_EQ(tree->GetDisplayRect(edited, NoColumn, false).Top, rowBefore + 22);
  EXPECT_EQ(edit->Top(), before + 22);
  tree->CancelEditNode();
}
