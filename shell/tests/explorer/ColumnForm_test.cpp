// The column settings dialog: its form definition, texts (English and a
// translation), the width box's keys and pastes, reordering by dropping a
// name on another, and the column menu's "More ..." run with live updates,
// OK and Cancel on a list pane of the test drive.
#include <cstring>
#include <fstream>

#include "ExplorerTestSupport.h"
#include "core/MemoryStream.h"
#include "shell/ColumnForm.h"
#include "shell/ColumnMenu.h"
#include "shell/ExplorerListview.h"
#include "shell/ShellUtilities.h"
#include "shell/ToolkitTexts.h"
#include "win/FormDefinition.h"
#include "win/controls/StdCtrls.h"
#include "win/testing/Harness.h"

using namespace explorertest;

namespace {

struct ColumnDialog : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    dialog = New<TFormColumnSettings>(Application);
    const char* titles[] = {"Name", "Size", "Type", "Modified", "Attributes"};
    for (uint32_t i = 0; i < 5; ++i) dialog->AddColumn(AnsiToWideTest(titles[i]), i != 4, 100 + int(i), i);
  }
  void TearDown() override {
    SetToolkitTextTranslator(nullptr);
    if (dialog != nullptr) dialog->Free();
  }
  static std::u16string AnsiToWideTest(const char* s) { return std::u16string(s, s + std::strlen(s)); }
  std::vector<std::u16string> Titles() {
    std::vector<std::u16string> out;
    for (PVirtualNode n = dialog->VSTColumnNames()->GetFirstChild(nullptr); n; n = n->NextSibling)
      out.push_back(*dialog->NodeData(n)->Title);
    return out;
  }
  PVirtualNode NodeAt(int index) {
    PVirtualNode n = dialog->VSTColumnNames()->GetFirstChild(nullptr);
    while (n != nullptr && index-- > 0) n = n->NextSibling;
    return n;
  }
  template <class T>
  T* Find(const char* name) { return qvtest::Find<T>(dialog, name); }
  TFormColumnSettings* dialog = nullptr;
};

// The file without its leading comment lines.
std::string ReadDefinition(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line, text;
  bool header = true;
  while (std::getline(in, line)) {
    if (header && line.rfind("//", 0) == 0) continue;
    header = false;
    text += line + "\n";
  }
  return text;
}

void PutClipboardText(HWND owner, const std::u16string& text) {
  ASSERT_TRUE(OpenClipboard(owner));
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
  std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(char16_t));
  GlobalUnlock(block);
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
}

}  // namespace

TEST_F(ColumnDialog, TheDefinitionStatesEveryPropertyAndBindsEachControlToItsOwnHandlers) {
  // Read back and written again, the definition is the file itself: every value is stated.
  dialog->Free();  // a second form of the class would be named FormColumnSettings_1
  dialog = New<TFormColumnSettings>(Application);
  std::string written = WriteFormDefinition(dialog);
  std::string file = ReadDefinition(QV_SOURCE_DIR "/resources/forms/ColumnForm.qvf");
  EXPECT_TRUE(written == file) << "the definition differs from what the form writes";
  EXPECT_NE(written.find("OnKeyPress = EditPixelWidthKeyPress"), std::string::npos);
  EXPECT_NE(written.find("OnExit = EditPixelWidthExit"), std::string::npos);
  EXPECT_NE(written.find("OnClick = CheckBoxLiveUpdateClick"), std::string::npos);
  // FormCreate is the form's alone; the labels answer no clicks.
  size_t at = 0;
  int creates = 0;
  while ((at = written.find("= FormCreate", at)) != std::string::npos) ++creates, ++at;
  EXPECT_EQ(creates, 1);
  EXPECT_EQ(dialog->VSTColumnNames()->NodeDataSize(), static_cast<int>(sizeof(TColumnNodeData)));
}

// A list that takes no more nodes (read-only here) adds no column and leaves the others.
TEST_F(ColumnDialog, AColumnTheListRefusesIsNotAdded) {
  TVirtualStringTree* list = dialog->VSTColumnNames();
  list->TreeOptions()->SetMiscOptions(list->TreeOptions()->MiscOptions().Include(toReadOnly));
  EXPECT_EQ(dialog->AddColumn(u"Owner", true, 80, 9), nullptr);
  EXPECT_EQ(Titles().size(), 5u);
}

