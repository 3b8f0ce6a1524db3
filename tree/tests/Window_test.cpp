// The tree as a window control: defaults, properties, options, colours,
// scroll bars, the cache rebuilt on the window's thread, shared resources,
// and creating and destroying many trees without leaking handles.
#include <gtest/gtest.h>

#include <random>

#include "HandleWatermark.h"
#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/Harness.h"

namespace {

struct TreeWindowTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 400, 300);
    tree = New<TVirtualDrawTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    form->Show();
  }
  void TearDown() override { form->Free(); }
  TForm* form = nullptr;
  TVirtualDrawTree* tree = nullptr;
};

}  // namespace

// A theme change draws the button images again.
TEST_F(TreeWindowTest, AThemeChangePreparesTheButtonImagesAgain) {
  class TCountingTree : public TVirtualDrawTree {
  public:
    int prepared = 0;
    void PrepareBitmaps(bool needButtons, bool needLines) override {
      if (needButtons) ++prepared;
      TVirtualDrawTree::PrepareBitmaps(needButtons, needLines);
    }
  };
  TCountingTree* counting = New<TCountingTree>(form);
  counting->SetParent(form);
  counting->HandleNeeded();
  int before = counting->prepared;
  SendMessageW(counting->Handle(), WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(counting->prepared, before + 1);
}

// Switching the theme awareness rebuilds the line pattern with the buttons.
TEST_F(TreeWindowTest, ThemeAwarenessRebuildsTheLineImages) {
  static int asked;
  asked = 0;
  tree->OnGetLineStyle = [](TBaseVirtualTree*, void*&) { ++asked; };
  tree->SetLineStyle(lsCustomStyle);
  const int afterStyle = asked;
  EXPECT_GE(afterStyle, 1);
  TVTPaintOptions paint = tree->TreeOptions()->PaintOptions();
  tree->TreeOptions()->SetPaintOptions(paint.Contains(toThemeAware) ? paint.Exclude(toThemeAware)
                                                                     : paint.Include(toThemeAware));
  EXPECT_EQ(asked, afterStyle + 1);
}

// Toggling a node of a tree scrolled far down leaves a stale cache to the
// window's timer steps instead of finishing it at once to find the top node.
TEST_F(TreeWindowTest, ToggleLeavesAStaleCacheToTheTimerSteps) {
  // With a column the horizontal range does not ask for the top node either.
  tree->Header()->Columns()->Add()->SetWidth(200);
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(200000);
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->TreeStates().Contains(tsUseCache); }, 10000));
  tree->SetOffsetY(-18 * 150000);
  PVirtualNode first = tree->GetFirst();
  tree->SetChildCount(first, 3);
  ASSERT_TRUE(tree->TreeStates().Contains(tsValidating));
  tree->ToggleNode(first);
  EXPECT_TRUE(tree->TreeStates().Contains(tsValidating));
  EXPECT_FALSE(tree->TreeStates().Contains(tsUseCache));
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->TreeStates().Contains(tsUseCache); }, 10000));
  int top = 0;
  int64_t linearTop = 0;
  EXPECT_EQ(tree->GetNodeAt(0, 0, true, top), LinearNodeAt(*tree, -tree->OffsetY(), linearTop));
}

// After a bulk change the cache is built in timer steps; a position asked
// for before they ran finishes it at once instead of walking the nodes.
TEST_F(TreeWindowTest, APositionAskedFinishesTheCacheAtOnce) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(200000);
  ASSERT_TRUE(tree->TreeStates().Contains(tsValidating)) << "the steps wait for the window's timer";
  int top = 0;
  PVirtualNode node = tree->GetNodeAt(0, 18 * 150000 + 5, false, top);
  EXPECT_TRUE(tree->TreeStates().Contains(tsUseCache));
  EXPECT_FALSE(tree->TreeStates().Contains(tsValidating));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Index, 150000u);
  EXPECT_EQ(top, 18 * 150000);
  EXPECT_TRUE(WaitingTrees().empty());
}

