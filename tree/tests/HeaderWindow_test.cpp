// The header in the tree's window: its room above the client area, clicks,
// resizing at a splitter and dragging a column with the mouse, and the sort
// mark's pixels in both directions.
#include <gtest/gtest.h>

#include "tree/DragImage.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

struct HeaderWindowTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 420, 300);
    tree = New<TVirtualDrawTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 400, 200);
    header = tree->Header();
    for (int i = 0; i < 3; ++i) header->Columns()->Add()->SetWidth(100);
    header->SetHeight(20);
    header->SetOptions(header->Options().Include(hoVisible).Include(hoShowSortGlyphs));
    form->Show();
    // Classic look: the probes know the classic colours.
    tree->DoStateChange({}, {tsUseThemes});
    qvtest::Pump(50);
  }
  void TearDown() override { form->Free(); }

  // Sends a non-client mouse message at a header point (x, y from the header's top-left).
  void SendNonClient(UINT msg, int x, int y) {
    POINT pt{x, y - static_cast<int>(header->Height())};
    ClientToScreen(tree->Handle(), &pt);
    SendMessageW(tree->Handle(), msg, HTBORDER, MAKELPARAM(pt.x, pt.y));
  }
  void SendClient(UINT msg, int x, int y) {
    SendMessageW(tree->Handle(), msg, 0, MAKELPARAM(x, y - static_cast<int>(header->Height())));
  }

  TForm* form = nullptr;
  TVirtualDrawTree* tree = nullptr;
  TVTHeader* header = nullptr;
};

TEST_F(HeaderWindowTest, VisibleHeaderTakesRoomAboveTheClientArea) {
  RECT window, client;
  GetWindowRect(tree->Handle(), &window);
  GetClientRect(tree->Handle(), &client);
  TSize border = tree->GetBorderDimensions();
  EXPECT_EQ(client.bottom, (window.bottom - window.top) + 2 * border.cy - 20 -
                               (GetWindowLongW(tree->Handle(), GWL_STYLE) & WS_HSCROLL ? GetSystemMetrics(SM_CYHSCROLL) : 0));
  EXPECT_TRUE(header->InHeader(TPoint{10, -5}));
  EXPECT_FALSE(header->InHeader(TPoint{10, 5}));
  header->SetOptions(header->Options().Exclude(hoVisible));
  RECT after;
  GetClientRect(tree->Handle(), &after);
  EXPECT_EQ(after.bottom, client.bottom + 20);
}

TEST_F(HeaderWindowTest, ClickOnAColumnFiresTheHeaderClick) {
  static TColumnIndex clicked = -5;
  clicked = -5;
  tree->OnHeaderClick = [](TVTHeader*, TColumnIndex column, TMouseButton, TShiftState, int, int) { clicked = column; };
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  EXPECT_EQ(header->Columns()->DownIndex(), 1);
  SendClient(WM_LBUTTONUP, 150, 10);
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(header->Columns()->DownIndex(), NoColumn);
  EXPECT_TRUE(header->States().Empty());
}

TEST_F(HeaderWindowTest, DraggingASplitterResizesTheColumn) {
  static int resized = 0;
  resized = 0;
  tree->OnColumnResize = [](TVTHeader*, TColumnIndex column) { resized += column == 0; };
  SendNonClient(WM_NCLBUTTONDOWN, 101, 10);
  EXPECT_TRUE(header->States().Contains(hsTrackPending));
  SendClient(WM_MOUSEMOVE, 120, 10);
  SendClient(WM_MOUSEMOVE, 150, 10);
  SendClient(WM_LBUTTONUP, 150, 10);
  EXPECT_EQ(header->Columns()->Items(0)->Width(), 150);
  EXPECT_EQ(header->Columns()->Items(1)->StoredLeft(), 150);
  EXPECT_GT(resized, 0);
  // A column that is not resizable has no splitter.
  TVirtualTreeColumn* c = header->Columns()->Items(1);
  c->SetOptions(c->Options().Exclude(coResizable));
  EXPECT_FALSE(header->DetermineSplitterIndex(TPoint{250, 10}));
}

