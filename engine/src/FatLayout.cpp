#include "FatLayout.h"

#include <cstring>

namespace qv::engine {
namespace {

constexpr uint32_t kFat12MaxClusters = 4084;
constexpr uint32_t kFat16MaxClusters = 65524;
constexpr uint32_t kFat32MaxClusters = 0x0FFFFFF5 - 2;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

uint32_t FatEntryBits(FatKind kind) { return kind == FatKind::Fat12 ? 12 : kind == FatKind::Fat16 ? 16 : 32; }

// Sizes the FATs for a fixed kind; false when the system areas leave no room.
bool SizeFats(FatLayout& layout) {
  uint64_t bits = FatEntryBits(layout.kind);
  layout.fatSectors = 1;
  for (int round = 0; round < 64; ++round) {
    uint64_t overhead = uint64_t(layout.reservedSectors) + layout.rootDirSectors +
                        uint64_t(layout.fatCount) * layout.fatSectors;
    if (overhead + layout.sectorsPerCluster > layout.totalSectors) return false;
    uint64_t clusters = (layout.totalSectors - overhead) / layout.sectorsPerCluster;
    uint64_t fatBytes = ((clusters + 2) * bits + 7) / 8;
    uint64_t needed = (fatBytes + layout.bytesPerSector - 1) / layout.bytesPerSector;
    if (needed <= layout.fatSectors) {
      layout.clusterCount = uint32_t(clusters > 0xFFFFFFFFull ? 0xFFFFFFFFull : clusters);
      return true;
    }
    layout.fatSectors = uint32_t(needed);
  }
  return false;
}

std::u16string ClusterText(uint32_t bytes) {
  std::u16string text;
  uint32_t value = bytes >= 1024 ? bytes / 1024 : bytes;
  do {
    text.insert(text.begin(), char16_t(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return text + (bytes >= 1024 ? u" KB" : u" bytes");
}

}  // namespace

std::optional<FatLayout> PlanFat(uint64_t volumeBytes, uint32_t bytesPerSector, uint32_t clusterBytes, bool fat32,
                                 std::u16string& error) {
  if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)) != 0) {
    error = u"the drive's sector size cannot carry FAT";
    return std::nullopt;
  }
  if (clusterBytes < bytesPerSector) clusterBytes = bytesPerSector;
  uint32_t sectorsPerCluster = clusterBytes / bytesPerSector;
  if ((clusterBytes & (clusterBytes - 1)) != 0 || sectorsPerCluster > 128 || clusterBytes > 65536) {
    error = u"an allocation unit of " + ClusterText(clusterBytes) + u" is not possible with FAT";
    return std::nullopt;
  }
  uint64_t sectors = volumeBytes / bytesPerSector;
  if (sectors > 0xFFFFFFFFull) {
    error = u"the drive is too large for FAT";
    return std::nullopt;
  }
  FatLayout layout;
  layout.bytesPerSector = bytesPerSector;
  layout.sectorsPerCluster = sectorsPerCluster;
  layout.totalSectors = uint32_t(sectors);
  std::u16string fits = u" with an allocation unit of " + ClusterText(clusterBytes);
  if (fat32) {
    layout.kind = FatKind::Fat32;
    layout.reservedSectors = 32;
    if (!SizeFats(layout)) {
      error = u"the drive is too small for FAT32";
      return std::nullopt;
    }
    // Start the data area on a cluster boundary; the FATs only shrink by it.
    uint32_t start = layout.reservedSectors + layout.fatCount * layout.fatSectors;
    uint32_t pad = (sectorsPerCluster - start % sectorsPerCluster) % sectorsPerCluster;
    if (pad != 0) {
      uint32_t fatSectors = layout.fatSectors;
      layout.reservedSectors += pad;
      if (!SizeFats(layout) || layout.fatSectors != fatSectors) {
        layout.reservedSectors -= pad;
        SizeFats(layout);
      }
    }
    if (layout.clusterCount <= kFat16MaxClusters) {
      error = u"the drive is too small for FAT32" + fits + u"; choose a smaller allocation unit or FAT";
      return std::nullopt;
    }
    if (layout.clusterCount > kFat32MaxClusters) {
      error = u"the drive has too many clusters for FAT32" + fits + u"; choose a larger allocation unit";
      return std::nullopt;
    }
    return layout;
  }
  layout.reservedSectors = 1;
  layout.rootEntries = layout.totalSectors <= 2880 ? 224 : 512;
  layout.rootDirSectors = (layout.rootEntries * 32 + bytesPerSector - 1) / bytesPerSector;
  layout.kind = FatKind::Fat12;
  if (SizeFats(layout) && layout.clusterCount <= kFat12MaxClusters) return layout;
  layout.kind = FatKind::Fat16;
  if (!SizeFats(layout)) {
    error = u"the drive is too small for FAT";
    return std::nullopt;
  }
  if (layout.clusterCount <= kFat12MaxClusters) {
    error = u"the drive cannot be laid out for FAT" + fits + u"; choose another allocation unit";
    return std::nullopt;
  }
  if (layout.clusterCount > kFat16MaxClusters) {
    error = u"the drive has too many clusters for FAT" + fits + u"; choose a larger allocation unit or FAT32";
    return std::nullopt;
  }
  return layout;
}

uint32_t DefaultFatClusterBytes(uint64_t c, bool fat32) {
  if (!fat32) {
    if (c <= 32 * kMiB) return 512;
    if (c <= 64 * kMiB) return 1024;
    if (c <= 128 * kMiB) return 2048;
    if (c <= 256 * kMiB) return 4096;
    if (c <= 512 * kMiB) return 8192;
    if (c <= 1 * kGiB) return 16384;
    if (c <= 2 * kGiB) return 32768;
    if (c <= 4 * kGiB) return 65536;
    return 0;
  }
  if (c <= 64 * kMiB) return 512;
  if (c <= 128 * kMiB) return 1024;
  if (c <= 256 * kMiB) return 2048;
  if (c <= 8 * kGiB) return 4096;
  if (c <= 16 * kGiB) return 8192;
  if (c <= 32 * kGiB) return 16384;
  return 32768;
}

bool MakeFatLabel(const std::u16string& label, uint8_t* out11, std::u16string& error) {
  static const char16_t kForbidden[] = u"\"*+,./:;<=>?[\\]|";
  std::u16string text = label;
  while (!text.empty() && text.back() == u' ') text.pop_back();
  if (text.empty()) {
    std::memcpy(out11, "NO NAME    ", 11);
    return true;
  }
  if (text.size() > 11) {
    error = u"the volume label \"" + label + u"\" is longer than the 11 characters FAT allows";
    return false;
  }
  std::memset(out11, ' ', 11);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    bool forbidden = false;
    for (const char16_t* f = kForbidden; *f; ++f) forbidden = forbidden || c == *f;
    if (c < 0x20 || c > 0x7E || forbidden) {
      error = u"the volume label \"" + label + u"\" holds characters a FAT label cannot hold";
      return false;
    }
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    out11[i] = uint8_t(c);
  }
  return true;
}

