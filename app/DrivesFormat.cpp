// The format page: file systems offered for the drive's capacity, allocation
// unit sizes with their defaults, and the drive's current file system and label.
#include <windows.h>

#include "Drives.h"
#include "Language.h"
#include "MainForm.h"
#include "MiscTexts.h"
#include "Utils.h"
#include "core/SysUtils.h"
#include "win/controls/StdCtrls.h"

TDriveSizeQuery DriveSizeQuery = DriveSize;

namespace {

constexpr int64_t kTB = kGB * 1024;

// One row of the default table: capacities above low (or from low when
// lowIncluded) up to and including high give unit.
struct TDefaultRange {
  int64_t low;
  bool lowIncluded;
  int64_t high;
  int64_t unit;
};

// FAT ranges start at no lower bound: negative (unknown) sizes count as small.
constexpr int64_t kNoLow = INT64_MIN;

const TDefaultRange kFatDefaults[] = {
    {kNoLow, true, 32 * kMB, 512},      {32 * kMB, false, 64 * kMB, 1024},  {64 * kMB, false, 128 * kMB, 2048},
    {128 * kMB, false, 256 * kMB, 4096}, {256 * kMB, false, 512 * kMB, 8192}, {512 * kMB, false, kGB, 16384},
    {kGB, false, 2 * kGB, 32768},        {2 * kGB, false, 4 * kGB, 65536},
};
const TDefaultRange kFat32Defaults[] = {
    {32 * kMB, true, 64 * kMB, 512},     {64 * kMB, false, 128 * kMB, 1024}, {128 * kMB, false, 256 * kMB, 2048},
    {256 * kMB, false, 8 * kGB, 4096},   {8 * kGB, false, 16 * kGB, 8192},   {16 * kGB, false, 32 * kGB, 16384},
};
const TDefaultRange kOtherDefaults[] = {
    {7 * kMB, true, 512 * kMB, 512},
    {512 * kMB, false, kGB, 1024},
    {kGB, false, 2 * kGB, 2048},
    {2 * kGB, false, 2 * kTB, 4096},
};

template <size_t N>
int64_t Lookup(const TDefaultRange (&table)[N], int64_t capacity) {
  for (const TDefaultRange& r : table) {
    const bool aboveLow = r.lowIncluded ? capacity >= r.low : capacity > r.low;
    if (aboveLow && capacity <= r.high) return r.unit;
  }
  return 0;
}

// The optional controls of the page, shown only while formatting is wanted.
const char* const kOptionControls[] = {
    "FormatBevel1",         "FormatLabelCapacity",      "FormatCapacityLabel",
    "FormatLabelFileSystem", "FormatComboBoxFileSystem", "FormatAllocLabel",
    "FormatComboBoxAllocUnits", "FormatVolumeLabel",    "FormatEditVolumeLabel",
    "FormatLabelOptions",   "FormatCheckBoxOptionQuick", "FormatCheckBoxOptionCopression",
    "FormatBevel2",
};

}  // namespace

std::vector<std::string> FileSystemsFor(int64_t capacity) {
  std::vector<std::string> result;
  if (capacity <= 4 * kGB) result.push_back("FAT");
  if (capacity >= 32 * kMB && capacity <= 32 * kGB) result.push_back("FAT32");
  result.push_back("NTFS");
  return result;
}

int AllocUnitCountFor(const std::string& fileSystem) {
  if (fileSystem == "FAT") return 8;
  if (fileSystem == "FAT32") return 6;
  return 4;
}

int64_t DefaultAllocUnit(const std::string& fileSystem, int64_t capacity) {
  if (fileSystem == "FAT") return Lookup(kFatDefaults, capacity);
  if (fileSystem == "FAT32") return Lookup(kFat32Defaults, capacity);
  return Lookup(kOtherDefaults, capacity);
}

std::string AllocUnitText(int64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  return std::to_string(bytes / 1024) + " KB";
}

void PrepairFileSystems(TMainForm* form) {
  auto* combo = form->Item<TComboBox>("FormatComboBoxFileSystem");
  const std::string remembered = combo->Text();
  combo->Items()->Clear();
  for (const std::string& name : FileSystemsFor(form->DriveCapacity)) combo->Items()->Add(name);
  combo->SetItemIndex(remembered.empty() ? -1 : combo->Items()->IndexOf(remembered));
}

