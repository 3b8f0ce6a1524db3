// The path combo box on the test drive, driven through the harness: the
// folder it shows, Enter on typed paths, the auto-complete list and the
// folder tree with their keys and mouse, and the link to an explorer tree.
#include <functional>
#include <utility>
#include <vector>

#include "ExplorerTestSupport.h"
#include "shell/AutoComplete.h"
#include "shell/ExplorerCombobox.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"
#include "core/PublishedMethods.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

std::u16string gInvalidPath;
int gInvalidCount = 0;
void RecordInvalid(TCustomVirtualExplorerCombobox*, const std::u16string& path) {
  gInvalidPath = path;
  ++gInvalidCount;
}

// Runs once on the first timer tick inside a drop-down's loop.
std::function<void()>* gInLoop = nullptr;
void CALLBACK InLoopTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (gInLoop != nullptr) std::exchange(gInLoop, nullptr)->operator()();
}
void RunInLoop(std::function<void()>* action) {
  gInLoop = action;
  SetTimer(nullptr, 0, 20, &InLoopTimer);
}

struct PathComboFixture : ExplorerFixture {
  TVirtualExplorerCombobox* combo = nullptr;
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    gInvalidPath.clear();
    gInvalidCount = 0;
    MakeFolder(folder + u"\\alpha");
    MakeFolder(folder + u"\\alpine");
    MakeFolder(folder + u"\\beta");
    MakeFile(folder + u"\\notes.txt");
    tree->SetBounds(4, 40, 400, 440);
    combo = New<TVirtualExplorerCombobox>(form);
    combo->SetParent(form);
    combo->SetBounds(4, 8, 400, 23);
    combo->OnInvalidPath = TOnComboInvalidPath(&RecordInvalid);
    form->Show();
    qvtest::Pump(30);
  }
  std::u16string ComboPath() {
    TNamespace* ns = combo->ActiveNamespace();
    return ns != nullptr ? PIDLToPath(ns->AbsolutePIDL()) : u"";
  }
  void Show(const std::u16string& path) {
    TNamespace* ns = TNamespace::CreateFromFileName(path);
    combo->SetActiveNamespace(ns);
    ns->Free();
  }
  void Enter(const std::u16string& text) {
    combo->ComboEdit()->SetTextW(text);
    combo->ComboEdit()->Perform(WM_KEYDOWN, VK_RETURN, 0);
  }
};

}  // namespace

