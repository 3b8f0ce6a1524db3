// Drive geometry on Windows 9x through the DOS extended free-space call.
#include "shell/ShellUtilities.h"

#include <cstring>

#include "shell/VirtualWideStrings.h"

namespace {

constexpr DWORD kVwin32DosDriveInfo = 6;

#pragma pack(push, 1)
struct TDevIoRegisters {
  DWORD ebx, edx, ecx, eax, edi, esi, flags;
};
struct TExtGetDskFreSpcStruc {
  WORD size;
  WORD level;
  DWORD sectorsPerCluster;
  DWORD bytesPerSector;
  DWORD availableClusters;
  DWORD totalClusters;
  DWORD availablePhysSectors;
  DWORD totalPhysSectors;
  DWORD availableAllocationUnits;
  DWORD totalAllocationUnits;
  DWORD reserved[2];
};
#pragma pack(pop)
static_assert(sizeof(TDevIoRegisters) == 28 && sizeof(TExtGetDskFreSpcStruc) == 44);

}  // namespace

bool Win9xExtFreeSpace(const std::u16string& rootPath, DWORD& sectorsPerCluster, DWORD& bytesPerSector,
                       DWORD& freeClusters, DWORD& totalClusters) {
  HANDLE device;
  if (vws::UseWideApi()) {
    device = CreateFileW(L"\\\\.\\vwin32", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    device = CreateFileA("\\\\.\\vwin32", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (device == INVALID_HANDLE_VALUE) return false;
  std::string root = vws::ToAnsi(rootPath);
  TExtGetDskFreSpcStruc result;
  std::memset(&result, 0, sizeof result);
  TDevIoRegisters registers{};
  registers.eax = 0x7303;
  registers.edx = static_cast<DWORD>(reinterpret_cast<uintptr_t>(root.c_str()));
  registers.edi = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&result));
  registers.ecx = sizeof result;
  registers.flags = 1;  // carry preset: cleared by a successful call
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(device, kVwin32DosDriveInfo, &registers, sizeof registers, &registers, sizeof registers,
                            &returned, nullptr);
  CloseHandle(device);
  if (!ok || (registers.flags & 1) != 0) return false;
  sectorsPerCluster = result.sectorsPerCluster;
  bytesPerSector = result.bytesPerSector;
  freeClusters = result.availableClusters;
  totalClusters = result.totalClusters;
  return true;
}
