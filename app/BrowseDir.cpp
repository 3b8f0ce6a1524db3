#include "BrowseDir.h"

#include <memory>

#include "win/ClassInfo.h"
#include "win/Controls.h"
#include "win/Forms.h"

namespace {

const TEnumNames kRootNames = {"idDesktop", "idInternet", "idPrograms", "idControlPanel", "idPrinters",
                               "idPersonal", "idFavorites", "idStartup", "idRecent", "idSendTo",
                               "idRecycleBin", "idStartMenu", "idDesktopDirectory", "idDrives", "idNetwork",
                               "idNetHood", "idFonts", "idTemplates", "idDesktopExpanded"};
const TEnumNames kFlagNames = {"bfDirectoriesOnly", "bfDomainOnly", "bfAncestors",
                               "bfComputers", "bfPrinters", "bfIncludeFiles"};

const TClassRegistrar<TBrowseDirectoryDlg, TComponent> kRegistrar("TBrowseDirectoryDlg", {
    Prop("Selection", &TBrowseDirectoryDlg::Selection, &TBrowseDirectoryDlg::SetSelection),
    Prop("Title", &TBrowseDirectoryDlg::Title, &TBrowseDirectoryDlg::SetTitle),
    EnumProp("Root", &TBrowseDirectoryDlg::Root, &TBrowseDirectoryDlg::SetRoot, kRootNames),
    SetOfProp("Options", &TBrowseDirectoryDlg::Options, &TBrowseDirectoryDlg::SetOptions, kFlagNames),
    Prop("Center", &TBrowseDirectoryDlg::Center, &TBrowseDirectoryDlg::SetCenter),
    Prop("StatusText", &TBrowseDirectoryDlg::StatusText, &TBrowseDirectoryDlg::SetStatusText),
    Prop("FitStatusText", &TBrowseDirectoryDlg::FitStatusText, &TBrowseDirectoryDlg::SetFitStatusText),
    Prop("EnableOKButton", &TBrowseDirectoryDlg::EnableOKButton, &TBrowseDirectoryDlg::SetEnableOKButton),
    Prop("Caption", &TBrowseDirectoryDlg::Caption, &TBrowseDirectoryDlg::SetCaption),
    Prop("ShowSelectionInStatus", &TBrowseDirectoryDlg::ShowSelectionInStatus,
         &TBrowseDirectoryDlg::SetShowSelectionInStatus),
    EventProp("OnSelChanged", &TBrowseDirectoryDlg::OnSelChanged),
    EventProp("OnCreate", &TBrowseDirectoryDlg::OnCreate),
});

const int kRootIds[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                        0x0A, 0x0B, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xFEFE};
const UINT kFlagValues[] = {0x0001, 0x0002, 0x0008, 0x1000, 0x2000, 0x4000};

// The path of a file-system item (at most MAX_PATH characters), "" otherwise.
std::string PathOfItem(LPCITEMIDLIST pidl) {
  char buffer[MAX_PATH + 1] = {};
  if (pidl == nullptr || !SHGetPathFromIDListA(pidl, buffer)) return {};
  return buffer;
}

// Reads each folder on the way to path ("C:\a\b": C:\a, then C:\a\b), so
// that the first reading after a change, which moves a folder's access time,
// is over before the dialog looks.
void ReadFoldersOnTheWay(const std::string& path) {
  if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return;
  for (size_t end = path.find('\\', 3);; end = path.find('\\', end + 1)) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path.substr(0, end) + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    if (end == std::string::npos) return;
  }
}

struct TMallocRelease {
  void operator()(IMalloc* m) const { m->Release(); }
};

}  // namespace

int RootFolderId(TRootID root) { return kRootIds[root]; }

UINT BrowseFlagsOf(TBrowseFlags options) {
  UINT flags = 0;
  for (int i = bfDirectoriesOnly; i <= bfIncludeFiles; ++i)
    if (options.Contains(static_cast<TBrowseFlag>(i))) flags |= kFlagValues[i];
  return flags;
}

void TBrowseDirectoryDlg::Create(TComponent* owner) {
  TComponent::Create(owner);
  if (auto* control = dynamic_cast<TWinControl*>(owner); control != nullptr)
    parentControl = control;
  else if (Application != nullptr)
    parentControl = Application->MainForm();
  if (parentControl != nullptr && parentControl != owner) parentControl->FreeNotification(this);
}

void TBrowseDirectoryDlg::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == parentControl) parentControl = nullptr;
}

bool TBrowseDirectoryDlg::Execute() {
  TWinControl* owner = nullptr;
  if (!ComponentState().Contains(csDesigning)) {
    owner = parentControl;
    if (owner == nullptr) owner = dynamic_cast<TWinControl*>(Owner());
    if (owner == nullptr && Application != nullptr) owner = Application->MainForm();
  }
  std::string folder;
  bool ok = BrowseDirectory(folder, imageIndex, owner, title, root, options, !statusText.empty(),
                            BrowseCallbackProc, reinterpret_cast<LPARAM>(this));
  dialogHandle = nullptr;
  SetSelection(ok ? folder : std::string());
  return ok;
}

void TBrowseDirectoryDlg::SetSelection(const std::string& value) {
  if (value == selection) return;
  selection = value;
  if (!selection.empty() && selection.back() != '\\' && DirectoryExistsForBrowse(selection)) selection += "\\";
  if (dialogHandle != nullptr && !selection.empty()) SendSelection(dialogHandle);
}