// Checking a node with many shown children invalidates the window once
// instead of finding every child's row.
TEST_F(TreeWindowTest, CheckingManyChildrenInvalidatesTheWindowOnce) {
  TVTMiscOptions misc = tree->TreeOptions()->MiscOptions();
  tree->TreeOptions()->SetMiscOptions(misc.Include(toCheckSupport));
  TVTAutoOptions autoOptions = tree->TreeOptions()->AutoOptions();
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoTristateTracking));
  tree->SetNodeDataSize(0);
  PVirtualNode parent = tree->AddChild(nullptr);
  tree->SetCheckType(parent, ctTriStateCheckBox);
  tree->SetChildCount(parent, 3000);
  for (PVirtualNode child = tree->GetFirstChild(parent); child != nullptr; child = child->NextSibling)
    tree->SetCheckType(child, ctTriStateCheckBox);
  tree->SetExpanded(parent, true);
  qvtest::Pump(50);
  ValidateRect(tree->Handle(), nullptr);
  tree->SetCheckState(parent, csCheckedNormal);
  for (PVirtualNode child = parent->FirstChild; child != nullptr; child = child->NextSibling)
    ASSERT_EQ(child->CheckState, csCheckedNormal);
  RECT update{};
  ASSERT_TRUE(GetUpdateRect(tree->Handle(), &update, FALSE));
  RECT client{};
  GetClientRect(tree->Handle(), &client);
  EXPECT_EQ(update.top, client.top);
  EXPECT_EQ(update.bottom, client.bottom);
}

TEST_F(TreeWindowTest, DefaultsOfANewTree) {
  EXPECT_EQ(tree->NodeDataSize(), -1);
  EXPECT_EQ(tree->DefaultNodeHeight(), 18u);
  EXPECT_EQ(tree->Indent(), 18u);
  EXPECT_EQ(tree->Margin(), 4);
  EXPECT_EQ(tree->TextMargin(), 4);
  EXPECT_EQ(tree->AnimationDuration(), 200u);
  EXPECT_EQ(tree->CheckImageKind(), ckLightCheck);
  EXPECT_NE(tree->CheckImages(), nullptr);
  EXPECT_EQ(tree->DragWidth(), 200);
  EXPECT_EQ(tree->DragHeight(), 350);
  EXPECT_TRUE(tree->TabStop());
  EXPECT_EQ(tree->DefaultPasteMode(), amAddChildLast);
  TCustomVirtualTreeOptions* options = tree->TreeOptions();
  EXPECT_EQ((SetToMask<TVTPaintOptions, TVTPaintOption>(options->PaintOptions(), kPaintOptionCount)), 0x1B60u);
  EXPECT_EQ((SetToMask<TVTAutoOptions, TVTAutoOption>(options->AutoOptions(), kAutoOptionCount)), 0x0149u);
  EXPECT_EQ((SetToMask<TVTMiscOptions, TVTMiscOption>(options->MiscOptions(), kMiscOptionCount)), 0x01A9u);
  EXPECT_EQ(tree->Colors()->TreeLineColor(), clBtnShadow);
  EXPECT_EQ(tree->Colors()->HotColor(), clWindowText);
  EXPECT_EQ(tree->ScrollBarOptions()->ScrollBars(), ssBoth);
  EXPECT_EQ(tree->ScrollBarOptions()->VerticalIncrement(), 20);
}

TEST_F(TreeWindowTest, NodeDataSizeIsAskedWhenTheFirstNodeIsMade) {
  static int asked = 0;
  asked = 0;
  tree->OnGetNodeDataSize = [](TBaseVirtualTree*, int& size) {
    ++asked;
    size = 12;
  };
  tree->AddChild(nullptr);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(tree->NodeDataSize(), 12);
}

