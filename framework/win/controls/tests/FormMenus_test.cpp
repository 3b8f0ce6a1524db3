#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ControlsForm.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

// A form with a menu bar named by its Menu property, and pop-up menus on an
// edit and on a panel that holds another edit.
const char* const kMenuFormDefinition = R"(TControlsForm MenuForm {
  Caption = "Menus";
  ClientWidth = 320; ClientHeight = 200;
  Menu = Bar;
  TEdit Field { Left = 8; Top = 8; Width = 120; Height = 21; PopupMenu = FieldMenu; TabOrder = 0; }
  TPanel Box {
    Left = 8; Top = 40; Width = 200; Height = 100; PopupMenu = BoxMenu; TabOrder = 1;
    TEdit Inner { Left = 8; Top = 8; Width = 120; Height = 21; TabOrder = 0; }
  }
  TMainMenu Bar {
    TMenuItem BarFile {
      Caption = "&File";
      TMenuItem BarSave { Caption = "&Save"; ShortCut = "Ctrl+S"; OnClick = MenuClick; }
      TMenuItem BarLine { Caption = "-"; }
      TMenuItem BarRevert { Caption = "&Revert"; ShortCut = "Alt+R"; OnClick = MenuClick; }
      TMenuItem BarOff { Caption = "&Off"; ShortCut = "F9"; Enabled = False; OnClick = MenuClick; }
    }
    TMenuItem BarHelp { Caption = "&Help"; }
  }
  TPopupMenu FieldMenu {
    TMenuItem FieldClear { Caption = "Clear"; ShortCut = "Ctrl+Del"; OnClick = MenuClick; }
  }
  TPopupMenu BoxMenu {
    TMenuItem BoxRefresh { Caption = "Refresh"; ShortCut = "F5"; OnClick = MenuClick; }
  }
}
)";

// Timer procedure: closes whatever menu is open.
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

class FormMenusTest : public ::testing::Test {
protected:
  void SetUp() override {
    Application->Initialize();
    Application->OnException = TExceptionEvent(+[](TObject*, const std::exception& e) {
      ADD_FAILURE() << "exception in a handler: " << e.what();
    });
    form = qvtest::NewFormFromText<TControlsForm>(kMenuFormDefinition);
    alive = form->Alive();
    bar = qvtest::Find<TMainMenu>(form, "Bar");
    form->Show();
    qvtest::Pump(30);
  }
  void TearDown() override {
    if (*alive) form->Free();
    Application->OnException = nullptr;
  }
  template <class T>
  T* Get(const char* name) {
    return qvtest::Find<T>(form, name);
  }
  // The item captions of the bar the window shows now, sub-menu of index.
  int ShownCount(int index) {
    HMENU shown = GetMenu(form->Handle());
    return index < 0 ? GetMenuItemCount(shown) : GetMenuItemCount(GetSubMenu(shown, index));
  }
  // Posts a key as the system sends it (Alt down: WM_SYSKEYDOWN with the context bit).
  void PostKey(TWinControl* control, WORD vk, bool alt) {
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | (scan << 16) | (alt ? 0x20000000 : 0);
    PostMessageW(control->Handle(), alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, data);
    PostMessageW(control->Handle(), alt ? WM_SYSKEYUP : WM_KEYUP, vk, data | 0xC0000000u);
    Application->ProcessMessages();
  }

  TControlsForm* form = nullptr;
  TMainMenu* bar = nullptr;
  TAliveToken alive;
};

TEST_F(FormMenusTest, MenuPropertyShowsTheBarAndKeepsTheClientSize) {
  EXPECT_EQ(form->Menu(), bar);
  EXPECT_EQ(GetMenu(form->Handle()), bar->Handle());
  EXPECT_EQ(ShownCount(-1), 2);
  EXPECT_EQ(ShownCount(0), 4);
  // The definition's client size holds with the bar above it.
  EXPECT_EQ(form->ClientWidth(), 320);
  EXPECT_EQ(form->ClientHeight(), 200);
  // A command from the bar reaches the item's handler.
  SendMessageW(form->Handle(), WM_COMMAND, Get<TMenuItem>("BarSave")->Command(), 0);
  EXPECT_EQ(form->menuClicks, 1);
  qvtest::SaveScreenshot(form->Handle(), "form_menu_bar");

  // Taking the bar away and giving it back keeps the client area.
  form->SetMenu(nullptr);
  EXPECT_EQ(GetMenu(form->Handle()), nullptr);
  EXPECT_EQ(form->ClientHeight(), 200);
  form->SetMenu(bar);
  EXPECT_EQ(GetMenu(form->Handle()), bar->Handle());
  EXPECT_EQ(form->ClientHeight(), 200);
  // Only a menu bar may be the form's menu.
  EXPECT_THROW(form->SetMenu(Get<TPopupMenu>("BoxMenu")), EComponentError);
  EXPECT_THROW(form->SetMenu(Get<TEdit>("Field")), EComponentError);
  EXPECT_EQ(form->Menu(), bar);
}

