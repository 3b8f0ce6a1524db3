#include "StagingFolder.h"

#include "NtFiles.h"
#include "PathNames.h"

namespace qv::engine {
namespace {

constexpr size_t kNameLength = 12;
constexpr int kTries = 4;
constexpr ACCESS_MASK kAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | DELETE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Looking again for about a second: the moments when a path leads elsewhere
// are short.
constexpr int kLookTries = 500;
constexpr DWORD kLookPauseMs = 2;

// Whether the open folder lists nothing but "." and ".."; the names of what
// it holds besides the items with the file IDs `ours` go to `others`.
bool IsEmpty(HANDLE folder, DWORD& error, const std::set<uint64_t>& ours = {},
             std::vector<std::u16string>* others = nullptr) {
  bool empty = true;
  if (!VisitEntries(
          folder,
          [&](const std::u16string& entry, uint64_t fileId) {
            if (entry == u"." || entry == u"..") return true;
            empty = false;
            if (others && !ours.count(fileId)) others->push_back(entry);
            return others != nullptr;
          },
          error))
    return false;
  error = empty ? 0 : ERROR_DIR_NOT_EMPTY;
  return empty;
}

}  // namespace

bool MakeStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error) {
  staging = {};
  for (int attempt = 0; attempt < kTries; ++attempt) {
    std::u16string name;
    if (!RandomName(kNameLength, name)) {
      error = ERROR_GEN_FAILURE;
      return false;
    }
    HANDLE handle = OpenBelow(folder, name, kAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, kDirectoryOnly, error,
                              kCreateNew);
    if (handle != INVALID_HANDLE_VALUE) {
      staging = {handle, name, false};
      return true;
    }
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    // Some systems make the folder and then fail to open it (its path led
    // elsewhere for a moment): one of this fresh name is ours, and goes.
    const DWORD failure = error;
    bool listed = false;
    if (ListsName(folder, name, listed, error) && listed) {
      HANDLE made = OpenBelow(folder, name, kAccess, kShareAll, kDirectoryOnly, error);
      FileKey key;
      bool gone = made != INVALID_HANDLE_VALUE && KeyOf(made, key) && IsEmpty(made, error) &&
                  MarkForDeletion(made, error);
      if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
      if (!gone || !MadeGone(folder, name, key)) staging.name = name;
    }
    error = failure;
    return false;
  }
  return false;
}

bool RemoveStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error, std::vector<std::u16string>* others) {
  error = 0;
  FileKey key;
  // Some systems take the mark and still keep a folder that is not empty.
  bool marked = KeyOf(staging.handle, key) && IsEmpty(staging.handle, error, staging.moved, others) &&
                MarkForDeletion(staging.handle, error);
  CloseHandle(staging.handle);
  staging.handle = INVALID_HANDLE_VALUE;
  if (!marked) {
    if (error == 0) error = ERROR_GEN_FAILURE;
    return false;
  }
  if (MadeGone(folder, staging.name, key)) return true;
  error = ERROR_BUSY;
  return false;
}

Bearer BearerOf(HANDLE folder, const std::u16string& name, const FileKey& key) {
  for (int attempt = 0; attempt < kLookTries; ++attempt) {
    if (attempt) Sleep(kLookPauseMs);
    DWORD error = 0;
    HANDLE landed = OpenBelow(folder, name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
    if (landed != INVALID_HANDLE_VALUE) {
      FileKey landedKey;
      const bool known = KeyOf(landed, landedKey);
      CloseHandle(landed);
      if (known) return SameObject(landedKey, key) ? Bearer::Item : Bearer::Other;
      continue;
    }
    bool listed = true;
    if (ListsName(folder, name, listed, error) && !listed) return Bearer::Nobody;
  }
  return Bearer::Unknown;
}

bool MadeGone(HANDLE folder, const std::u16string& name, const FileKey& key) {
  for (int attempt = 0; attempt < kLookTries; ++attempt) {
    if (attempt) Sleep(kLookPauseMs);
    bool listed = true;
    DWORD error = 0;
    if (ListsName(folder, name, listed, error) && !listed) return true;
    HANDLE still = OpenBelow(folder, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, 0, error);
    if (still == INVALID_HANDLE_VALUE) continue;
    FileKey stillKey;
    if (KeyOf(still, stillKey) && SameObject(stillKey, key)) MarkForDeletion(still, error);
    CloseHandle(still);
  }
  return false;
}

}  // namespace qv::engine