TEST_F(HeaderWindowTest, DoubleClickOnASplitterFitsTheContentButNotBelowMinWidth) {
  header->SetOptions(header->Options().Include(hoDblClickResize));
  header->Columns()->Items(0)->SetMinWidth(30);
  // No nodes: the widest content is nothing, so the column shrinks to its minimum, animated.
  SendNonClient(WM_NCLBUTTONDBLCLK, 101, 10);
  EXPECT_EQ(header->Columns()->Items(0)->Width(), 30);
  EXPECT_EQ(header->Columns()->Items(1)->StoredLeft(), 30);
  EXPECT_FALSE(tree->TreeStates().Contains(tsInAnimation));
}

TEST_F(HeaderWindowTest, AutoResizeColumnTakesTheFreeWidth) {
  header->SetOptions(header->Options().Include(hoAutoResize));
  TVirtualTreeColumns* columns = header->Columns();
  EXPECT_EQ(columns->Items(2)->Width(), tree->ClientWidth() - 200);
  columns->Items(2)->SetWidth(20);  // the auto-size column is not sized by hand
  EXPECT_EQ(columns->Items(2)->Width(), tree->ClientWidth() - 200);
  columns->Items(0)->SetWidth(150);  // a change elsewhere is taken from it
  EXPECT_EQ(columns->Items(2)->Width(), tree->ClientWidth() - 250);
  tree->SetBounds(0, 0, 360, 200);
  qvtest::Pump(20);
  EXPECT_EQ(columns->TotalWidth(), tree->ClientWidth());
}

TEST_F(HeaderWindowTest, DraggingAColumnMovesIt) {
  static int draggedFrom = -1;
  draggedFrom = -1;
  tree->OnHeaderDragged = [](TVTHeader*, TColumnIndex, int oldPosition) { draggedFrom = oldPosition; };
  header->SetOptions(header->Options().Include(hoDrag));
  SendNonClient(WM_NCLBUTTONDOWN, 50, 10);
  SendClient(WM_MOUSEMOVE, 70, 10);
  EXPECT_TRUE(header->States().Contains(hsDragging));
  SendClient(WM_MOUSEMOVE, 280, 10);  // right half of the third column
  EXPECT_EQ(header->Columns()->DropTarget(), 2);
  SendClient(WM_LBUTTONUP, 280, 10);
  EXPECT_EQ(draggedFrom, 0);
  TIndexArray expected{1, 2, 0};
  EXPECT_EQ(header->Columns()->PositionToIndex(), expected);
  EXPECT_TRUE(header->States().Empty());
}

TEST_F(HeaderWindowTest, ADraggedColumnsPictureFollowsTheMouse) {
  header->SetOptions(header->Options().Include(hoDrag));
  TVTDragImage* image = header->DragImage();
  EXPECT_EQ(image->Transparency(), 140);
  EXPECT_EQ(image->PreBlendBias(), -50);
  EXPECT_EQ(image->PostBlendBias(), 0);
  EXPECT_FALSE(image->Fade());
  // The second column's cell on the screen.
  POINT cell{100, -20};
  ClientToScreen(tree->Handle(), &cell);
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  SendClient(WM_MOUSEMOVE, 170, 10);
  ASSERT_TRUE(header->States().Contains(hsDragging));
  EXPECT_TRUE(image->Visible());
  EXPECT_EQ(image->ImageSize().cx, 100);
  EXPECT_EQ(image->ImageSize().cy, 20);
  // Shown where the cell is; the moves after the start carry it along.
  EXPECT_EQ(image->ImagePosition().X, cell.x);
  EXPECT_EQ(image->ImagePosition().Y, cell.y);
  // The picture is the cell: its face colour, not black or empty.
  EXPECT_NE(image->PixelAt(50, 10) & 0xFFFFFF, 0u);
  SendClient(WM_MOUSEMOVE, 200, 30);
  EXPECT_EQ(image->ImagePosition().X, cell.x + 50);
  EXPECT_EQ(image->ImagePosition().Y, cell.y + 20);
  SendClient(WM_LBUTTONUP, 200, 30);
  EXPECT_FALSE(image->Visible());

  // Restricted: the picture moves only sideways.
  header->SetOptions(header->Options().Include(hoRestrictDrag));
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  SendClient(WM_MOUSEMOVE, 170, 10);
  SendClient(WM_MOUSEMOVE, 190, 40);
  ASSERT_TRUE(header->States().Contains(hsDragging));
  EXPECT_EQ(image->ImagePosition().X, cell.x + 40);
  EXPECT_EQ(image->MoveRestriction(), dmrHorizontalOnly);
  EXPECT_EQ(image->ImagePosition().Y, cell.y);
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(header->States().Contains(hsDragging));
  EXPECT_FALSE(image->Visible());
}

