// Change notifications with and without a delay, window creation parameters,
// the reading direction, editing rules, removed image lists and the tree's
// own clipboard format.
#include <gtest/gtest.h>

#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

class TExposedTree : public TVirtualDrawTree {
public:
  using TBaseVirtualTree::CanEdit;
  using TBaseVirtualTree::MarkCutCopyNodes;
};

struct WindowSetupTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 400, 300);
    tree = New<TExposedTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetNodeDataSize(0);
    form->Show();
  }
  void TearDown() override { form->Free(); }
  TForm* form = nullptr;
  TExposedTree* tree = nullptr;
};

struct TLog {
  std::vector<PVirtualNode> changes;
  std::vector<std::pair<PVirtualNode, TChangeReason>> structure;
};
TLog gLog;

}  // namespace

TEST_F(WindowSetupTest, ChangesAreReportedAtOnceOrOnceAfterTheDelay) {
  gLog = TLog();
  tree->OnChange = [](TBaseVirtualTree*, PVirtualNode node) { gLog.changes.push_back(node); };
  tree->SetRootNodeCount(5);
  PVirtualNode a = tree->GetFirst(), b = tree->GetNext(a);
  tree->AddToSelection(a);
  EXPECT_EQ(gLog.changes.size(), 1u);
  tree->SetChangeDelay(30);
  gLog.changes.clear();
  tree->AddToSelection(b);
  tree->ClearSelection();
  tree->AddToSelection(a);
  EXPECT_TRUE(gLog.changes.empty());
  ASSERT_TRUE(qvtest::PumpUntil([] { return !gLog.changes.empty(); }, 2000));
  qvtest::Pump(60);
  ASSERT_EQ(gLog.changes.size(), 1u);
  EXPECT_EQ(gLog.changes[0], a);  // the burst is reported once, for the last node
}

TEST_F(WindowSetupTest, StructureChangesAccumulate) {
  gLog = TLog();
  tree->OnStructureChange = [](TBaseVirtualTree*, PVirtualNode node, TChangeReason reason) {
    gLog.structure.emplace_back(node, reason);
  };
  tree->SetChangeDelay(30);
  PVirtualNode parent = tree->AddChild(nullptr);
  tree->AddChild(parent);
  tree->DeleteNode(tree->GetFirstChild(parent));
  ASSERT_TRUE(qvtest::PumpUntil([] { return !gLog.structure.empty(); }, 2000));
  qvtest::Pump(60);
  ASSERT_EQ(gLog.structure.size(), 1u);
  EXPECT_EQ(gLog.structure[0].second, crAccumulated);
}