TEST_F(ColumnDialog, ShowsItsTextsInEnglishOrTheProgramsLanguage) {
  dialog->Show();
  qvtest::Pump(200);
  EXPECT_EQ(dialog->Caption(), "Column settings");
  EXPECT_EQ(Find<TLabel>("Label3")->Caption(), "pixels wide");
  EXPECT_EQ(Find<TButton>("ButtonCancel")->Caption(), "Cancel");
  EXPECT_EQ(dialog->VSTColumnNames()->CheckImageKind(), ckXP);
  // The width row stays centred.
  auto* prefix = Find<TLabel>("Label2");
  auto* suffix = Find<TLabel>("Label3");
  int left = prefix->Left(), right = dialog->ClientWidth() - (suffix->Left() + suffix->Width());
  EXPECT_LE(std::abs(left - right), 2);
  dialog->VSTColumnNames()->SetFocusedNode(NodeAt(1));
  qvtest::Pump(100);
  qvtest::SaveScreenshot(dialog->Handle(), "column_settings_en");
  dialog->Hide();

  SetToolkitTextTranslator([](const char* key, std::u16string_view english) -> std::u16string {
    std::string k = key;
    if (k == "strColumnSettings") return u"Spalteneinstellungen";
    if (k == "strColumnDlgWidthSuffix") return u"Pixel breit";
    if (k == "strCancel") return u"Abbrechen";
    return std::u16string(english);
  });
  dialog->Show();
  qvtest::Pump(100);
  EXPECT_EQ(dialog->Caption(), "Spalteneinstellungen");
  EXPECT_EQ(Find<TLabel>("Label3")->Caption(), "Pixel breit");
  EXPECT_EQ(Find<TButton>("ButtonCancel")->Caption(), "Abbrechen");
  EXPECT_EQ(Find<TButton>("ButtonOk")->Caption(), "OK");
  left = prefix->Left(), right = dialog->ClientWidth() - (suffix->Left() + suffix->Width());
  EXPECT_LE(std::abs(left - right), 2);
}