TEST_F(HeaderWindowTest, ColumnHintsGoToTheApplicationsHintHandling) {
  Application->CancelHint();
  SendNonClient(WM_NCMOUSEMOVE, 150, 10);
  EXPECT_NE(Application->HintControl(), tree);
  header->SetOptions(header->Options().Include(hoShowHint));
  SendNonClient(WM_NCMOUSEMOVE, 160, 10);
  EXPECT_EQ(Application->HintControl(), tree);
  Application->CancelHint();
}

TEST_F(HeaderWindowTest, AColumnDroppedOnItselfStaysAndIsNotDraggedOut) {
  static int draggedOut = 0;
  draggedOut = 0;
  tree->OnHeaderDraggedOut = [](TVTHeader*, TColumnIndex, TPoint) { ++draggedOut; };
  header->SetOptions(header->Options().Include(hoDrag));
  TIndexArray unchanged{0, 1, 2};
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  SendClient(WM_MOUSEMOVE, 175, 10);
  ASSERT_TRUE(header->States().Contains(hsDragging));
  SendClient(WM_MOUSEMOVE, 160, 10);
  SendClient(WM_LBUTTONUP, 160, 10);
  EXPECT_EQ(draggedOut, 0);
  EXPECT_EQ(header->Columns()->PositionToIndex(), unchanged);
  // Released outside the window: dragged out, and still nothing moves.
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  SendClient(WM_MOUSEMOVE, 175, 10);
  ASSERT_TRUE(header->States().Contains(hsDragging));
  SendClient(WM_LBUTTONUP, 700, 10);
  EXPECT_EQ(draggedOut, 1);
  EXPECT_EQ(header->Columns()->PositionToIndex(), unchanged);
}

TEST_F(HeaderWindowTest, LeavingTheTreeForgetsTheHoveredAndPressedColumn) {
  header->SetOptions(header->Options().Include(hoHotTrack));
  SendNonClient(WM_NCMOUSEMOVE, 150, 10);
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  ASSERT_EQ(header->Columns()->DownIndex(), 1);
  tree->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(header->Columns()->HoverIndex(), NoColumn);
  EXPECT_EQ(header->Columns()->DownIndex(), NoColumn);
  SendClient(WM_LBUTTONUP, 150, 10);
}