TEST_F(WindowSetupTest, CreationParametersFollowTheOptions) {
  LONG style = GetWindowLongW(tree->Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_CLIPCHILDREN);
  EXPECT_TRUE(GetWindowLongW(tree->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(style & WS_BORDER);
  tree->SetBiDiMode(bdRightToLeft);
  EXPECT_TRUE(GetWindowLongW(tree->Handle(), GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR);
  tree->SetBiDiMode(bdLeftToRight);
  EXPECT_FALSE(GetWindowLongW(tree->Handle(), GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR);
  tree->SetBorderStyle(bsNone);
  EXPECT_FALSE(GetWindowLongW(tree->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

TEST_F(WindowSetupTest, EditingNeedsAnEditableEnabledWritableTree) {
  PVirtualNode node = tree->AddChild(nullptr);
  EXPECT_FALSE(tree->CanEdit(node, NoColumn));
  TVTMiscOptions misc = tree->OptionValues().misc;
  tree->TreeOptions()->SetMiscOptions(misc.Include(toEditable));
  EXPECT_TRUE(tree->CanEdit(node, NoColumn));
  tree->TreeOptions()->SetMiscOptions(misc.Include(toEditable).Include(toReadOnly));
  EXPECT_FALSE(tree->CanEdit(node, NoColumn));
  tree->TreeOptions()->SetMiscOptions(misc.Include(toEditable).Exclude(toReadOnly));
  tree->SetEnabled(false);
  EXPECT_FALSE(tree->CanEdit(node, NoColumn));
}

TEST_F(WindowSetupTest, RemovedImageListsAreForgotten) {
  TImageList* images = New<TImageList>(form);
  tree->SetImages(images);
  tree->SetStateImages(images);
  images->Free();
  EXPECT_EQ(tree->Images(), nullptr);
  EXPECT_EQ(tree->StateImages(), nullptr);
  tree->Repaint();
}

TEST_F(WindowSetupTest, OwnClipboardFormatRendersTheSelectionOrTheCutSet) {
  TVTSelectionOptions selection = tree->OptionValues().selection;
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  tree->SetRootNodeCount(4);
  FORMATETC format{CF_VIRTUALTREE, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  EXPECT_EQ(tree->RenderOLEData(format, medium, false), E_FAIL);  // nothing selected
  PVirtualNode first = tree->GetFirst(), last = tree->GetLast();
  tree->AddToSelection(first);
  tree->AddToSelection(last);
  ASSERT_EQ(tree->RenderOLEData(format, medium, false), S_OK);
  ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
  auto* bytes = static_cast<uint8_t*>(GlobalLock(medium.hGlobal));
  uint32_t length = 0;
  memcpy(&length, bytes, 4);
  EXPECT_EQ(length + 4, GlobalSize(medium.hGlobal));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  // The clipboard renders the cut/copy set: disabled nodes are never marked.
  tree->SetDisabled(last, true);
  tree->MarkCutCopyNodes();
  tree->DoStateChange({tsCopyPending});
  EXPECT_TRUE(first->States & vsCutOrCopy);
  EXPECT_FALSE(last->States & vsCutOrCopy);
  format.tymed = TYMED_ISTREAM;
  ASSERT_EQ(tree->RenderOLEData(format, medium, true), S_OK);
  ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_ISTREAM));
  STATSTG stat{};
  medium.pstm->Stat(&stat, STATFLAG_NONAME);
  EXPECT_GT(stat.cbSize.QuadPart, 0u);
  EXPECT_LT(stat.cbSize.QuadPart, length);
  ReleaseStgMedium(&medium);
  TFormatEtcArray formats;
  tree->SetClipboardFormats({"Virtual Tree Data", "CSV"});
  tree->GetNativeClipboardFormats(formats);
  EXPECT_EQ(formats.size(), 1u);  // CSV is the string tree's
  ASSERT_FALSE(formats.empty());
  EXPECT_EQ(formats[0].cfFormat, CF_VIRTUALTREE);
}

// Scaling the form scales the tree inside it; with toAutoChangeScale the
// default node height and the header's font follow the same ratio, existing
// nodes keep their heights and new ones take the scaled default.
TEST_F(WindowSetupTest, ScalingTheFormScalesTheTreeAndWithAutoChangeScaleItsRowsAndHeader) {
  const std::pair<int, int> ratios[] = {{3, 2}, {2, 3}, {5, 4}, {1, 1}, {4, 5}};
  for (bool automatic : {true, false}) {
    TCustomVirtualTreeOptions* options = tree->TreeOptions();
    options->SetAutoOptions(automatic ? options->AutoOptions().Include(toAutoChangeScale)
                                      : options->AutoOptions().Exclude(toAutoChangeScale));
    tree->Clear();
    tree->SetDefaultNodeHeight(18);
    tree->SetBounds(0, 0, 300, 200);
    tree->Header()->Font()->SetSize(8);
    tree->Font()->SetSize(10);
    tree->SetRootNodeCount(1);
    for (auto [m, d] : ratios) {
      SCOPED_TRACE(std::to_string(m) + "/" + std::to_string(d) + (automatic ? " automatic" : ""));
      int height = int(tree->DefaultNodeHeight()), width = tree->Width(), treeFont = tree->Font()->Size();
      int headerFont = tree->Header()->Font()->Size();
      uint32_t oldRows = tree->GetRootNodeCount();
      std::vector<uint32_t> heights;
      for (PVirtualNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) heights.push_back(n->NodeHeight);
      form->ScaleBy(m, d);
      EXPECT_EQ(tree->Width(), MulDiv(width, m, d));
      EXPECT_EQ(tree->Font()->Size(), MulDiv(treeFont, m, d));
      int expectedHeight = automatic ? MulDiv(height, m, d) : height;
      EXPECT_EQ(int(tree->DefaultNodeHeight()), expectedHeight);
      EXPECT_EQ(tree->Header()->Font()->Size(), automatic ? MulDiv(headerFont, m, d) : headerFont);
      tree->SetRootNodeCount(oldRows + 1);
      PVirtualNode n = tree->GetFirst();
      for (uint32_t h : heights) {
        EXPECT_EQ(n->NodeHeight, h) << "an existing node keeps its height";
        n = tree->GetNextSibling(n);
      }
      ASSERT_NE(tree->GetLast(), nullptr);
      EXPECT_EQ(int(tree->GetLast()->NodeHeight), expectedHeight);
    }
  }
}