TEST_F(TreeWindowTest, PropertySideEffects) {
  tree->SetAnimationDuration(0);
  EXPECT_FALSE(tree->OptionValues().animation.Contains(toAnimatedToggle));
  tree->SetAnimationDuration(200);
  EXPECT_TRUE(tree->OptionValues().animation.Contains(toAnimatedToggle));
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(3);
  tree->SetDefaultNodeHeight(0);
  EXPECT_EQ(tree->DefaultNodeHeight(), 18u);
  tree->SetDefaultNodeHeight(20);
  EXPECT_EQ(tree->GetFirstNoInit()->NodeHeight, 18);
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  tree->SetCheckImageKind(ckCustom);
  EXPECT_EQ(tree->CheckImages(), nullptr);
  TCustomImageList* custom = New<TCustomImageList>(form);
  tree->SetCustomCheckImages(custom);
  EXPECT_EQ(tree->CheckImages(), custom);
  custom->Free();
  // A removed custom list sends the tree back to the light check images.
  EXPECT_EQ(tree->CustomCheckImages(), nullptr);
  EXPECT_EQ(tree->CheckImageKind(), ckLightCheck);
  EXPECT_EQ(tree->CheckImages(), GetCheckImageListFor(ckLightCheck));
  tree->SetIncrementalSearch(isAll);
  tree->SetIncrementalSearch(isNone);
  EXPECT_TRUE(tree->SearchBuffer().empty());
}

TEST_F(TreeWindowTest, AssignCopiesPropertiesAndRootCount) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(7);
  tree->SetIndent(30);
  tree->SetMargin(9);
  tree->Colors()->SetColor(5, clRed);
  // Without a window: no scroll-bar update measures (and so initialises) the shown nodes.
  TVirtualDrawTree* other = New<TVirtualDrawTree>(form);
  other->Assign(tree);
  EXPECT_EQ(other->GetRootNodeCount(), 7u);
  EXPECT_EQ(other->GetFirstNoInit()->States & vsInitialized, 0);
  EXPECT_EQ(other->Indent(), 30u);
  EXPECT_EQ(other->Margin(), 9);
  EXPECT_EQ(other->Colors()->TreeLineColor(), clRed);
  EXPECT_THROW(other->Assign(form), EConvertError);

  // Reading direction inheritance and the place in the tab order come along.
  TButton* button = New<TButton>(form);
  button->SetParent(form);
  TVirtualDrawTree* third = New<TVirtualDrawTree>(form);
  third->SetParent(form);
  tree->SetParentBiDiMode(false);
  tree->SetTabOrder(2);
  ASSERT_EQ(third->TabOrder(), 1);
  third->Assign(tree);
  EXPECT_FALSE(third->ParentBiDiMode());
  EXPECT_EQ(third->TabOrder(), 2);
}

TEST_F(TreeWindowTest, ATreeThatGoesWhilePanningTakesItsAnchorWindowAlong) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(500);
  tree->StartWheelPanning(TPoint{50, 50});
  HWND anchor = tree->PanningWindow();
  ASSERT_NE(anchor, nullptr);
  tree->Free();
  tree = nullptr;
  EXPECT_FALSE(IsWindow(anchor));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(TreeWindowTest, LegacyOptionsReplaceAllSets) {
  tree->ReadOldOptions({"voAutoSort", "voMultiSelect", "voShowRoot", "voNoSuchThing"});
  const TTreeOptionValues& values = tree->OptionValues();
  EXPECT_TRUE(values.autoOptions.Contains(toAutoSort));
  EXPECT_TRUE(values.selection.Contains(toMultiSelect));
  EXPECT_TRUE(values.paint.Contains(toShowRoot));
  EXPECT_FALSE(values.paint.Contains(toShowButtons));
  EXPECT_FALSE(values.misc.Contains(toAcceptOLEDrop));
}

TEST_F(TreeWindowTest, SelectionOptionsAndScrollBarStyle) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(4);
  TCustomVirtualTreeOptions* options = tree->TreeOptions();
  options->SetSelectionOptions(TVTSelectionOptions{toMultiSelect});
  tree->AddToSelection(tree->GetFirst());
  tree->AddToSelection(tree->GetLast());
  EXPECT_EQ(tree->SelectedCount(), 2u);
  options->SetSelectionOptions(TVTSelectionOptions{});
  EXPECT_EQ(tree->SelectedCount(), 0u);
  EXPECT_THROW(tree->ScrollBarOptions()->SetScrollBarStyle(sbmFlat), EAssertionFailed);
  EXPECT_EQ(tree->ScrollBarOptions()->ScrollBarStyle(), sbmRegular);
}

