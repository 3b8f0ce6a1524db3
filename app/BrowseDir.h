#pragma once
// TBrowseDirectoryDlg: runs the shell's folder browse dialog and returns the
// chosen folder, with a start selection, a caption, centring on the screen, a
// status line that can follow the selection (shortened to fit), control of
// the OK button while the dialog is open, and two events.
#include <windows.h>

#include <functional>
#include <shlobj.h>
#include <string>

#include "core/Component.h"
#include "core/Events.h"
#include "core/Set.h"

class TWinControl;

enum TRootID {
  idDesktop, idInternet, idPrograms, idControlPanel, idPrinters, idPersonal, idFavorites, idStartup, idRecent,
  idSendTo, idRecycleBin, idStartMenu, idDesktopDirectory, idDrives, idNetwork, idNetHood, idFonts, idTemplates,
  idDesktopExpanded,
};
enum TBrowseFlag { bfDirectoriesOnly, bfDomainOnly, bfAncestors, bfComputers, bfPrinters, bfIncludeFiles };
using TBrowseFlags = TSet<TBrowseFlag, 8>;

using TBDSelChangedEvent = TEvent<void(TObject* sender, const std::string& newSelection)>;

// The status line among the dialog's child windows.
inline constexpr int kBrowseStatusLineId = 0x3743;
// The dialog's messages: status text, enable OK, set selection (ANSI forms).
inline constexpr UINT kBffmSetStatusText = WM_USER + 100;
inline constexpr UINT kBffmEnableOk = WM_USER + 101;
inline constexpr UINT kBffmSetSelection = WM_USER + 102;

// The system folder id of root (0xFEFE for idDesktopExpanded).
int RootFolderId(TRootID root);
// The dialog's flags for options (status line 0x0004 not included).
UINT BrowseFlagsOf(TBrowseFlags options);
// The selection as sent to the dialog: "C:" -> "C:\", "C:\" stays, otherwise
// one trailing "\" removed.
std::string PrepareSelection(const std::string& selection);
// True for "X:\" with drive X present, else when the text without one
// trailing "\" names an existing directory.
bool DirectoryExistsForBrowse(const std::string& path);
// text fitted into width pixels as measured by measure: a folder path is
// shortened with "...\" from its left, any other text cut at the end with
// "..."; the text itself when it fits.
std::string FitTextToWidth(const std::string& text, bool isFolder, const std::function<int(const std::string&)>& measure,
                           int width);

class TBrowseDirectoryDlg : public TComponent {
public:
  // The parent control: owner when it is a windowed control, else the
  // application's main form.
  void Create(TComponent* owner) override;

  // Runs the dialog modally; true when a folder was chosen (Selection holds
  // it, ImageIndex its system image index); false and an empty Selection otherwise.
  virtual bool Execute();

  const std::string& Selection() const { return selection; }
  // Appends "\" to an existing folder; an open dialog selects the value.
  void SetSelection(const std::string& value);
  const std::string& Title() const { return title; }
  void SetTitle(const std::string& value) { title = value; }
  TRootID Root() const { return root; }
  void SetRoot(TRootID value) { root = value; }
  TBrowseFlags Options() const { return options; }
  void SetOptions(TBrowseFlags value) { options = value; }
  bool Center() const { return center; }
  void SetCenter(bool value) { center = value; }
  const std::string& StatusText() const { return statusText; }
  // A non-empty text at Execute gives the dialog a status line.
  void SetStatusText(const std::string& value);
  bool FitStatusText() const { return fitStatusText; }
  void SetFitStatusText(bool value);
  bool EnableOKButton() const { return enableOKButton; }
  void SetEnableOKButton(bool value);
  int ImageIndex() const { return imageIndex; }
  // The open dialog's caption, else the stored one.
  std::string Caption() const;
  void SetCaption(const std::string& value);
  bool ShowSelectionInStatus() const { return showSelectionInStatus; }
  void SetShowSelectionInStatus(bool value) { showSelectionInStatus = value; }
  // The open dialog, or null.
  HWND DialogHandle() const { return dialogHandle; }
  TWinControl* ParentControl() const { return parentControl; }

  TBDSelChangedEvent OnSelChanged;
  TNotifyEvent OnCreate;

  // The dialog has opened: centre, OK button, status, selection, caption, OnCreate.
  virtual void DoInitialized(HWND window);
  // The selection changed to the item pidl.
  virtual void DoSelChanged(HWND window, LPCITEMIDLIST pidl);
  // The status text as shown: fitted to the status line when FitStatusText holds.
  std::string FormattedStatusText() const;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  void SendStatusText();
  // Asks the open dialog to select the selection.
  void SendSelection(HWND window);

  std::string selection;
  std::string title;
  TRootID root = idDesktop;
  TBrowseFlags options;
  bool center = true;
  std::string statusText;
  bool fitStatusText = true;
  bool enableOKButton = true;
  int imageIndex = -1;
  std::string caption;
  bool showSelectionInStatus = false;
  HWND dialogHandle = nullptr;           // not owned; set while the dialog is open
  TWinControl* parentControl = nullptr;  // not owned
};

// The core call: runs the dialog for owner; true with folder and image index
// when an item was chosen.
bool BrowseDirectory(std::string& folder, int& imageIndex, TWinControl* parent, const std::string& title,
                     TRootID root, TBrowseFlags options, bool statusLine, BFFCALLBACK callback, LPARAM data);
// The callback handed to the dialog: data is the TBrowseDirectoryDlg; always 0.
int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM parameter, LPARAM data);
