#pragma once
// Sets the process error mode for a scope and restores the old one, also
// when an exception passes (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX:
// an empty drive raises no system dialog meanwhile).
#include <windows.h>

class TErrorModeScope {
public:
  explicit TErrorModeScope(UINT mode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX) : old(SetErrorMode(mode)) {}
  ~TErrorModeScope() { SetErrorMode(old); }
  TErrorModeScope(const TErrorModeScope&) = delete;
  TErrorModeScope& operator=(const TErrorModeScope&) = delete;

private:
  UINT old;
};