TEST_F(FormMenusTest, BarSurvivesANewWindowAndFollowsItsItems) {
  HWND before = form->Handle();
  form->SetBorderStyle(bsSingle);  // recreates the window
  ASSERT_NE(form->Handle(), before);
  EXPECT_FALSE(IsWindow(before));
  HMENU shown = GetMenu(form->Handle());
  EXPECT_EQ(shown, bar->Handle());
  EXPECT_TRUE(IsMenu(shown));  // the old window did not take the bar with it
  EXPECT_EQ(ShownCount(0), 4);
  EXPECT_EQ(form->ClientHeight(), 200);
  SendMessageW(form->Handle(), WM_COMMAND, Get<TMenuItem>("BarRevert")->Command(), 0);
  EXPECT_EQ(form->menuClicks, 1);
  // A new item shows in the bar of the new window.
  TMenuItem* added = New<TMenuItem>(nullptr);
  added->SetCaption("&Print");
  added->OnClick = MakeEvent<&TControlsForm::MenuClick>(form);
  Get<TMenuItem>("BarFile")->Add(added);
  EXPECT_EQ(ShownCount(0), 5);
  SendMessageW(form->Handle(), WM_COMMAND, added->Command(), 0);
  EXPECT_EQ(form->menuClicks, 2);
}

// The system's own menu loop on the new window: Alt+F opens File, S chooses Save.
TEST_F(FormMenusTest, KeyboardChoosesFromTheBarOfANewWindow) {
  form->SetBorderStyle(bsSingle);
  auto* field = Get<TEdit>("Field");
  field->SetFocus();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return GetFocus() == field->Handle(); }, 1000));
  // All keys go in before the loop runs: the menu's own loop takes them from the queue.
  const WORD keys[][2] = {{VK_MENU, 0}, {'F', 0}, {'F', KEYEVENTF_KEYUP}, {VK_MENU, KEYEVENTF_KEYUP},
                          {'S', 0},     {'S', KEYEVENTF_KEYUP}};
  INPUT in[6]{};
  for (int i = 0; i < 6; ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = keys[i][0];
    in[i].ki.dwFlags = keys[i][1];
  }
  // A menu left open would hold the test: close it after a while.
  UINT_PTR guard = SetTimer(nullptr, 0, 3000, CloseMenu);
  SendInput(6, in, sizeof(INPUT));
  EXPECT_TRUE(qvtest::PumpUntil([&] { return form->menuClicks == 1; }, 4000));
  KillTimer(nullptr, guard);
}

TEST_F(FormMenusTest, FreedBarLeavesTheFormAndNoDefinitionMayNameAnotherClass) {
  HWND hwnd = form->Handle();
  bar->Free();
  EXPECT_EQ(form->Menu(), nullptr);
  EXPECT_EQ(GetMenu(hwnd), nullptr);
  form->SetBorderStyle(bsSingle);  // a new window without a bar
  EXPECT_EQ(GetMenu(form->Handle()), nullptr);

  std::string wrong = "TControlsForm WrongMenu {\n  Menu = Pop;\n  TPopupMenu Pop { }\n}\n";
  EXPECT_THROW(qvtest::NewFormFromText<TControlsForm>(wrong), Exception);
}

