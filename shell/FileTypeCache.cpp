#include "shell/FileTypeCache.h"

#include <windows.h>

#include <mutex>
#include <unordered_map>

#include "shell/VirtualWideStrings.h"

namespace {

std::mutex& CacheLock() {
  static std::mutex lock;
  return lock;
}

std::unordered_map<std::u16string, std::u16string>& Cache() {
  static std::unordered_map<std::u16string, std::u16string> cache;
  return cache;
}

std::unordered_map<std::u16string, bool>& ShownExtensions() {
  static std::unordered_map<std::u16string, bool> shown;
  return shown;
}

std::u16string Key(const std::u16string& extension) { return vws::WideLowerCase(extension); }

// The folder option "hide extensions for known file types": the learnt rules
// hold only under the value they were learnt with. It is read again at most
// this often (a registry read costs as much as the look-up the rules save).
constexpr DWORD kOptionCheckMs = 500;
constexpr DWORD kOptionMissing = 0xFFFFFFFF;
DWORD gHideOption = kOptionMissing;
DWORD gHideOptionRead = 0;
bool gHideOptionKnown = false;

DWORD ReadHideOption() {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                   L"HideFileExt", RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return kOptionMissing;
  return value;
}

// Under the lock: forgets the rules when the option changed since they were learnt.
void CheckHideOptionLocked() {
  DWORD now = GetTickCount();
  if (gHideOptionKnown && now - gHideOptionRead < kOptionCheckMs) return;
  DWORD value = ReadHideOption();
  if (gHideOptionKnown && value != gHideOption) ShownExtensions().clear();
  gHideOption = value;
  gHideOptionRead = now;
  gHideOptionKnown = true;
}

}  // namespace

bool LookupFileTypeName(const std::u16string& extension, std::u16string& typeName) {
  std::lock_guard<std::mutex> guard(CacheLock());
  auto found = Cache().find(Key(extension));
  if (found == Cache().end()) return false;
  typeName = found->second;
  return true;
}

void StoreFileTypeName(const std::u16string& extension, const std::u16string& typeName) {
  std::lock_guard<std::mutex> guard(CacheLock());
  Cache()[Key(extension)] = typeName;
}

bool LookupExtensionShown(const std::u16string& extension, bool& shown) {
  std::lock_guard<std::mutex> guard(CacheLock());
  CheckHideOptionLocked();
  auto found = ShownExtensions().find(Key(extension));
  if (found == ShownExtensions().end()) return false;
  shown = found->second;
  return true;
}

void StoreExtensionShown(const std::u16string& extension, bool shown) {
  std::lock_guard<std::mutex> guard(CacheLock());
  CheckHideOptionLocked();
  ShownExtensions()[Key(extension)] = shown;
}

void FlushFileTypeCache() {
  std::lock_guard<std::mutex> guard(CacheLock());
  Cache().clear();
  ShownExtensions().clear();
  gHideOptionKnown = false;
}
