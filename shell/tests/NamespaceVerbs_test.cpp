// Verbs, context menus, data objects and drops of shell items, run through
// the shell on files the tests make.
#include <gtest/gtest.h>

#include <shellapi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ShellTestHelpers.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"
#include "win/controls/Menus.h"
#include "win/testing/Harness.h"

using shelltest::TempFolder;

namespace {

std::u16string WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return vws::FromW(text);
}

// Answers the dialog boxes this process shows with button while it lives,
// and keeps their captions and texts.
class TDialogAnswer {
public:
  explicit TDialogAnswer(int button_) : button(button_), worker([this] { Run(); }) {}
  ~TDialogAnswer() {
    stop = true;
    worker.join();
  }
  std::vector<std::u16string> captions, texts;

private:
  void Run() {
    while (!stop) {
      EnumWindows(&TDialogAnswer::Each, reinterpret_cast<LPARAM>(this));
      Sleep(50);
    }
  }
  static BOOL CALLBACK Each(HWND window, LPARAM data) {
    auto* self = reinterpret_cast<TDialogAnswer*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (process != GetCurrentProcessId() || std::wstring(className) != L"#32770" || !IsWindowVisible(window))
      return TRUE;
    self->captions.push_back(WindowText(window));
    EnumChildWindows(window, &TDialogAnswer::EachChild, data);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(self->button, BN_CLICKED), 0);
    return TRUE;
  }
  static BOOL CALLBACK EachChild(HWND child, LPARAM data) {
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (std::wstring(cls) == L"Static") reinterpret_cast<TDialogAnswer*>(data)->texts.push_back(WindowText(child));
    return TRUE;
  }
  int button;
  std::atomic<bool> stop{false};
  std::thread worker;
};

bool Contains(const std::vector<std::u16string>& texts, std::u16string_view wanted) {
  for (const std::u16string& text : texts)
    if (text.find(wanted) != std::u16string::npos) return true;
  return false;
}

// The paths in a data object's file drop.
std::vector<std::u16string> DroppedFiles(IDataObject* data) {
  std::vector<std::u16string> out;
  if (data == nullptr) return out;
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&format, &medium))) return out;
  auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t path[MAX_PATH * 2] = {};
    DragQueryFileW(drop, i, path, MAX_PATH * 2);
    out.push_back(vws::FromW(path));
  }
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return out;
}

void CALLBACK EndMenuLate(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(shelltest::W(path)) != INVALID_FILE_ATTRIBUTES; }

struct VerbsFixture : ::testing::Test {
  TempFolder folder;
  std::u16string a, b, sub, other, otherFile;
  std::vector<TNamespace*> made;

  static void SetUpTestSuite() { OleInitialize(nullptr); }
  void SetUp() override {
    a = folder.MakeFile(u"a.txt", 10);
    b = folder.MakeFile(u"b.txt", 20);
    sub = folder.MakeFolder(u"sub");
    other = folder.MakeFolder(u"other");
    otherFile = folder.MakeFile(u"other\\c.txt", 30);
  }
  void TearDown() override {
    for (TNamespace* item : made) item->Free();
    OleSetClipboard(nullptr);
  }
  TNamespace* Item(const std::u16string& path) {
    made.push_back(TNamespace::CreateFromFileName(path));
    return made.back();
  }
};

}  // namespace

TEST_F(VerbsFixture, CopyPutsTheItemsOnTheClipboard) {
  TNamespace* first = Item(a);
  ASSERT_TRUE(first->Copy({first, Item(b)}));
  IDataObject* clip = nullptr;
  ASSERT_EQ(OleGetClipboard(&clip), S_OK);
  std::vector<std::u16string> files = DroppedFiles(clip);
  clip->Release();
  EXPECT_EQ(files, (std::vector<std::u16string>{a, b}));
  // An empty array copies the item itself.
  ASSERT_TRUE(Item(otherFile)->Copy({}));
  ASSERT_EQ(OleGetClipboard(&clip), S_OK);
  EXPECT_EQ(DroppedFiles(clip), std::vector<std::u16string>{otherFile});
  clip->Release();
}

TEST_F(VerbsFixture, ItemsOfAnotherFolderAreRefusedWithTheErrorBox) {
  TNamespace* first = Item(a);
  bool copied;
  std::vector<std::u16string> captions, texts;
  {
    TDialogAnswer answer(IDOK);
    copied = first->Copy({first, Item(otherFile)});
    qvtest::Pump(100);
    captions = answer.captions;
    texts = answer.texts;
  }
  EXPECT_FALSE(copied);
  EXPECT_TRUE(Contains(captions, u"Error"));
  EXPECT_TRUE(Contains(texts, u"PIDLs to operate on are not siblings of the Namespace doing the operation."));
}