TEST_F(TreeWindowTest, ScrollRangeFollowsTheTotalHeight) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(100);
  EXPECT_EQ(tree->RangeY(), 100u * 18);
  EXPECT_TRUE(GetWindowLongW(tree->Handle(), GWL_STYLE) & WS_VSCROLL);
  tree->ScrollIntoView(tree->GetLast(), false);
  int top = 0;
  PVirtualNode bottom = tree->GetNodeAt(0, tree->ClientHeight() - 1, true, top);
  EXPECT_EQ(bottom, tree->GetLast());
  // A row's height sets the range at once; the bar is drawn once, with the
  // next paint, as a full update draws it (read from the window's surface).
  auto bar = [&] {
    RECT frame{};
    GetWindowRect(tree->Handle(), &frame);
    POINT origin{0, 0};
    ClientToScreen(tree->Handle(), &origin);
    int x = origin.x - frame.left + tree->ClientWidth() + GetSystemMetrics(SM_CXVSCROLL) / 2;
    HDC dc = GetWindowDC(tree->Handle());
    std::vector<COLORREF> column;
    for (int y = 0; y < tree->ClientHeight(); ++y) column.push_back(GetPixel(dc, x, origin.y - frame.top + y));
    ReleaseDC(tree->Handle(), dc);
    return column;
  };
  UpdateWindow(tree->Handle());
  std::vector<COLORREF> before = bar();
  tree->SetNodeHeight(tree->GetFirst(), 18 + 1800);
  SCROLLINFO info{sizeof(info), SIF_RANGE};
  GetScrollInfo(tree->Handle(), SB_VERT, &info);
  EXPECT_EQ(info.nMax, 200 * 18);
  EXPECT_EQ(bar(), before);
  UpdateWindow(tree->Handle());
  std::vector<COLORREF> drawn = bar();
  EXPECT_NE(drawn, before);
  tree->UpdateScrollBars(true);
  EXPECT_EQ(bar(), drawn);
  tree->Clear();
  EXPECT_EQ(tree->RangeY(), 0u);
  EXPECT_EQ(tree->OffsetY(), 0);
}

TEST_F(TreeWindowTest, CacheIsBuiltInStepsOnTheWindowThread) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(200000);
  EXPECT_TRUE(tree->TreeStates().Contains(tsValidating));
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->TreeStates().Contains(tsUseCache); }, 10000));
  // A change while steps are pending stops them; the cache is never marked valid stale.
  tree->SetRootNodeCount(300000);
  EXPECT_FALSE(tree->TreeStates().Contains(tsUseCache));
  std::mt19937 rng(3);
  for (int round = 0; round < 20; ++round) {
    qvtest::Pump(1);
    PVirtualNode node = tree->GetFirstNoInit();
    for (uint32_t i = rng() % 5000; i > 0; --i) node = node->NextSibling;
    if (round % 3 == 0) tree->DeleteNode(node);
    if (round % 3 == 1) tree->SetNodeHeight(node, 5 + rng() % 40);
    if (round % 3 == 2) tree->SetIsVisible(node, false);
    int y = static_cast<int>(rng() % (tree->RootNode()->TotalHeight - 18));
    int top = 0, expectedTop = 0;
    int64_t linearTop = 0;
    PVirtualNode expected = LinearNodeAt(*tree, y, linearTop);
    expectedTop = static_cast<int>(linearTop);
    ASSERT_EQ(tree->GetNodeAt(0, y, false, top), expected);
    ASSERT_EQ(top, expectedTop);
  }
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->TreeStates().Contains(tsUseCache); }, 10000));
  for (int i = 0; i < 200; ++i) {
    int y = static_cast<int>(rng() % (tree->RootNode()->TotalHeight - 18));
    int64_t linearTop = 0;
    int top = 0;
    ASSERT_EQ(tree->GetNodeAt(0, y, false, top), LinearNodeAt(*tree, y, linearTop));
  }
}

TEST_F(TreeWindowTest, TreeOfNodeFindsTheOwner) {
  tree->SetNodeDataSize(0);
  PVirtualNode node = tree->AddChild(tree->AddChild(nullptr));
  EXPECT_EQ(TreeOfNode(node), tree);
  EXPECT_THROW(TreeOfNode(nullptr), EAssertionFailed);
}

