// The main form's creation: caption from the version resource, first-start
// steps, translation, the algorithm list, the menu and destruction.
#include "PatternsReader.h"
#include "WizardFixture.h"
#include "WizardPages.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ExplorerTree.h"
#include "win/Help.h"
#include "win/controls/Menus.h"
#include "win/graphics/Graphics.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

void ReadThreePatterns(TDataStorage* storage) {
  const char* rows[][3] = {{"ZERO", "Zeros", "Every byte becomes 0x00."},
                           {"RANDOM", "Random data", "One pass of random data."},
                           {"RANDOM", "Random data, twice", "Two passes of random data."}};
  for (auto& row : rows) {
    auto* pattern = New<TWipePattern>(0, row[0], row[1], row[2]);
    pattern->Passes->Add(New<TWipePass>(1, "00", ""));
    storage->Patterns->Add(pattern);
  }
  storage->Patterns->Items(2)->Passes->Add(New<TWipePass>(2, "FF", "924924"));
}

}  // namespace

TEST_F(WizardTest, CaptionIsProductNameAndVersionFromTheExecutable) {
  MakeForm();
  EXPECT_EQ(ProductName, "Quorvanell");
  EXPECT_EQ(form->Caption(), "Quorvanell v. 1.0");
  // The About dialog's return sets the caption again.
  int abouts = 0;
  WizardLinks.showAbout = [&] {
    ++abouts;
    form->SetCaption("changed");
  };
  form->MainMenuAboutClick(nullptr);
  EXPECT_EQ(abouts, 1);
  EXPECT_EQ(form->Caption(), "Quorvanell v. 1.0");
}

TEST_F(WizardTest, TheWindowCarriesTheProgramsOwnIcon) {
  MakeForm();
  // The class icon shows in the title bar and the taskbar.
  auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(form->Handle(), GCLP_HICON));
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(icon, LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION)));
  EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), L"MAINICON", MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON
  // The small one (title bar) is the icon's own small image, not the large one scaled.
  auto small = reinterpret_cast<HICON>(GetClassLongPtrW(form->Handle(), GCLP_HICONSM));
  ICONINFO info{};
  ASSERT_TRUE(small != nullptr && GetIconInfo(small, &info));
  BITMAP bits{};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bits), &bits);
  EXPECT_EQ(bits.bmWidth, GetSystemMetrics(SM_CXSMICON));
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
}

TEST_F(WizardTest, TheFileTreeTakesTheTreePanesDefaultsWhereTheFormStatesNothing) {
  MakeForm();
  TVirtualExplorerTreeview* tree = form->FileSelectTree();
  ASSERT_NE(tree, nullptr);
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  // Stated by the form (multi-select trades the level constraint for the sibling one).
  EXPECT_EQ(tree->RootFolder(), rfDrives);
  EXPECT_EQ(tree->FileObjects(), (TFileObjects{foFolders, foNonFolders, foHidden}));
  EXPECT_EQ(o->AutoOptions(), (TVTAutoOptions{toAutoScroll, toAutoTristateTracking}));
  EXPECT_EQ(o->MiscOptions(), (TVTMiscOptions{toAcceptOLEDrop, toCheckSupport, toEditable, toToggleOnDblClick}));
  EXPECT_EQ(o->SelectionOptions(), (TVTSelectionOptions{toMultiSelect, toSiblingSelectConstraint}));
  EXPECT_EQ(o->VETShellOptions(), TVETShellOptions{});
  EXPECT_FALSE(tree->ContextMenuManager()->Enabled);
  EXPECT_EQ(o->VETMiscOptions(), (TVETMiscOptions{toBrowseExecuteFolder, toBrowseExecuteFolderShortcut,
                                                  toBrowseExecuteZipFolder, toChangeNotifierThread,
                                                  toRemoveContextMenuShortCut}));
  EXPECT_EQ(o->VETImageOptions(), (TVETImageOptions{toImages, toThreadedImages, toMarkCutAndCopy}));
  // Left to the tree pane's defaults.
  EXPECT_EQ(o->PaintOptions(), (TVTPaintOptions{toShowButtons, toShowTreeLines, toUseBlendedImages,
                                                toGhostedIfUnfocused}));
  EXPECT_EQ(o->VETFolderOptions(), TVETFolderOptions{toFoldersExpandable});
  EXPECT_EQ(o->VETSyncOptions(), (TVETSyncOptions{toCollapseTargetFirst, toExpandTarget, toSelectTarget}));
}

