// The drop-down window's modal loop under Wine: keys and clicks that close
// it, a quit request it hands on, its placement in the work area and the grip's minimum.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "core/FencedObjects.h"
#include "shell/DropDownWnd.h"
#include "shell/PopupDropDowns.h"
#include "win/Forms.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/Harness.h"

namespace {

// What the events saw (events bind capture-less functions).
struct TSeen {
  int rollUps = 0;
  bool lastAccepted = false;
  RECT bounds{};
  int formClicks = 0;
} gSeen;

void RecordRollUp(TDropDownWnd* d, bool accepted) {
  ++gSeen.rollUps;
  gSeen.lastAccepted = accepted;
  GetWindowRect(d->Handle(), &gSeen.bounds);
}

struct DropDownFixture : ::testing::Test {
  TForm* form = nullptr;
  TEdit* edit = nullptr;
  TDropDownWnd* dropDown = nullptr;
  int& rollUps = gSeen.rollUps;
  bool& lastAccepted = gSeen.lastAccepted;

  void SetUp() override {
    form = qvtest::NewFormFromText<TForm>("TForm DropHost { Left = 40; Top = 40; Width = 360; Height = 200; }");
    edit = New<TEdit>(form);
    edit->SetParent(form);
    edit->SetBounds(10, 10, 250, 23);
    dropDown = New<TDropDownWnd>(form);
    gSeen = TSeen{};
    dropDown->OnRollUp = TOnPopupRollUp(&RecordRollUp);
    form->Show();
    qvtest::Pump(30);
  }
  void TearDown() override { form->Free(); }
  // Posts msg to window, then opens the drop-down: the loop meets it first.
  void DropWith(HWND window, UINT msg, WPARAM w, LPARAM l) {
    PostMessageW(window, msg, w, l);
    dropDown->RollDown(edit, edit);
  }
};

}  // namespace