TEST_F(VerbsFixture, CutAndDeleteNeedItemsThatCanBeDeleted) {
  ASSERT_NE(ControlPanelFolder(), nullptr);
  TNamespace* panel = ControlPanelFolder();
  ASSERT_FALSE(panel->CanDelete());
  TDialogAnswer answer(IDOK);
  EXPECT_FALSE(panel->Cut({panel}));
  EXPECT_FALSE(panel->Delete({panel}));
  EXPECT_FALSE(Item(a)->Cut({}));
  EXPECT_FALSE(Item(a)->Delete({}));
  qvtest::Pump(100);
  EXPECT_TRUE(answer.captions.empty()) << "refused before the shell is asked";
}

TEST_F(VerbsFixture, CutMarksTheClipboardAndAVerbMissingFromTheMenuAnswersFalse) {
  TNamespace* item = Item(a);
  ASSERT_TRUE(item->Cut({item}));
  IDataObject* clip = nullptr;
  ASSERT_EQ(OleGetClipboard(&clip), S_OK);
  EXPECT_EQ(DroppedFiles(clip), std::vector<std::u16string>{a});
  clip->Release();
  // This shell offers no "paste" on an item's menu: the folder pastes through its own menu;
  // pasting links is offered by neither.
  TNamespace* target = Item(sub);
  EXPECT_TRUE(target->Paste({target}));
  EXPECT_FALSE(target->Paste({target}, /*plainPaste=*/false));
  EXPECT_FALSE(target->Paste({}));
  EXPECT_FALSE(target->ExecuteContextMenuVerb(u"no such verb", {}));
  EXPECT_TRUE(Exists(a));
}

TEST_F(VerbsFixture, DataObjectsAndDropsReachTheFoldersDropTarget) {
  TNamespace* first = Item(a);
  IDataObject* data = first->DataObjectMulti({first, Item(b)});
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(DroppedFiles(data), (std::vector<std::u16string>{a, b}));
  TNamespace* target = Item(other);
  ASSERT_TRUE(target->DropTarget());
  DWORD effect = DROPEFFECT_COPY;
  POINTL pt{10, 10};
  EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, pt, &effect), S_OK);
  EXPECT_NE(target->GetDropTargetInterface(), nullptr);
  EXPECT_EQ(target->DragOver(MK_LBUTTON, pt, &effect), S_OK);
  EXPECT_EQ(target->DragLeave(), S_OK);
  data->Release();
  EXPECT_EQ(first->DataObjectMulti({}), nullptr);
}

TEST_F(VerbsFixture, ContextMenuShowsTheShellsVerbsAndOurItems) {
  TForm* form = qvtest::NewFormFromText<TForm>("TForm MenuOwner { Left = 10; Top = 10; Width = 300; Height = 200; }");
  form->Show();
  TNamespace* item = Item(b);
  // The show hook sees the shell's menu with its verbs and forbids showing.
  struct THooks : TObject {
    std::vector<std::u16string> verbs;
    int shown = 0;
    void Show(TNamespace* ns, HMENU menu, bool& allow) {
      ++shown;
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        verbs.push_back(vws::FromW(text));
      }
      allow = false;
    }
  } hooks;
  TPoint at{50, 50};
  EXPECT_FALSE(item->ShowContextMenu(form, &at, u"Ours", nullptr,
                                     MakeEvent<&THooks::Show>(&hooks), nullptr, nullptr));
  EXPECT_EQ(hooks.shown, 1);
  EXPECT_FALSE(hooks.verbs.empty());

  // Our popup's items come last, in a submenu; choosing one clicks it.
  TPopupMenu* popup = New<TPopupMenu>(form);
  TMenuItem* mine = New<TMenuItem>(popup);
  mine->SetCaption("Mine");
  struct TClicks : TObject {
    int clicks = 0;
    void Click(TObject*) { ++clicks; }
  } clicks;
  mine->OnClick = MakeEvent<&TClicks::Click>(&clicks);
  popup->Items()->Add(mine);
  struct TChooser : TObject {
    std::u16string lastCaption;
    HWND owner = nullptr;
    void Show(TNamespace*, HMENU menu, bool&) {
      int last = GetMenuItemCount(menu) - 1;
      wchar_t text[64] = {};
      GetMenuStringW(menu, last, text, 64, MF_BYPOSITION);
      lastCaption = vws::FromW(text);
      // The menu's loop reads the thread's queue: up to the last entry, into
      // its submenu, choose. A timer ends the menu should the keys miss.
      for (WORD key : {VK_UP, VK_RIGHT, VK_RETURN}) PostMessageW(owner, WM_KEYDOWN, key, 0);
      SetTimer(nullptr, 0, 3000, &EndMenuLate);
    }
  } chooser;
  chooser.owner = form->Handle();
  item->ShowContextMenu(form, &at, u"Ours", popup, MakeEvent<&TChooser::Show>(&chooser), nullptr, nullptr);
  EXPECT_EQ(chooser.lastCaption, u"Ours");
  EXPECT_EQ(clicks.clicks, 1);
  // No owner: the assertion.
  EXPECT_THROW(item->ShowContextMenu(nullptr, &at, u"", nullptr, nullptr, nullptr, nullptr), EAssertionFailed);
  form->Free();
}

