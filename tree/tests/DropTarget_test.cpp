// The tree's drop-target side, called as its drag manager calls it: drop
// modes and the drop mark painted, auto-expand on timer 1, auto-scroll with
// the scroll flag, effects chosen by keys, refused drops, report mode.
#include <gtest/gtest.h>

#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// A drag manager that only answers the tree's questions.
class TFakeDragManager : public IVTDragManager {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the test's stack
  void ForceDragLeave() override {}
  IDataObject* GetDataObject() override { return nullptr; }
  TBaseVirtualTree* GetDragSource() override { return source; }
  bool GetDropTargetHelperSupported() override { return false; }
  bool GetIsDropTarget() override { return isDropTarget; }
  TBaseVirtualTree* source = nullptr;
  bool isDropTarget = true;
  ULONG references = 1;
};

struct DropTargetTest;
DropTargetTest* gTest = nullptr;  // events bind capture-less functions

struct DropTargetTest : ::testing::Test {
  void SetUp() override {
    gTest = this;
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 420, 320);
    tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->OnCreateDragManager = [](TBaseVirtualTree*, IVTDragManager*& result) {
      gTest->manager.AddRef();
      result = &gTest->manager;
    };
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
      text = u"node";
    };
    tree->OnDragOver = [](TBaseVirtualTree*, TObject*, TShiftState, TDragStateKind state, TPoint, TDropMode mode,
                          int&, bool& accept) {
      gTest->states.push_back(state);
      gTest->modes.push_back(mode);
      accept = gTest->acceptDrops;
    };
    tree->SetRootNodeCount(40);
    form->Show();
    tree->GetDragManager();
    qvtest::Pump(10);
  }
  void TearDown() override { form->Free(); }
  TPoint Screen(int x, int y) { return tree->ClientToScreen(TPoint{x, y}); }
  PVirtualNode Node(int i) {
    PVirtualNode run = tree->GetFirst();
    while (i-- > 0) run = run->NextSibling;
    return run;
  }
  TFakeDragManager manager;
  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
  std::vector<TDragStateKind> states;
  std::vector<TDropMode> modes;
  bool acceptDrops = true;
};

}  // namespace

TEST_F(DropTargetTest, EffectsBySourceAndKeys) {
  TVirtualStringTree* other = New<TVirtualStringTree>(form);
  const int all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  struct Case {
    TObject* source;
    TShiftState shift;
    int allowed, expected;
  } cases[] = {
      {tree, {}, all, DROPEFFECT_MOVE},
      {other, {}, all, DROPEFFECT_COPY},
      {nullptr, {}, all, DROPEFFECT_COPY},
      {tree, {ssCtrl}, all, DROPEFFECT_COPY},
      {other, {ssShift}, all, DROPEFFECT_MOVE},
      {other, {ssShift, ssCtrl}, all, DROPEFFECT_LINK},
      {tree, {ssAlt}, all, DROPEFFECT_LINK},
      {tree, {ssAlt, ssCtrl}, all, DROPEFFECT_COPY},                     // Ctrl without Shift, Alt or not
      {tree, {ssShift, ssCtrl}, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_MOVE},  // link not allowed
      {other, {ssShift}, DROPEFFECT_COPY, DROPEFFECT_COPY},              // move not allowed
      {tree, {}, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_COPY | DROPEFFECT_LINK},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tree->SuggestDropEffect(c.source, c.shift, TPoint{}, c.allowed), c.expected)
        << (c.source == tree) << " " << c.allowed;

  // The keys reach the tree as the OLE key state.
  int effect = all;
  manager.source = tree;
  tree->DragEnter(MK_LBUTTON, Screen(30, 5), effect);
  EXPECT_EQ(effect, DROPEFFECT_MOVE);
  effect = all;
  tree->DragOver(tree, MK_LBUTTON | MK_CONTROL, dsDragMove, Screen(30, 5), effect);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  effect = all;
  tree->DragOver(tree, MK_LBUTTON | MK_CONTROL | MK_SHIFT, dsDragMove, Screen(30, 5), effect);
  EXPECT_EQ(effect, DROPEFFECT_LINK);
  tree->DragLeave();
}

TEST_F(DropTargetTest, DropModesAndTheDropMark) {
  TVTPaintOptions paint = tree->TreeOptions()->PaintOptions();
  tree->TreeOptions()->SetPaintOptions(paint.Include(toShowDropmark));
  tree->Colors()->SetDropMarkColor(static_cast<TColor>(0x0000FF));  // red
  TRect row = tree->GetDisplayRect(Node(3), NoColumn, false);
  TRect label = tree->GetDisplayRect(Node(3), NoColumn, true);
  int effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, Screen(label.Left + 3, row.Top + 2), effect);
  EXPECT_EQ(tree->DropTargetNode(), Node(3));

  // Left of the label: above or below by the row's half.
  effect = DROPEFFECT_COPY;
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(2, row.Top + 2), effect);
  EXPECT_EQ(modes.back(), dmAbove);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  qvtest::Pump(20);  // the window's surface reaches the screen
  EXPECT_EQ(qvtest::PixelAt(tree->Handle(), row.Right / 2, row.Top + 1), 0xFF0000u);
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(2, row.Bottom - 2), effect);
  EXPECT_EQ(modes.back(), dmBelow);
  qvtest::Pump(20);
  EXPECT_EQ(qvtest::PixelAt(tree->Handle(), row.Right / 2, row.Bottom - 2), 0xFF0000u);
  EXPECT_NE(qvtest::PixelAt(tree->Handle(), row.Right / 2, row.Top + 1), 0xFF0000u);
  // On the label: onto the node.
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(label.Left + 3, row.Bottom - 2), effect);
  EXPECT_EQ(modes.back(), dmOnNode);
  // Below the last node: nowhere.
  tree->SetRootNodeCount(2);
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(20, 150), effect);
  EXPECT_EQ(modes.back(), dmNowhere);
  EXPECT_EQ(tree->DropTargetNode(), nullptr);

  tree->DragLeave();
  EXPECT_EQ(states.back(), dsDragLeave);
  EXPECT_EQ(tree->DropTargetNode(), nullptr);
}

