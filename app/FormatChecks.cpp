// Whether the format page's choice can be carried out on the drive, checked
// before anything is wiped: the file system must be one this system can
// create, the allocation unit must give FAT a cluster count it can address,
// and the label must fit. The FAT planning follows the engine's formatter.
#include <windows.h>

#include <string>
#include <string_view>

#include "Drives.h"
#include "Language.h"
#include "MiscTexts.h"
#include "MainForm.h"
#include "win/controls/StdCtrls.h"

namespace {

constexpr uint64_t kSectorBytes = 512;
constexpr uint64_t kFat12MaxClusters = 4084;
constexpr uint64_t kFat16MaxClusters = 65524;
constexpr uint64_t kFat32MaxClusters = 0x0FFFFFF5 - 2;
constexpr size_t kNtfsLabelChars = 32;

// Data clusters of a FAT volume whose system areas take `fixedSectors` plus
// two FATs of `entryBits` entries; 0 when nothing is left for data.
uint64_t FatClusters(uint64_t totalSectors, uint64_t fixedSectors, uint64_t sectorsPerCluster, uint64_t entryBits) {
  uint64_t fatSectors = 1;
  for (int round = 0; round < 64; ++round) {
    const uint64_t overhead = fixedSectors + 2 * fatSectors;
    if (overhead + sectorsPerCluster > totalSectors) return 0;
    const uint64_t clusters = (totalSectors - overhead) / sectorsPerCluster;
    const uint64_t needed = (((clusters + 2) * entryBits + 7) / 8 + kSectorBytes - 1) / kSectorBytes;
    if (needed <= fatSectors) return clusters;
    fatSectors = needed;
  }
  return 0;
}

std::string UnitText(int64_t unitBytes) { return AllocUnitText(unitBytes); }

std::string ClusterRefusal(bool fat32, int64_t capacity, int64_t unitBytes) {
  const uint64_t totalSectors = static_cast<uint64_t>(capacity) / kSectorBytes;
  const uint64_t perCluster = static_cast<uint64_t>(unitBytes) / kSectorBytes;
  if (totalSectors > 0xFFFFFFFFull)
    return MiscText("strFormatTooLargeForFat");
  const std::string unit = UnitText(unitBytes);
  if (fat32) {
    const uint64_t clusters = FatClusters(totalSectors, 32, perCluster, 32);
    if (clusters <= kFat16MaxClusters)
      return ReplacePlaceholder(MiscText("strFormatFat32TooFewClusters"),
                                "%s", unit);
    if (clusters > kFat32MaxClusters)
      return ReplacePlaceholder(MiscText("strFormatFat32TooManyClusters"),
                                "%s", unit);
    return "";
  }
  const uint64_t rootSectors = (totalSectors <= 2880 ? 224 : 512) * 32 / kSectorBytes;
  const uint64_t fat12 = FatClusters(totalSectors, 1 + rootSectors, perCluster, 12);
  if (fat12 != 0 && fat12 <= kFat12MaxClusters) return "";
  const uint64_t fat16 = FatClusters(totalSectors, 1 + rootSectors, perCluster, 16);
  if (fat16 <= kFat12MaxClusters)
    return ReplacePlaceholder(MiscText("strFormatFatNoLayout"),
                              "%s", unit);
  if (fat16 > kFat16MaxClusters)
    return ReplacePlaceholder(MiscText("strFormatFatTooManyClusters"),
                              "%s", unit);
  return "";
}

}  // namespace

bool FitsFatLabel(const std::string& label) {
  if (label.size() > 11) return false;
  for (unsigned char c : label) {
    if (c < 0x20 || std::string_view("\"*+,./:;<=>?[\\]|").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  }
  return true;
}

HMODULE LoadSystemFormatLibrary() {
  // By its full path in the system folder: a library of that name anywhere
  // else along the search order (the program's folder, the current one) is
  // never loaded.
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\fmifs.dll";
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool SystemFormatServiceAvailable() {
  HMODULE module = LoadSystemFormatLibrary();
  if (module == nullptr) return false;
  const bool present = GetProcAddress(module, "FormatEx") != nullptr;
  FreeLibrary(module);
  return present;
}

std::string FormatRefusal(const std::string& fileSystem, int64_t capacity, int64_t unitBytes,
                          const std::string& label) {
  if (fileSystem.empty()) return MiscText("strFormatNoFileSystem");
  // Every file system is laid out for the drive's size, which must be known
  // and lie where the file system has an allocation unit for it.
  if (capacity <= 0) return MiscText("strFormatNoCapacity");
  if (DefaultAllocUnit(fileSystem, capacity) == 0)
    return ReplacePlaceholder(MiscText("strFormatNoDefaultUnit"), "%s", fileSystem);
  if (unitBytes <= 0) return MiscText("strFormatNoUnit");
  const bool fat = fileSystem == "FAT";
  const bool fat32 = fileSystem == "FAT32";
  if (!fat && !fat32) {
    if (!SystemFormatServiceAvailable())
      return ReplacePlaceholder(MiscText("strFormatNoService"),
                                "%s", fileSystem);
    if (label.size() > kNtfsLabelChars)
      return MiscText("strFormatLabelTooLong");
    return "";
  }
  if (!FitsFatLabel(label))
    return MiscText("strFormatLabelNotFat");
  return ClusterRefusal(fat32, capacity, unitBytes);
}

void ValidateFormatChoice(TMainForm* form) {
  auto* units = form->Item<TComboBox>("FormatComboBoxAllocUnits");
  const int index = units->ItemIndex();
  const int64_t unit = index >= 0 ? static_cast<int64_t>(reinterpret_cast<intptr_t>(units->Items()->Objects(index))) : 0;
  const bool wanted = form->Item<TCheckBox>("FormatCheckBoxAgree")->Checked();
  // A wipe without formatting needs nothing of this page: not even an
  // allocation unit, which a drive left without a file system (its size
  // unreadable) has none of.
  std::string refusal;
  if (wanted) {
    refusal = FormatRefusal(form->Item<TComboBox>("FormatComboBoxFileSystem")->Text(), form->DriveCapacity, unit,
                            form->Item<TControl>("FormatEditVolumeLabel")->Caption());
  }
  form->FormatValid = !wanted || (index >= 0 && refusal.empty());
  auto* reason = form->Item<TControl>("FormatRefusalLabel");
  reason->SetCaption(refusal);
  reason->SetVisible(!refusal.empty());
  form->Item<TControl>("FormatNextLabel")->SetVisible(refusal.empty());
}
