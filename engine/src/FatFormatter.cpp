// Our FAT writer: plans the layout, optionally reads the whole data area to
// find clusters that cannot be read (a full format), then writes the system
// areas. The data area keeps what the wipe left in it.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "AlignedBuffer.h"
#include "FatLayout.h"
#include "Formatter.h"
#include "SystemRandom.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr size_t kChunkBytes = 1 << 20;

uint32_t HiddenSectors(const Volume& volume) {
  PARTITION_INFORMATION_EX info = {};
  DWORD returned = 0;
  if (!DeviceIoControl(volume.handle(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &info, sizeof info, &returned,
                       nullptr)) {
    return 0;
  }
  uint64_t sectors = uint64_t(info.StartingOffset.QuadPart) / volume.sectorBytes();
  return sectors > 0xFFFFFFFFull ? 0 : uint32_t(sectors);
}

uint32_t NewVolumeId() {
  uint32_t id = 0;
  if (!SystemRandomBytes(reinterpret_cast<uint8_t*>(&id), sizeof id)) id = GetTickCount();
  return id;
}

void DosNow(uint16_t& date, uint16_t& time) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  date = uint16_t(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  time = uint16_t((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
}

class FatWriter {
 public:
  FatWriter(Volume& volume, const FatLayout& layout, Reporter& reporter)
      : volume_(volume), layout_(layout), reporter_(reporter), chunk_(kChunkBytes) {}

  bool ok() const { return chunk_.ok(); }

  // Reads every data cluster; unreadable ones are remembered as bad.
  FormatEnd Scan(int percentFrom, int percentTo) {
    uint64_t bps = layout_.bytesPerSector;
    uint64_t start = uint64_t(layout_.firstDataSector()) * bps;
    uint64_t clusterBytes = layout_.clusterBytes();
    uint64_t clustersPerChunk = kChunkBytes / clusterBytes;
    for (uint64_t first = 0; first < layout_.clusterCount; first += clustersPerChunk) {
      if (reporter_.StopRequested()) return FormatEnd::Stopped;
      uint64_t count = std::min<uint64_t>(clustersPerChunk, layout_.clusterCount - first);
      DWORD error = 0;
      if (!volume_.ReadAt(start + first * clusterBytes, chunk_.data(), uint32_t(count * clusterBytes), error)) {
        for (uint64_t c = first; c < first + count; ++c) {
          if (!volume_.ReadAt(start + c * clusterBytes, chunk_.data(), uint32_t(clusterBytes), error)) {
            bad_.push_back(uint32_t(c + 2));
          }
        }
      }
      int percent = percentFrom + int((first + count) * uint64_t(percentTo - percentFrom) / layout_.clusterCount);
      reporter_.FormatProgress(percent, false);
    }
    if (!bad_.empty()) {
      reporter_.Log(Decimal(bad_.size()) + u" unreadable clusters were marked as bad");
    }
    return FormatEnd::Formatted;
  }

  // Writes FATs, root folder, FSInfo and boot sectors, boot sector last.
  bool WriteSystemAreas(const uint8_t* label11) {
    uint64_t bps = layout_.bytesPerSector;
    uint64_t fatBytes = uint64_t(layout_.fatSectors) * bps;
    for (uint32_t copy = 0; copy < layout_.fatCount; ++copy) {
      uint64_t base = (uint64_t(layout_.firstFatSector()) + uint64_t(copy) * layout_.fatSectors) * bps;
      for (uint64_t done = 0; done < fatBytes; done += kChunkBytes) {
        size_t n = size_t(std::min<uint64_t>(kChunkBytes, fatBytes - done));
        BuildFatChunk(done, n);
        if (!Write(base + done, chunk_.data(), n, u"a FAT")) return false;
      }
    }
    // Root folder: the fixed area (FAT12/16) or cluster 2 (FAT32).
    uint64_t rootStart = (layout_.kind == FatKind::Fat32 ? layout_.firstDataSector() : layout_.rootDirSector()) * bps;
    uint64_t rootBytes = layout_.kind == FatKind::Fat32 ? layout_.clusterBytes() : uint64_t(layout_.rootDirSectors) * bps;
    std::memset(chunk_.data(), 0, kChunkBytes);
    if (!IsNoName(label11)) {
      uint16_t date = 0, time = 0;
      DosNow(date, time);
      BuildLabelEntry(label11, date, time, chunk_.data());
    }
    for (uint64_t done = 0; done < rootBytes; done += kChunkBytes) {
      size_t n = size_t(std::min<uint64_t>(kChunkBytes, rootBytes - done));
      if (!Write(rootStart + done, chunk_.data(), n, u"the root folder")) return false;
      std::memset(chunk_.data(), 0, n);
    }
    // Reserved area: boot sector, FSInfo and backups; everything else zero.
    uint64_t reservedBytes = uint64_t(layout_.reservedSectors) * bps;
    std::memset(chunk_.data(), 0, size_t(reservedBytes));
    uint8_t* boot = chunk_.data();
    BuildBootSector(layout_, label11, NewVolumeId(), boot);
    if (layout_.kind == FatKind::Fat32) {
      uint32_t freeClusters = layout_.clusterCount - 1 - uint32_t(bad_.size());
      BuildFsInfo(layout_, freeClusters, boot + bps);
      std::memcpy(boot + 6 * bps, boot, size_t(3 * bps));  // backup of sectors 0-2
      std::memset(boot + 8 * bps, 0, size_t(bps));
    }
    if (reservedBytes > bps && !Write(bps, boot + bps, size_t(reservedBytes - bps), u"the reserved sectors")) {
      return false;
    }
    if (!volume_.Flush()) {
      reporter_.Failure(u"Could not flush the formatted drive: " + ErrorText(GetLastError()));
      return false;
    }
    return Write(0, boot, size_t(bps), u"the boot sector") && volume_.Flush();
  }

 private:
  bool Write(uint64_t offset, const uint8_t* data, size_t length, const std::u16string& what) {
    DWORD error = 0;
    if (volume_.WriteAt(offset, data, uint32_t(length), error)) return true;
    reporter_.Failure(u"Could not write " + what + u" while formatting: " + ErrorText(error));
    return false;
  }

  // Bytes [from, from + n) of one FAT: the two reserved entries, the root
  // folder's chain end (FAT32) and the bad clusters; zero elsewhere.
  void BuildFatChunk(uint64_t from, size_t n) {
    uint8_t* data = chunk_.data();
    std::memset(data, 0, n);
    FatKind kind = layout_.kind;
    uint32_t entryBits = kind == FatKind::Fat12 ? 12 : kind == FatKind::Fat16 ? 16 : 32;
    auto put = [&](uint32_t cluster, uint32_t value) {
      if (kind == FatKind::Fat12) {  // a FAT12 FAT always fits one chunk
        if (from == 0) SetFatEntry(kind, data, cluster, value);
        return;
      }
      uint64_t at = uint64_t(cluster) * entryBits / 8;
      if (at < from || at >= from + n) return;
      SetFatEntry(kind, data + (at - from), 0, value);
    };
    uint32_t eoc = FatEndOfChain(kind);
    put(0, (eoc & ~0xFFu) | 0xF8);
    put(1, eoc);
    if (kind == FatKind::Fat32) put(2, eoc);
    for (uint32_t cluster : bad_) put(cluster, FatBadCluster(kind));
  }

  Volume& volume_;
  const FatLayout& layout_;
  Reporter& reporter_;
  AlignedBuffer chunk_;
  std::vector<uint32_t> bad_;
};

}  // namespace

FormatEnd FormatFat(Volume& volume, const FormatRequest& request, bool fat32, Reporter& reporter) {
  const char16_t* name = fat32 ? u"FAT32" : u"FAT";
  uint8_t label[11];
  std::u16string error;
  if (!MakeFatLabel(request.label, label, error)) {
    reporter.Failure(u"Cannot format: " + error + u"; the drive was not formatted");
    return FormatEnd::Failed;
  }
  uint32_t clusterBytes = request.ClusterBytes();
  if (clusterBytes == 0) clusterBytes = DefaultFatClusterBytes(volume.size(), fat32);
  std::optional<FatLayout> layout = PlanFat(volume.size(), volume.sectorBytes(), clusterBytes, fat32, error);
  if (!layout) {
    reporter.Failure(u"Cannot format as " + std::u16string(name) + u": " + error + u"; the drive was not formatted");
    return FormatEnd::Failed;
  }
  layout->hiddenSectors = HiddenSectors(volume);
  const char* kind = layout->kind == FatKind::Fat32 ? "FAT32" : layout->kind == FatKind::Fat16 ? "FAT16" : "FAT12";
  reporter.Log(u"Formatting as " + Ascii(kind) + u", allocation unit " + Decimal(layout->clusterBytes()) +
               u" bytes, " + Decimal(layout->clusterCount) + u" clusters" + (request.quick ? u" (quick)" : u""));
  FatWriter writer(volume, *layout, reporter);
  if (!writer.ok()) {
    reporter.Failure(u"Not enough memory to format the drive");
    return FormatEnd::Failed;
  }
  reporter.FormatProgress(0, true);
  if (!request.quick) {
    FormatEnd scan = writer.Scan(0, 90);
    if (scan != FormatEnd::Formatted) {
      reporter.Log(u"Formatting stopped; the drive was not formatted");
      return scan;
    }
  }
  if (!writer.WriteSystemAreas(label)) return FormatEnd::Failed;
  reporter.FormatProgress(100, true);
  reporter.Log(u"Formatting complete");
  return FormatEnd::Formatted;
}

}  // namespace qv::engine