TEST_F(ColumnDialog, TheWindowIsNeverSmallerThanItsDefinition) {
  dialog->Show();
  int width = dialog->Width(), height = dialog->Height();
  EXPECT_EQ(width, 295);
  EXPECT_EQ(height, 370);
  SetWindowPos(dialog->Handle(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
  qvtest::Pump(50);
  RECT r;
  GetWindowRect(dialog->Handle(), &r);
  EXPECT_GE(r.right - r.left, width);
  EXPECT_GE(r.bottom - r.top, height);
}

TEST_F(ColumnDialog, TheWidthBoxTakesDigitsAndKeepsTheWidthForBadText) {
  dialog->Show();
  TVirtualStringTree* list = dialog->VSTColumnNames();
  TEdit* edit = dialog->EditPixelWidth();
  list->SetFocusedNode(NodeAt(0));
  EXPECT_EQ(edit->Text(), "100");
  edit->SetFocus();
  edit->SetTextProp("");
  qvtest::TypeText(edit, "1a2.3");
  EXPECT_EQ(edit->Text(), "123");
  // Enter stores the width and leaves the dialog open.
  qvtest::TypeText(edit, "\r");
  EXPECT_EQ(dialog->NodeData(NodeAt(0))->Width, 123);
  EXPECT_EQ(dialog->ModalResult(), mrNone);
  // A paste keeps the digits only, also through the system's own paste.
  edit->SetTextProp("");
  PutClipboardText(edit->Handle(), u"4 px\u00a05x");
  SendMessageW(edit->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(edit->Text(), "45");
  PutClipboardText(edit->Handle(), u"none");
  SendMessageW(edit->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(edit->Text(), "45");
  // Leaving the node with an empty or too large width keeps its width.
  edit->SetTextProp("");
  list->SetFocusedNode(NodeAt(1));
  EXPECT_EQ(dialog->NodeData(NodeAt(0))->Width, 123);
  EXPECT_EQ(edit->Text(), "101");
  edit->SetTextProp("99999");
  dialog->EditPixelWidthExit(edit);
  EXPECT_EQ(dialog->NodeData(NodeAt(1))->Width, 101);
  edit->SetTextProp("250");
  list->SetFocusedNode(NodeAt(2));
  EXPECT_EQ(dialog->NodeData(NodeAt(1))->Width, 250);

  int width = 0;
  for (const char* bad : {"", "-1", "10001", "12345678901234", "1 2", "+5"}) EXPECT_FALSE(ParseColumnWidth(bad, width)) << bad;
  EXPECT_TRUE(ParseColumnWidth("0", width));
  EXPECT_EQ(width, 0);
  EXPECT_TRUE(ParseColumnWidth("10000", width));
  EXPECT_EQ(width, 10000);
}

TEST_F(ColumnDialog, DroppingANameOnAnotherMovesItAndOnItselfChangesNothing) {
  dialog->Show();
  qvtest::Pump(50);
  // The third onto the first goes first; the first onto the third goes after it.
  dialog->MoveColumnNode(NodeAt(2), NodeAt(0));
  EXPECT_EQ(Titles(), (std::vector<std::u16string>{u"Type", u"Name", u"Size", u"Modified", u"Attributes"}));
  dialog->MoveColumnNode(NodeAt(0), NodeAt(2));
  EXPECT_EQ(Titles(), (std::vector<std::u16string>{u"Name", u"Size", u"Type", u"Modified", u"Attributes"}));
  dialog->MoveColumnNode(NodeAt(3), NodeAt(3));
  dialog->MoveColumnNode(nullptr, NodeAt(3));
  dialog->MoveColumnNode(NodeAt(3), nullptr);
  EXPECT_EQ(Titles(), (std::vector<std::u16string>{u"Name", u"Size", u"Type", u"Modified", u"Attributes"}));

  // Through the tree's handlers: the dragged node is remembered, the drop point names the target.
  TVirtualStringTree* list = dialog->VSTColumnNames();
  static int updates = 0;
  updates = 0;
  dialog->OnUpdate = [](TObject*) { ++updates; };
  dialog->CheckBoxLiveUpdate()->SetChecked(true);
  updates = 0;
  bool allowed = false;
  dialog->VSTColumnNamesDragAllowed(list, NodeAt(4), NoColumn, allowed);
  EXPECT_TRUE(allowed);
  TRect r = list->GetDisplayRect(NodeAt(1), NoColumn, false);
  int effect = DROPEFFECT_MOVE;
  dialog->VSTColumnNamesDragDrop(list, nullptr, nullptr, {}, {}, TPoint{r.Left + 20, (r.Top + r.Bottom) / 2}, effect,
                                 dmOnNode);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(Titles(), (std::vector<std::u16string>{u"Name", u"Attributes", u"Size", u"Type", u"Modified"}));
  EXPECT_EQ(updates, 1);
  // A drop without a remembered drag (or on the dragged node) moves nothing.
  dialog->VSTColumnNamesDragDrop(list, nullptr, nullptr, {}, {}, TPoint{r.Left + 20, (r.Top + r.Bottom) / 2}, effect,
                                 dmOnNode);
  dialog->VSTColumnNamesDragAllowed(list, NodeAt(1), NoColumn, allowed);
  dialog->VSTColumnNamesDragDrop(list, nullptr, nullptr, {}, {}, TPoint{r.Left + 20, (r.Top + r.Bottom) / 2}, effect,
                                 dmOnNode);
  EXPECT_EQ(Titles(), (std::vector<std::u16string>{u"Name", u"Attributes", u"Size", u"Type", u"Modified"}));
  // A click on a box changes the node's visibility and updates at once.
  EXPECT_FALSE(dialog->NodeData(NodeAt(1))->Visible);
  list->SetCheckState(NodeAt(1), csCheckedNormal);
  EXPECT_TRUE(dialog->NodeData(NodeAt(1))->Visible);
  EXPECT_EQ(updates, 4);
}

// ---- Through the column menu of a list pane -----------------------------------------------------

namespace {

std::function<void()> gModalScript;
void CALLBACK RunModalScript(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::function<void()> script = std::move(gModalScript);
  gModalScript = nullptr;
  if (script) script();
}
// Runs script once the column dialog's modal loop is running.
void WhenModal(std::function<void()> script) {
  gModalScript = std::move(script);
  SetTimer(nullptr, 0, 100, RunModalScript);
}

std::vector<uint8_t> HeaderBytes(TCustomVirtualExplorerTree* tree) {
  TMemoryStream stream;
  tree->Header()->SaveToStream(&stream);
  auto* bytes = static_cast<uint8_t*>(stream.Memory());
  return std::vector<uint8_t>(bytes, bytes + stream.Size());
}

struct ColumnMenuDialog : ExplorerFixture {
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    list = New<TVirtualExplorerListview>(form);
    list->SetParent(form);
    list->SetBounds(4, 4, 400, 480);
    TCustomVirtualExplorerTreeOptions* o = list->TreeOptions();
    o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
    o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toChangeNotifierThread).Include(toPersistentColumns));
    tree->SetVisible(false);
    form->Show();
    MakeFile(folder + u"\\a.txt");
    LPITEMIDLIST pidl = PathToPIDL(folder);
    list->BrowseTo(pidl, false, true, false, false, false);
    NamespacePIDLManager->FreePIDL(pidl);
    list->SetActive(true);
    list->SetColumnMenuItemCount(2);
    menu = list->ColumnMenu();
    menu->RebuildItems();
  }
  TMenuItem* More() { return menu->Items()->Items(menu->Items()->Count() - 1); }
  TVirtualExplorerListview* list = nullptr;
  TColumnMenu* menu = nullptr;
};

}  // namespace

TEST_F(ColumnMenuDialog, CancelAfterLiveChangesGivesTheHeaderBackExactly) {
  TVirtualTreeColumns* columns = list->Header()->Columns();
  std::vector<uint8_t> before = HeaderBytes(list);
  static bool hiddenAtOnce = false;
  static TVirtualExplorerListview* gList = nullptr;
  static int changes = 0;
  hiddenAtOnce = false;
  changes = 0;
  gList = list;
  list->OnColumnUserChangedVisiblility = [](TCustomVirtualExplorerTree*) { ++changes; };
  WhenModal([] {
    TFormColumnSettings* d = FormColumnSettings;
    ASSERT_NE(d, nullptr);
    d->CheckBoxLiveUpdate()->SetChecked(true);
    TVirtualStringTree* names = d->VSTColumnNames();
    PVirtualNode first = names->GetFirstChild(nullptr);
    names->SetCheckState(first, csUncheckedNormal);
    hiddenAtOnce = !gList->Header()->Columns()->Items(d->NodeData(first)->Value)->Options().Contains(coVisible);
    d->MoveColumnNode(first->NextSibling, first);
    qvtest::SaveScreenshot(d->Handle(), "column_settings_from_menu");
    qvtest::Find<TButton>(d, "ButtonCancel")->Click();
  });
  More()->Click();
  EXPECT_TRUE(hiddenAtOnce);
  EXPECT_EQ(FormColumnSettings, nullptr);
  EXPECT_EQ(HeaderBytes(list), before);
  EXPECT_TRUE(columns->Items(0)->Options().Contains(coVisible));
  EXPECT_EQ(changes, 0);
  // Live changes that were cancelled left no layout in the storage.
  LPITEMIDLIST pidl = PathToPIDL(folder);
  EXPECT_EQ(list->GetStorage()->Find(pidl, {skColumnLayout}), nullptr);
  NamespacePIDLManager->FreePIDL(pidl);
}

TEST_F(ColumnMenuDialog, OkAppliesOrderVisibilityAndWidthAndStoresTheLayout) {
  TVirtualTreeColumns* columns = list->Header()->Columns();
  int count = columns->Count();
  ASSERT_GE(count, 3);
  static int changes = 0;
  changes = 0;
  list->OnColumnUserChangedVisiblility = [](TCustomVirtualExplorerTree*) { ++changes; };
  WhenModal([] {
    TFormColumnSettings* d = FormColumnSettings;
    ASSERT_NE(d, nullptr);
    TVirtualStringTree* names = d->VSTColumnNames();
    PVirtualNode first = names->GetFirstChild(nullptr);
    PVirtualNode third = first->NextSibling->NextSibling;
    names->SetFocusedNode(third);
    d->EditPixelWidth()->SetTextProp("77");
    names->SetFocusedNode(first);  // stores 77 for the third
    d->MoveColumnNode(third, first);
    names->SetCheckState(third, csCheckedNormal);
    names->SetCheckState(first, csUncheckedNormal);
    qvtest::Find<TButton>(d, "ButtonOk")->Click();
  });
  More()->Click();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(columns->Items(2)->Position(), 0);
  EXPECT_EQ(columns->Items(0)->Position(), 1);
  EXPECT_EQ(columns->Items(2)->Width(), 77);
  EXPECT_TRUE(columns->Items(2)->Options().Contains(coVisible));
  EXPECT_FALSE(columns->Items(0)->Options().Contains(coVisible));
  LPITEMIDLIST pidl = PathToPIDL(folder);
  TNodeStorage* record = list->GetStorage()->Find(pidl, {skColumnLayout});
  NamespacePIDLManager->FreePIDL(pidl);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Storage.Columns.Widths[2], 77);
  EXPECT_EQ(record->Storage.Columns.Positions[2], 0);
  EXPECT_EQ(record->Storage.Columns.Visible[0], 0);
}