// The file tree waits for its page: the form is made without it, and the
// page's first show makes it there, showing, with the storage of its ticks.
TEST_F(WizardTest, TheFileTreeIsMadeOnItsPagesFirstShow) {
  MakeForm();
  // The language the form was translated into reaches the tree made later.
  LangIni = New<TMemIniFile>();
  LangIni->SetText("[MainForm]\r\nMainForm.FileSelectTree.Hint=Zu l\xF6schende Dateien\r\n");
  EXPECT_EQ(form->FindComponent("FileSelectTree"), nullptr);
  EXPECT_EQ(form->FileTreeStorage, nullptr);
  Click("WelcomeFileAndFoldersRadioButton");
  Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpFileSelect);
  auto* tree = dynamic_cast<TVirtualExplorerTreeview*>(form->FindComponent("FileSelectTree"));
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->Parent(), form->FindComponent("FileSelectTabSheet"));
  EXPECT_TRUE(tree->HandleAllocated() && IsWindowVisible(tree->Handle()));
  EXPECT_EQ(form->FileTreeStorage, tree->GetStorage());
  EXPECT_EQ(form->FileSelectTree(), tree);
  EXPECT_EQ(tree->Hint(), "Zu l\xF6schende Dateien");
}

TEST_F(WizardTest, FirstStartChoosesLanguageThenOpensQuickStart) {
  std::vector<std::string> calls;
  GlobalFirstStart = true;
  WizardLinks.selectLanguage = [&] {
    calls.push_back("language");
    GlobalLanguage = "German.lng";
  };
  WizardLinks.showHelpTopic = [&](const std::string& topic) { calls.push_back(topic); };
  MakeForm();
  EXPECT_EQ(calls, (std::vector<std::string>{"language", "/files/quickstart.html"}));
  EXPECT_FALSE(GlobalFirstStart);
  // The chosen language is in force for the form.
  EXPECT_EQ(Text("BottomNext"), "&Weiter >");
  Click("WelcomeDiskWipeRadioButton");
  Click("BottomNext");
  EXPECT_EQ(Text("DiskSelectTopLabel"), LangString("", "strWipeDiskStep1"));
  EXPECT_NE(Text("DiskSelectTopLabel"), "Wipe Disk - Step 1 of 5: Select disk");
}

TEST_F(WizardTest, AnUnusablePatternsFileEndsTheFirstStartBeforeItsSteps) {
  std::vector<std::string> calls;
  GlobalFirstStart = true;
  GlobalLanguage.clear();
  WizardLinks.selectLanguage = [&] { calls.push_back("language"); };
  WizardLinks.showHelpTopic = [&](const std::string& topic) { calls.push_back(topic); };
  // As the program's reader does after its error box: the program is ending.
  PatternsFileReader = [](TDataStorage* storage) { storage->LoadFailed = true; };
  MakeForm();
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(GlobalFirstStart) << "the next start is still the first";
  EXPECT_TRUE(GlobalLanguage.empty());
}

TEST_F(WizardTest, LaterStartsSkipTheFirstStartSteps) {
  int calls = 0;
  WizardLinks.selectLanguage = [&] { ++calls; };
  WizardLinks.showHelpTopic = [&](const std::string&) { ++calls; };
  MakeForm();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Text("BottomNext"), "&Next >");
  EXPECT_EQ(ActivePageIndex(), wpWelcome);
  EXPECT_NE(Application->HelpFile().find(":\\"), std::string::npos);  // made absolute
}

TEST_F(WizardTest, AlgorithmListSelectsTheLastPatternWithTheChosenCode) {
  PatternsFileReader = ReadThreePatterns;
  MakeForm();
  auto* combo = Find<TComboBox>("AlgoritmComboBox");
  ASSERT_EQ(combo->Items()->Count(), 3);
  EXPECT_EQ(combo->Items()->Strings(0), "Zeros (1)");
  EXPECT_EQ(combo->Items()->Strings(2), "Random data, twice (2)");
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(Text("AlgoritmDescriptionLabel"), "Two passes of random data.");
  combo->SetItemIndex(0);
  form->AlgoritmComboBoxChange(combo);
  EXPECT_EQ(SelectedPatternCode, "ZERO");
  EXPECT_EQ(Text("AlgoritmDescriptionLabel"), "Every byte becomes 0x00.");
}

TEST_F(WizardTest, NoMatchingPatternLeavesTheListUnselected) {
  PatternsFileReader = ReadThreePatterns;
  SelectedPatternCode = "GUTMANN";
  MakeForm();
  EXPECT_EQ(Find<TComboBox>("AlgoritmComboBox")->ItemIndex(), -1);
  EXPECT_EQ(Text("AlgoritmDescriptionLabel"), "");
  EXPECT_EQ(SelectedPatternCode, "GUTMANN");
}

TEST_F(WizardTest, MenuOffersOnlyTheDialogsThatExist) {
  MakeForm();
  EXPECT_FALSE(Find<TMenuItem>("MainMenuAbout")->Enabled());
  EXPECT_FALSE(Find<TMenuItem>("MainMenuCommonSettings")->Enabled());
  form->Free();
  std::vector<int> pages;
  WizardLinks.showAdvancedParams = [&](int page) {
    pages.push_back(page);
    GlobalLanguage = "German.lng";  // the user picks German in the dialog
  };
  MakeForm();
  EXPECT_TRUE(Find<TMenuItem>("MainMenuConfirmations")->Enabled());
  form->MainMenuCommonSettingsClick(nullptr);
  form->MainMenuConfirmationsClick(nullptr);
  form->MainMenuInterfaceLanguageClick(nullptr);
  EXPECT_EQ(pages, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Text("BottomNext"), "&Weiter >");  // translated again after the dialog
}

