// Drive queries for the drive page: type, readiness, access, sizes, serial
// number and label, and the list of present drives.
#include "Drives.h"

#include <windows.h>
#include <winioctl.h>

#include <array>

#include "Language.h"
#include "MiscTexts.h"
#include "MainForm.h"
#include "Utils.h"
#include "core/Exception.h"
#include "win/controls/ComCtrls.h"

namespace {

// Suppresses the system's "no disk" boxes for one query, then puts back the
// error mode found.
class TQuietErrors {
public:
  TQuietErrors() : previous(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~TQuietErrors() { SetErrorMode(previous); }
  TQuietErrors(const TQuietErrors&) = delete;
  TQuietErrors& operator=(const TQuietErrors&) = delete;

private:
  UINT previous;
};

std::string RootOf(char drive) { return std::string(1, drive) + ":\\"; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }

struct TScan {
  std::array<TViewDriveParams, 26> drives{};
  std::array<bool, 26> present{};
};
TScan gScan;

// The file system's sizes; the total is the volume's own where the volume
// answers (see VolumeSize).
bool Sizes(char drive, int64_t& total, int64_t& free) {
  ULARGE_INTEGER avail{}, all{}, freeAll{};
  const std::string root = RootOf(drive);
  if (!GetDiskFreeSpaceExA(root.c_str(), &avail, &all, &freeAll)) return false;
  total = static_cast<int64_t>(all.QuadPart);
  free = static_cast<int64_t>(freeAll.QuadPart);
  const int64_t volume = VolumeSize(drive);
  if (volume > 0) total = volume;
  return true;
}

}  // namespace

int64_t VolumeSize(char drive) {
  drive = Upper(drive);
  if (!IsLetter(drive)) return -1;
  TQuietErrors quiet;
  wchar_t path[] = L"\\\\.\\X:";
  path[4] = static_cast<wchar_t>(drive);
  // Reading needs no more than read access; the volume stays shared.
  HANDLE volume = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  if (volume == INVALID_HANDLE_VALUE) return -1;
  int64_t size = -1;
  // The length query first; an image-backed volume answers none, and the
  // size of the opened object is then the volume's.
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  LARGE_INTEGER fileSize{}, zero{}, end{};
  if (DeviceIoControl(volume, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr) &&
      length.Length.QuadPart > 0) {
    size = length.Length.QuadPart;
  } else if (GetFileSizeEx(volume, &fileSize) && fileSize.QuadPart > 0) {
    size = fileSize.QuadPart;
  } else if (SetFilePointerEx(volume, zero, &end, FILE_END) && end.QuadPart > 0) {
    size = end.QuadPart;
  }
  CloseHandle(volume);
  return size;
}

int64_t DriveSize(char drive) {
  TQuietErrors quiet;
  int64_t total = 0, free = 0;
  if (!IsLetter(Upper(drive)) || !Sizes(Upper(drive), total, free)) return -1;
  return total;
}

bool IsDriveReady(char drive) { return DriveSize(drive) != -1; }

bool IsDriveReadOnly(char drive) {
  drive = Upper(drive);
  if (!IsLetter(drive)) throw Exception("Invalid drive specification");
  TQuietErrors quiet;
  const std::string root = RootOf(drive);
  DWORD flags = 0;
  if (GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
      (flags & FILE_READ_ONLY_VOLUME) != 0)
    return true;
  // The probe's own result decides, not an error code left by an earlier call.
  char probe[MAX_PATH + 16] = {};
  if (GetTempFileNameA(root.c_str(), "RWRO", 0, probe) == 0) return true;
  if (DeleteFileA(probe)) return false;
  // A probe that cannot be removed is no writable drive; try once more
  // without attributes, so nothing of ours stays behind.
  SetFileAttributesA(probe, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(probe);
  return true;
}

std::string DriveTypeToString(unsigned driveType) {
  switch (driveType) {
    case DRIVE_REMOVABLE: return "Removable";
    case DRIVE_FIXED: return "Fixed";
    case DRIVE_REMOTE: return "Network";
    case DRIVE_CDROM: return "CDROM";
    case DRIVE_RAMDISK: return "RAM";
    default: return "Unknown";
  }
}

void GetDriveInfo(char drive, TViewDriveParams& params) {
  params = TViewDriveParams{};
  drive = Upper(drive);
  params.Drive = drive;
  if (!IsLetter(drive)) {
    params.DriveType = "Unknown";
    return;
  }
  TQuietErrors quiet;
  const std::string root = RootOf(drive);
  params.DriveType = DriveTypeToString(GetDriveTypeA(root.c_str()));
  if (!IsDriveReady(drive)) return;
  char label[MAX_PATH + 1] = {};
  DWORD serial = 0;
  if (GetVolumeInformationA(root.c_str(), label, sizeof(label), &serial, nullptr, nullptr, nullptr, 0)) {
    params.SerialNumber = serial;
    params.VolumeLabel = label;
  }
  params.Access = IsDriveReadOnly(drive) ? "R/O" : "R/W";
  Sizes(drive, params.TotalSize, params.FreeSize);
  params.Ready = true;
}

std::string FormatDriveSpace(int64_t size) {
  if (size < 0) return MiscText("strNotAvailable");
  return FormatThousands(size, LocaleThousandsSeparator());
}

const TViewDriveParams* ScannedDrive(char drive) {
  drive = Upper(drive);
  if (!IsLetter(drive) || !gScan.present[drive - 'A']) return nullptr;
  return &gScan.drives[drive - 'A'];
}

void ForgetDriveScan() { gScan = TScan{}; }

bool DriveWithoutMedia(char drive) {
  const TViewDriveParams* info = ScannedDrive(drive);
  return info != nullptr && !info->Ready;
}

TDriveInfoQuery DriveInfoQuery = GetDriveInfo;

std::string MediumChangedRefusal(char drive) {
  const TViewDriveParams* chosen = ScannedDrive(drive);
  // A choice no scan stands behind cannot be checked: it is made again.
  if (chosen == nullptr)
    return ReplacePlaceholder(MiscText("strDriveNotScanned"), "%s", std::string(1, drive));
  TViewDriveParams now;
  DriveInfoQuery(drive, now);
  if (SameMedium(*chosen, now)) return "";
  return ReplacePlaceholder(MiscText("strMediumChanged"),
                            "%s", std::string(1, drive));
}

bool SameMedium(const TViewDriveParams& a, const TViewDriveParams& b) {
  return a.Ready && b.Ready && a.Drive == b.Drive && a.SerialNumber == b.SerialNumber &&
         a.TotalSize == b.TotalSize && a.VolumeLabel == b.VolumeLabel;
}

char SystemDriveLetter() {
  char windows[MAX_PATH + 1] = {};
  if (GetWindowsDirectoryA(windows, sizeof(windows)) < 2 || windows[1] != ':') return 0;
  return Upper(windows[0]);
}

char ProgramDriveLetter() {
  const std::string path = GetExecutablePath();
  if (path.size() < 2 || path[1] != ':') return 0;
  return Upper(path[0]);
}

void FillDrivesList(TMainForm* form) {
  auto* list = form->Item<TListView>("DiskSelectListView");
  list->Items()->BeginUpdate();
  const TCursor oldCursor = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  list->Items()->Clear();
  gScan = TScan{};
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    TViewDriveParams& info = gScan.drives[i];
    GetDriveInfo(static_cast<char>('A' + i), info);
    gScan.present[i] = true;
    TListItem* row = list->Items()->Add();
    std::string caption(1, info.Drive);
    if (!info.VolumeLabel.empty()) caption += " (" + info.VolumeLabel + ")";
    row->SetCaption(caption);
    row->SubItems()->Add(info.DriveType);
    row->SubItems()->Add(FormatDriveSpace(info.TotalSize));
    row->SubItems()->Add(info.Ready ? MiscText("strReady") : MiscText("strNomedia"));
  }
  Screen->SetCursor(oldCursor);
  list->Items()->EndUpdate();
}

void RescanDrives(TMainForm* form) {
  const char chosen = form->DriveLetter;
  const TViewDriveParams* before = ScannedDrive(chosen);
  const TViewDriveParams old = before != nullptr ? *before : TViewDriveParams{};
  if (WizardLinks.fillDrivesList) WizardLinks.fillDrivesList(form);
  auto* list = form->Item<TListView>("DiskSelectListView");
  TListItem* keep = nullptr;
  const TViewDriveParams* now = ScannedDrive(chosen);
  if (before != nullptr && now != nullptr && SameMedium(old, *now)) {
    for (int i = 0; i < list->Items()->Count(); ++i) {
      TListItem* row = list->Items()->Item(i);
      if (!row->Caption().empty() && row->Caption()[0] == chosen) keep = row;
    }
  }
  // Another medium under the same letter (or none) is never wiped by a
  // choice made before it came.
  list->SetSelected(keep);
  form->DiskSelectListViewClick(list);
}
