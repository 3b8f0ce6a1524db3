#pragma once
// TMainForm: the wizard window. A welcome page picks one of three tasks (wipe
// files and folders, wipe a disk, wipe a drive's free space); Next and Back
// walk the task's pages as PageTable says, and CheckState, which every event
// ends in, recomputes the buttons, the page heading and the page's own state.
// The layout comes from the form definition "TMainForm" in the resources.
//
// The work behind some pages (the engine runs, the file tree and confirm
// list, the drive list and format options, the dialogs and help) is supplied
// from outside through WizardLinks; an empty link leaves its page showing its
// static controls and nothing is pretended.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "FileConfirmList.h"
#include "core/PublishedMethods.h"
#include "tree/VirtualNode.h"
#include "win/Forms.h"
#include "win/controls/ComCtrls.h"

class TButton;
class TCheckBox;
class TComboBox;
class TListItem;
class TListView;
class TPageControl;
class TPopupMenu;
class TRadioButton;
class TRootNodeStorage;
class TBaseVirtualTree;
class TCustomVirtualExplorerTree;
class TNamespace;
class TVirtualExplorerTreeview;
class TWideStringList;
class TMainForm;

// The links to the parts that work behind the wizard's pages. Each is called
// on the GUI thread; an empty one means that part is not in this program yet.
struct TWizardLinks {
  // The Start handlers of the three processing pages: log the algorithm and
  // start the run (setting Busy while it runs; Done when it ends).
  std::function<void(TMainForm*)> startFileWipe;
  std::function<void(TMainForm*)> startDiskWipe;
  std::function<void(TMainForm*)> startFreeSpaceWipe;
  // Rebuilds the file tree (its page's first show after a run, and Refresh).
  std::function<void(TMainForm*)> buildTree;
  // Fills the confirm list and the totals from the checked files.
  std::function<void(TMainForm*)> transferFileList;
  // Fills DiskSelectListView with the present drives.
  std::function<void(TMainForm*)> fillDrivesList;
  // The format page's refresh: capacity, file systems, allocation units, FormatValid.
  std::function<void(TMainForm*)> refreshFormatPage;
  // The language choice dialog of the first start.
  std::function<void()> selectLanguage;
  // Opens a help topic ("/files/quickstart.html").
  std::function<void(const std::string& topic)> showHelpTopic;
  // The preferences dialog on page 0 (common), 1 (confirmations) or 2 (language).
  std::function<void(int page)> showAdvancedParams;
  // The About dialog, shown modally.
  std::function<void()> showAbout;
};
extern TWizardLinks WizardLinks;

// The program's exit code when its start is refused (a patterns file it
// cannot use, an error while its main window is made); a close ends with 0.
inline constexpr int kExitStartRefused = 1;

// The product's web address, opened by the bottom bar's link label.
inline constexpr const char* kProductWebSite = "https://www.halverstrand.example/quorvanell/";

class TMainForm : public TForm {
public:
  QV_PUBLISHED_METHODS(TMainForm, TForm, QV_METHOD(FormCreate), QV_METHOD(FormCloseQuery), QV_METHOD(FormClose),
                       QV_METHOD(FormDestroy), QV_METHOD(CheckState), QV_METHOD(BottomNextClick),
                       QV_METHOD(BottomBackClick), QV_METHOD(BottomCloseClick), QV_METHOD(BottomMenuClick),
                       QV_METHOD(BottomHelpClick), QV_METHOD(BottomWebSiteLabelClick),
                       QV_METHOD(BottomWebSiteLabelMouseMove), QV_METHOD(BottomWebSiteLabelMouseLeave),
                       QV_METHOD(WelcomeFileImageClick), QV_METHOD(WelcomeDiskImageClick),
                       QV_METHOD(WelcomeFreeImageClick), QV_METHOD(WelcomeFileAndFoldersRadioButtonDblClick),
                       QV_METHOD(MainMenuCommonSettingsClick), QV_METHOD(MainMenuConfirmationsClick),
                       QV_METHOD(MainMenuInterfaceLanguageClick), QV_METHOD(MainMenuAboutClick),
                       QV_METHOD(AlgoritmComboBoxChange), QV_METHOD(FileSelectTabSheetShow),
                       QV_METHOD(FileSelectTreeEnumFolder), QV_METHOD(FileSelectTreeInitNode),
                       QV_METHOD(FilesPopupMenuRefreshClick), QV_METHOD(DiskSelectTabSheetShow),
                       QV_METHOD(DiskSelectListViewClick), QV_METHOD(DiskSelectListViewChange), QV_METHOD(DiskSelectListViewDblClick),
                       QV_METHOD(DiskSelectRescanButtonClick), QV_METHOD(DiskWarningButtonClick), QV_METHOD(FormatOptionsChange),
                       QV_METHOD(FileProgressButtonStartClick), QV_METHOD(DiskProgressButtonStartClick),
                       QV_METHOD(FreeProgressButtonStartClick), QV_METHOD(FileProgressButtonStopClick))

