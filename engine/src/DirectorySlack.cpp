#include "DirectorySlack.h"

#include <vector>

#include "PathNames.h"
#include "NtFiles.h"
#include "Text.h"

namespace qv::engine {
namespace {

// Bytes one entry of a name of n characters may take in a folder: a short
// entry and long-name slots (FAT), or a record with the name in UTF-16.
uint64_t EntryBytes(uint64_t nameChars) { return 32 + 2 * nameChars + 32 * ((nameChars + 12) / 13); }

constexpr size_t kRounds[] = {255, 100, 40, 12, 4};
constexpr int kCreateTries = 4;
constexpr uint64_t kMarginBytes = 4096;
constexpr int kDeleteTries = 10;
constexpr DWORD kDeletePauseMs = 50;

bool CreateFiller(const OpenFolder& folder, size_t length, std::vector<std::u16string>& made) {
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    std::u16string name;
    if (!RandomName(length, name)) return false;
    DWORD error = 0;
    HANDLE file = OpenBelow(folder.handle, name, GENERIC_WRITE, 0, kNonDirectoryOnly, error, kCreateNew);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      made.push_back(name);
      return true;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// Deletes a filler through a handle of its own, waiting a little for a
// scanner that holds it.
bool DeleteFiller(const OpenFolder& folder, const std::u16string& name, DWORD& error) {
  for (int attempt = 1;; ++attempt) {
    HANDLE file = OpenBelow(folder.handle, name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            kNonDirectoryOnly, error);
    if (file != INVALID_HANDLE_VALUE) {
      bool deleted = MarkForDeletion(file, error);
      CloseHandle(file);
      if (deleted) return true;
    }
    if (attempt == kDeleteTries || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) return false;
    Sleep(kDeletePauseMs);
  }
}

// Writes the folder's own data to the medium. Some file systems drop unwritten
// changes of a folder that is removed, which would bring its old names back.
void FlushFolder(const std::u16string& folder) {
  HANDLE handle = CreateFileW(W(folder), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FlushFileBuffers(handle);
  CloseHandle(handle);
}

}  // namespace

void FillDirectorySlack(const OpenFolder& folder, uint64_t removedNameChars, uint64_t removedEntries,
                        Reporter& reporter) {
  if (removedEntries == 0) return;
  if (!FileWiper::PlaceHolds(folder, INVALID_HANDLE_VALUE, u"")) {
    reporter.Failure(u"Did not overwrite the old names in " + ToDisplayPath(folder.path) +
                     u": it was moved or replaced while the wipe ran");
    return;
  }
  // Each entry was renamed to names of its own length, so the folder held up
  // to twice its entries at a time.
  uint64_t bytes = 2 * (removedEntries * EntryBytes(0) + EntryBytes(removedNameChars)) + kMarginBytes;
  std::vector<std::u16string> made;
  for (size_t round = 0; round < sizeof kRounds / sizeof kRounds[0]; ++round) {
    size_t length = kRounds[round];
    // The long names cover the space; each shorter round fills what is left
    // at the end of every block the long ones covered.
    uint64_t count = round == 0 ? bytes / EntryBytes(length) + 1 : bytes / 4096 + 2;
    for (uint64_t i = 0; i < count && !reporter.StopRequested(); ++i) {
      if (!CreateFiller(folder, length, made)) break;
    }
  }
  FlushFolder(folder.path);
  for (const std::u16string& name : made) {
    DWORD error = 0;
    if (!DeleteFiller(folder, name, error)) {
      reporter.Failure(u"Could not delete the filler " + ToDisplayPath(JoinPath(folder.path, name)) + u": " +
                       ErrorText(error));
    }
  }
}

}  // namespace qv::engine
