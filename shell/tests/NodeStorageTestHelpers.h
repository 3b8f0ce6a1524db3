#pragma once
// Helpers of the node storage tests: PIDLs of test files, the storage's
// structural invariant, and its records as paths.
#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>

#include "shell/NodeStorage.h"

namespace storagetest {

// The absolute PIDL of path, owned by the holder.
class TPath {
public:
  explicit TPath(const std::u16string& path);
  ~TPath();
  TPath(const TPath&) = delete;
  TPath& operator=(const TPath&) = delete;
  LPITEMIDLIST Get() const { return pidl; }

private:
  LPITEMIDLIST pidl = nullptr;
};

// The file-system path of an absolute PIDL ("" when it has none).
std::u16string PathOf(LPCITEMIDLIST pidl);

// What one record holds, for comparisons.
struct TRecordValue {
  TStorageKinds kinds;
  TCheckState state = csUncheckedNormal;
  bool operator==(const TRecordValue& other) const { return kinds == other.kinds && state == other.state; }
};

// Every record below the root that holds a kind, by lower-case path.
std::map<std::u16string, TRecordValue> StoredRecords(TRootNodeStorage* storage);
// "" when every child list is strictly in its folder's order, every child
// extends its parent's PIDL by one ID and points back at it; else what is wrong.
std::string CheckInvariant(TRootNodeStorage* storage);
std::u16string Lower(const std::u16string& s);

}  // namespace storagetest