TEST_F(TreeWindowTest, DestroyingTheTreeFreesInitialisedNodesWithEvents) {
  static int freed = 0;
  freed = 0;
  tree->SetNodeDataSize(0);
  tree->OnFreeNode = [](TBaseVirtualTree*, PVirtualNode) { ++freed; };
  tree->SetRootNodeCount(100);
  tree->GetLast();
  // The shown nodes were initialised by measuring the scroll range, the last by GetLast.
  int initialised = 0;
  for (PVirtualNode run = tree->GetFirstNoInit(); run != nullptr; run = tree->GetNextNoInit(run))
    if (run->States & vsInitialized) ++initialised;
  EXPECT_LT(initialised, 100);
  tree->Free();
  EXPECT_EQ(freed, initialised);
}

TEST(TreeResources, ClipboardFormatsAreRegisteredInPriorityOrder) {
  SetUpSharedResources();
  auto isBase = [](const std::type_info& t) { return t == typeid(TBaseVirtualTree*); };
  std::vector<FORMATETC> base = ClipboardFormatList().CollectFormats(isBase);
  ASSERT_GE(base.size(), 1u);
  EXPECT_EQ(base[0].cfFormat, CF_VIRTUALTREE);
  auto isString = [](const std::type_info&) { return true; };
  std::vector<FORMATETC> all = ClipboardFormatList().CollectFormats(isString);
  ASSERT_GE(all.size(), 7u);
  EXPECT_EQ(all.front().cfFormat, CF_VIRTUALTREE);
  EXPECT_EQ(all[6].cfFormat, CF_TEXT);
  uint16_t id = 0;
  EXPECT_NE(ClipboardFormatList().FindFormatByName("virtual tree data", id), nullptr);
  EXPECT_EQ(id, CF_VIRTUALTREE);
  std::vector<std::string> allowed{"CSV"};
  EXPECT_EQ(ClipboardFormatList().CollectFormats(isString, &allowed).size(), 1u);
  EXPECT_EQ(RegisterTreeClipboardFormat(uint16_t(CF_DIB), typeid(TBaseVirtualTree*), 200), "DIB image");
}

TEST(TreeResources, CheckImageListsHoldTwentyFiveImages) {
  SetUpSharedResources();
  for (TCheckImageKind kind : {ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckSystem}) {
    TCustomImageList* list = GetCheckImageListFor(kind);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Count(), 25);
  }
  EXPECT_EQ(GetCheckImageListFor(ckCustom), nullptr);
  EXPECT_NE(Screen->Cursors(crHeaderSplit), nullptr);
}

// Releasing the resources puts back what the program had under the split
// cursor's id: its own cursor, or nothing (the arrow); setting them up again
// registers no clipboard format twice. In a process of its own: the
// resources are released and set up again.
static int ReleaseGivesTheScreenItsCursorBack() {
  int failures = 0;
  ReleaseSharedResources();
  HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  if (Screen->Cursors(crHeaderSplit) != arrow) failures |= 1;
  HCURSOR own = CopyCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS)));
  Screen->SetCursors(crHeaderSplit, own);
  SetUpSharedResources();
  HCURSOR split = Screen->Cursors(crHeaderSplit);
  if (split == own || split == arrow) failures |= 2;
  ReleaseSharedResources();
  if (Screen->Cursors(crHeaderSplit) != own) failures |= 4;
  if (Screen->TakeCursor(crHeaderSplit) != own) failures |= 8;
  DestroyCursor(own);
  SetUpSharedResources();
  auto any = [](const std::type_info&) { return true; };
  if (ClipboardFormatList().CollectFormats(any).size() != 7) failures |= 32;
  ReleaseSharedResources();
  if (Screen->Cursors(crHeaderSplit) != arrow) failures |= 16;
  return failures;
}

TEST(TreeResources, ReleaseGivesTheScreenItsCursorBack) {
  EXPECT_EXIT(std::exit(100 + ReleaseGivesTheScreenItsCursorBack()), ::testing::ExitedWithCode(100), "");
}

