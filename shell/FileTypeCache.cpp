#include "shell/FileTypeCache.h"

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
  auto found = ShownExtensions().find(Key(extension));
  if (found == ShownExtensions().end()) return false;
  shown = found->second;
  return true;
}

void StoreExtensionShown(const std::u16string& extension, bool shown) {
  std::lock_guard<std::mutex> guard(CacheLock());
  ShownExtensions()[Key(extension)] = shown;
}

void FlushFileTypeCache() {
  std::lock_guard<std::mutex> guard(CacheLock());
  Cache().clear();
  ShownExtensions().clear();
}