TEST_F(HeaderWindowTest, ThumbTrackingIsAStateUntilTheScrollEnds) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(300);
  SendMessageW(tree->Handle(), WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0), 0);
  EXPECT_TRUE(tree->TreeStates().Contains(tsThumbTracking));
  SendMessageW(tree->Handle(), WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
  EXPECT_FALSE(tree->TreeStates().Contains(tsThumbTracking));
  SendMessageW(tree->Handle(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);
  EXPECT_TRUE(tree->TreeStates().Contains(tsThumbTracking));
  SendMessageW(tree->Handle(), WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
  EXPECT_FALSE(tree->TreeStates().Contains(tsThumbTracking));
  // A resize runs once inside the sizing state.
  static int sizings;
  sizings = 0;
  tree->OnStateChange = [](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates) {
    if (enter.Contains(tsSizing)) ++sizings;
  };
  tree->SetBounds(0, 0, 380, 180);
  EXPECT_EQ(sizings, 1);
  EXPECT_FALSE(tree->TreeStates().Contains(tsSizing));
}

TEST_F(HeaderWindowTest, SortMarkPixels) {
  // A column without text shows the sort mark alone, centred in the cell shrunk by 2:
  // its 16 x 16 image starts at (2 + (96 - 16) / 2, 2) = (42, 2) in header coordinates.
  const uint32_t shadow = [] {
    COLORREF c = GetSysColor(COLOR_BTNSHADOW);
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
  }();
  const int x0 = 42, y0 = 2 - 20;  // client coordinates of the image
  header->SetSortColumn(0);
  header->SetSortDirection(sdAscending);
  qvtest::Pump(50);
  RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  qvtest::SaveScreenshot(form->Handle(), "header_sort_ascending");
  HWND w = tree->Handle();
  // Ascending: apex on top (row 6), widest at the bottom (row 9).
  EXPECT_EQ(qvtest::PixelAt(w, x0 + 7, y0 + 6), shadow);
  EXPECT_NE(qvtest::PixelAt(w, x0 + 4, y0 + 6), shadow);
  EXPECT_EQ(qvtest::PixelAt(w, x0 + 4, y0 + 9), shadow);
  EXPECT_EQ(qvtest::PixelAt(w, x0 + 10, y0 + 9), shadow);
  header->SetSortDirection(sdDescending);
  RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  qvtest::Pump(50);
  EXPECT_EQ(qvtest::PixelAt(w, x0 + 4, y0 + 6), shadow);
  EXPECT_EQ(qvtest::PixelAt(w, x0 + 7, y0 + 9), shadow);
  EXPECT_NE(qvtest::PixelAt(w, x0 + 4, y0 + 9), shadow);
  // No sort column: no mark.
  header->SetSortColumn(NoColumn);
  RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  qvtest::Pump(50);
  EXPECT_NE(qvtest::PixelAt(w, x0 + 7, y0 + 9), shadow);
}

TEST_F(HeaderWindowTest, FlatFaceWithoutThemesAndSpringColumns) {
  // hsXPStyle where the platform draws no themes: the emulated face colours.
  header->SetStyle(hsXPStyle);
  RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  qvtest::Pump(30);
  qvtest::SaveScreenshot(form->Handle(), "header_flat_face");
  HWND w = tree->Handle();
  EXPECT_EQ(qvtest::PixelAt(w, 150, -15), 0xEBEADBu);  // face (235, 234, 219)
  EXPECT_EQ(qvtest::PixelAt(w, 150, -1), 0xCBC7B8u);   // bottom line (203, 199, 184)
  // The pressed face while the left button holds a column down (no messages are
  // handled in between: the hover timer would let go of a column the real mouse is not on).
  SendNonClient(WM_NCLBUTTONDOWN, 150, 10);
  RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(qvtest::PixelAt(w, 150, -10), 0xDEDFD8u);  // (222, 223, 216)
  SendClient(WM_LBUTTONUP, 150, 10);

  // Spring columns share a change of the header's width; the first width seen only starts the count.
  TVirtualTreeColumn* a = header->Columns()->Items(0);
  TVirtualTreeColumn* b = header->Columns()->Items(2);
  a->SetOptions(a->Options().Include(coAutoSpring));
  b->SetOptions(b->Options().Include(coAutoSpring));
  header->SetOptions(header->Options().Include(hoAutoSpring));
  tree->SetBounds(0, 0, 300, 200);
  int widthA = a->Width(), widthB = b->Width();
  tree->SetBounds(0, 0, 340, 200);
  EXPECT_EQ(a->Width() + b->Width(), widthA + widthB + 40);
  EXPECT_EQ(header->Columns()->Items(1)->Width(), 100);
}

}  // namespace

namespace {
struct TResizeRecord {
  TBaseVirtualTree* tree = nullptr;
  int calls = 0;
  bool tracking = false;
  bool pending = false;  // the window had parts waiting to be painted
  RECT update{};
};
TResizeRecord gResize;
}  // namespace

// A resized column repaints the client from its left edge (all of it with
// column spanning) and the header from that column on; while the mouse drags
// the width, every step is painted before the resize event fires.
TEST_F(HeaderWindowTest, AResizedColumnRepaintsFromItsLeftEdgeAndAtOnceWhileTracked) {
  gResize = TResizeRecord{tree};
  tree->OnColumnResize = [](TVTHeader* sender, TColumnIndex) {
    ++gResize.calls;
    gResize.tracking = sender->States().Contains(hsTracking);
    gResize.pending = GetUpdateRect(gResize.tree->Handle(), &gResize.update, FALSE);
  };
  RECT client;
  GetClientRect(tree->Handle(), &client);
  for (bool spanning : {false, true}) {
    SCOPED_TRACE(spanning ? "spanning" : "not spanning");
    TCustomVirtualTreeOptions* options = tree->TreeOptions();
    options->SetAutoOptions(spanning ? options->AutoOptions().Include(toAutoSpanColumns)
                                     : options->AutoOptions().Exclude(toAutoSpanColumns));
    qvtest::Pump(30);
    ValidateRect(tree->Handle(), nullptr);
    header->Columns()->Items(1)->SetWidth(spanning ? 100 : 120);
    ASSERT_TRUE(gResize.pending);
    EXPECT_EQ(gResize.update.left, spanning ? 0 : 100);
    EXPECT_EQ(gResize.update.right, client.right);
    EXPECT_EQ(gResize.update.bottom, client.bottom);
  }
  // The header: painted over, then a resize of the middle column.
  qvtest::Pump(30);
  HDC dc = GetWindowDC(tree->Handle());
  RECT headerRect{0, 0, 400, 22};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &headerRect, red);
  DeleteObject(red);
  ReleaseDC(tree->Handle(), dc);
  header->Columns()->Items(1)->SetWidth(130);
  qvtest::Pump(50);
  int headerY = -static_cast<int>(header->Height()) / 2;
  EXPECT_NE(qvtest::PixelAt(tree->Handle(), 160, headerY), 0xFF0000u) << "the resized column";
  EXPECT_NE(qvtest::PixelAt(tree->Handle(), 300, headerY), 0xFF0000u) << "the column it moved";
  // Tracked with the mouse: nothing is left waiting when the event fires.
  gResize.calls = 0;
  SendNonClient(WM_NCLBUTTONDOWN, 101, 10);
  SendClient(WM_MOUSEMOVE, 120, 10);
  SendClient(WM_MOUSEMOVE, 150, 10);
  EXPECT_GT(gResize.calls, 0);
  EXPECT_TRUE(gResize.tracking);
  EXPECT_FALSE(gResize.pending);
  SendClient(WM_LBUTTONUP, 150, 10);
  EXPECT_EQ(header->Columns()->Items(0)->Width(), 150);
}