// A new system window colour redraws the lists drawn in it, in the same
// objects; the themed-look list keeps its colours.
TEST(TreeResources, CheckImagesFollowTheSystemColours) {
  SetUpSharedResources();
  TCustomImageList* light = GetCheckImageListFor(ckLightCheck);
  TCustomImageList* themed = GetCheckImageListFor(ckXP);
  auto centre = [](TCustomImageList* list, int index) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ImageList_Draw(list->Handle(), index, dc, 0, 0, ILD_TRANSPARENT);
    COLORREF pixel = GetPixel(dc, 7, 11);  // inside the unchecked box, off its mark
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixel;
  };
  const COLORREF before = centre(light, 9);
  const COLORREF themedBefore = centre(themed, 9);
  EXPECT_EQ(before, GetSysColor(COLOR_WINDOW));
  const int element = COLOR_WINDOW;
  const COLORREF original = GetSysColor(COLOR_WINDOW);
  const COLORREF changed = RGB(0x20, 0x90, 0x40);
  ASSERT_TRUE(SetSysColors(1, &element, &changed));
  RefreshCheckImagesForSystemColors();
  EXPECT_EQ(GetCheckImageListFor(ckLightCheck), light);
  EXPECT_EQ(centre(light, 9), changed);
  EXPECT_EQ(centre(themed, 9), themedBefore);
  EXPECT_EQ(light->Count(), 25);
  SetSysColors(1, &element, &original);
  RefreshCheckImagesForSystemColors();
  EXPECT_EQ(centre(light, 9), before);
}

TEST(TreeHelpers, BlendModes) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = 2;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* srcBits = nullptr;
  void* dstBits = nullptr;
  HBITMAP src = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &srcBits, nullptr, 0);
  HBITMAP dst = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &dstBits, nullptr, 0);
  HDC srcDC = CreateCompatibleDC(nullptr);
  HDC dstDC = CreateCompatibleDC(nullptr);
  SelectObject(srcDC, src);
  SelectObject(dstDC, dst);
  auto* s = static_cast<uint8_t*>(srcBits);
  auto* d = static_cast<uint8_t*>(dstBits);
  for (int i = 0; i < 32; ++i) {
    s[i] = uint8_t(200);
    d[i] = uint8_t(40 + i);
  }
  std::vector<uint8_t> before(d, d + 32);
  BlendBitmapRect(srcDC, dstDC, TRect{0, 0, 4, 2}, TPoint{0, 0}, 0, 0, 0);
  EXPECT_EQ(std::vector<uint8_t>(d, d + 32), before);
  BlendBitmapRect(srcDC, dstDC, TRect{0, 0, 4, 2}, TPoint{0, 0}, 0, 255, 0);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(d[i], (before[i] * 256 + (200 - before[i]) * 255) >> 8) << i;
  BlendBitmapRect(srcDC, dstDC, TRect{0, 0, 0, 0}, TPoint{0, 0}, 1, 0, 0);
  HDC plain = CreateCompatibleDC(nullptr);
  HBITMAP ddb = CreateBitmap(4, 2, 1, 1, nullptr);
  SelectObject(plain, ddb);
  EXPECT_THROW(BlendBitmapRect(srcDC, plain, TRect{0, 0, 4, 2}, TPoint{0, 0}, 0, 128, 0), EAssertionFailed);
  DeleteDC(plain);
  DeleteObject(ddb);
  DeleteDC(srcDC);
  DeleteDC(dstDC);
  DeleteObject(src);
  DeleteObject(dst);
}

TEST(TreeHelpers, WideTextFallbackMeasuresLines) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SIZE wide{};
  GetTextExtentPoint32W(dc, L"abcd", 4, &wide);
  std::u16string text = u"ab\r\nabcd";
  TRect r{10, 10, 11, 11};
  DrawWideTextFallback(dc, text, static_cast<int>(text.size()), r, DT_CALCRECT, true);
  EXPECT_EQ(r.Right - r.Left, wide.cx);
  EXPECT_EQ(r.Bottom - r.Top, 2 * metrics.tmHeight);
  DeleteDC(dc);
  EXPECT_EQ(OrderRect(TRect{5, 6, 1, 2}).Left, 1);
  EXPECT_EQ(ColorToImageListColor(clNone), CLR_NONE);
  EXPECT_EQ(ColorToImageListColor(clDefault), CLR_DEFAULT);
}

