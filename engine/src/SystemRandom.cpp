#include "SystemRandom.h"

#include <windows.h>
#include <bcrypt.h>

namespace qv::engine {
namespace {

using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);

// The older interface, for systems whose bcrypt refuses the preferred generator.
bool LegacyRandom(uint8_t* out, size_t length) {
  HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  if (!advapi) advapi = LoadLibraryW(L"advapi32.dll");
  if (!advapi) return false;
  auto fn = reinterpret_cast<RtlGenRandomFn>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
  return fn && fn(out, ULONG(length));
}

}  // namespace

RandomSource gRandomSource = SystemRandomSource;

bool SystemRandomBytes(uint8_t* out, size_t length) { return gRandomSource(out, length); }

bool SystemRandomSource(uint8_t* out, size_t length) {
  if (BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, ULONG(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return true;
  }
  return LegacyRandom(out, length);
}

bool NewPassSeed(PassSeed& seed) {
  return SystemRandomBytes(seed.key, sizeof seed.key) &&
         SystemRandomBytes(seed.nonce, sizeof seed.nonce);
}

}  // namespace qv::engine