TEST_F(PathComboFixture, ShowsTheFolderWithItsIconAndButton) {
  Show(folder + u"\\alpha");
  EXPECT_EQ(Narrow(combo->ComboEdit()->TextW()), "alpha");
  EXPECT_GE(combo->ImageIndex(), 0);
  EXPECT_FALSE(combo->ComboEdit()->TextChangedByTyping());
  TRect button = combo->ButtonRect();
  EXPECT_LE(button.Right, combo->ClientWidth());
  EXPECT_GE(button.Right, combo->ClientWidth() - 3);
  EXPECT_EQ(button.Width(), GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_LE(combo->ComboEdit()->BoundsRect().Right, button.Left - 1);
  qvtest::Pump(50);
  qvtest::SaveScreenshot(form->Handle(), "path-combo");
  // Text style 1: the parsing address.
  combo->SetTextStyle(1);
  EXPECT_EQ(combo->ComboEdit()->TextW(), folder + u"\\alpha");
}

TEST_F(PathComboFixture, EnterResolvesDrivesFoldersAndReportsTheMissingPart) {
  Enter(TestDrive().substr(0, 1));
  EXPECT_EQ(ComboPath(), TestDrive() + u"\\");
  Enter(folder + u"\\beta");
  EXPECT_EQ(ComboPath(), folder + u"\\beta");
  EXPECT_EQ(gInvalidCount, 0);
  // The third component is missing: it and the rest are selected and reported.
  std::u16string bad = folder + u"\\missing\\deeper";
  Enter(bad);
  EXPECT_EQ(gInvalidCount, 1);
  EXPECT_EQ(gInvalidPath, bad);
  EXPECT_EQ(ComboPath(), folder + u"\\beta") << "the folder stays";
  EXPECT_EQ(combo->ComboEdit()->SelStart(), static_cast<int>(folder.size() + 1));
  EXPECT_EQ(combo->ComboEdit()->SelLength(), static_cast<int>(bad.size() - folder.size() - 1));
}

TEST_F(PathComboFixture, TypingOpensTheCandidatesAndArrowsPickOne) {
  Show(folder);
  combo->ComboEdit()->SetFocus();
  combo->ComboEdit()->SetTextW(folder + u"\\a");
  combo->ComboEdit()->SetSelStart(static_cast<int>(folder.size() + 2));
  int candidates = -1;
  bool open = false;
  std::u16string afterDowns;
  // Second tick: the two Downs were handled; Enter accepts.
  std::function<void()> afterKeys = [&] {
    afterDowns = combo->ComboEdit()->TextW();
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  std::function<void()> inLoop = [&] {
    TPopupAutoCompleteDropDown* list = combo->PopupAutoCompleteDropDown();
    open = list->DroppedDown() && IsWindowVisible(list->Handle());
    candidates = static_cast<int>(list->PopupAutoCompleteTree()->GetRootNodeCount());
    qvtest::SaveScreenshot(list->Handle(), "path-combo-autocomplete");
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    RunInLoop(&afterKeys);
  };
  RunInLoop(&inLoop);
  // Typing "l" makes "...\al": the candidates alpha and alpine. The list's
  // loop runs inside the key's dispatch until Enter closes it.
  PostMessageW(combo->ComboEdit()->Handle(), WM_CHAR, 'l', 0);
  qvtest::PumpUntil([&] { return !afterDowns.empty() && !combo->PopupAutoCompleteDropDown()->DroppedDown(); }, 5000);
  EXPECT_TRUE(open);
  EXPECT_EQ(candidates, 2);
  EXPECT_EQ(Narrow(afterDowns), Narrow(folder + u"\\alpine")) << "the second Down wrote the second candidate";
  EXPECT_FALSE(combo->PopupAutoCompleteDropDown()->DroppedDown());
  EXPECT_EQ(Narrow(ComboPath()), Narrow(folder + u"\\alpine"));
  EXPECT_EQ(combo->PopupAutoCompleteDropDown()->PopupAutoCompleteTree()->GetRootNodeCount(), 0u);
}

// A candidates handler that frees the form (the combo box, its edit and its
// lists with it) ends the typing there: nothing of them is touched again.
static TForm* gFormToFree = nullptr;
TEST_F(PathComboFixture, ACandidatesHandlerThatFreesTheFormEndsTheTyping) {
  Show(folder);
  combo->ComboEdit()->SetFocus();
  combo->ComboEdit()->SetTextW(folder + u"\\a");
  combo->ComboEdit()->SetSelStart(static_cast<int>(folder.size() + 2));
  gFormToFree = std::exchange(form, nullptr);
  combo->PopupAutoCompleteOptions()->SetOnAutoCompleteUpdateList(
      [](TObject*, const std::u16string&, TWideStringList*, bool&) {
        if (gFormToFree != nullptr) std::exchange(gFormToFree, nullptr)->Free();
      });
  HWND edit = combo->ComboEdit()->Handle();
  SendMessageW(edit, WM_CHAR, 'l', 0);
  EXPECT_EQ(gFormToFree, nullptr) << "the candidates were asked for";
  EXPECT_FALSE(IsWindow(edit));
  qvtest::Pump(20);
}

TEST_F(PathComboFixture, TheFolderTreeOpensAtTheFolderAndDownEnterChoosesTheNext) {
  Show(folder + u"\\alpha");
  std::u16string openedAt;
  int offsetBefore = 0, offsetAfter = 0, barPosition = -1;
  TPopupExplorerTree* t = combo->PopupExplorerDropDown()->PopupExplorerTree();
  // Second tick: the wheel (sent to the focused edit) scrolled the list and the bar followed.
  std::function<void()> afterWheel = [&] {
    offsetAfter = t->OffsetY();
    barPosition = combo->PopupExplorerDropDown()->ScrollBar()->Position();
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  std::function<void()> inLoop = [&] {
    TNamespace* ns = t->NodeNamespace(t->GetFirstSelected());
    openedAt = ns != nullptr ? PIDLToPath(ns->AbsolutePIDL()) : u"?";
    qvtest::SaveScreenshot(combo->PopupExplorerDropDown()->Handle(), "path-combo-folders");
    t->SetOffsetY(0);
    offsetBefore = t->OffsetY();
    PostMessageW(combo->ComboEdit()->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    RunInLoop(&afterWheel);
  };
  RunInLoop(&inLoop);
  TRect button = combo->ButtonRect();
  combo->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button.Left + 4, button.Top + 4));
  EXPECT_EQ(openedAt, folder + u"\\alpha");
  EXPECT_LT(offsetAfter, offsetBefore) << "the wheel scrolls the list";
  EXPECT_EQ(barPosition, -offsetAfter);
  EXPECT_FALSE(combo->PopupExplorerDropDown()->DroppedDown());
  EXPECT_EQ(ComboPath(), folder + u"\\alpine");
  // Alt+Down in the edit opens it too; Escape closes without choosing.
  bool opened = false;
  std::function<void()> escape = [&] {
    opened = combo->PopupExplorerDropDown()->DroppedDown();
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(combo->ComboEdit()->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  };
  RunInLoop(&escape);
  combo->ComboEdit()->Perform(WM_SYSKEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(combo->PopupExplorerDropDown()->DroppedDown());
  EXPECT_EQ(ComboPath(), folder + u"\\alpine");
}

TEST_F(PathComboFixture, TheFolderTreeFollowsTheMouseAndAReleaseChooses) {
  Show(folder + u"\\alpha");
  std::u16string hot;
  std::vector<int> scrollStates;
  std::function<void()> inLoop = [&] {
    TPopupExplorerTree* t = combo->PopupExplorerDropDown()->PopupExplorerTree();
    PVirtualNode next = t->GetNextVisible(t->GetFirstSelected());  // alpine
    TRect r = t->GetDisplayRect(next, -1, /*textOnly=*/true);
    LPARAM at = MAKELPARAM(r.Left + 2, (r.Top + r.Bottom) / 2);
    t->Perform(WM_MOUSEMOVE, 0, at);
    TNamespace* ns = t->NodeNamespace(t->GetFirstSelected());
    hot = ns != nullptr ? PIDLToPath(ns->AbsolutePIDL()) : u"?";
    // Held above or below the list with the mouse captured: slow scrolling near the edge, fast beyond 20 pixels.
    TPopupExplorerDropDown* d = combo->PopupExplorerDropDown();
    SetCapture(t->Handle());
    t->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, -5));
    scrollStates.push_back(d->State() & TDropDownWnd::kScrollBits);
    t->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, -40));
    scrollStates.push_back(d->State() & TDropDownWnd::kScrollBits);
    t->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, t->ClientHeight() + 40));
    scrollStates.push_back(d->State() & TDropDownWnd::kScrollBits);
    t->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
    scrollStates.push_back(d->State() & TDropDownWnd::kScrollBits);
    ReleaseCapture();
    t->Perform(WM_MOUSEMOVE, 0, at);
    t->Perform(WM_LBUTTONUP, 0, at);
  };
  RunInLoop(&inLoop);
  combo->DropExplorer();
  EXPECT_EQ(hot, folder + u"\\alpine");
  EXPECT_EQ(ComboPath(), folder + u"\\alpine");
  using D = TDropDownWnd;
  EXPECT_EQ(scrollStates, (std::vector<int>{D::kSlowScrolling | D::kScrollUp, D::kFastScrolling | D::kScrollUp,
                                            D::kFastScrolling | D::kScrollDown, 0}));
}