// WM_PRINT puts the header into the given device context as the screen
// shows it; a hidden window asked to check visibility prints nothing.
TEST_F(HeaderWindowTest, PrintingTheWindowPrintsTheHeader) {
  header->Columns()->Items(1)->SetText(u"Middle");
  qvtest::Pump(50);
  RECT window;
  GetWindowRect(tree->Handle(), &window);
  int w = window.right - window.left, h = window.bottom - window.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(dc, bitmap);
  auto fillRed = [&] {
    RECT all{0, 0, w, h};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, red);
    DeleteObject(red);
  };
  fillRed();
  SendMessageW(tree->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT | PRF_CLIENT | PRF_CHECKVISIBLE);
  TRect headerRect = tree->HeaderRect();
  int y = (headerRect.Top + headerRect.Bottom) / 2;
  // The header's middle row and a row of the client area below it, as shown.
  for (int row : {y, headerRect.Bottom + 5}) {
    int same = 0, differing = 0;
    for (int x = headerRect.Left; x < headerRect.Right; ++x) {
      COLORREF printed = GetPixel(dc, x, row), shown = GetPixel(screen, window.left + x, window.top + row);
      (printed == shown ? same : differing)++;
    }
    EXPECT_EQ(differing, 0) << same << " pixels of row " << row << " match";
  }
  EXPECT_NE(GetPixel(dc, headerRect.Left + 150, y), RGB(255, 0, 0));
  // Hidden and asked to check: nothing printed.
  fillRed();
  tree->SetVisible(false);
  SendMessageW(tree->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT | PRF_CLIENT | PRF_CHECKVISIBLE);
  EXPECT_EQ(GetPixel(dc, headerRect.Left + 150, y), RGB(255, 0, 0));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}
