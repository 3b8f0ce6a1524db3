#pragma once
// Keeps the settings a test run finds: moved aside while a test works on the
// settings key, put back afterwards, so other tests in the same prefix (the
// program's launch tests) see what they left.
#include <windows.h>

class TSettingsBackup {
public:
  TSettingsBackup() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
    HKEY base = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBase, 0, KEY_READ, &base) == ERROR_SUCCESS) {
      HKEY backup = nullptr;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, kBackup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr) ==
          ERROR_SUCCESS) {
        saved = RegCopyTreeW(base, nullptr, backup) == ERROR_SUCCESS;
        RegCloseKey(backup);
      }
      RegCloseKey(base);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
  }
  ~TSettingsBackup() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
    if (!saved) return;
    HKEY backup = nullptr, base = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBackup, 0, KEY_READ, &backup) == ERROR_SUCCESS) {
      if (RegCreateKeyExW(HKEY_CURRENT_USER, kBase, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base, nullptr) ==
          ERROR_SUCCESS) {
        RegCopyTreeW(backup, nullptr, base);
        RegCloseKey(base);
      }
      RegCloseKey(backup);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
  }
  TSettingsBackup(const TSettingsBackup&) = delete;
  TSettingsBackup& operator=(const TSettingsBackup&) = delete;

  static constexpr const wchar_t* kBase = L"Software\\Halverstrand\\Quorvanell\\1.0";
  static constexpr const wchar_t* kBackup = L"Software\\Halverstrand\\Quorvanell\\1.0 (kept by the tests)";

private:
  bool saved = false;
};