TEST_F(PathComboFixture, LinkedToAnExplorerTreeBothWays) {
  combo->SetVirtualExplorerTree(tree);
  tree->SetActive(true);
  LPITEMIDLIST beta = PathToPIDL(folder + u"\\beta");
  ASSERT_NE(beta, nullptr);
  tree->BrowseTo(beta, false, true, false, false, /*selectTarget=*/true);
  ILFree(beta);
  EXPECT_EQ(ComboPath(), folder + u"\\beta") << "browsing in the tree updates the combo";
  Enter(folder + u"\\alpha");
  TNamespace* selected = tree->NodeNamespace(tree->GetFirstSelected());
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(PIDLToPath(selected->AbsolutePIDL()), folder + u"\\alpha") << "the combo moves the tree";
  combo->SetVirtualExplorerTree(nullptr);
  EXPECT_EQ(VETChangeDispatch->Count(), 0);
}

TEST(PathComboDefinition, ReadsItsSettingsAndIgnoresAlwaysShow) {
  Application->Initialize();
  TForm* form = qvtest::NewFormFromText<TForm>(R"(TForm ComboForm {
    Left = 10; Top = 10; Width = 300; Height = 120;
    TVirtualExplorerCombobox Combo {
      Left = 4; Top = 4; Width = 280; Height = 23; TextStyle = 1;
      PopupExplorerOptions.ComboBoxStyle = cbsVETEnhanced;
      PopupExplorerOptions.DropDownCount = 12;
      PopupExplorerOptions.Options = [poAnimated, poEnabled, poSizeable];
      PopupAutoCompleteOptions.AlwaysShow = True;
      PopupAutoCompleteOptions.Contents = [accCurrentDir, accHidden];
    }
  })");
  auto* combo = qvtest::Find<TVirtualExplorerCombobox>(form, "Combo");
  EXPECT_EQ(combo->TextStyle(), 1);
  EXPECT_EQ(combo->PopupExplorerDropDown()->ComboBoxStyle(), cbsVETEnhanced);
  EXPECT_TRUE(combo->PopupExplorerDropDown()->PopupExplorerTree()->TreeOptions()->PaintOptions().Contains(
      toShowTreeLines));
  EXPECT_EQ(combo->PopupExplorerDropDown()->DropDownCount(), 12);
  EXPECT_EQ(combo->PopupExplorerDropDown()->Options(), (TPopupOptions{poAnimated, poEnabled, poSizeable}));
  EXPECT_EQ(combo->PopupAutoCompleteOptions()->Contents(), (TAutoCompleteContents{accCurrentDir, accHidden}));
  // Defaults of a fresh combo box.
  TVirtualExplorerCombobox* fresh = New<TVirtualExplorerCombobox>(form);
  EXPECT_EQ(fresh->Width(), 300);
  EXPECT_EQ(fresh->ComboOptions(), 6);
  EXPECT_EQ(fresh->ImageIndex(), -1);
  EXPECT_EQ(fresh->PopupExplorerOptions()->Indent(), 10);
  EXPECT_EQ(fresh->PopupAutoCompleteOptions()->Indent(), 0);
  EXPECT_EQ(fresh->PopupExplorerOptions()->AnimationSpeed(), 200);
  EXPECT_EQ(fresh->PopupExplorerOptions()->Options(),
            (TPopupOptions{poEnabled, poRespectSysAnimationFlag, poThemeAware}));
  EXPECT_EQ(fresh->PopupAutoCompleteOptions()->Contents(),
            (TAutoCompleteContents{accCurrentDir, accMyComputer, accFileSysDirs, accFileSysFiles}));
  form->Free();
}