void CheckFormatSettings(TMainForm* form) {
  const std::string fileSystem = form->Item<TComboBox>("FormatComboBoxFileSystem")->Text();
  auto* units = form->Item<TComboBox>("FormatComboBoxAllocUnits");
  units->Items()->Clear();
  const int count = AllocUnitCountFor(fileSystem);
  for (int i = 0; i < count; ++i) {
    const int64_t bytes = int64_t{512} << i;
    // Each item carries its size in bytes.
    units->Items()->AddObject(AllocUnitText(bytes), reinterpret_cast<TObject*>(static_cast<intptr_t>(bytes)));
  }
  // Compression exists only on NTFS; the check mark stays as it was.
  form->Item<TControl>("FormatCheckBoxOptionCopression")->SetEnabled(fileSystem != "FAT" && fileSystem != "FAT32");
  const int64_t unit = DefaultAllocUnit(fileSystem, form->DriveCapacity);
  int selected = -1;
  for (int i = 0; i < count && unit != 0; ++i) {
    if ((int64_t{512} << i) == unit) selected = i;
  }
  units->SetItemIndex(selected);
  form->FormatValid = selected >= 0;
  ValidateFormatChoice(form);
}

void RefreshFormatPage(TMainForm* form) {
  form->Item<TControl>("FormatLabelDriveLetter")->SetCaption(form->DriveText);
  form->Item<TCheckBox>("DiskWarningCheckBoxAgree")->SetChecked(false);
  form->DriveCapacity = DriveSizeQuery(form->DriveLetter);
  form->Item<TControl>("FormatCapacityLabel")->SetCaption(FormatSize(form->DriveCapacity));
  PrepairFileSystems(form);
  auto* fileSystems = form->Item<TComboBox>("FormatComboBoxFileSystem");
  if (fileSystems->Text().empty()) {
    // A newly chosen drive: propose its own file system and label.
    const std::string root = std::string(1, form->DriveLetter) + ":\\";
    char label[MAX_PATH + 1] = {};
    char name[MAX_PATH + 1] = {};
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    const bool known =
        GetVolumeInformationA(root.c_str(), label, sizeof(label), nullptr, nullptr, nullptr, name, sizeof(name));
    SetErrorMode(previous);
    // The drive's own file system when this system can create it again,
    // else the first offered one that can be created here.
    auto creatable = [&](const std::string& fileSystem) {
      const int64_t unit = DefaultAllocUnit(fileSystem, form->DriveCapacity);
      return unit != 0 && FormatRefusal(fileSystem, form->DriveCapacity, unit, "").empty();
    };
    int choice = -1;
    for (int i = 0; i < fileSystems->Items()->Count() && known; ++i) {
      const std::string offered = fileSystems->Items()->Strings(i);
      if (CompareText(offered, name) == 0 && creatable(offered)) choice = i;
    }
    for (int i = 0; i < fileSystems->Items()->Count() && choice < 0; ++i) {
      if (creatable(fileSystems->Items()->Strings(i))) choice = i;
    }
    // None can be made here: the drive's own (else the first) stays chosen,
    // so that the page says why it cannot be formatted.
    for (int i = 0; i < fileSystems->Items()->Count() && choice < 0 && known; ++i) {
      if (CompareText(fileSystems->Items()->Strings(i), name) == 0) choice = i;
    }
    if (choice < 0 && fileSystems->Items()->Count() > 0) choice = 0;
    fileSystems->SetItemIndex(choice);
    form->Item<TControl>("FormatEditVolumeLabel")->SetCaption(known ? label : "");
  }
  CheckFormatSettings(form);
  const bool wanted = form->Item<TCheckBox>("FormatCheckBoxAgree")->Checked();
  for (const char* name : kOptionControls) {
    if (auto* control = form->Item<TControl>(name)) control->SetVisible(wanted);
  }
  ShowFileSystemChange(form, wanted ? FileSystemChangeNote(DriveFileSystem(form->DriveLetter),
                                                           fileSystems->Text(), SystemFormatServiceAvailable())
                                    : "");
}

std::string DriveFileSystem(char drive) {
  const std::string root = std::string(1, drive) + ":\\";
  char name[MAX_PATH + 1] = {};
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  const bool known = GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, sizeof(name));
  SetErrorMode(previous);
  return known ? name : "";
}

std::string FileSystemChangeNote(const std::string& current, const std::string& chosen, bool serviceAvailable) {
  if (current.empty() || chosen.empty() || serviceAvailable || CompareText(current, chosen) == 0) return "";
  // FAT and FAT32 are written by the engine itself; anything else needs the service.
  if (CompareText(current, "FAT") == 0 || CompareText(current, "FAT32") == 0) return "";
  std::string note = ReplacePlaceholder(MiscText("strFormatFileSystemChanges"), "%s", current);
  return ReplacePlaceholder(note, "%s", chosen);
}

void ShowFileSystemChange(TMainForm* form, const std::string& note) {
  // The page's note promises the drive's own parameters; where they cannot
  // be kept, this note takes its place.
  auto* change = form->Item<TControl>("FormatChangeLabel");
  change->SetCaption(note);
  change->SetVisible(!note.empty());
  form->Item<TControl>("FormatNoteLabel")->SetVisible(note.empty());
}
