// Class-library drag and drop between two trees with real mouse input: the
// source enters its pending and dragging states and leaves them after the
// drop, the target sees enter, moves and the drop on the node under the mouse;
// Escape cancels without a drop.
#include <gtest/gtest.h>

#include "InputDriver.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

struct TDropRecord {
  int drops = 0;
  int enters = 0;
  int ends = 0;
  TObject* source = nullptr;
  PVirtualNode target = nullptr;
  TDropMode mode = dmNowhere;
  int effect = 0;
};
TDropRecord gRecord;

struct ControlDragTest : ::testing::Test {
  void SetUp() override {
    gRecord = TDropRecord();
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 440, 260);
    source = MakeTree(0);
    target = MakeTree(220);
    source->SetDragType(dtVCL);
    source->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
    source->OnEndDrag = [](TObject*, TObject*, int, int) { ++gRecord.ends; };
    target->OnDragOver = [](TBaseVirtualTree*, TObject*, TShiftState, TDragStateKind state, TPoint, TDropMode,
                            int&, bool& accept) {
      if (state == dsDragEnter) ++gRecord.enters;
      accept = true;
    };
    target->OnDragDrop = [](TBaseVirtualTree* sender, TObject* from, IDataObject* data, const TFormatArray& formats,
                            TShiftState, TPoint, int& effect, TDropMode mode) {
      ++gRecord.drops;
      gRecord.source = from;
      gRecord.target = sender->DropTargetNode();
      gRecord.mode = mode;
      gRecord.effect = effect;
      EXPECT_EQ(data, nullptr);
      EXPECT_TRUE(formats.empty());
    };
    form->Show();
    SetForegroundWindow(form->Handle());
    source->SetFocus();
    qvtest::Pump(20);
  }
  void TearDown() override { form->Free(); }
  TVirtualStringTree* MakeTree(int left) {
    auto* tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(left, 0, 200, 220);
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::u16string& text) {
      text = u"a node";
    };
    tree->SetRootNodeCount(5);
    return tree;
  }
  TForm* form = nullptr;
  TVirtualStringTree* source = nullptr;
  TVirtualStringTree* target = nullptr;
};

}  // namespace

TEST_F(ControlDragTest, DroppedOnTheNodeUnderTheMouse) {
  TInputDriver input(source);
  TRect from = source->GetDisplayRect(source->GetFirst(), NoColumn, true);
  PVirtualNode third = target->GetFirst()->NextSibling->NextSibling;
  TRect to = target->GetDisplayRect(third, NoColumn, true);
  // The target's label, in the source's client coordinates.
  TPoint drop = source->ScreenToClient(target->ClientToScreen(TPoint{to.Left + 3, to.Top + 3}));
  input.Drag(from.Left + 3, from.Top + 3, drop.X, drop.Y);
  EXPECT_EQ(gRecord.drops, 1);
  EXPECT_EQ(gRecord.enters, 1);
  EXPECT_EQ(gRecord.ends, 1);
  EXPECT_EQ(gRecord.source, source);
  EXPECT_EQ(gRecord.target, third);
  EXPECT_EQ(gRecord.mode, dmOnNode);
  EXPECT_EQ(gRecord.effect, DROPEFFECT_COPY);  // from another tree
  EXPECT_FALSE(source->Dragging());
  for (TVirtualTreeState state : {tsVCLDragPending, tsVCLDragging, tsLeftButtonDown}) {
    EXPECT_FALSE(source->TreeStates().Contains(state)) << state;
    EXPECT_FALSE(target->TreeStates().Contains(state)) << state;
  }
  EXPECT_EQ(target->DropTargetNode(), nullptr);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ControlDragTest, ReleasedBeforeTheThresholdOrOutsideDropsNothing) {
  TInputDriver input(source);
  TRect from = source->GetDisplayRect(source->GetFirst(), NoColumn, true);
  input.Drag(from.Left + 3, from.Top + 3, from.Left + 4, from.Top + 3);  // below the threshold
  EXPECT_EQ(gRecord.drops, 0);
  EXPECT_EQ(gRecord.ends, 1);
  EXPECT_FALSE(source->Dragging());
  // Dropped on the form, which takes no drags (from another node: no double click).
  TRect second = source->GetDisplayRect(source->GetFirst()->NextSibling, NoColumn, true);
  input.Drag(second.Left + 3, second.Top + 3, 210, 100);  // the gap between the trees
  EXPECT_EQ(gRecord.drops, 0);
  EXPECT_EQ(gRecord.ends, 2);
  EXPECT_FALSE(source->TreeStates().Contains(tsVCLDragging));
}

