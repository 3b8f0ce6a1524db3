#include "StagingFolder.h"

#include "NtFiles.h"
#include "PathNames.h"

namespace qv::engine {
namespace {

constexpr size_t kNameLength = 12;
constexpr int kTries = 4;
constexpr ACCESS_MASK kAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | DELETE;

}  // namespace

bool MakeStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error) {
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
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool RemoveStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error) {
  error = 0;
  bool marked = MarkForDeletion(staging.handle, error);
  CloseHandle(staging.handle);
  staging.handle = INVALID_HANDLE_VALUE;
  if (!marked) return false;
  // Some systems take the mark and still keep a folder that is not empty.
  HANDLE still = OpenBelow(folder, staging.name, FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kDirectoryOnly, error);
  if (still == INVALID_HANDLE_VALUE) {
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    error = 0;
    return true;
  }
  CloseHandle(still);
  error = ERROR_DIR_NOT_EMPTY;
  return false;
}

}  // namespace qv::engine