TEST(TreeLifetime, ThousandTreesLeakNoHandles) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->Show();
  auto makeSome = [&](int count) {
    for (int i = 0; i < count; ++i) {
      TVirtualDrawTree* tree = New<TVirtualDrawTree>(form);
      tree->SetParent(form);
      tree->SetNodeDataSize(0);
      tree->SetRootNodeCount(50);
      tree->HandleNeeded();
      tree->Free();
    }
  };
  makeSome(20);  // first-use resources
  DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  unsigned gdiSlots = GdiWatermark(), userSlots = UserWatermark();
  makeSome(1000);
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi + 5);
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user + 5);
  // Under Wine the counts above are 0: the slot watermarks see leaks there.
  EXPECT_LE(GdiWatermark(), gdiSlots + 20);
  EXPECT_LE(UserWatermark(), userSlots + 20);
  EXPECT_EQ(WorkerReferenceCount(), 0);
  form->Free();
}

TEST_F(TreeWindowTest, ScrollIntoViewExpandsAncestorsFirst) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(30);
  PVirtualNode parent = tree->GetLast();
  tree->SetChildCount(parent, 5);
  PVirtualNode inner = parent->LastChild;
  tree->SetChildCount(inner, 5);
  PVirtualNode deep = inner->LastChild;
  tree->ScrollIntoView(deep, false);
  EXPECT_TRUE(parent->States & vsExpanded);
  EXPECT_TRUE(inner->States & vsExpanded);
  TRect r = tree->GetDisplayRect(deep, NoColumn, false);
  EXPECT_GE(r.Top, 0);
  EXPECT_LE(r.Bottom, tree->ClientHeight());
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
}

TEST_F(TreeWindowTest, AlwaysVisibleShowsDisabledBars) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(2);
  tree->ScrollBarOptions()->SetAlwaysVisible(true);
  tree->UpdateScrollBars(true);
  SCROLLBARINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetScrollBarInfo(tree->Handle(), OBJID_VSCROLL, &info));
  EXPECT_FALSE(info.rgstate[0] & STATE_SYSTEM_INVISIBLE);
}

TEST_F(TreeWindowTest, PopupMenuQueryWalksUpUntilStopped) {
  tree->SetNodeDataSize(0);
  PVirtualNode top = tree->AddChild(nullptr);
  PVirtualNode middle = tree->AddChild(top);
  PVirtualNode leaf = tree->AddChild(middle);
  static std::vector<PVirtualNode> asked;
  static PVirtualNode stopAt = nullptr;
  asked.clear();
  stopAt = middle;
  tree->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TPoint, bool& askParent,
                            TComponent*&) {
    asked.push_back(node);
    if (node == stopAt) askParent = false;
  };
  EXPECT_EQ(tree->DoGetPopupMenu(leaf, 0, TPoint{1, 1}), nullptr);
  EXPECT_EQ(asked, (std::vector<PVirtualNode>{leaf, middle}));
  asked.clear();
  stopAt = nullptr;
  tree->DoGetPopupMenu(leaf, 0, TPoint{1, 1});
  EXPECT_EQ(asked, (std::vector<PVirtualNode>{leaf, middle, top}));
}

TEST_F(TreeWindowTest, DestroyedTreeLeavesTheWaitingList) {
  tree->SetNodeDataSize(0);
  tree->SetRootNodeCount(100000);
  ASSERT_EQ(WaitingTrees().size(), 1u);
  tree->Free();
  EXPECT_TRUE(WaitingTrees().empty());
  qvtest::Pump(20);
}

TEST_F(TreeWindowTest, CheckImagesAreDrawn) {
  tree->OnPaintBackground = [](TBaseVirtualTree*, TCanvas* canvas, TRect r, bool& handled) {
    canvas->Brush()->SetColor(clWhite);
    canvas->FillRect(r);
    const TCheckImageKind kinds[] = {ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckSystem, ckSystemFlat};
    int y = 2;
    for (TCheckImageKind kind : kinds) {
      TCustomImageList* list = GetCheckImageListFor(kind);
      for (int i = 0; i < 25; ++i) ImageList_Draw(list->Handle(), i, canvas->Handle(), 2 + i * 11, y, ILD_TRANSPARENT);
      y += list->Height() + 2;
    }
    handled = true;
  };
  tree->SetBounds(0, 0, 290, 200);
  tree->Invalidate();
  qvtest::Pump(100);
  std::string path = qvtest::SaveScreenshot(tree->Handle(), "tree_check_images");
  EXPECT_FALSE(path.empty());
  // A checked box (index 13) of the light list is not plain background.
  EXPECT_NE(qvtest::PixelAt(tree->Handle(), 2 + 13 * 11 + 8, 2 + 8), 0xFFFFFFu);
}

