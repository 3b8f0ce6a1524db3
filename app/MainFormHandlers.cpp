// The handlers of the welcome page, the bottom bar, the menu and the pages
// whose work lies behind WizardLinks.
#include "MainForm.h"

#include "Drives.h"
#include "HtmlHelpInterface.h"
#include "Settings.h"
#include "Utils.h"
#include "WizardPages.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/Menus.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"

// ----- Welcome page

void TMainForm::ChooseTask(const char* radioName) {
  // Checking the radio fires its OnClick, that is CheckState.
  Item<TRadioButton>(radioName)->SetChecked(true);
}

void TMainForm::WelcomeFileImageClick(TObject*) { ChooseTask("WelcomeFileAndFoldersRadioButton"); }
void TMainForm::WelcomeDiskImageClick(TObject*) { ChooseTask("WelcomeDiskWipeRadioButton"); }
void TMainForm::WelcomeFreeImageClick(TObject*) { ChooseTask("WelcomeFreeSpaceRadioButton"); }

void TMainForm::WelcomeFileAndFoldersRadioButtonDblClick(TObject*) {
  CheckState();
  Item<TButton>("BottomNext")->Click();
}

// ----- Bottom bar

void TMainForm::BottomCloseClick(TObject*) { Close(); }

void TMainForm::BottomMenuClick(TObject*) {
  POINT pos{};
  GetCursorPos(&pos);
  Item<TPopupMenu>("MainMenu")->Popup(pos.x, pos.y);
}

// Help for the page or control the user was on, resolved as F1 would be; a
// synthesised F1 key-down would leave F1 looking held.
void TMainForm::BottomHelpClick(TObject* sender) {
  ShowHelpFor(this, dynamic_cast<TControl*>(sender), Item<TPageControl>("PageControlMain")->ActivePage());
}

void TMainForm::BottomWebSiteLabelClick(TObject*) { ExecuteProgram(kProductWebSite, ""); }

void TMainForm::BottomWebSiteLabelMouseMove(TObject* sender, TShiftState, int, int) {
  static_cast<TControl*>(sender)->Font()->SetStyle(TFontStyles{fsUnderline});
}

void TMainForm::BottomWebSiteLabelMouseLeave(TObject* sender) {
  static_cast<TControl*>(sender)->Font()->SetStyle(TFontStyles{});
}

// ----- Menu

void TMainForm::RunSettingsDialog(int page) {
  if (!WizardLinks.showAdvancedParams) return;
  WizardLinks.showAdvancedParams(page);
  UpdateInterfaceLanguage();
}

void TMainForm::MainMenuCommonSettingsClick(TObject*) { RunSettingsDialog(0); }
void TMainForm::MainMenuConfirmationsClick(TObject*) { RunSettingsDialog(1); }
void TMainForm::MainMenuInterfaceLanguageClick(TObject*) { RunSettingsDialog(2); }

void TMainForm::MainMenuAboutClick(TObject*) {
  if (!WizardLinks.showAbout) return;
  WizardLinks.showAbout();
  SetCaption(WindowCaption());
}

// ----- File pages

void TMainForm::FileSelectTabSheetShow(TObject*) {
  // The page's tree is made on its first show.
  FileSelectTree();
  if (!TreeNeedsBuild || !WizardLinks.buildTree) return;
  WizardLinks.buildTree(this);
  TreeNeedsBuild = false;
}

void TMainForm::FilesPopupMenuRefreshClick(TObject*) {
  if (WizardLinks.buildTree) WizardLinks.buildTree(this);
}

// ----- Drive pages

void TMainForm::DiskSelectTabSheetShow(TObject*) {
  if (!DrivesNeedScan || !WizardLinks.fillDrivesList) return;
  WizardLinks.fillDrivesList(this);
  auto* list = Item<TListView>("DiskSelectListView");
  if (list->CanFocus()) list->SetFocus();
  if (list->Items()->Count() > 0) {
    TListItem* first = list->Items()->Item(0);
    first->SetFocused(true);
    first->SetSelected(true);
  }
  DiskSelectListViewClick(list);
  DrivesNeedScan = false;
}

void TMainForm::DiskSelectListViewClick(TObject*) {
  const char oldLetter = DriveLetter;
  DriveLetter = '?';
  DriveText = "???";
  DriveNumber = 0;
  TListItem* row = Item<TListView>("DiskSelectListView")->Selected();
  if (row != nullptr && !row->Caption().empty()) {
    // "C (System)" is shown as "C:\ (System)".
    const std::string& caption = row->Caption();
    DriveLetter = caption[0];
    DriveText = caption.substr(0, 1) + ":\\" + caption.substr(1);
  }
  // A drive the latest scan found without media cannot be chosen.
  if (DriveWithoutMedia(DriveLetter)) {
    DriveLetter = '?';
    DriveText = "???";
  }
  if (DriveLetter >= 'A' && DriveLetter <= 'Z') DriveNumber = static_cast<uint8_t>(DriveLetter - 'A' + 1);
  // Another drive: the format page detects its file system again.
  if (DriveLetter != oldLetter) Item<TComboBox>("FormatComboBoxFileSystem")->SetItemIndex(-1);
  CheckState();
}

void TMainForm::DiskSelectListViewDblClick(TObject*) {
  // Not on an empty area (where the click may leave the previous row
  // selected), nor on a row that cannot be chosen: the rule of Next.
  auto* list = Item<TListView>("DiskSelectListView");
  const DWORD at = GetMessagePos();
  LVHITTESTINFO hit{};
  hit.pt = POINT{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  ::ScreenToClient(list->Handle(), &hit.pt);
  const auto row = static_cast<int>(SendMessageW(list->Handle(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (row < 0 || (hit.flags & LVHT_ONITEM) == 0) return;
  if (!Item<TButton>("BottomNext")->Enabled()) return;
  BottomNextClick();
}

void TMainForm::DiskSelectListViewChange(TObject* sender, TListItem*, TItemChange change) {
  if (change == ctState) DiskSelectListViewClick(sender);
}

void TMainForm::FormatOptionsChange(TObject*) {
  // During the page's own refresh the allocation units may still be those of
  // the previous drive's file system: the refresh decides about Next itself.
  if (refreshingFormatPage || Step < 1 || PageOfStep(Task, Step) != wpFormat) return;
  ValidateFormatChoice(this);
  Item<TButton>("BottomNext")->SetEnabled(FormatValid);
}

void TMainForm::DiskSelectRescanButtonClick(TObject*) {
  // The choice survives only when the same medium is still under its letter.
  RescanDrives(this);
}

void TMainForm::DiskWarningButtonClick(TObject*) {
  if (DriveNumber == 0) return;
  ExecuteProgram("explorer.exe", std::string(1, DriveLetter) + ":\\");
}

// ----- Processing pages

void TMainForm::FileProgressButtonStartClick(TObject*) { RunTask(WizardLinks.startFileWipe); }
void TMainForm::DiskProgressButtonStartClick(TObject*) { RunTask(WizardLinks.startDiskWipe); }
void TMainForm::FreeProgressButtonStartClick(TObject*) { RunTask(WizardLinks.startFreeSpaceWipe); }

void TMainForm::FileProgressButtonStopClick(TObject*) { StopRequested = true; }

void TMainForm::AppendLog(const char* memoName, const std::string& line) {
  auto* memo = Item<TMemo>(memoName);
  if (memo != nullptr) memo->Lines()->Add(line);
}