TEST_F(VerbsFixture, ExecuteRefusesFoldersAndShortcutsToFolders) {
  EXPECT_FALSE(Item(sub)->ShellExecuteNamespace(u"", u"", false, /*runFolders=*/false));
  std::u16string link = folder / u"to sub.lnk";
  ASSERT_TRUE(shelltest::MakeShortcut(link, sub, u"", u"", 0, SW_SHOWNORMAL));
  EXPECT_FALSE(Item(link)->ShellExecuteNamespace(u"", u"", /*runFolderShortcuts=*/false, false));
  // A program runs, with the working folder given.
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::u16string cmd = vws::FromW(system) + u"\\cmd.exe";
  std::u16string marker = folder / u"ran.txt";
  EXPECT_TRUE(Item(cmd)->ShellExecuteNamespace(folder.Path(), u"/c echo x > ran.txt", false, false));
  qvtest::PumpUntil([&] { return Exists(marker); }, 10000);
  EXPECT_TRUE(Exists(marker));
}

namespace {

struct TTracedVerb {
  std::u16string item, verb;
  size_t count = 0;
  bool folderMenu = false;
};
std::vector<TTracedVerb> gTraced;

bool TraceAndRefuse(const std::u16string& item, const std::u16string& verb, size_t count, bool folderMenu) {
  gTraced.push_back({item, verb, count, folderMenu});
  return false;
}

struct TTraceScope {
  TTraceScope() {
    gTraced.clear();
    TNamespace::VerbTrace = TraceAndRefuse;
  }
  ~TTraceScope() { TNamespace::VerbTrace = nullptr; }
};

std::vector<std::u16string> gSheetFiles;
HRESULT WINAPI RecordingMultiFileProperties(IDataObject* data, DWORD) {
  gSheetFiles = DroppedFiles(data);
  return S_OK;
}

}  // namespace

TEST_F(VerbsFixture, OnePropertySheetForSeveralItems) {
  TNamespace* first = Item(a);
  TNamespace* second = Item(b);
  EXPECT_FALSE(first->ShowPropertySheetMulti({}));
  // The system's sheet of several files gets them all as one data object.
  wide::TSHMultiFileProperties saved = wide::SHMultiFileProperties;
  wide::SHMultiFileProperties = &RecordingMultiFileProperties;
  gSheetFiles.clear();
  EXPECT_TRUE(first->ShowPropertySheetMulti({first, second}));
  wide::SHMultiFileProperties = saved;
  // (Wine's desktop folder names absolute items of a data object by their
  // first ID only, so only the count is certain here.)
  EXPECT_EQ(gSheetFiles.size(), 2u);
  // Without it (as under Wine) the items' own "properties" verb runs once for all.
  wide::SHMultiFileProperties = nullptr;
  {
    TTraceScope trace;
    first->ShowPropertySheetMulti({first, second});
    ASSERT_FALSE(gTraced.empty());
    EXPECT_EQ(gTraced[0].verb, u"properties");
    EXPECT_EQ(gTraced[0].count, 2u);
    EXPECT_FALSE(gTraced[0].folderMenu);
  }
  wide::SHMultiFileProperties = saved;
}

TEST_F(VerbsFixture, PasteOnTheDesktopGoesToTheFolderBehindIt) {
  ASSERT_NE(DesktopFolder(), nullptr);
  ASSERT_NE(DesktopDirectoryFolder(), nullptr);
  TTraceScope trace;
  EXPECT_FALSE(DesktopFolder()->Paste({DesktopFolder()}, /*plainPaste=*/true));
  ASSERT_FALSE(gTraced.empty());
  for (const TTracedVerb& traced : gTraced) {
    EXPECT_EQ(lstrcmpiW(shelltest::W(traced.item), shelltest::W(DesktopDirectoryFolder()->NameForParsing())), 0)
        << vws::ToAnsi(traced.item);
    EXPECT_EQ(traced.verb, u"paste");
  }
  // A plain folder pastes into itself, through its own menu when its item menu has no paste.
  TNamespace* folder = Item(sub);
  gTraced.clear();
  folder->Paste({folder}, /*plainPaste=*/false);
  ASSERT_EQ(gTraced.size(), 2u);
  EXPECT_EQ(gTraced[0].verb, u"pastelink");
  EXPECT_FALSE(gTraced[0].folderMenu);
  EXPECT_TRUE(gTraced[1].folderMenu);
  EXPECT_EQ(lstrcmpiW(shelltest::W(gTraced[1].item), shelltest::W(sub)), 0);
}