// Shortcuts of the focused control's pop-up menu, its parents', then the bar's.
TEST_F(FormMenusTest, ShortCutsReachPopupMenusUpTheParentsAndTheBar) {
  auto* inner = Get<TEdit>("Inner");
  auto* field = Get<TEdit>("Field");
  inner->SetFocus();
  PostKey(inner, VK_F5, false);  // the panel's pop-up menu
  EXPECT_EQ(form->menuClicks, 1);
  PostKey(field, VK_F5, false);  // not in the edit's chain
  EXPECT_EQ(form->menuClicks, 1);
  PostKey(field, 'R', /*alt=*/true);  // the bar's, from any control
  EXPECT_EQ(form->menuClicks, 2);
  PostKey(inner, 'R', /*alt=*/true);
  EXPECT_EQ(form->menuClicks, 3);
  PostKey(inner, VK_F9, false);  // a disabled item does nothing
  EXPECT_EQ(form->menuClicks, 3);
  PostKey(inner, 'S', false);  // the key without its Ctrl is typed, not a shortcut
  EXPECT_EQ(form->menuClicks, 3);

  // Ctrl held on the real keyboard.
  field->SetFocus();
  ASSERT_TRUE(qvtest::PumpUntil([&] { return GetFocus() == field->Handle(); }, 1000));
  qvtest::PressKeyByInput(VK_CONTROL, /*keyUp=*/false);
  qvtest::PressKeyByInput(VK_DELETE);
  qvtest::PressKeyByInput('S');
  qvtest::PressKeyByInput(VK_CONTROL);
  EXPECT_TRUE(qvtest::PumpUntil([&] { return form->menuClicks == 5; }, 2000));
  EXPECT_EQ(form->menuClicks, 5);

  // Without a bar, the pop-up menus still answer.
  form->SetMenu(nullptr);
  PostKey(field, 'R', true);
  EXPECT_EQ(form->menuClicks, 5);
  PostKey(inner, VK_F5, false);
  EXPECT_EQ(form->menuClicks, 6);
}

// Written out, menu items nest under their menu and parent item, and the text
// reads back to the same menus and writes out the same again.
TEST_F(FormMenusTest, DefinitionNestsMenuItemsAndReadsBackIdentically) {
  std::string written = WriteFormDefinition(form);
  size_t barAt = written.find("  TMainMenu Bar {\n");
  size_t fileAt = written.find("    TMenuItem BarFile {\n");
  size_t saveAt = written.find("      TMenuItem BarSave {\n");
  size_t refreshAt = written.find("    TMenuItem BoxRefresh {\n");
  ASSERT_NE(barAt, std::string::npos) << written;
  ASSERT_NE(fileAt, std::string::npos) << written;
  ASSERT_NE(saveAt, std::string::npos) << written;
  ASSERT_NE(refreshAt, std::string::npos) << written;
  EXPECT_LT(barAt, fileAt);
  EXPECT_LT(fileAt, saveAt);
  EXPECT_NE(written.find("  Menu = Bar;\n"), std::string::npos);
  EXPECT_NE(written.find("ShortCut = \"Ctrl+S\";"), std::string::npos);

  TOwned<TControlsForm> again(qvtest::NewFormFromText<TControlsForm>(written));
  auto* bar2 = qvtest::Find<TMainMenu>(again.get(), "Bar");
  EXPECT_EQ(again->Menu(), bar2);
  ASSERT_EQ(bar2->Items()->Count(), 2);
  TMenuItem* file = bar2->Items()->Items(0);
  EXPECT_EQ(file->Name(), "BarFile");
  ASSERT_EQ(file->Count(), 4);
  EXPECT_EQ(file->Items(0)->Name(), "BarSave");
  EXPECT_EQ(file->Items(0)->ShortCut(), ShortCut('S', TShiftState{ssCtrl}));
  EXPECT_TRUE(file->Items(1)->IsLine());
  EXPECT_FALSE(file->Items(3)->Enabled());
  auto* boxMenu = qvtest::Find<TPopupMenu>(again.get(), "BoxMenu");
  ASSERT_EQ(boxMenu->Items()->Count(), 1);
  EXPECT_EQ(boxMenu->Items()->Items(0)->Name(), "BoxRefresh");
  // The same text again, but for the form's own name (the first stays alive, so the second got another).
  std::string rewritten = WriteFormDefinition(again.get());
  EXPECT_EQ(rewritten.substr(rewritten.find('\n')), written.substr(written.find('\n')));
}

}  // namespace
