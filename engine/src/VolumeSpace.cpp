#include "VolumeSpace.h"

#include "Text.h"

namespace qv::engine {
namespace {

struct IoStatus {
  union {
    LONG status;
    PVOID pointer;
  };
  ULONG_PTR information;
};

struct FullSizeRecord {
  LARGE_INTEGER totalUnits;
  LARGE_INTEGER callerAvailableUnits;
  LARGE_INTEGER actualAvailableUnits;
  ULONG sectorsPerUnit;
  ULONG bytesPerSector;
};

struct AttributeRecord {
  ULONG flags;
  LONG maximumNameLength;
  ULONG nameBytes;
  WCHAR name[64];
};

struct ControlRecord {
  LARGE_INTEGER freeSpaceStartFiltering;
  LARGE_INTEGER freeSpaceThreshold;
  LARGE_INTEGER freeSpaceStopFiltering;
  LARGE_INTEGER defaultQuotaThreshold;
  LARGE_INTEGER defaultQuotaLimit;
  ULONG controlFlags;
};

using QueryVolumeCall = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);

constexpr ULONG kAttributeInformation = 5;
constexpr ULONG kControlInformation = 6;
constexpr ULONG kFullSizeInformation = 7;
constexpr ULONG kQuotaEnforce = 0x2;  // FILE_VC_QUOTA_ENFORCE

QueryVolumeCall QueryVolume() {
  static const QueryVolumeCall call = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryVolumeCall>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryVolumeInformationFile")))
                 : nullptr;
  }();
  return call;
}

bool Query(HANDLE handle, ULONG kind, void* record, ULONG bytes) {
  QueryVolumeCall query = QueryVolume();
  IoStatus io{};
  return query != nullptr && query(handle, &io, record, bytes, kind) >= 0;
}

bool FullSize(HANDLE handle, VolumeSpace& space) {
  FullSizeRecord record{};
  if (!Query(handle, kFullSizeInformation, &record, sizeof record)) return false;
  space.unit = uint64_t(record.sectorsPerUnit) * record.bytesPerSector;
  space.total = uint64_t(record.totalUnits.QuadPart) * space.unit;
  space.available = uint64_t(record.callerAvailableUnits.QuadPart) * space.unit;
  space.free = uint64_t(record.actualAvailableUnits.QuadPart) * space.unit;
  return space.unit != 0;
}

// A file system without quotas has none to enforce; one with them says
// whether they are on (NTFS answers for a handle on the volume's root).
QuotaKind QuotaOf(HANDLE handle) {
  AttributeRecord attributes{};
  if (!Query(handle, kAttributeInformation, &attributes, sizeof attributes)) return QuotaKind::Unknown;
  if ((attributes.flags & FILE_VOLUME_QUOTAS) == 0) return QuotaKind::None;
  ControlRecord control{};
  if (!Query(handle, kControlInformation, &control, sizeof control)) return QuotaKind::Unknown;
  return (control.controlFlags & kQuotaEnforce) != 0 ? QuotaKind::Enforced : QuotaKind::None;
}

}  // namespace

bool SystemDiskFreeSpace(const std::u16string& root, VolumeSpace& space) {
  space = {};
  HANDLE handle = CreateFileW(W(root), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool known = false;
  if (handle != INVALID_HANDLE_VALUE) {
    known = FullSize(handle, space);
    space.quota = QuotaOf(handle);
    CloseHandle(handle);
  }
  if (known) return true;
  ULARGE_INTEGER available = {}, total = {}, free = {};
  if (!GetDiskFreeSpaceExW(W(root), &available, &total, &free)) return false;
  space.available = available.QuadPart;
  space.total = total.QuadPart;
  space.free = free.QuadPart;
  DWORD sectorsPerUnit = 0, bytesPerSector = 0, freeUnits = 0, units = 0;
  if (GetDiskFreeSpaceW(W(root), &sectorsPerUnit, &bytesPerSector, &freeUnits, &units))
    space.unit = uint64_t(sectorsPerUnit) * bytesPerSector;
  return true;
}

}  // namespace qv::engine