TEST_F(PathComboFixture, HeightFollowsTheFontAndTheButtonTracksTheMouse) {
  combo->Font()->SetSize(20);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, combo->Font()->Handle());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  EXPECT_GE(combo->Height(), tm.tmHeight + 8 * GetSystemMetrics(SM_CYBORDER));
  TRect button = combo->ButtonRect();
  EXPECT_LE(combo->ComboEdit()->BoundsRect().Right, button.Left - 1);
  combo->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(button.Left + 3, button.Top + 3));
  EXPECT_TRUE(combo->ComboState() & TCustomVirtualExplorerCombobox::kButtonHot);
  combo->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_FALSE(combo->ComboState() & TCustomVirtualExplorerCombobox::kButtonHot);
  // Classic look without visual styles.
  combo->SetComboOptions(combo->ComboOptions() & ~TCustomVirtualExplorerCombobox::kUseVisualStyles);
  EXPECT_FALSE(combo->Themed());
  Show(folder + u"\\beta");
  qvtest::Pump(50);
  qvtest::SaveScreenshot(form->Handle(), "path-combo-classic");
}

TEST_F(PathComboFixture, FreeingALinkedComboLeavesNoLink) {
  combo->SetVirtualExplorerTree(tree);
  EXPECT_EQ(VETChangeDispatch->Count(), 2);
  combo->Free();
  combo = nullptr;
  EXPECT_EQ(VETChangeDispatch->Count(), 0);
  tree->SetActive(true);
  LPITEMIDLIST beta = PathToPIDL(folder + u"\\beta");
  tree->BrowseTo(beta, false, true, false, false, /*selectTarget=*/true);  // tells no freed combo
  ILFree(beta);
}