void TBrowseDirectoryDlg::SendSelection(HWND window) {
  std::string prepared = PrepareSelection(selection);
  // Under Wine the dialog reads the path, then walks down its own listing of
  // the folders and finds each one only if its times, the access time too,
  // are still those it read (to the 2 seconds of a file date). A folder
  // changed since it was last read (the one the start folder was just made
  // in, say) gets a new access time when the dialog reads it in between: the
  // walk stops there, nothing is selected, and the message answers 0 all the
  // same. The slower the machine, the more often that time passes a 2-second
  // mark. Read first, the folders keep their times while the dialog looks.
  ReadFoldersOnTheWay(prepared);
  SendMessageA(window, kBffmSetSelection, 1, reinterpret_cast<LPARAM>(prepared.c_str()));
}

void TBrowseDirectoryDlg::SetStatusText(const std::string& value) {
  if (value == statusText) return;
  statusText = value;
  SendStatusText();
}

void TBrowseDirectoryDlg::SetFitStatusText(bool value) {
  if (value == fitStatusText) return;
  fitStatusText = value;
  SendStatusText();
}

void TBrowseDirectoryDlg::SetEnableOKButton(bool value) {
  if (value == enableOKButton) return;
  enableOKButton = value;
  if (dialogHandle != nullptr) SendMessageA(dialogHandle, kBffmEnableOk, 0, enableOKButton ? 1 : 0);
}

std::string TBrowseDirectoryDlg::Caption() const {
  if (dialogHandle == nullptr) return caption;
  char buffer[257] = {};
  GetWindowTextA(dialogHandle, buffer, sizeof buffer);
  return buffer;
}

void TBrowseDirectoryDlg::SetCaption(const std::string& value) {
  caption = value;
  if (dialogHandle != nullptr) SetWindowTextA(dialogHandle, caption.c_str());
}

void TBrowseDirectoryDlg::SendStatusText() {
  if (dialogHandle == nullptr) return;
  std::string text = FormattedStatusText();
  SendMessageA(dialogHandle, kBffmSetStatusText, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string TBrowseDirectoryDlg::FormattedStatusText() const {
  if (!fitStatusText || dialogHandle == nullptr || statusText.empty()) return statusText;
  HWND status = GetDlgItem(dialogHandle, kBrowseStatusLineId);
  if (status == nullptr) return statusText;
  RECT rc;
  GetClientRect(status, &rc);
  HDC dc = GetDC(status);
  if (dc == nullptr) return statusText;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(status, WM_GETFONT, 0, 0)));
  auto measure = [dc](const std::string& s) {
    SIZE size{};
    GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
    return static_cast<int>(size.cx);
  };
  std::string fitted = FitTextToWidth(statusText, DirectoryExistsForBrowse(statusText), measure, rc.right - rc.left);
  SelectObject(dc, old);
  ReleaseDC(status, dc);
  return fitted;
}

void TBrowseDirectoryDlg::DoInitialized(HWND window) {
  dialogHandle = window;
  if (center) {
    RECT rc;
    GetWindowRect(window, &rc);
    int left = (GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left)) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top)) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SendMessageA(window, kBffmEnableOk, 0, enableOKButton ? 1 : 0);
  if (!statusText.empty()) SendStatusText();
  if (!selection.empty()) SendSelection(window);
  if (!caption.empty()) SetWindowTextA(window, caption.c_str());
  if (OnCreate) OnCreate(this);
}

void TBrowseDirectoryDlg::DoSelChanged(HWND, LPCITEMIDLIST pidl) {
  if (!showSelectionInStatus && !OnSelChanged) return;
  std::string path = PathOfItem(pidl);
  if (showSelectionInStatus) SetStatusText(path);
  if (OnSelChanged) OnSelChanged(this, path);
}

int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM parameter, LPARAM data) {
  auto* dialog = reinterpret_cast<TBrowseDirectoryDlg*>(data);
  if (dialog == nullptr) return 0;
  // Nothing may escape into the shell's dialog procedure.
  try {
    if (message == BFFM_INITIALIZED) dialog->DoInitialized(window);
    if (message == BFFM_SELCHANGED) dialog->DoSelChanged(window, reinterpret_cast<LPCITEMIDLIST>(parameter));
  } catch (...) {
  }
  return 0;
}

bool BrowseDirectory(std::string& folder, int& imageIndex, TWinControl* parent, const std::string& title,
                     TRootID root, TBrowseFlags options, bool statusLine, BFFCALLBACK callback, LPARAM data) {
  IMalloc* rawMalloc = nullptr;
  if (FAILED(SHGetMalloc(&rawMalloc)) || rawMalloc == nullptr) return false;
  std::unique_ptr<IMalloc, TMallocRelease> shellMalloc(rawMalloc);
  auto* buffer = static_cast<char*>(shellMalloc->Alloc(MAX_PATH));
  if (buffer == nullptr) return false;
  buffer[0] = 0;
  HWND owner = parent != nullptr ? parent->Handle() : nullptr;
  LPITEMIDLIST rootList = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, RootFolderId(root), &rootList))) rootList = nullptr;

  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pidlRoot = rootList;
  info.pszDisplayName = buffer;
  info.lpszTitle = title.c_str();
  info.ulFlags = BrowseFlagsOf(options) | (statusLine ? BIF_STATUSTEXT : 0);
  info.lpfn = callback;
  info.lParam = data;
  bool ok = false;
  if (LPITEMIDLIST chosen = SHBrowseForFolderA(&info); chosen != nullptr) {
    buffer[0] = 0;
    SHGetPathFromIDListA(chosen, buffer);
    folder = buffer;
    imageIndex = info.iImage;
    shellMalloc->Free(chosen);
    ok = true;
  }
  if (rootList != nullptr) shellMalloc->Free(rootList);
  shellMalloc->Free(buffer);
  return ok;
}
