#pragma once
// FAT12, FAT16 and FAT32 on-disk structures, planned and built in memory
// following the published on-disk format of FAT.
#include <cstdint>
#include <optional>
#include <string>

namespace qv::engine {

enum class FatKind { Fat12, Fat16, Fat32 };

struct FatLayout {
  FatKind kind = FatKind::Fat16;
  uint32_t bytesPerSector = 512;
  uint32_t sectorsPerCluster = 1;
  uint32_t reservedSectors = 1;
  uint32_t fatCount = 2;
  uint32_t rootEntries = 0;      // FAT12/16 only
  uint32_t rootDirSectors = 0;   // FAT12/16 only
  uint32_t fatSectors = 0;       // one FAT
  uint32_t totalSectors = 0;
  uint32_t clusterCount = 0;     // data clusters, numbered from 2
  uint32_t hiddenSectors = 0;    // sectors before the volume on its disk

  uint32_t clusterBytes() const { return bytesPerSector * sectorsPerCluster; }
  uint32_t firstFatSector() const { return reservedSectors; }
  uint32_t rootDirSector() const { return reservedSectors + fatCount * fatSectors; }
  uint32_t firstDataSector() const { return rootDirSector() + rootDirSectors; }
};

// Plans a file system over `volumeBytes`. fat32 false means FAT12 or FAT16,
// chosen by cluster count. Empty with `error` set when the volume cannot
// carry that file system with this cluster size.
std::optional<FatLayout> PlanFat(uint64_t volumeBytes, uint32_t bytesPerSector, uint32_t clusterBytes, bool fat32,
                                 std::u16string& error);
// The allocation unit proposed for a volume of this size (0: none fits).
uint32_t DefaultFatClusterBytes(uint64_t volumeBytes, bool fat32);

// Checks a volume label and converts it to the 11 padded upper-case bytes
// FAT stores; an empty label gives "NO NAME    ". False with `error` when
// the label is too long or holds characters FAT labels cannot hold.
bool MakeFatLabel(const std::u16string& label, uint8_t* out11, std::u16string& error);
inline bool IsNoName(const uint8_t* label11) {
  return std::string(reinterpret_cast<const char*>(label11), 11) == "NO NAME    ";
}

// Sector 0 (and its backup): `out` holds bytesPerSector bytes.
void BuildBootSector(const FatLayout& layout, const uint8_t* label11, uint32_t volumeId, uint8_t* out);
// FAT32 FSInfo sector.
void BuildFsInfo(const FatLayout& layout, uint32_t freeClusters, uint8_t* out);
// A volume-label directory entry (32 bytes) stamped with a DOS date and time.
void BuildLabelEntry(const uint8_t* label11, uint16_t dosDate, uint16_t dosTime, uint8_t* out);

// Entry values.
uint32_t FatEndOfChain(FatKind kind);
uint32_t FatBadCluster(FatKind kind);
// Writes entry `cluster` into a FAT image `fat` of fatSectors * bytesPerSector bytes.
void SetFatEntry(FatKind kind, uint8_t* fat, uint32_t cluster, uint32_t value);
uint32_t GetFatEntry(FatKind kind, const uint8_t* fat, uint32_t cluster);

}  // namespace qv::engine