  // Creation: patterns, help file, first-start language choice, translation,
  // algorithm list, welcome page, error mode, caption, then CheckState.
  void FormCreate(TObject* sender);
  // Asks "Are you sure you want to exit application?" when ConfirmationsShutdown
  // is on and the wizard is neither on task 0 nor on a task's last page.
  void FormCloseQuery(TObject* sender, bool& canClose);
  // The form is freed on close.
  void FormClose(TObject* sender, TCloseAction& action);
  // Frees the pattern storage.
  void FormDestroy(TObject* sender);

  // The refresh every event ends in: Task from the radios, the buttons, the
  // heading and the page's own state; entering a processing page starts its run.
  void CheckState(TObject* sender = nullptr);
  // One step forward / back (Back on a task's last page returns to the welcome page).
  void BottomNextClick(TObject* sender = nullptr);
  void BottomBackClick(TObject* sender = nullptr);
  void BottomCloseClick(TObject* sender);
  void BottomMenuClick(TObject* sender);
  // A single F1 key-down, so help follows the focused control.
  void BottomHelpClick(TObject* sender);
  void BottomWebSiteLabelClick(TObject* sender);
  void BottomWebSiteLabelMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void BottomWebSiteLabelMouseLeave(TObject* sender);

  // A task image checks the radio beside it (whose OnClick runs CheckState).
  void WelcomeFileImageClick(TObject* sender);
  void WelcomeDiskImageClick(TObject* sender);
  void WelcomeFreeImageClick(TObject* sender);
  // A double click on a task's image or radio chooses it and goes on at once.
  void WelcomeFileAndFoldersRadioButtonDblClick(TObject* sender);

  void MainMenuCommonSettingsClick(TObject* sender);
  void MainMenuConfirmationsClick(TObject* sender);
  void MainMenuInterfaceLanguageClick(TObject* sender);
  // The About dialog, then the caption again.
  void MainMenuAboutClick(TObject* sender);
  // Loads GlobalLanguage (when set) into LangIni and translates this form.
  void UpdateInterfaceLanguage();

  // Algorithm page: one item per pattern; the selection sets SelectedPatternCode.
  void LoadAlgoritms();
  void AlgoritmComboBoxChange(TObject* sender);

  // File page: the tree is rebuilt on the first show after start or a run.
  void FileSelectTabSheetShow(TObject* sender);
  void FilesPopupMenuRefreshClick(TObject* sender);
  // The file tree shows file-system items and the My Computer folder only.
  void FileSelectTreeEnumFolder(TCustomVirtualExplorerTree* sender, TNamespace* ns, bool& allowAsChild);
  // Every node of the file tree gets a tri-state check box.
  void FileSelectTreeInitNode(TBaseVirtualTree* sender, TVirtualNode* parentNode, TVirtualNode* node,
                              TVirtualNodeInitStates& initialStates);
  // Forgets every check mark, enumerates the drives again and expands My
  // Computer; the tree's update bracket is closed also after a failure.
  void BuildTree();
  // The file tree of the select page (null in a form definition without one).
  // It is made when first asked for (its page's first show, at the latest),
  // and its node storage then becomes FileTreeStorage unless one is set.
  TVirtualExplorerTreeview* FileSelectTree();

  // Drive page: the list is filled on its first show (and on Rescan); the
  // selected row gives DriveLetter, DriveText and DriveNumber.
  void DiskSelectTabSheetShow(TObject* sender);
  void DiskSelectListViewClick(TObject* sender);
  void DiskSelectListViewChange(TObject* sender, TListItem* item, TItemChange change);
  // A double click on a row goes on as Next would, and only when Next could.
  void DiskSelectListViewDblClick(TObject* sender);
  void DiskSelectRescanButtonClick(TObject* sender);
  // Opens the selected drive in the explorer.
  void DiskWarningButtonClick(TObject* sender);
  // Format page: a new allocation unit or label is checked at once.
  void FormatOptionsChange(TObject* sender);

  // Start and Stop of the processing pages; Stop only records the request.
  void FileProgressButtonStartClick(TObject* sender);
  void DiskProgressButtonStartClick(TObject* sender);
  void FreeProgressButtonStartClick(TObject* sender);
  void FileProgressButtonStopClick(TObject* sender);