void BuildBootSector(const FatLayout& l, const uint8_t* label11, uint32_t volumeId, uint8_t* out) {
  std::memset(out, 0, l.bytesPerSector);
  bool fat32 = l.kind == FatKind::Fat32;
  uint8_t jumpTarget = fat32 ? 0x5A : 0x3E;
  out[0] = 0xEB;
  out[1] = uint8_t(jumpTarget - 2);
  out[2] = 0x90;
  std::memcpy(out + 3, "MSWIN4.1", 8);
  Put16(out + 11, l.bytesPerSector);
  out[13] = uint8_t(l.sectorsPerCluster);
  Put16(out + 14, l.reservedSectors);
  out[16] = uint8_t(l.fatCount);
  Put16(out + 17, l.rootEntries);
  bool small = l.totalSectors < 0x10000 && !fat32;
  Put16(out + 19, small ? l.totalSectors : 0);
  out[21] = 0xF8;  // fixed medium
  Put16(out + 22, fat32 ? 0 : l.fatSectors);
  Put16(out + 24, 63);   // sectors per track
  Put16(out + 26, 255);  // heads
  Put32(out + 28, l.hiddenSectors);
  Put32(out + 32, small ? 0 : l.totalSectors);
  uint8_t* ext = out + 36;
  if (fat32) {
    Put32(out + 36, l.fatSectors);
    Put16(out + 40, 0);  // both FATs mirrored
    Put16(out + 42, 0);  // version 0.0
    Put32(out + 44, 2);  // root folder cluster
    Put16(out + 48, 1);  // FSInfo sector
    Put16(out + 50, 6);  // backup boot sector
    ext = out + 64;
  }
  ext[0] = 0x80;  // drive number
  ext[2] = 0x29;  // extended boot signature
  Put32(ext + 3, volumeId);
  std::memcpy(ext + 7, label11, 11);
  const char* type = fat32 ? "FAT32   " : l.kind == FatKind::Fat16 ? "FAT16   " : "FAT12   ";
  std::memcpy(ext + 18, type, 8);
  // Not a system disk: hand over to the next boot device, then halt.
  static const uint8_t kBootCode[] = {0xCD, 0x18, 0xF4, 0xEB, 0xFD};
  std::memcpy(out + jumpTarget, kBootCode, sizeof kBootCode);
  out[510] = 0x55;
  out[511] = 0xAA;
}