namespace {

std::vector<std::string> gComboEvents;

struct TComboEventsForm : TForm {
  QV_PUBLISHED_METHODS(TComboEventsForm, TForm, QV_METHOD(RollingDown), QV_METHOD(RolledUp),
                       QV_METHOD(FolderListed), QV_METHOD(CandidatesWanted))
  void RollingDown(TDropDownWnd*, bool& allow) {
    gComboEvents.push_back("down");
    allow = false;
  }
  void RolledUp(TDropDownWnd*, bool) { gComboEvents.push_back("up"); }
  void FolderListed(TCustomVirtualExplorerTree*, TNamespace*, bool&) { gComboEvents.push_back("folder"); }
  void CandidatesWanted(TObject*, const std::u16string&, TWideStringList*, bool&) {
    gComboEvents.push_back("candidates");
  }
};

}  // namespace

TEST(PathComboDefinition, TheDropDownsEventsAreBoundFromTheDefinitionAndWrittenBack) {
  Application->Initialize();
  const char* text = R"(TForm ComboEvents {
    Left = 10; Top = 10; Width = 300; Height = 120;
    TVirtualExplorerCombobox Combo {
      Left = 4; Top = 4; Width = 280; Height = 23;
      PopupExplorerOptions.OnRollDown = RollingDown;
      PopupExplorerOptions.OnRollUp = RolledUp;
      PopupExplorerOptions.OnEnumFolder = FolderListed;
      PopupAutoCompleteOptions.OnRollDown = RollingDown;
      PopupAutoCompleteOptions.OnAutoCompleteUpdateList = CandidatesWanted;
    }
  })";
  gComboEvents.clear();
  auto* form = qvtest::NewFormFromText<TComboEventsForm>(text);
  auto* combo = qvtest::Find<TVirtualExplorerCombobox>(form, "Combo");
  TPopupExplorerOptions* explorer = combo->PopupExplorerOptions();
  TPopupAutoCompleteOptions* candidates = combo->PopupAutoCompleteOptions();
  ASSERT_TRUE(explorer->OnRollDown());
  ASSERT_TRUE(explorer->OnRollUp());
  ASSERT_TRUE(explorer->OnEnumFolder());
  ASSERT_TRUE(candidates->OnRollDown());
  ASSERT_FALSE(candidates->OnRollUp());
  ASSERT_TRUE(candidates->OnAutoCompleteUpdateList());
  bool allow = true;
  explorer->OnRollDown()(nullptr, allow);
  EXPECT_FALSE(allow);
  explorer->OnRollUp()(nullptr, true);
  bool allowChild = true;
  explorer->OnEnumFolder()(nullptr, nullptr, allowChild);
  bool handled = false;
  candidates->OnAutoCompleteUpdateList()(nullptr, u"x", nullptr, handled);
  EXPECT_EQ(gComboEvents, (std::vector<std::string>{"down", "up", "folder", "candidates"}));
  // Written back as they were read.
  std::string written = WriteFormDefinition(form);
  for (const char* line : {"PopupExplorerOptions.OnRollDown = RollingDown;", "PopupExplorerOptions.OnRollUp = RolledUp;",
                           "PopupExplorerOptions.OnEnumFolder = FolderListed;",
                           "PopupAutoCompleteOptions.OnRollDown = RollingDown;",
                           "PopupAutoCompleteOptions.OnAutoCompleteUpdateList = CandidatesWanted;"})
    EXPECT_NE(written.find(line), std::string::npos) << line;
  EXPECT_NE(written.find("PopupAutoCompleteOptions.OnRollUp = nil;"), std::string::npos);
  form->Free();
}