  // Product name, a blank, the translated "v.", a blank and the product version.
  std::string WindowCaption() const;
  // True when the current task has a step after the current one.
  bool NextStepExists() const;
  // The page index of the current step, or -1 with no task chosen.
  int CurrentPage() const;
  // Appends line to a log memo (for the parts behind the processing pages).
  void AppendLog(const char* memoName, const std::string& line);

  // The component of that name, as T (null when absent or of another class).
  template <class T>
  T* Item(const char* name) const {
    return dynamic_cast<T*>(FindComponent(name));
  }

  // Wizard state (read and written by the parts behind the pages).
  bool TreeNeedsBuild = false;
  bool DrivesNeedScan = false;
  char DriveLetter = 0;           // '?' once a selection is cleared
  uint8_t DriveNumber = 0;        // 1 for A .. 26 for Z; 0: no drive selected
  std::string DriveText;          // "C:\ (System)"; "???" when none
  bool Busy = false;              // a wipe is running
  bool StopRequested = false;     // Stop was pressed during the running wipe
  bool Done = false;              // the current processing page's task has run
  void* CurrentParams = nullptr;  // the engine block of the latest start
  int64_t DriveCapacity = 0;
  int64_t TotalBytes = 0, FilesCount = 0, FoldersCount = 0, FilesWiped = 0;
  // The paths of the files the engine finished in the current run, wiped or
  // not: a listed file not among them was never met.
  std::unordered_set<std::u16string> FilesFinished;
  bool FormatValid = false;
  TWideStringList* FilesToWipeList = nullptr;  // not owned
  // Checked items that are not there, so the engine never gets them (under
  // Wine, items shown inside a folder whose name ends in a dot or a space;
  // items gone since they were ticked): named on the confirm page and in the
  // run's log.
  std::vector<std::u16string> AbsentTicks;
  // What the confirm step listed, by key, and the checked items it left out
  // because the system or this program needs them: the wipe takes nothing
  // else (nothing that appeared after that step, nothing through a link).
  TConfirmListing ConfirmedItems;
  // The node storage that holds the check marks: the file tree's, set when
  // the tree is made (not owned; null without a tree: nothing is checked then).
  TRootNodeStorage* FileTreeStorage = nullptr;

  // ----- The file task's confirm step (FileTask.cpp)
  // Clears the totals, lists every checked item with its content in
  // FileConfirmListView with the totals, and sets FilesToWipeList to the
  // topmost checked paths (null without a tree), and AbsentTicks.
  void TransferFileListFromTree();

  // ----- The engine link (WipeDLL.h, WipeDLLMessages.cpp)
  // A new zero-filled parameter block with the selected pattern's passes; it
  // becomes CurrentParams and lives until the engine's last message for it.
  void* GetWipeParams();
  // Start the disk run (with a format block when formatting is wanted) and the
  // free-space run; the engine ends them with WM_USER+3 or WM_USER+4.
  void StartDiskWipe();
  void StartFreeSpaceWipe();
  // The file run (WipeDLLFiles.cpp): each path of FilesToWipeList in turn
  // (the next one named in the block), checked on disk just before it goes,
  // waiting for the engine while handling messages; ends inside the call.
  void StartFileWipe();
  // The engine's messages WM_USER+1 (log line), +2 (progress), +3 (done), +4 (stopped).
  void WMWipeLog(TMessage& message);
  void WMWipeProgress(TMessage& message);
  void WMWipeDone(TMessage& message);
  void WMWipeCancelled(TMessage& message);
  // Start found another medium in the chosen drive: back to the drive page.
  void WMWipeChooseAgain(TMessage& message);
  QV_MESSAGE_MAP(TMainForm, TForm)
public:

protected:
  // The window class is named after the form ("TMainForm"), so other
  // programs and tests can find the wizard.
  void CreateParams(TCreateParams& params) override;
  // The file tree waits for its page: the first window shows none of it.
  std::vector<std::string> DeferredComponents() const override;

private:
  // The per-page part of CheckState.
  void RefreshPage(int page);
  void RefreshConfirmPage();
  void RefreshProcessingPage(int page);
  void CoverAnimation();
  void SetHeading(int task, int step, int page);
  void RunStartHandler(int page);
  bool StartLinked(int page) const;
  void RunTask(const std::function<void(TMainForm*)>& start);
  void ShowPage(int page);
  void SetNextEnabled(bool value);
  void ChooseTask(const char* radioName);
  void RunSettingsDialog(int page);

  bool starting = false;  // a Start handler is on the stack
  bool refreshingFormatPage = false;  // the format page's refresh is on the stack
};

// The main form while it exists.
extern TMainForm* MainForm;
