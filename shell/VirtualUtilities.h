#pragma once
// Callback stubs that deliver a system callback to an object, and tests of
// the running Windows version.
#include <windows.h>

#include <cstdint>

// A 13-byte stub of executable code: a standard-convention callback entering
// it reaches method with object pushed as an extra first argument and the
// callback's own arguments after it. method must itself use the standard
// convention and take (object, callback arguments...), so that it pops the
// extra argument too. Returns null when the memory cannot be had.
void* CreateStub(void* object, void* method);
// Releases a stub made by CreateStub; null is ignored.
void DisposeStub(void* stub);

// The running system as GetVersionEx reports it.
struct TPlatformVersion {
  DWORD platformId = 0;
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;
};
// Asked once and kept.
const TPlatformVersion& PlatformVersion();

// True on the NT platform (wide system functions exist).
bool IsUnicode();
// NT platform below version 5.
bool IsWinNT4();
// Windows 95 before OSR2: the 9x platform, version 4.0, build (low 16 bits) below 1081.
bool IsWin95Early();
// The same three tests on given facts.
bool IsUnicodeFor(const TPlatformVersion& v);
bool IsWinNT4For(const TPlatformVersion& v);
bool IsWin95EarlyFor(const TPlatformVersion& v);