TEST_F(DropDownFixture, QuitEndsTheLoopAndIsPostedAgain) {
  PostQuitMessage(7);
  dropDown->RollDown(edit, edit);
  EXPECT_FALSE(dropDown->DroppedDown());
  EXPECT_EQ(rollUps, 1);
  EXPECT_FALSE(lastAccepted);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit was swallowed";
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(DropDownFixture, EnterAcceptsEscapeRefuses) {
  DropWith(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(rollUps, 1);
  EXPECT_FALSE(lastAccepted);
  DropWith(edit->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(rollUps, 2);
  EXPECT_TRUE(lastAccepted);
  EXPECT_FALSE(IsWindowVisible(dropDown->Handle()));
}

TEST_F(DropDownFixture, LosingTheApplicationsActivationCloses) {
  DropWith(dropDown->Handle(), WM_ACTIVATEAPP, 0, 0);
  EXPECT_EQ(rollUps, 1);
  EXPECT_FALSE(lastAccepted);
  // A non-client click closes too (on nothing: a caption would start moving the form).
  DropWith(form->Handle(), WM_NCLBUTTONDOWN, HTNOWHERE, 0);
  EXPECT_EQ(rollUps, 2);
}

TEST_F(DropDownFixture, ClickOutsideClosesAndIsNotDelivered) {
  int& formClicks = gSeen.formClicks;
  form->OnMouseDown = TMouseEvent([](TObject*, TMouseButton, TShiftState, int, int) { ++gSeen.formClicks; });
  // The form's lower right is outside the drop-down (which lies under the edit).
  DropWith(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(340, 150));
  EXPECT_EQ(rollUps, 1);
  EXPECT_FALSE(lastAccepted);
  qvtest::Pump(20);
  EXPECT_EQ(formClicks, 0);
  // A click inside the drop-down keeps it open: Escape then closes it.
  PostMessageW(dropDown->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  DropWith(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(rollUps, 2);
}

TEST_F(DropDownFixture, OpensBelowTheControlAtItsWidthAndRefusedOrFreedByOnRollDown) {
  PostMessageW(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  RECT& seen = gSeen.bounds;
  dropDown->RollDown(edit, edit);
  TPoint bottomLeft = form->ClientToScreen(TPoint{10, 33});
  EXPECT_EQ(seen.left, bottomLeft.X);
  EXPECT_EQ(seen.top, bottomLeft.Y);
  EXPECT_EQ(seen.right - seen.left, 250);
  EXPECT_EQ(seen.bottom - seen.top, 17 * 8 + GetSystemMetrics(SM_CYFRAME));
  dropDown->OnRollDown = TOnPopupRollDown([](TDropDownWnd*, bool& allow) { allow = false; });
  dropDown->RollDown(edit, edit);  // returns at once: nothing to close it
  EXPECT_FALSE(dropDown->DroppedDown());
  // A handler that frees the drop-down ends the roll-down there.
  int components = form->ComponentCount();
  dropDown->OnRollDown = TOnPopupRollDown([](TDropDownWnd* d, bool&) { d->Free(); });
  std::exchange(dropDown, nullptr)->RollDown(edit, edit);
  EXPECT_EQ(form->ComponentCount(), components - 1);
}

TEST_F(DropDownFixture, StaysInsideTheWorkAreaNearItsBottomRight) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  form->SetBounds(work.right - 200, work.bottom - 80, 360, 200);
  qvtest::Pump(20);
  RECT& seen = gSeen.bounds;
  DropWith(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_GE(seen.left, work.left);
  EXPECT_LE(seen.right, work.right);
  EXPECT_GE(seen.top, work.top);
  EXPECT_LE(seen.bottom, work.bottom);
  EXPECT_TRUE(dropDown->State() & TDropDownWnd::kShownAbove);
}

// Runs on the first timer tick inside the drop-down's loop.
std::function<void()>* gPendingInLoop = nullptr;
void CALLBACK LoopTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (gPendingInLoop != nullptr) std::exchange(gPendingInLoop, nullptr)->operator()();
}
void RunInLoop(std::function<void()>* action) {
  gPendingInLoop = action;
  SetTimer(nullptr, 0, 10, &LoopTimer);
}

TEST_F(DropDownFixture, GripDragKeepsTheMinimumSize) {
  dropDown->SetOptions(dropDown->Options() + TPopupOptions{poSizeable});
  bool checked = false;
  SIZE before{}, after{};
  TSizeGrabber* grip = dropDown->Grabber();
  std::function<void()> drag = [&] {
    EXPECT_TRUE(grip->Visible());
    RECT r;
    GetWindowRect(dropDown->Handle(), &r);
    before = {r.right - r.left, r.bottom - r.top};
    POINT start{r.right - 3, r.bottom - 3};
    SetCursorPos(start.x, start.y);
    grip->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grip->Width() - 3, grip->Height() - 3));
    SetCursorPos(start.x - 1000, start.y - 1000);
    grip->Perform(WM_MOUSEMOVE, MK_LBUTTON, 0);
    grip->Perform(WM_LBUTTONUP, 0, 0);
    GetWindowRect(dropDown->Handle(), &r);
    after = {r.right - r.left, r.bottom - r.top};
    checked = true;
    dropDown->RollUp(false);
  };
  RunInLoop(&drag);
  dropDown->RollDown(edit, edit);
  ASSERT_TRUE(checked);
  EXPECT_EQ(before.cx, 250);
  EXPECT_EQ(after.cx, dropDown->MinWidth());
  EXPECT_EQ(after.cy, dropDown->MinHeight());
  EXPECT_TRUE(dropDown->State() & TDropDownWnd::kHasBeenSized);
}

TEST_F(DropDownFixture, TheGripOverTheListCoversOnlyItsTriangle) {
  dropDown->SetOptions(dropDown->Options() + TPopupOptions{poSizeable});
  TSizeGrabber* grip = dropDown->Grabber();
  grip->SetBounds(0, 0, 17, 17);
  dropDown->ScrollBar()->SetVisible(false);  // the grip sits over the list
  const COLORREF list = RGB(255, 0, 255);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 40);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 40, 40};
  HBRUSH brush = CreateSolidBrush(list);
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  grip->PaintGrip(dc, 10, 10);
  // The corner away from the grip shows the list; the grip's own corner does not.
  EXPECT_EQ(GetPixel(dc, 10, 10), list);
  EXPECT_EQ(GetPixel(dc, 12, 11), list);
  bool drawn = false;
  for (int y = 20; y < 27; ++y)
    for (int x = 20; x < 27; ++x) drawn = drawn || GetPixel(dc, x, y) != list;
  EXPECT_TRUE(drawn);
  EXPECT_EQ(GetPixel(dc, 5, 5), list);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// A hosted tree taller than an int reaches: the bar shows, its ends are the
// tree's ends, and its thumb scrolls the tree to the offset it stands for.
TEST_F(DropDownFixture, TheBarFollowsATreeTallerThanAnInt) {
  auto* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetBounds(10, 40, 200, 120);
  tree->SetNodeDataSize(0);
  tree->SetDefaultNodeHeight(65535);
  tree->SetRootNodeCount(40000);
  qvtest::Pump(20);
  TOwnerDrawScrollbar* bar = dropDown->ScrollBar();
  dropdown_detail::SyncScrollBar(dropDown, tree);
  EXPECT_TRUE(bar->Visible());
  EXPECT_LE(bar->Max(), kScrollBarLimit);
  EXPECT_EQ(bar->Position(), 0);
  int64_t bottom = tree->ClientHeight() - int64_t(tree->RangeY());
  tree->SetOffsetY(bottom);
  dropdown_detail::SyncScrollBar(dropDown, tree);
  EXPECT_EQ(bar->Position(), bar->Max() - bar->PageSize());
  // The thumb in the middle: the tree goes half way down.
  bar->SetPosition((bar->Max() - bar->PageSize()) / 2);
  TMessage m{};
  m.Msg = WM_VSCROLL;
  m.WParam = SB_THUMBPOSITION;
  m.LParam = reinterpret_cast<LPARAM>(bar->Handle());
  dropdown_detail::ScrollTreeFromBar(dropDown, tree, m);
  EXPECT_NEAR(double(tree->OffsetY()), double(bottom) / 2, 65535.0);
  EXPECT_EQ(bar->Position(), (bar->Max() - bar->PageSize()) / 2);
}

// A roll handler that frees the drop-down ends the roll there: the window is
// fenced, so any touch after its release faults, and it goes once the thread
// is back between messages.
TEST_F(DropDownFixture, ARollHandlerThatFreesTheDropDownEndsTheRoll) {
  for (bool atRollUp : {false, true}) {
    SetObjectFencing(sizeof(TDropDownWnd));
    TDropDownWnd* doomed = New<TDropDownWnd>(form);
    SetObjectFencing(0);
    if (atRollUp)
      doomed->OnRollUp = TOnPopupRollUp([](TDropDownWnd* d, bool) { d->Free(); });
    else
      doomed->OnRollDown = TOnPopupRollDown([](TDropDownWnd* d, bool&) { d->Free(); });
    PostMessageW(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    doomed->RollDown(edit, edit);
    qvtest::Pump(30);
    EXPECT_EQ(form->ComponentCount(), 2) << "freed " << (atRollUp ? "rolling up" : "rolling down");
  }
}
