#pragma once
// TRegistry: keys and values under HKEY_CURRENT_USER (or another root). Paths
// starting with "\" are absolute from the root, others relative to the open key.
// Read errors (a missing value, a value of another type) raise
// ERegistryException, which callers catch to fall back to defaults.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "core/Object.h"

QV_DECLARE_EXCEPTION(ERegistryException, Exception);

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry : public TObject {
public:
  void Create();
  void Create(HKEY root);
  ~TRegistry() override;

  HKEY RootKey() const { return rootKey; }
  // Changes the root; closes the open key.
  void SetRootKey(HKEY value);
  // The open key's path from the root ("" when none is open).
  const std::string& CurrentPath() const { return currentPath; }
  HKEY CurrentKey() const { return currentKey; }

  // Opens key read-write; with canCreate a missing key is created. False on failure.
  bool OpenKey(const std::string& key, bool canCreate);
  // Opens key for reading only; false when it does not exist.
  bool OpenKeyReadOnly(const std::string& key);
  // Creates key (and its parents); true when it exists afterwards.
  bool CreateKey(const std::string& key);
  bool KeyExists(const std::string& key);
  bool DeleteKey(const std::string& key);
  void CloseKey();

  bool ValueExists(const std::string& name);
  TRegDataType GetDataType(const std::string& name);
  // The size of the value's data in bytes; -1 when it cannot be read.
  int64_t GetDataSize(const std::string& name);
  bool DeleteValue(const std::string& name);

  // Raise ERegistryException "Invalid data type for '<name>'" for a value of
  // another type and "Unable to read value '<name>'"-style errors when missing.
  std::string ReadString(const std::string& name);
  int32_t ReadInteger(const std::string& name);
  bool ReadBool(const std::string& name);
  // Raise ERegistryException "Failed to set data for '<name>'" on failure.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value);

private:
  bool Open(const std::string& key, REGSAM access, bool canCreate);
  std::string ResolvePath(const std::string& key) const;

  HKEY rootKey = HKEY_CURRENT_USER;
  HKEY currentKey = nullptr;  // owned (RegCloseKey)
  std::string currentPath;
};