TEST(PathComboDefinition, ATreeNamesItsComboBoxAndBothFollowEachOther) {
  REQUIRE_EXPLORER_DRIVE();
  Application->Initialize();
  std::u16string folder = TestDrive() + u"\\qvcombolink";
  RemoveTree(folder);
  MakeFolder(folder);
  MakeFolder(folder + u"\\beta");
  TForm* form = qvtest::NewFormFromText<TForm>(R"(TForm LinkForm {
    Left = 10; Top = 10; Width = 400; Height = 400;
    TVirtualExplorerTreeview Tree {
      Left = 4; Top = 40; Width = 380; Height = 300;
      RootFolder = rfDrives;
      ExplorerComboBox = Combo;
    }
    TVirtualExplorerCombobox Combo { Left = 4; Top = 4; Width = 380; Height = 23; }
  })");
  auto* tree = qvtest::Find<TVirtualExplorerTreeview>(form, "Tree");
  auto* combo = qvtest::Find<TVirtualExplorerCombobox>(form, "Combo");
  EXPECT_EQ(tree->ExplorerComboBox(), combo);
  EXPECT_EQ(combo->VirtualExplorerTree(), tree);
  EXPECT_NE(WriteFormDefinition(form).find("ExplorerComboBox = Combo;"), std::string::npos);
  tree->SetActive(true);
  LPITEMIDLIST beta = PathToPIDL(folder + u"\\beta");
  ASSERT_NE(beta, nullptr);
  tree->BrowseTo(beta, false, true, false, false, /*selectTarget=*/true);
  ILFree(beta);
  TNamespace* shown = combo->ActiveNamespace();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(PIDLToPath(shown->AbsolutePIDL()), folder + u"\\beta") << "the combo follows the tree";
  // Unlinked and linked again from the tree's side; a freed combo box leaves nothing behind.
  tree->SetExplorerComboBox(nullptr);
  EXPECT_EQ(combo->VirtualExplorerTree(), nullptr);
  EXPECT_EQ(VETChangeDispatch->Count(), 0);
  tree->SetExplorerComboBox(combo);
  EXPECT_EQ(VETChangeDispatch->Count(), 2);
  combo->Free();
  EXPECT_EQ(tree->ExplorerComboBox(), nullptr);
  EXPECT_EQ(VETChangeDispatch->Count(), 0);
  EXPECT_NE(WriteFormDefinition(form).find("ExplorerComboBox = nil;"), std::string::npos);
  form->Free();
  RemoveTree(folder);
}

// A link back up to a folder above (made by run-explorer-tests.sh) is listed
// as an item but never entered: recursion through it would never end.
TEST(AutoCompleteLinks, RecursionEntersNoLink) {
  REQUIRE_EXPLORER_DRIVE();
  std::u16string loop = TestDrive() + u"\\qvlinkloop";
  if (GetFileAttributesW(reinterpret_cast<LPCWSTR>((loop + u"\\inner\\back").c_str())) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no link on the test drive";
  auto* complete = New<TVirtualShellAutoComplete>(static_cast<TComponent*>(nullptr));
  complete->SetContents({accCurrentDir, accFileSysDirs, accFileSysFiles, accRecursive, accSortList});
  complete->SetCurrentDir(loop);
  complete->Refresh();
  complete->FillStrings();
  EXPECT_EQ(Strings(complete->Strings()), (std::vector<std::u16string>{loop + u"\\inner", loop + u"\\inner\\back"}));
  complete->Free();
}

// A candidate list that takes no node (read-only) shows none of the
// application's candidates, and writes no candidate through a missing node.
TEST(PathComboCandidates, AListThatTakesNoNodeShowsNoCandidate) {
  Application->Initialize();
  auto* list = New<TPopupAutoCompleteTree>(nullptr);
  list->OnAutoCompleteUpdateList = [](TObject*, const std::u16string&, TWideStringList* strings, bool& handled) {
    strings->Add(u"C:\\a");
    strings->Add(u"C:\\b");
    handled = true;
  };
  list->UpdateList(u"C:\\");
  EXPECT_EQ(list->GetRootNodeCount(), 2u);
  list->TreeOptions()->SetMiscOptions(list->TreeOptions()->MiscOptions().Include(toReadOnly));
  list->UpdateList(u"C:\\");
  EXPECT_EQ(list->GetRootNodeCount(), 2u) << "a read-only list keeps what it showed";
  list->Free();
}
