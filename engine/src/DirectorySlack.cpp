#include "DirectorySlack.h"

#include <map>
#include <vector>

#include "HostPaths.h"
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
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Fillers held open from their making to their deletion (saves opening each
// again); the ones made beyond are deleted by name.
constexpr size_t kHeldFillers = 512;

struct Filler {
  std::u16string name;
  HANDLE handle;  // INVALID_HANDLE_VALUE when not held
};

// True for the errors by which a folder or disk says it takes no more entries.
bool IsFull(DWORD error) {
  constexpr DWORD kQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL || error == ERROR_CANNOT_MAKE ||
         error == kQuotaExceeded;
}

// False when no filler could be made: `error` says why (0 when every random
// name was taken).
bool CreateFiller(const OpenFolder& folder, size_t length, std::vector<Filler>& made, DWORD& error) {
  error = 0;
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    std::u16string name;
    if (!RandomName(length, name)) {
      error = ERROR_GEN_FAILURE;
      return false;
    }
    HANDLE file = gCreateFiller(folder.handle, name, error);
    if (file != INVALID_HANDLE_VALUE) {
      if (made.size() >= kHeldFillers) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
      }
      made.push_back({name, file});
      return true;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    error = 0;
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

// The fillers marked for deletion that are still there, with their file IDs.
// Some systems take the deletion and cannot carry it out (Wine, on a path
// longer than its host allows, or one that led elsewhere at that moment), or
// carry it out only once another program lets go of the filler. Every filler
// is looked for, in one listing of the folder as it is now; where the folder
// cannot be listed, each is opened.
std::map<std::u16string, uint64_t> FillersStillThere(const OpenFolder& folder,
                                                     const std::vector<std::u16string>& deleted) {
  std::map<std::u16string, uint64_t> stayed;
  if (deleted.empty()) return stayed;
  const std::set<std::u16string> names(deleted.begin(), deleted.end());
  DWORD error = 0;
  if (VisitEntries(
          folder.handle,
          [&](const std::u16string& name, uint64_t fileId) {
            if (names.count(name)) stayed[name] = fileId;
            return true;
          },
          error))
    return stayed;
  for (const std::u16string& name : deleted) {
    HANDLE file = OpenBelow(folder.handle, name, FILE_READ_ATTRIBUTES, kShareAll, kNonDirectoryOnly, error);
    if (file == INVALID_HANDLE_VALUE) continue;
    uint64_t id = 0;
    stayed[name] = FileIdOf(file, id) ? id : 0;
    CloseHandle(file);
  }
  return stayed;
}

// The file ID of the entry `name` of the folder, 0 when it cannot be told.
uint64_t FileIdBelow(const OpenFolder& folder, const std::u16string& name) {
  DWORD error = 0;
  uint64_t id = 0;
  HANDLE entry = OpenBelow(folder.handle, name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
  if (entry == INVALID_HANDLE_VALUE) return 0;
  if (!FileIdOf(entry, id)) id = 0;
  CloseHandle(entry);
  return id;
}

// Why fillers the system took as deleted are still there: a path longer
// than the host allows cannot be deleted by it; otherwise another program
// interfered (this system deletes by path when the last handle closes).
std::u16string WhyStillThere(const OpenFolder& folder, const std::map<std::u16string, uint64_t>& stayed) {
  const size_t folderBytes = HostPathBytes(folder.path);
  size_t beyond = 0;
  for (const auto& [name, id] : stayed) {
    // Random names are ASCII: one byte a character, after a separator.
    if (folderBytes != 0 && folderBytes + 1 + name.size() > kHostPathLimit) ++beyond;
  }
  const std::u16string interfered =
      u"another program moved or replaced the folder while they were being deleted, or holds them open";
  if (beyond == 0) return interfered;
  const std::u16string tooLong = std::u16string(u"their paths are ") + kBeyondHostLimit;
  if (beyond == stayed.size()) return tooLong;
  return Decimal(beyond) + u" of them: " + tooLong + u"; the others: " + interfered;
}

}  // namespace

HANDLE SystemCreateFiller(HANDLE folder, const std::u16string& name, DWORD& error) {
  return OpenBelow(folder, name, GENERIC_WRITE | DELETE, 0, kNonDirectoryOnly, error, kCreateNew);
}

FillerCreate gCreateFiller = SystemCreateFiller;

void FillDirectorySlack(const OpenFolder& folder, uint64_t removedNameChars, uint64_t removedEntries,
                        Reporter& reporter, const std::u16string* place, std::set<uint64_t>* left) {
  if (removedEntries == 0) return;
  std::u16string now;
  if (!FileWiper::PlaceHolds(folder, INVALID_HANDLE_VALUE, u"", place ? &now : nullptr) || (place && now != *place)) {
    reporter.Failure(u"Did not overwrite the old names in " + ToDisplayPath(folder.path) +
                     u": it was moved or replaced while the wipe ran");
    return;
  }
  // Each entry was renamed to names of its own length, so the folder held up
  // to twice its entries at a time.
  uint64_t bytes = 2 * (removedEntries * EntryBytes(0) + EntryBytes(removedNameChars)) + kMarginBytes;
  std::vector<Filler> made;
  DWORD failure = 0;
  for (size_t round = 0; round < sizeof kRounds / sizeof kRounds[0] && failure == 0; ++round) {
    size_t length = kRounds[round];
    // The long names cover the space; each shorter round fills what is left
    // at the end of every block the long ones covered.
    uint64_t count = round == 0 ? bytes / EntryBytes(length) + 1 : bytes / 4096 + 2;
    for (uint64_t i = 0; i < count; ++i) {
      DWORD error = 0;
      if (CreateFiller(folder, length, made, error)) continue;
      // A full folder has no room left where an old name could survive.
      if (error != 0 && !IsFull(error)) failure = error;
      break;
    }
  }
  if (failure != 0) {
    reporter.Failure(u"Could not overwrite the old names in " + ToDisplayPath(folder.path) +
                     u" (the names of wiped entries may survive there): " + ErrorText(failure));
  }
  FlushFolder(folder.path);
  std::vector<std::u16string> deleted;
  for (const Filler& filler : made) {
    DWORD error = 0;
    bool gone = false;
    if (filler.handle != INVALID_HANDLE_VALUE) {
      gone = MarkForDeletion(filler.handle, error);
      CloseHandle(filler.handle);
    }
    if (gone || DeleteFiller(folder, filler.name, error)) {
      deleted.push_back(filler.name);
    } else {
      reporter.Failure(u"Could not delete the filler " + ToDisplayPath(JoinPath(folder.path, filler.name)) + u": " +
                       ErrorText(error));
      if (uint64_t id = left ? FileIdBelow(folder, filler.name) : 0) left->insert(id);
    }
  }
  const std::map<std::u16string, uint64_t> stayed = FillersStillThere(folder, deleted);
  for (const auto& [name, id] : stayed)
    if (left && id != 0) left->insert(id);
  if (!stayed.empty()) {
    reporter.Failure(u"Could not remove " + Decimal(stayed.size()) +
                     (stayed.size() == 1 ? u" empty file" : u" empty files") + u" with a random name from " +
                     ToDisplayPath(folder.path) + u": the system took them as deleted, yet they are still there (" +
                     WhyStillThere(folder, stayed) + u"); they hold nothing and may be deleted by hand");
  }
}

}  // namespace qv::engine