TEST(TreeDefinition, FormDefinitionCreatesAndConfiguresATree) {
  Application->Initialize();
  TForm* form = qvtest::NewFormFromText<TForm>(R"(
TForm TreeForm {
  ClientWidth = 300;
  ClientHeight = 200;
  TVirtualDrawTree Files {
    Left = 0; Top = 0; Width = 250; Height = 180;
    DefaultNodeHeight = 20;
    NodeDataSize = 8;
    RootNodeCount = 12;
    Indent = 24;
    CheckImageKind = ckDarkTick;
    TreeOptions.AutoOptions = [toAutoTristateTracking, toAutoSort];
    TreeOptions.MiscOptions = [toCheckSupport, toInitOnSave];
    Colors.TreeLineColor = clRed;
    ScrollBarOptions.ScrollBars = ssVertical;
  }
}
)");
  auto* tree = qvtest::Find<TVirtualDrawTree>(form, "Files");
  EXPECT_EQ(tree->GetRootNodeCount(), 12u);
  EXPECT_EQ(tree->RootNode()->FirstChild->NodeHeight, 20);
  EXPECT_EQ(tree->NodeDataSize(), 8);
  EXPECT_EQ(tree->Indent(), 24u);
  EXPECT_EQ(tree->CheckImageKind(), ckDarkTick);
  EXPECT_TRUE(tree->OptionValues().autoOptions.Contains(toAutoSort));
  EXPECT_FALSE(tree->OptionValues().autoOptions.Contains(toAutoDropExpand));
  EXPECT_TRUE(tree->OptionValues().misc.Contains(toCheckSupport));
  EXPECT_EQ(tree->Colors()->TreeLineColor(), clRed);
  EXPECT_EQ(tree->ScrollBarOptions()->ScrollBars(), ssVertical);
  EXPECT_EQ(CheckTreeInvariants(*tree), "");
  form->Free();
}

namespace {
// A control that hosts an embedded OLE object (it is the object's client site).
class TOleSite : public TCustomControl, public IOleClientSite {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown && riid != IID_IOleClientSite) return E_NOINTERFACE;
    *object = static_cast<IOleClientSite*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
};
class TPlainSite : public TCustomControl {};
}  // namespace

// The focus moving into the window of an embedded OLE object under the mouse
// clears the form's active control, so activating the form again does not
// take the focus back to the tree; any other control there leaves it.
TEST_F(TreeWindowTest, FocusLostToAnEmbeddedControlClearsTheFormsActiveControl) {
  for (bool embedded : {true, false}) {
    SCOPED_TRACE(embedded ? "OLE site" : "plain control");
    TCustomControl* site = embedded ? static_cast<TCustomControl*>(New<TOleSite>(form)) : New<TPlainSite>(form);
    site->SetParent(form);
    site->SetBounds(310, 10, 60, 60);
    // The object's own window, which the class library does not know.
    HWND object = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 5, 5, 40, 20, site->Handle(), nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(object, nullptr);
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    qvtest::Pump(20);
    ASSERT_EQ(form->ActiveControl(), tree);
    RECT r;
    GetWindowRect(object, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    qvtest::PumpUntil([&] {
      DWORD pos = GetMessagePos();
      return static_cast<int16_t>(LOWORD(pos)) == (r.left + r.right) / 2;
    }, 500);
    SetFocus(object);
    qvtest::Pump(20);
    EXPECT_EQ(GetFocus(), object);
    EXPECT_EQ(form->ActiveControl(), embedded ? nullptr : static_cast<TWinControl*>(tree));
    DestroyWindow(object);
    site->Free();
  }
}