void BuildFsInfo(const FatLayout& l, uint32_t freeClusters, uint8_t* out) {
  std::memset(out, 0, l.bytesPerSector);
  Put32(out, 0x41615252);
  Put32(out + 484, 0x61417272);
  Put32(out + 488, freeClusters);
  Put32(out + 492, 3);  // first cluster after the root folder
  Put32(out + 508, 0xAA550000);
}

void BuildLabelEntry(const uint8_t* label11, uint16_t dosDate, uint16_t dosTime, uint8_t* out) {
  std::memset(out, 0, 32);
  std::memcpy(out, label11, 11);
  out[11] = 0x08;  // volume label
  Put16(out + 22, dosTime);
  Put16(out + 24, dosDate);
}

uint32_t FatEndOfChain(FatKind kind) {
  return kind == FatKind::Fat12 ? 0xFFF : kind == FatKind::Fat16 ? 0xFFFF : 0x0FFFFFFF;
}

uint32_t FatBadCluster(FatKind kind) {
  return kind == FatKind::Fat12 ? 0xFF7 : kind == FatKind::Fat16 ? 0xFFF7 : 0x0FFFFFF7;
}

void SetFatEntry(FatKind kind, uint8_t* fat, uint32_t cluster, uint32_t value) {
  if (kind == FatKind::Fat32) {
    uint8_t* p = fat + 4 * size_t(cluster);
    uint32_t old = uint32_t(p[3]) << 24;
    Put32(p, (value & 0x0FFFFFFF) | (old & 0xF0000000));
    return;
  }
  if (kind == FatKind::Fat16) {
    Put16(fat + 2 * size_t(cluster), value);
    return;
  }
  uint8_t* p = fat + size_t(cluster) + cluster / 2;
  if (cluster & 1) {
    p[0] = uint8_t((p[0] & 0x0F) | ((value << 4) & 0xF0));
    p[1] = uint8_t(value >> 4);
  } else {
    p[0] = uint8_t(value);
    p[1] = uint8_t((p[1] & 0xF0) | ((value >> 8) & 0x0F));
  }
}

uint32_t GetFatEntry(FatKind kind, const uint8_t* fat, uint32_t cluster) {
  if (kind == FatKind::Fat32) {
    const uint8_t* p = fat + 4 * size_t(cluster);
    return (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24) & 0x0FFFFFFF;
  }
  if (kind == FatKind::Fat16) {
    const uint8_t* p = fat + 2 * size_t(cluster);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
  }
  const uint8_t* p = fat + size_t(cluster) + cluster / 2;
  uint32_t pair = uint32_t(p[0]) | uint32_t(p[1]) << 8;
  return (cluster & 1) ? pair >> 4 : pair & 0xFFF;
}

}  // namespace qv::engine
