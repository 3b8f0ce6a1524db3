#include "win/Registry.h"

#include <vector>

#include "core/Format.h"
#include "win/TextConvert.h"

namespace {

std::u16string Wide(const std::string& s) { return AnsiToWide(s); }
LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

}  // namespace

void TRegistry::Create() {}

void TRegistry::Create(HKEY root) { rootKey = root; }

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY value) {
  CloseKey();
  rootKey = value;
}

std::string TRegistry::ResolvePath(const std::string& key) const {
  std::string path;
  if (!key.empty() && key[0] == '\\') path = key.substr(1);
  else if (currentPath.empty()) path = key;
  else if (key.empty()) path = currentPath;
  else path = currentPath + "\\" + key;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool TRegistry::Open(const std::string& key, REGSAM access, bool canCreate) {
  std::string path = ResolvePath(key);
  std::u16string wide = Wide(path);
  HKEY result = nullptr;
  LONG rc;
  if (canCreate) {
    rc = RegCreateKeyExW(rootKey, W(wide), 0, nullptr, 0, access, nullptr, &result, nullptr);
  } else {
    rc = RegOpenKeyExW(rootKey, W(wide), 0, access, &result);
  }
  if (rc != ERROR_SUCCESS) return false;
  CloseKey();
  currentKey = result;
  currentPath = path;
  return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) { return Open(key, KEY_ALL_ACCESS, canCreate); }

bool TRegistry::OpenKeyReadOnly(const std::string& key) { return Open(key, KEY_READ, false); }

bool TRegistry::CreateKey(const std::string& key) {
  std::u16string wide = Wide(ResolvePath(key));
  HKEY result = nullptr;
  if (RegCreateKeyExW(rootKey, W(wide), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result, nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(result);
  return true;
}

bool TRegistry::KeyExists(const std::string& key) {
  std::u16string wide = Wide(ResolvePath(key));
  HKEY result = nullptr;
  if (RegOpenKeyExW(rootKey, W(wide), 0, KEY_READ, &result) != ERROR_SUCCESS) return false;
  RegCloseKey(result);
  return true;
}

bool TRegistry::DeleteKey(const std::string& key) {
  std::u16string wide = Wide(ResolvePath(key));
  return RegDeleteKeyW(rootKey, W(wide)) == ERROR_SUCCESS;
}

void TRegistry::CloseKey() {
  if (currentKey != nullptr) RegCloseKey(currentKey);
  currentKey = nullptr;
  currentPath.clear();
}

bool TRegistry::ValueExists(const std::string& name) {
  if (currentKey == nullptr) return false;
  std::u16string wide = Wide(name);
  return RegQueryValueExW(currentKey, W(wide), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
  if (currentKey == nullptr) return rdUnknown;
  std::u16string wide = Wide(name);
  DWORD type = 0;
  if (RegQueryValueExW(currentKey, W(wide), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return rdUnknown;
  switch (type) {
    case REG_SZ: return rdString;
    case REG_EXPAND_SZ: return rdExpandString;
    case REG_DWORD: return rdInteger;
    case REG_BINARY: return rdBinary;
    default: return rdUnknown;
  }
}

int64_t TRegistry::GetDataSize(const std::string& name) {
  if (currentKey == nullptr) return -1;
  std::u16string wide = Wide(name);
  DWORD size = 0;
  if (RegQueryValueExW(currentKey, W(wide), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return -1;
  return size;
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (currentKey == nullptr) return false;
  std::u16string wide = Wide(name);
  return RegDeleteValueW(currentKey, W(wide)) == ERROR_SUCCESS;
}

std::string TRegistry::ReadString(const std::string& name) {
  std::u16string wide = Wide(name);
  DWORD type = 0, size = 0;
  if (currentKey == nullptr || RegQueryValueExW(currentKey, W(wide), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    throw ERegistryException(Format("Unable to read value '%s'", {name}));
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(Format("Invalid data type for '%s'", {name}));
  std::vector<char16_t> buffer(size / 2 + 1, u'\0');
  DWORD bytes = static_cast<DWORD>(buffer.size() * 2);
  if (RegQueryValueExW(currentKey, W(wide), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
      ERROR_SUCCESS)
    throw ERegistryException(Format("Unable to read value '%s'", {name}));
  std::u16string value(buffer.data(), bytes / 2);
  while (!value.empty() && value.back() == u'\0') value.pop_back();
  return WideToAnsi(value);
}

int32_t TRegistry::ReadInteger(const std::string& name) {
  std::u16string wide = Wide(name);
  DWORD type = 0, value = 0, size = sizeof(value);
  if (currentKey == nullptr ||
      RegQueryValueExW(currentKey, W(wide), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
    if (currentKey != nullptr && RegQueryValueExW(currentKey, W(wide), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS)
      throw ERegistryException(Format("Invalid data type for '%s'", {name}));
    throw ERegistryException(Format("Unable to read value '%s'", {name}));
  }
  if (type != REG_DWORD || size != sizeof(value)) throw ERegistryException(Format("Invalid data type for '%s'", {name}));
  return static_cast<int32_t>(value);
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  std::u16string wide = Wide(name), data = Wide(value);
  if (currentKey == nullptr ||
      RegSetValueExW(currentKey, W(wide), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * 2)) != ERROR_SUCCESS)
    throw ERegistryException(Format("Failed to set data for '%s'", {name}));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
  std::u16string wide = Wide(name);
  DWORD data = static_cast<DWORD>(value);
  if (currentKey == nullptr ||
      RegSetValueExW(currentKey, W(wide), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) !=
          ERROR_SUCCESS)
    throw ERegistryException(Format("Failed to set data for '%s'", {name}));
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }
