// The automatic drag: with DragMode automatic a left press starts a pending
// drag instead of reaching the control; manual mode and docking leave the press alone.
#include <gtest/gtest.h>

#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace {

int gDowns = 0;
int gEnds = 0;

TEST(AutoDrag, APressStartsTheDragOnlyInAutomaticDragMode) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(10, 10, 200, 150);
  auto* box = New<TCustomControl>(form);
  box->SetParent(form);
  box->SetBounds(10, 10, 100, 80);
  box->OnMouseDown = [](TObject*, TMouseButton, TShiftState, int, int) { ++gDowns; };
  box->OnEndDrag = [](TObject*, TObject*, int, int) { ++gEnds; };
  form->Show();
  qvtest::Pump(20);
  gDowns = gEnds = 0;
  HWND h = box->Handle();
  struct Case {
    TDragMode mode;
    TDragKind kind;
    UINT press;
    bool drags;
  };
  for (Case c : {Case{dmManual, dkDrag, WM_LBUTTONDOWN, false}, Case{dmAutomatic, dkDrag, WM_LBUTTONDOWN, true},
                 Case{dmAutomatic, dkDrag, WM_LBUTTONDBLCLK, true}, Case{dmAutomatic, dkDock, WM_LBUTTONDOWN, false}}) {
    box->SetDragMode(c.mode);
    box->SetDragKind(c.kind);
    int downs = gDowns, ends = gEnds;
    SendMessageW(h, c.press, MK_LBUTTON, MAKELPARAM(20, 20));
    EXPECT_EQ(box->Dragging(), c.drags);
    EXPECT_EQ(box->ControlState().Contains(csLButtonDown), true);
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    EXPECT_FALSE(box->Dragging());
    EXPECT_EQ(gEnds - ends, c.drags ? 1 : 0);
    EXPECT_EQ(gDowns - downs, c.drags ? 0 : 1);
    EXPECT_FALSE(box->ControlState().Contains(csLButtonDown));
  }
  form->Free();
}

}  // namespace