TEST_F(DropTargetTest, AHoveredNodeWithChildrenExpandsAfterTheDelay) {
  tree->SetChildCount(Node(1), 3);
  tree->SetChildCount(Node(2), 3);
  tree->SetAutoExpandDelay(40);
  TRect row1 = tree->GetDisplayRect(Node(1), NoColumn, true);
  int effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, Screen(row1.Left + 2, row1.Top + 2), effect);
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(row1.Left + 2, row1.Top + 2), effect);
  qvtest::Pump(120);
  EXPECT_FALSE(tree->GetExpanded(Node(1)));  // only with toAutoDropExpand

  TVTAutoOptions autoOptions = tree->TreeOptions()->AutoOptions();
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoDropExpand));
  TRect row2 = tree->GetDisplayRect(Node(2), NoColumn, true);
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(row2.Left + 2, row2.Top + 2), effect);
  // Moving on before the delay ends stops the timer.
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(row1.Left + 2, row1.Top + 2), effect);
  qvtest::PumpUntil([&] { return tree->GetExpanded(Node(1)); }, 1000);
  EXPECT_TRUE(tree->GetExpanded(Node(1)));
  EXPECT_FALSE(tree->GetExpanded(Node(2)));
  tree->DragLeave();
}

TEST_F(DropTargetTest, TheTreeScrollsNearItsEdgesAndSaysSo) {
  TVTAutoOptions autoOptions = tree->TreeOptions()->AutoOptions();
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoScroll));
  tree->SetAutoScrollDelay(0);
  int effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, Screen(50, tree->ClientHeight() - 3), effect);
  effect = DROPEFFECT_COPY;
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(50, tree->ClientHeight() - 3), effect);
  EXPECT_EQ(tree->OffsetY(), -20);
  EXPECT_EQ(static_cast<DWORD>(effect), DROPEFFECT_COPY | DROPEFFECT_SCROLL);
  effect = DROPEFFECT_COPY;
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(50, 3), effect);
  EXPECT_EQ(tree->OffsetY(), 0);
  effect = DROPEFFECT_COPY;
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(50, 3), effect);  // at the top already
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  // Not the drop target (another window took the drag): no scrolling.
  manager.isDropTarget = false;
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(50, tree->ClientHeight() - 3), effect);
  EXPECT_EQ(tree->OffsetY(), 0);
  tree->DragLeave();
}

TEST_F(DropTargetTest, RefusedAndAcceptedDrops) {
  static int drops;
  static TDropMode dropMode;
  static TShiftState dropShift;
  drops = 0;
  dropMode = dmNowhere;
  tree->OnDragDrop = [](TBaseVirtualTree*, TObject*, IDataObject*, const TFormatArray&, TShiftState shift, TPoint,
                        int&, TDropMode mode) {
    ++drops;
    dropMode = mode;
    dropShift = shift;
  };
  IDataObject* data = nullptr;
  ASSERT_EQ(CreateDataCache(nullptr, CLSID_NULL, IID_IDataObject, reinterpret_cast<void**>(&data)), S_OK);
  TRect label = tree->GetDisplayRect(Node(0), NoColumn, true);
  TPoint at = Screen(label.Left + 2, label.Top + 2);

  acceptDrops = false;
  int effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, at, effect);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(tree->DragDrop(data, 0, at, effect), E_FAIL);
  EXPECT_EQ(drops, 0);

  acceptDrops = true;
  effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, at, effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(tree->DragDrop(data, 0, at, effect), S_OK);
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  EXPECT_EQ(dropMode, dmOnNode);
  EXPECT_TRUE(dropShift.Contains(ssLeft));  // the button held when the drag entered
  EXPECT_EQ(tree->DropTargetNode(), nullptr);

  // A handler that throws (a bad foreign stream) leaves no node marked.
  tree->OnDragDrop = [](TBaseVirtualTree*, TObject*, IDataObject*, const TFormatArray&, TShiftState, TPoint, int&,
                        TDropMode) { throw EVirtualTreeError("bad stream"); };
  effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, at, effect);
  effect = DROPEFFECT_COPY;
  EXPECT_THROW(tree->DragDrop(data, 0, at, effect), EVirtualTreeError);
  EXPECT_EQ(tree->DropTargetNode(), nullptr);
  data->Release();
}

TEST_F(DropTargetTest, InReportModeOnlyTheMainColumnsLabelIsANode) {
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toReportMode));
  TRect label = tree->GetDisplayRect(Node(2), NoColumn, true);
  int effect = DROPEFFECT_COPY;
  tree->DragEnter(MK_LBUTTON, Screen(label.Left + 2, label.Top + 2), effect);
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(label.Left + 2, label.Top + 2), effect);
  EXPECT_EQ(tree->DropTargetNode(), Node(2));
  tree->DragOver(nullptr, MK_LBUTTON, dsDragMove, Screen(label.Right + 40, label.Top + 2), effect);
  EXPECT_EQ(tree->DropTargetNode(), nullptr);
  EXPECT_EQ(modes.back(), dmNowhere);
  tree->DragLeave();
}
