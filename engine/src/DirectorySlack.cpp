#include "DirectorySlack.h"

#include <vector>

#include "PathNames.h"
#include "Removal.h"
#include "Text.h"

namespace qv::engine {
namespace {

// Bytes one entry of a name of n characters may take in a folder: a short
// entry and long-name slots (FAT), or a record with the name in UTF-16.
uint64_t EntryBytes(uint64_t nameChars) { return 32 + 2 * nameChars + 32 * ((nameChars + 12) / 13); }

constexpr size_t kRounds[] = {255, 100, 40, 12, 4};
constexpr int kCreateTries = 4;
constexpr uint64_t kMarginBytes = 4096;

bool CreateFiller(const std::u16string& folder, size_t length, std::vector<std::u16string>& made) {
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    std::u16string name;
    if (!RandomName(length, name)) return false;
    std::u16string path = JoinPath(folder, name);
    HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      made.push_back(path);
      return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
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

void FillDirectorySlack(const std::u16string& folder, uint64_t removedNameChars, uint64_t removedEntries,
                        Reporter& reporter) {
  if (removedEntries == 0) return;
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
  FlushFolder(folder);
  for (const std::u16string& path : made) {
    if (!DeleteFileRetrying(path)) {
      reporter.Failure(u"Could not delete the filler " + ToDisplayPath(path) + u": " + ErrorText(GetLastError()));
    }
  }
}

}  // namespace qv::engine