TEST_F(WizardTest, DestroyingTheFormFreesThePatterns) {
  PatternsFileReader = ReadThreePatterns;
  MakeForm();
  EXPECT_NE(DataStorage, nullptr);
  EXPECT_EQ(MainForm, form);
  form->Free();
  EXPECT_EQ(DataStorage, nullptr);
  EXPECT_EQ(MainForm, nullptr);
}

// The program's reader parses the shipped patterns file with the form's own
// parser; the document stays with the form's DOM implementation.
TEST_F(WizardTest, PatternsAreReadByTheFormsParser) {
  PatternsFileReader = LoadProgramPatterns;
  MakeForm();
  auto* impl = Find<TDomImplementation>("DomImplementation1");
  auto* parser = Find<TXmlToDomParser>("XmlToDomParser");
  EXPECT_EQ(parser->DOMImpl(), impl);
  EXPECT_EQ(parser->BufferSize(), 4096);
  EXPECT_TRUE(parser->KeepComments());
  EXPECT_TRUE(parser->ResolveExternals()) << "the reader's setting is not left behind";
  EXPECT_FALSE(static_cast<bool>(impl->OnError)) << "the reader's error handler is not left behind";
  EXPECT_GT(DataStorage->Patterns->Count(), 0);
  ASSERT_EQ(impl->GetDocuments()->GetLength(), 1);
  EXPECT_EQ(static_cast<TdomDocument*>(impl->GetDocuments()->Item(0))->GetDocumentElement()->GetNodeName(),
            u"quorvanell");
}

namespace {

class KeywordViewer : public ICustomHelpViewer {
public:
  std::vector<std::string> shown;
  int id = 0;
  std::string GetViewerName() override { return "Keywords"; }
  int UnderstandsKeyword(const std::string&) override { return 1; }
  TStringList* GetHelpStrings(const std::string&) override { return nullptr; }
  bool CanShowTableOfContents() override { return false; }
  void ShowTableOfContents() override {}
  void ShowHelp(const std::string& keyword) override { shown.push_back(keyword); }
  void NotifyID(int viewerId) override { id = viewerId; }
  void SoftShutDown() override {}
  void ShutDown() override {}
};

}  // namespace

TEST_F(WizardTest, BottomBarHelpAndLink) {
  MakeForm();
  KeywordViewer viewer;
  Application->HelpSystem()->RegisterViewer(&viewer);
  SetForegroundWindow(form->Handle());
  Find<TWinControl>("BottomHelp")->SetFocus();
  Click("BottomHelp");
  qvtest::PumpUntil([&] { return !viewer.shown.empty(); }, 2000);
  keybd_event(VK_F1, 0, KEYEVENTF_KEYUP, 0);
  Application->HelpSystem()->Release(viewer.id);
  ASSERT_EQ(viewer.shown.size(), 1u);  // one key-down, one help request
  EXPECT_EQ(viewer.shown[0], "/files/contents.html");

  auto* link = Find("BottomWebSiteLabel");
  auto* panel = Find<TWinControl>("PanelBottom");
  SendMessageW(panel->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(link->Left() + 2, link->Top() + 2));
  EXPECT_TRUE(link->Font()->Style().Contains(fsUnderline));
  SendMessageW(panel->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 40));
  EXPECT_FALSE(link->Font()->Style().Contains(fsUnderline));
}

TEST_F(WizardTest, FormatChoicesRefreshTheFormatPage) {
  LinkPageParts();
  int refreshes = 0;
  WizardLinks.refreshFormatPage = [&](TMainForm* f) {
    ++refreshes;
    f->FormatValid = f->Item<TComboBox>("FormatComboBoxFileSystem")->ItemIndex() != 0;
  };
  MakeForm();
  Click("WelcomeDiskWipeRadioButton");
  for (int i = 0; i < 3; ++i) Click("BottomNext");
  ASSERT_EQ(ActivePageIndex(), wpFormat);
  EXPECT_EQ(refreshes, 1);
  Click("FormatCheckBoxAgree");
  EXPECT_EQ(refreshes, 2);
  auto* fileSystem = Find<TComboBox>("FormatComboBoxFileSystem");
  fileSystem->SetItemIndex(0);
  fileSystem->OnChange(fileSystem);
  EXPECT_EQ(refreshes, 3);
  EXPECT_FALSE(Enabled("BottomNext"));  // no valid default: Next waits
  fileSystem->SetItemIndex(2);
  fileSystem->OnChange(fileSystem);
  EXPECT_TRUE(Enabled("BottomNext"));
}
