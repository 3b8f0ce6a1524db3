#include "shell/VirtualUtilities.h"

#include <cstring>

namespace {

constexpr SIZE_T kStubSize = 13;

void StoreDword(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

void* CreateStub(void* object, void* method) {
  auto* stub = static_cast<uint8_t*>(VirtualAlloc(nullptr, kStubSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (stub == nullptr) return nullptr;
  stub[0] = 0x5A;  // pop edx: the caller's return address
  stub[1] = 0xB8;  // mov eax, object
  StoreDword(stub + 2, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object)));
  stub[6] = 0x50;  // push eax: the object becomes the first argument
  stub[7] = 0x52;  // push edx: the return address back on top
  stub[8] = 0xE9;  // jmp rel32
  // A rel32 jump wraps around the 32-bit address space, so the difference
  // taken modulo 2^32 reaches any method from any stub.
  uint32_t target = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(method));
  uint32_t next = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stub)) + kStubSize;
  StoreDword(stub + 9, target - next);
  FlushInstructionCache(GetCurrentProcess(), stub, kStubSize);
  return stub;
}

void DisposeStub(void* stub) {
  if (stub == nullptr) return;
  // MEM_RELEASE gives the whole reservation back; a decommit would leak it.
  VirtualFree(stub, 0, MEM_RELEASE);
}

const TPlatformVersion& PlatformVersion() {
  static const TPlatformVersion version = [] {
    TPlatformVersion v;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&info)) {
#pragma GCC diagnostic pop
      v.platformId = info.dwPlatformId;
      v.major = info.dwMajorVersion;
      v.minor = info.dwMinorVersion;
      v.build = info.dwBuildNumber;
    }
    return v;
  }();
  return version;
}

bool IsUnicodeFor(const TPlatformVersion& v) { return v.platformId == VER_PLATFORM_WIN32_NT; }

bool IsWinNT4For(const TPlatformVersion& v) { return v.platformId == VER_PLATFORM_WIN32_NT && v.major < 5; }

bool IsWin95EarlyFor(const TPlatformVersion& v) {
  return v.platformId == VER_PLATFORM_WIN32_WINDOWS && v.major == 4 && v.minor == 0 && (v.build & 0xFFFF) < 1081;
}

bool IsUnicode() { return IsUnicodeFor(PlatformVersion()); }
bool IsWinNT4() { return IsWinNT4For(PlatformVersion()); }
bool IsWin95Early() { return IsWin95EarlyFor(PlatformVersion()); }