TEST_F(ControlDragTest, AutomaticDragModeDragsWithoutAskingAndTheTreeSeesThePress) {
  TInputDriver input(source);
  source->OnDragAllowed = TVTDragAllowedEvent();
  source->SetDragMode(dmAutomatic);
  PVirtualNode second = source->GetFirst()->NextSibling;
  TRect from = source->GetDisplayRect(second, NoColumn, true);
  TRect to = target->GetDisplayRect(target->GetFirst(), NoColumn, true);
  TPoint drop = source->ScreenToClient(target->ClientToScreen(TPoint{to.Left + 3, to.Top + 3}));
  input.Drag(from.Left + 3, from.Top + 3, drop.X, drop.Y);
  EXPECT_EQ(gRecord.drops, 1);
  EXPECT_EQ(gRecord.source, source);
  // The press reached the tree: the node was focused before the drag began.
  EXPECT_EQ(source->FocusedNode(), second);
  EXPECT_FALSE(source->ControlState().Contains(csLButtonDown));
  // Manual mode without a handler that allows it: no drag.
  source->SetDragMode(dmManual);
  input.Drag(from.Left + 3, from.Top + 3, drop.X, drop.Y);
  EXPECT_EQ(gRecord.drops, 1);
  EXPECT_FALSE(source->Dragging());
}

namespace {
// Counts the class library's drag-cancelled calls.
class TCancelCountingTree : public TVirtualStringTree {
public:
  void DragCanceled() override {
    ++cancels;
    TVirtualStringTree::DragCanceled();
  }
  int cancels = 0;
};
TDragObject* gHandedOver = nullptr;
bool gSawUserObject = false;
}  // namespace

// A drag object handed over by OnStartDrag marks the source (tsUserDragObject)
// for the whole drag; a drag that ends without a drop is reported as
// cancelled, and either way the source leaves every drag state.
TEST_F(ControlDragTest, AHandedOverDragObjectMarksTheDragAndCancelsAreReported) {
  auto* counted = New<TCancelCountingTree>(form);
  counted->SetParent(form);
  counted->SetBounds(0, 0, 200, 220);
  counted->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::u16string& text) {
    text = u"a node";
  };
  counted->SetRootNodeCount(5);
  counted->SetDragType(dtVCL);
  counted->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
  source->SetVisible(false);
  target->OnDragOver = [](TBaseVirtualTree*, TObject* from, TShiftState, TDragStateKind, TPoint, TDropMode, int&,
                          bool& accept) {
    gSawUserObject = static_cast<TBaseVirtualTree*>(from)->TreeStates().Contains(tsUserDragObject);
    accept = true;
  };
  TDragObject handedOver;
  TRect from = counted->GetDisplayRect(counted->GetFirst(), NoColumn, true);
  TRect to = target->GetDisplayRect(target->GetFirst(), NoColumn, true);
  TPoint drop = counted->ScreenToClient(target->ClientToScreen(TPoint{to.Left + 3, to.Top + 3}));
  counted->SetFocus();
  qvtest::Pump(20);
  TInputDriver input(counted);
  for (bool withObject : {false, true}) {
    SCOPED_TRACE(withObject ? "with a drag object" : "without");
    gHandedOver = withObject ? &handedOver : nullptr;
    counted->OnStartDrag = [](TObject*, TDragObject*& object) { object = gHandedOver; };
    counted->cancels = 0;
    gRecord.drops = 0;
    gSawUserObject = false;
    input.Drag(from.Left + 3, from.Top + 3, drop.X, drop.Y);
    EXPECT_EQ(gRecord.drops, 1);
    EXPECT_EQ(gSawUserObject, withObject);
    EXPECT_EQ(counted->cancels, 0);
    if (withObject) EXPECT_EQ(handedOver.Control(), counted);
    // Released where nothing takes drags: cancelled.
    input.Drag(from.Left + 3, from.Top + 30, 210, 100);
    EXPECT_EQ(gRecord.drops, 1);
    EXPECT_EQ(counted->cancels, 1);
    for (TVirtualTreeState state : {tsVCLDragPending, tsVCLDragging, tsUserDragObject, tsLeftButtonDown})
      EXPECT_FALSE(counted->TreeStates().Contains(state)) << state;
    EXPECT_EQ(GetCapture(), nullptr);
  }
}
