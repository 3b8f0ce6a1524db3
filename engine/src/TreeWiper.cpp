#include "TreeWiper.h"

#include "DirectorySlack.h"
#include "HeldParent.h"
#include "HostPaths.h"
#include "ExactEntry.h"
#include "NtFiles.h"
#include "PathNames.h"
#include "Text.h"

namespace qv::engine {
namespace {

constexpr size_t kBufferBytes = 1 << 20;
constexpr size_t kListBytes = 64 * 1024;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders are held without FILE_SHARE_DELETE: nobody renames or removes them
// while their entries are worked on.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr char16_t kChanged[] = u": changed or replaced after the confirm step, not wiped";

// Lists a folder completely, through its checked handle, before anything in
// it changes name. The entries carry the identity they had when listed. With
// a mask, only the entries of that name (in any case) are listed; a mask is
// taken only by the first listing of a handle.
bool ListFolder(HANDLE folder, std::vector<Listed>& entries, DWORD& error, const std::u16string* mask = nullptr) {
  std::vector<uint64_t> buffer(kListBytes / sizeof(uint64_t));  // 8-byte aligned records
  for (bool first = true;; first = false) {
    if (!ReadFolder(folder, first ? mask : nullptr, buffer.data(), ULONG(kListBytes), error))
      return error == ERROR_NO_MORE_FILES;
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
      std::u16string name(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / sizeof(char16_t));
      if (name != u"." && name != u"..") {
        // A reparse point's tag is reported in the place of the EA size.
        DWORD tag = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info->EaSize : 0;
        entries.push_back({name, info->FileAttributes, tag, uint64_t(info->FileId.QuadPart), QvEntryStamp(*info)});
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
}

// The entry that another name of it (a short name) opens: the one listed
// with its file ID, when exactly one is.
const Listed* FindByIdentity(const OpenFolder& parent, const std::vector<Listed>& entries, const std::u16string& name) {
  DWORD error = 0;
  HANDLE handle = OpenBelow(parent.handle, name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  HandleFacts facts;
  bool known = FactsOf(handle, facts) && facts.identity.fileId != 0;
  CloseHandle(handle);
  if (!known) return nullptr;
  const Listed* found = nullptr;
  for (const Listed& entry : entries) {
    if (entry.fileId != facts.identity.fileId) continue;
    if (found) return nullptr;  // two names for one object: which was meant cannot be told
    found = &entry;
  }
  return found;
}

// The folder of `folderPath` that is reached only through a name differing
// from its listed name in case, on any folder (the named
// folder has gone and its case variant would be taken for it); "" when each
// folder name is listed as given, or is another name of it (a short name),
// or when a folder cannot be listed (nothing then speaks against the path).
std::u16string FolderReachedByCaseVariant(const std::u16string& folderPath) {
  std::vector<std::u16string> chain;
  for (std::u16string path = folderPath; !path.empty() && !IsRootPath(path); path = ParentPath(path))
    chain.push_back(path);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const std::u16string name = LastName(*it);
    auto open = [&] {
      return CreateFileW(W(ParentPath(*it)), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    HANDLE holder = open();
    if (holder == INVALID_HANDLE_VALUE) return {};
    std::vector<Listed> entries;
    DWORD error = 0;
    bool ambiguous = false;
    const Listed* variant = nullptr;
    const Listed* found = nullptr;
    if (ListFolder(holder, entries, error, &name)) found = FindExact(entries, name, ambiguous, variant);
    CloseHandle(holder);
    if (!found && !ambiguous && !variant) {
      OpenFolder again{open(), {}, {}, {}};
      entries.clear();
      if (again.handle != INVALID_HANDLE_VALUE && ListFolder(again.handle, entries, error)) {
        found = FindExact(entries, name, ambiguous, variant);
        if (!found && !ambiguous && !variant) {
          found = FindByIdentity(again, entries, name);
          if (found && SamePath(found->name, name)) variant = found;
        }
      }
      if (again.handle != INVALID_HANDLE_VALUE) CloseHandle(again.handle);
    }
    if (ambiguous || variant) return ToDisplayPath(*it);
  }
  return {};
}

std::u16string Plural(uint64_t n, const char* one, const char* many) {
  return Decimal(n) + u" " + Ascii(n == 1 ? one : many);
}

void Close(OpenFolder& folder) {
  if (folder.handle != INVALID_HANDLE_VALUE) CloseHandle(folder.handle);
  folder.handle = INVALID_HANDLE_VALUE;
}

}  // namespace

TreeWiper::TreeWiper(Reporter& reporter, const std::vector<PassSpec>& passes, const ProtectedFolders& guard,
                     RunKeys* run)
    : reporter_(reporter), passes_(passes), guard_(guard), listed_(run) {}

bool TreeWiper::MayWipe(const TItemKey& key) const { return !listed_ || listed_->May(key); }

bool TreeWiper::AsMount(const OpenFolder& parent, Listed& entry) {
  constexpr DWORD kMountBits = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  if ((entry.attributes & kMountBits) != kMountBits || entry.reparseTag != 0 || entry.fileId != 0) return false;
  DWORD error = 0;
  HANDLE below = OpenBelow(parent.handle, entry.name, FILE_READ_ATTRIBUTES, kShareAll, kDirectoryOnly, error);
  if (below == INVALID_HANDLE_VALUE) return false;
  std::u16string place = PlaceOf(parent.handle);
  while (!place.empty() && place.back() == u'\\') place.pop_back();
  FileKey key;
  const bool mounted = KeyOf(below, key) && !SameVolume(key, parent.key) && !place.empty() &&
                       PlaceOf(below) == place + u"\\" + entry.name;
  CloseHandle(below);
  if (!mounted) return false;
  entry.attributes &= ~DWORD(FILE_ATTRIBUTE_REPARSE_POINT);
  entry.fileId = key.fileId;
  mounts_.insert(ItemKeyOf(key));
  return true;
}
bool TreeWiper::Take(const TItemKey& key) const { return !listed_ || listed_->Take(key); }

bool TreeWiper::NameUnlisted(const std::u16string& longPath, const TItemKey& key, bool folderChanged) {
  if (listed_ && listed_->ListedElsewhere(key, folderChanged)) return false;
  const bool changed = listed_ && listed_->ListedAsAnother(key);
  const std::u16string shown = ToDisplayPath(longPath);
  reporter_.Failure(shown + (changed ? kChanged : u": appeared after the confirm step, not wiped"));
  // A listed file (only files have stamps) met: the program names none it was told of.
  if (changed) reporter_.FileProgress(shown, 0, 100, /*finished=*/true, /*force=*/true, /*failed=*/true);
  return true;
}

void TreeWiper::FolderMet(const std::u16string& longPath, bool failed) {
  reporter_.FolderFinished(ToDisplayPath(longPath), failed);
}

uint32_t TreeWiper::NameNewEntries(const OpenFolder& folder, std::set<std::u16string>& known,
                                   const std::set<uint64_t>& ours) {
  // Through a handle of its own: the held one answers from its first listing.
  DWORD error = 0;
  HANDLE now = OpenFolderAgain(folder.handle, error);
  if (now == INVALID_HANDLE_VALUE) return 0;
  std::vector<Listed> entries;
  ListFolder(now, entries, error);
  CloseHandle(now);
  uint32_t count = 0;
  for (const Listed& entry : entries) {
    const TItemKey key = QvEntryKey(ItemKeyOf(folder.key), entry.fileId, entry.name, entry.stamp);
    if (known.count(entry.name) || ours.count(entry.fileId) || MayWipe(key)) continue;
    // Came in during the wipe: a listed item among them was moved here.
    NameUnlisted(JoinPath(folder.path, entry.name), key, /*folderChanged=*/true);
    known.insert(entry.name);
    ++count;
  }
  return count;
}

std::u16string TreeWiper::WayFails(const std::u16string& folderPath, const FileKey& key) {
  std::vector<std::u16string> levels;
  std::u16string root = folderPath;
  for (; !IsRootPath(root); root = ParentPath(root)) {
    if (root.empty()) return ToDisplayPath(folderPath);
    levels.push_back(root);
  }
  // The root by its path (a drive letter or a share is the user's way in),
  // every folder below it relative to the one above, never through a link.
  HANDLE at = CreateFileW(W(root), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                          nullptr);
  if (at == INVALID_HANDLE_VALUE) return ToDisplayPath(root);
  FileKey reached;
  if (!KeyOf(at, reached) || !MayWipe(ItemKeyOf(reached))) {
    CloseHandle(at);
    return ToDisplayPath(root);
  }
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    const std::u16string name = LastName(*level);
    std::vector<Listed> entries;
    DWORD error = 0;
    bool ambiguous = false;
    const Listed* variant = nullptr;
    const Listed* found = nullptr;
    if (ListFolder(at, entries, error, &name)) found = FindExact(entries, name, ambiguous, variant);
    if (!found && !ambiguous && !variant) {
      // Another name of it (a short name): found in the whole listing by identity.
      HANDLE whole = OpenFolderAgain(at, error);
      entries.clear();
      if (whole != INVALID_HANDLE_VALUE && ListFolder(whole, entries, error)) {
        found = FindByIdentity(OpenFolder{at, *level, {}, {}}, entries, name);
        if (found && SamePath(found->name, name)) found = nullptr;
      }
      if (whole != INVALID_HANDLE_VALUE) CloseHandle(whole);
    }
    // A reparse point of a kind the system does not tell may be a file system
    // mounted there (Wine lists those so): taken only where the folder opened
    // lies on another volume at the very place the name gives, which a link
    // opened at its target does not.
    const bool plain = found && !(found->attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const bool mounted = found && !plain && found->reparseTag == 0;
    HANDLE below = INVALID_HANDLE_VALUE;
    if ((plain || mounted) && (found->attributes & FILE_ATTRIBUTE_DIRECTORY))
      below = OpenBelow(at, found->name, kFolderAccess, kShareAll, kDirectoryOnly, error);
    std::u16string place;
    if (mounted && below != INVALID_HANDLE_VALUE) {
      place = PlaceOf(at);
      while (!place.empty() && place.back() == u'\\') place.pop_back();
      place = place.empty() ? place : place + u"\\" + found->name;
    }
    CloseHandle(at);
    at = below;
    DWORD attributes = 0, tag = 0;
    const FileKey above = reached;
    // Where a link is opened at its target (Wine), the target's identity
    // differs from the one the link was listed with, and it is not listed.
    if (at == INVALID_HANDLE_VALUE || !TagOf(at, attributes, tag) || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !(mounted && tag == IO_REPARSE_TAG_MOUNT_POINT)) ||
        !KeyOf(at, reached) ||
        (plain && found->fileId != 0 && reached.fileId != found->fileId) ||
        (mounted && (SameVolume(reached, above) || place.empty() || PlaceOf(at) != place)) ||
        !MayWipe(ItemKeyOf(reached))) {
      if (at != INVALID_HANDLE_VALUE) CloseHandle(at);
      return ToDisplayPath(*level);
    }
  }
  CloseHandle(at);
  return SameObject(reached, key) ? std::u16string() : ToDisplayPath(folderPath);
}

bool TreeWiper::OpenByPath(const std::u16string& longPath, OpenFolder& folder, DWORD& error) {
  // Followed where it is a link: the checks of the protected folders go by
  // what a path reaches. The way to a ticked path is walked without links
  // afterwards (WayFails).
  HANDLE handle = CreateFileW(W(longPath), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  HandleFacts facts;
  FileKey key;
  if (!FactsOf(handle, facts) || !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY) || !KeyOf(handle, key)) {
    error = ERROR_DIRECTORY;
    CloseHandle(handle);
    return false;
  }
  folder = {handle, longPath, facts.identity, key};
  return true;
}

const std::u16string* TreeWiper::InsideProtected(const OpenFolder& folder, bool& unknown) {
  unknown = false;
  if (const std::u16string* own = guard_.Is(folder.identity, folder.path, folder.key)) return own;
  // The folders holding it, as its path names them.
  for (std::u16string path = folder.path; !IsRootPath(path);) {
    path = ParentPath(path);
    if (path.empty()) break;
    FileIdentity identity;
    FileKey key;
    HANDLE handle = CreateFileW(W(path), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // A key of the object itself says all; the identity (with its volume
      // serial, a round trip to the mount manager under Wine) only where
      // keys are the serial anyway.
      HandleFacts facts;
      if ((!KeyOf(handle, key) || key.source != FileKey::Source::UnixDevice) && FactsOf(handle, facts))
        identity = facts.identity;
      CloseHandle(handle);
    }
    if (const std::u16string* holder = guard_.Is(identity, path, key)) return holder;
  }
  // And where it really lies: a letter, a link or a mapping may lead below a
  // protected folder while the path names none.
  const std::u16string* holder = nullptr;
  ProtectedFolders::Place place = guard_.Locate(folder.handle, folder.key, holder);
  unknown = place == ProtectedFolders::Place::Unknown;
  return holder;
}

WipeResult TreeWiper::Wipe(const std::u16string& path, HeldParent* held) {
  reached_ = false;
  WipeResult result = WipeReached(path, held);
  if (result != WipeResult::Failed || reached_) return result;
  // Refused before it was reached: a ticked item ends with the finishing
  // message of one that could not be wiped, as every other refused item
  // does, so that the program knows every listed item met. A folder (a root
  // has no row) is told apart by what its path names now.
  std::u16string longPath = ToLongPath(path);
  DWORD attributes = longPath.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(W(longPath));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    while (!longPath.empty() && longPath.back() == u'\\' && !IsRootPath(longPath)) longPath.pop_back();
    if (!IsRootPath(longPath)) FolderMet(longPath, /*failed=*/true);
    return result;
  }
  std::u16string shown = longPath.empty() ? path : ToDisplayPath(longPath);
  reporter_.FileProgress(shown, 0, 100, /*finished=*/true, /*force=*/true, /*failed=*/true);
  return result;
}

WipeResult TreeWiper::WipeReached(const std::u16string& path, HeldParent* held) {
  if (passes_.empty()) {
    reporter_.Failure(u"No valid wipe passes were given; " + path + u" was not wiped");
    return WipeResult::Failed;
  }
  std::u16string why;
  std::u16string longPath = ToLongPath(path, &why);
  std::u16string plain = ToDisplayPath(longPath);
  if (longPath.empty() || plain.find_first_of(u"*?") != std::u16string::npos) {
    reporter_.Failure(u"Not a usable path: " + path + u" (" + (why.empty() ? u"it holds a wildcard" : why) + u")");
    return WipeResult::Failed;
  }
  // "file.txt:name" or "file.txt::$DATA" names a stream of a file, which
  // the system would otherwise take for the whole file; only whole files and
  // folders are wiped.
  if (plain.find(u':', 2) != std::u16string::npos) {
    reporter_.Failure(u"Did not wipe " + plain + u": a colon in a name names a stream of a file, not a file or "
                      u"a folder; streams are wiped with their file, never on their own");
    return WipeResult::Failed;
  }
  bool root = IsRootPath(longPath);
  if (!root) {
    while (!longPath.empty() && longPath.back() == u'\\') longPath.pop_back();  // "C:\Data\" names C:\Data
    plain = ToDisplayPath(longPath);
  }
  AlignedBuffer buffer(kBufferBytes);
  if (!buffer.ok()) {
    reporter_.Failure(u"Not enough memory to wipe " + plain);
    return WipeResult::Failed;
  }
  FileWiper wiper(reporter_, passes_, buffer);
  uint32_t failuresBefore = reporter_.Failures();
  reporter_.Log(u"Wiping " + plain);
  auto refuse = [&](const std::u16string& line) {
    reporter_.Failure(line);
    return WipeResult::Failed;
  };
  auto protectedLine = [&](const std::u16string& folder) {
    // As "rm --preserve-root" does: the system's folders, what they hold and
    // what holds them stay.
    return u"Did not wipe " + plain + u": it is, holds or lies in " + folder +
           u", which the system or this program needs; it is never wiped";
  };
  const std::u16string unknownPlace =
      u"Did not wipe " + plain + u": the system cannot tell where it really lies, so it may lie in a folder "
      u"the system or this program needs";
  WipeResult result = WipeResult::Failed;
  DWORD error = 0;
  if (root) {
    OpenFolder top;
    if (!OpenByPath(longPath, top, error)) return refuse(u"Could not open the folder " + plain + u": " + ErrorText(error));
    if (const std::u16string* covered = guard_.Covered(top.identity, top.path, top.key)) {
      Close(top);
      return refuse(u"Did not enter the folder " + plain + u": it is or contains " + *covered +
                    u", which the system or this program needs; it is never wiped");
    }
    // A letter whose root lies below a protected folder.
    const std::u16string* holder = nullptr;
    ProtectedFolders::Place place = guard_.Locate(top.handle, top.key, holder);
    if (place != ProtectedFolders::Place::Outside) {
      Close(top);
      return refuse(holder ? protectedLine(*holder) : unknownPlace);
    }
    if (!MayWipe(ItemKeyOf(top.key))) {
      Close(top);
      return refuse(u"Did not wipe " + plain + u": it is not the item the confirm step listed");
    }
    reached_ = true;
    result = WipeTree(wiper, nullptr, top, /*keep=*/true);
  } else {
    OpenFolder parent;
    std::u16string parentPath = ParentPath(longPath);
    // A folder held from an earlier call was checked then, and has just been
    // found still in that place, its path leading to it (see StillInPlace).
    const bool continuing = held && held->Holds();
    auto letGo = [&] {
      if (!continuing) Close(parent);
    };
    if (continuing) parent = held->folder;
    if (!continuing) {
      if (!OpenByPath(parentPath, parent, error))
        return refuse(u"Could not find " + plain + u": " + ErrorText(error));
      bool unknown = false;
      if (const std::u16string* holder = InsideProtected(parent, unknown)) {
        Close(parent);
        return refuse(protectedLine(*holder));
      }
      if (unknown) {
        Close(parent);
        return refuse(unknownPlace);
      }
      if (const std::u16string* drive = guard_.HoldingDriveOf(parent.key)) {
        // Beside the drive holding it (the registry of the system's prefix).
        Close(parent);
        return refuse(u"Did not wipe " + plain + u": it lies directly in a folder holding the drive of " + *drive +
                      u", which the system or this program needs, and is kept as that folder is");
      }
      std::u16string variantFolder = FolderReachedByCaseVariant(parentPath);
      if (!variantFolder.empty()) {
        Close(parent);
        // What the path reaches is not wiped; a protected folder is still named as the reason.
        HandleFacts facts;
        HANDLE reached = CreateFileW(W(longPath), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (reached != INVALID_HANDLE_VALUE) {
          FactsOf(reached, facts);
          CloseHandle(reached);
        }
        if (const std::u16string* covered = guard_.Covered(facts.identity, longPath)) return refuse(protectedLine(*covered));
        return refuse(u"Could not find " + plain + u": the folder " + variantFolder +
                      u" is not there; its folder holds only names differing from it in case");
      }
      // The way the path names, not the one a link would take: the tree shown
      // to the user never enters a link, so no ticked path passes one.
      std::u16string level = WayFails(parentPath, parent.key);
      if (!level.empty()) {
        Close(parent);
        return refuse(u"Did not wipe " + plain + u": the folder " + level + u" on its way is a link, or " +
                      (listed_ ? u"not the folder listed" : u"not the folder its path named when the wipe began"));
      }
    }
    // The entry as its folder lists it: exactly this name, with its kind
    // and identity. Asked for by name first (a folder may be large); another
    // name of it (a short name) is found in the whole listing by identity,
    // through a second handle of the same folder.
    std::u16string name = LastName(longPath);
    std::vector<Listed> entries;
    bool ambiguous = false;
    const Listed* variant = nullptr;
    bool listed = false;
    if (continuing) {
      // Listed through a handle of its own: the held one has been listed
      // before. The one its path opened just now serves (see StillInPlace).
      HANDLE fresh = held->fresh;
      held->fresh = INVALID_HANDLE_VALUE;
      if (fresh == INVALID_HANDLE_VALUE) fresh = OpenFolderAgain(parent.handle, error);
      if (fresh != INVALID_HANDLE_VALUE) {
        listed = ListFolder(fresh, entries, error, &name);
        CloseHandle(fresh);
      }
    } else {
      listed = ListFolder(parent.handle, entries, error, &name);
    }
    const Listed* found = listed ? FindExact(entries, name, ambiguous, variant) : nullptr;
    if (listed && !found && !ambiguous && !variant) {
      OpenFolder again;
      entries.clear();
      if (OpenByPath(parentPath, again, error)) {
        if (again.identity == parent.identity && ListFolder(again.handle, entries, error)) {
          found = FindExact(entries, name, ambiguous, variant);
          if (!found && !ambiguous && !variant) {
            found = FindByIdentity(parent, entries, name);
            // Opening by name may itself ignore case: what it reaches under
            // another case only is not the entry meant.
            if (found && SamePath(found->name, name)) {
              variant = found;
              found = nullptr;
            }
          }
        }
        Close(again);
      }
    }
    if (variant) {
      // Not wiped; the protected folders are still named as the reason.
      std::u16string variantPath = JoinPath(parentPath, variant->name);
      HANDLE at = OpenBelow(parent.handle, variant->name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
      HandleFacts facts;
      if (at != INVALID_HANDLE_VALUE) {
        FactsOf(at, facts);
        CloseHandle(at);
      }
      const std::u16string* covered = guard_.Covered(facts.identity, variantPath);
      const bool caseless = IgnoresCase(parent.handle);
      letGo();
      if (covered) return refuse(protectedLine(*covered));
      // Another program may have removed the ticked item and left (or made)
      // this one, which was never ticked.
      return refuse(u"Could not find " + plain + u": its folder " +
                    (caseless ? u"holds only " : u"tells names apart by case and holds only ") +
                    ToDisplayPath(variantPath) + u", whose name differs from it in case");
    }
    if (ambiguous) {
      letGo();
      return refuse(u"Did not wipe " + plain + u": its folder holds several entries of this name in other cases, "
                    u"and none of them is named exactly so");
    }
    if (!found) {
      letGo();
      return refuse(u"Could not find " + plain + u": " + ErrorText(listed ? DWORD(ERROR_FILE_NOT_FOUND) : error));
    }
    Listed entry = *found;
    entries.clear();
    AsMount(parent, entry);
    const TItemKey entryKey = QvEntryKey(ItemKeyOf(parent.key), entry.fileId, entry.name, entry.stamp);
    if (!Take(entryKey)) {
      letGo();
      if (listed_->ListedAsAnother(entryKey)) return refuse(plain + kChanged);
      return refuse(u"Did not wipe " + plain + u": it is not the item the confirm step listed");
    }
    // The listed name is the long one, whatever form the caller used.
    longPath = JoinPath(parentPath, entry.name);
    reached_ = true;
    HeldParent work;
    if (continuing) work = *held;
    // Should anything below throw, neither the folder nor its private folder
    // is left open to the end of the process: they are held for the caller,
    // whose pending work removes the private folder and lets the folder go,
    // or finished here.
    try {
      if (continuing) {
        wiper.AdoptStaging(parent, work.staging);
        wiper.KnowClusterBytes(work.clusterBytes);
      } else {
        work.folder = parent;
        // Where it lay when its place was checked above (the place that check
        // took under Wine, where an open folder keeps the place it had when opened).
        if (held) work.place = PlaceOf(parent.handle);
      }
      result = WipeEntry(wiper, parent, entry);
    } catch (...) {
      StagingFolder taken = wiper.TakeStaging(parent);
      if (taken.handle != INVALID_HANDLE_VALUE) work.staging = std::move(taken);
      if (held) {
        *held = std::move(work);
      } else {
        FinishHeldParent(work, reporter_);
      }
      throw;
    }
    work.staging = wiper.TakeStaging(parent);
    work.clusterBytes = wiper.KnownClusterBytes();
    if (result == WipeResult::Wiped && !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      // Gone without looking its name up again (under Wine a look-up of a
      // name that is not there scans the folder). A file counts as wiped only
      // once it left this folder by a rename checked by key (it had no other
      // name) and its new name was then seen gone from the private folder's
      // own listing: a deletion the system takes and cannot carry out (Wine
      // on a path longer than its host allows) is a failure there. A link is
      // removed in place, through its own handle; where links are opened at
      // their targets (Wine) none is ever removed.
      work.removedChars += entry.name.size();
      ++work.removedEntries;
    } else if (result != WipeResult::Stopped) {
      // Gone all the same (a step failed, or a folder): the name it left in
      // its folder is overwritten too. (Under Wine looking up a name that is
      // not there costs a scan of the folder.)
      HANDLE still = OpenBelow(parent.handle, entry.name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
      if (still != INVALID_HANDLE_VALUE) {
        CloseHandle(still);
      } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        work.removedChars += entry.name.size();
        ++work.removedEntries;
      }
    }
    // Held for the caller, which does the folder's work later; else at once.
    if (held) {
      *held = work;
    } else {
      FinishHeldParent(work, reporter_);
    }
  }
  if (result == WipeResult::Stopped) {
    reporter_.Log(u"Stopped: " + plain + u" was not completely wiped");
    return result;
  }
  uint32_t failed = reporter_.Failures() - failuresBefore;
  std::u16string summary = plain + u": " + Plural(counts_.files, "file", "files") + u" and " +
                           Plural(counts_.folders, "folder", "folders") + u" wiped";
  if (failed != 0) summary += u"; " + Plural(failed, "item", "items") + u" could not be wiped";
  reporter_.Log(summary);
  return failed != 0 ? WipeResult::Failed : WipeResult::Wiped;
}

WipeResult TreeWiper::WipeEntry(FileWiper& wiper, const OpenFolder& parent, const Listed& entry) {
  if (IsLinkEntry(entry.attributes, entry.reparseTag)) {
    WipeResult result = wiper.RemoveLink(parent, entry);
    if (result == WipeResult::Wiped && !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) ++counts_.files;
    return result;
  }
  if (IsDataReparseEntry(entry.attributes, entry.reparseTag)) return wiper.LeaveDataReparse(parent, entry);
  if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    OpenFolder folder;
    if (!EnterBelow(parent, entry, folder)) {
      FolderMet(JoinPath(parent.path, entry.name), /*failed=*/true);
      return WipeResult::Failed;
    }
    // Its own key too: an entry key names what the listing saw, the folder entered must be that one.
    if (!Take(ItemKeyOf(folder.key))) {
      Close(folder);
      reporter_.Failure(u"Did not wipe " + ToDisplayPath(folder.path) +
                        u": it is not the item the confirm step listed");
      FolderMet(folder.path, /*failed=*/true);
      return WipeResult::Failed;
    }
    return WipeTree(wiper, &parent, folder, /*keep=*/false);
  }
  WipeResult result = wiper.WipeFile(parent, entry);
  if (result == WipeResult::Wiped) ++counts_.files;
  return result;
}

bool TreeWiper::EnterBelow(const OpenFolder& parent, const Listed& entry, OpenFolder& folder) {
  std::u16string longPath = JoinPath(parent.path, entry.name);
  std::u16string display = ToDisplayPath(longPath);
  DWORD error = 0;
  HANDLE handle = OpenBelow(parent.handle, entry.name, kFolderAccess | DELETE | FILE_WRITE_ATTRIBUTES, kFolderShare,
                            kDirectoryOnly, error);
  if (handle == INVALID_HANDLE_VALUE) {
    reporter_.Failure(u"Could not open the folder " + display + u": " + ErrorText(error));
    return false;
  }
  auto refuse = [&](const std::u16string& why) {
    CloseHandle(handle);
    reporter_.Failure(u"Did not enter the folder " + display + u": " + why);
    return false;
  };
  DWORD attributes = 0, tag = 0;
  HandleFacts facts;
  FileKey key;
  if (!TagOf(handle, attributes, tag) || !FactsOf(handle, facts) || !KeyOf(handle, key)) {
    // The host below some systems (Wine) can say nothing of a path longer than it allows.
    if (BeyondHostLimit(longPath)) return refuse(std::u16string(u"its path is ") + kBeyondHostLimit);
    return refuse(u"the system cannot say what it is");
  }
  // A file system mounted there (AsMount) may show as a reparse point.
  const bool mounted = mounts_.count(ItemKeyOf(key)) != 0;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !mounted))
    return refuse(u"it is no longer a plain folder (a link may have been put in its place)");
  // The file ID counts only together with the volume: the same number on
  // another volume is another folder. Under Wine the serial follows the
  // letter that names the folder's place, which for a folder that is also
  // another letter's root is that letter: the key's device tells the volume.
  bool sameVolume =
      facts.identity.volumeSerial == parent.identity.volumeSerial || SameVolume(key, parent.key) || mounted;
  if (!sameVolume || (entry.fileId != 0 && facts.identity.fileId != entry.fileId))
    return refuse(u"it was replaced by another folder while the wipe ran");
  if (const std::u16string* covered = guard_.Covered(facts.identity, longPath, key)) {
    // As "rm --preserve-root" does: the system's folders and what holds them stay.
    return refuse(u"it is or contains " + *covered + u", which the system or this program needs; it is never wiped");
  }
  // Opened through a folder already located, without following links, it
  // lies in a protected folder only when it is one of the folders found
  // below them.
  if (const std::u16string* holder = guard_.Holding(key))
    return refuse(u"it lies in " + *holder + u", which the system or this program needs; it is never wiped");
  folder = {handle, longPath, facts.identity, key};
  return true;
}

WipeResult TreeWiper::WipeTree(FileWiper& wiper, const OpenFolder* outer, OpenFolder top, bool keep) {
  struct Level {
    OpenFolder folder;
    std::vector<Listed> subfolders;
    size_t next = 0;
    uint32_t failuresAtListing = 0;
    uint64_t nameChars = 0;  // of the entries listed in it
    uint64_t entries = 0;
    uint64_t removedChars = 0;  // of the entries gone from it so far
    uint64_t removedEntries = 0;
    // The entries listed when it was entered, and those named since as not on
    // the run's list: what is in it later besides them came in meanwhile.
    std::set<std::u16string> known;
    std::set<uint64_t> ours;  // the file IDs of the items the wipe made in it and left (counted when left)
    // Its change time was another than the confirm step read before the wipe
    // touched it, and whether any entry in it was one listed: a folder made
    // again in the place of a listed one (its number given again) holds none.
    bool changedSince = false;
    bool listedMet = false;
    // It holds a listed item another program moved here (named by the program, not counted here).
    bool holdsMoved = false;
  };
  std::vector<Level> stack;
  auto removed = [](Level& level, const std::u16string& name) {
    level.removedChars += name.size();
    ++level.removedEntries;
  };
  // An entry that failed may be gone all the same (deleted, but with a step
  // failed): its name is overwritten too.
  auto removedIfGone = [&](Level& level, const std::u16string& name) {
    DWORD error = 0;
    HANDLE still = OpenBelow(level.folder.handle, name, FILE_READ_ATTRIBUTES, kShareAll, 0, error);
    if (still != INVALID_HANDLE_VALUE) {
      CloseHandle(still);
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      removed(level, name);
    }
  };
  // Stopped: the names of what was wiped are overwritten all the same, in
  // every folder entered, before the folders are let go.
  auto stopAll = [&] {
    for (auto level = stack.rbegin(); level != stack.rend(); ++level) {
      uint64_t chars = 0;
      if (wiper.ReleaseStaging(level->folder, chars)) {
        level->removedChars += chars;
        ++level->removedEntries;
      }
      FillDirectorySlack(level->folder, level->removedChars, level->removedEntries, reporter_);
      Close(level->folder);
    }
    stack.clear();
    return WipeResult::Stopped;
  };
  // Lists a folder just entered and wipes its files and links at once; its
  // subfolders are entered later, one by one, from the loop below.
  auto begin = [&](OpenFolder folder) -> WipeResult {
    Level level;
    level.folder = folder;
    level.failuresAtListing = reporter_.Failures();
    if (listed_) {
      const uint64_t confirmed = listed_->ListedChangeTime(ItemKeyOf(folder.key));
      level.changedSince = confirmed != 0 && QvFolderChangeTime(folder.handle) != confirmed;
    }
    std::vector<Listed> entries;
    DWORD error = 0;
    if (!ListFolder(folder.handle, entries, error)) {
      reporter_.Failure(u"Could not list the folder " + ToDisplayPath(folder.path) + u": " + ErrorText(error));
      if (!(keep && stack.empty())) FolderMet(folder.path, /*failed=*/true);
      Close(level.folder);
      return WipeResult::Failed;
    }
    stack.push_back(std::move(level));
    for (Listed& entry : entries) {
      stack.back().nameChars += entry.name.size();
      ++stack.back().entries;
      if (listed_) stack.back().known.insert(entry.name);
      AsMount(stack.back().folder, entry);
      const TItemKey key = QvEntryKey(ItemKeyOf(folder.key), entry.fileId, entry.name, entry.stamp);
      if (!Take(key)) {
        if (!NameUnlisted(JoinPath(folder.path, entry.name), key, stack.back().changedSince))
          stack.back().holdsMoved = true;
        continue;
      }
      stack.back().listedMet = true;
      bool plainFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                         !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
      if (plainFolder) {
        stack.back().subfolders.push_back(entry);
        continue;
      }
      // Between entries too: an empty file or a link takes no pass to check in.
      if (reporter_.StopRequested()) return WipeResult::Stopped;
      WipeResult result = WipeEntry(wiper, stack.back().folder, entry);
      if (result == WipeResult::Stopped) return result;
      if (result == WipeResult::Wiped) removed(stack.back(), entry.name);
      if (result == WipeResult::Failed) removedIfGone(stack.back(), entry.name);
    }
    return WipeResult::Wiped;
  };
  if (begin(top) == WipeResult::Stopped) return stopAll();
  while (!stack.empty()) {
    if (reporter_.StopRequested()) return stopAll();
    Level& current = stack.back();
    if (current.next < current.subfolders.size()) {
      Listed entry = current.subfolders[current.next++];
      std::u16string path = JoinPath(current.folder.path, entry.name);
      if (beforeEnter) beforeEnter(path);
      AtStep(WipeStep::Entering, path);
      OpenFolder folder;
      if (!EnterBelow(current.folder, entry, folder)) {
        FolderMet(path, /*failed=*/true);
        continue;
      }
      const TItemKey own = ItemKeyOf(folder.key);
      if (!Take(own)) {
        // Listed as an entry, yet another folder now (one mounted there, say).
        Close(folder);
        NameUnlisted(path, own, /*folderChanged=*/false);
        FolderMet(path, /*failed=*/true);
        continue;
      }
      if (begin(folder) == WipeResult::Stopped) return stopAll();
      continue;
    }
    Level done = std::move(stack.back());
    stack.pop_back();
    uint64_t stagingChars = 0;
    if (wiper.ReleaseStaging(done.folder, stagingChars, &done.ours)) {
      done.nameChars += stagingChars;
      ++done.entries;
    }
    FillDirectorySlack(done.folder, done.nameChars, done.entries, reporter_, nullptr, &done.ours);
    const OpenFolder* parent = stack.empty() ? outer : &stack.back().folder;
    // A root is kept, never removed: what came into it meanwhile is named all the same.
    if (keep && stack.empty() && listed_) NameNewEntries(done.folder, done.known, done.ours);
    if (!(keep && stack.empty()) && parent) {
      const std::u16string kept = u"Kept the folder " + ToDisplayPath(done.folder.path) +
                                  u" because items in it could not be wiped";
      bool putBack = false, removedNow = false;
      if (mounts_.count(ItemKeyOf(done.folder.key)) != 0) {
        // What it held is wiped; the file system mounted on it stays, and so does it.
        if (listed_) NameNewEntries(done.folder, done.known, done.ours);
        reporter_.Failure(u"Kept the folder " + ToDisplayPath(done.folder.path) + u": a file system is mounted on it");
      } else if (done.changedSince && !done.listedMet) {
        // Not the folder listed, though it has its number: made again since
        // (or emptied of everything listed by another program). What came
        // into it is named with it.
        NameNewEntries(done.folder, done.known, done.ours);
        reporter_.Failure(ToDisplayPath(done.folder.path) + kChanged);
      } else if (reporter_.Failures() != done.failuresAtListing || done.holdsMoved) {
        // Not a failure of its own: what failed in it (or was moved into it)
        // is counted already (and what came into it meanwhile is named now).
        if (listed_) NameNewEntries(done.folder, done.known, done.ours);
        reporter_.Log(kept);
      } else if (listed_ && NameNewEntries(done.folder, done.known, done.ours) != 0) {
        // What came into it while it was worked on stays, and so does it.
        reporter_.Log(kept);
      } else if (wiper.RemoveFolder(*parent, done.folder, &putBack) == WipeResult::Wiped) {
        ++counts_.folders;
        removedNow = true;
        if (!stack.empty()) removed(stack.back(), LastName(done.folder.path));
      } else if (putBack) {
        // Something came into it at the last moment; it is back in its place.
        if (listed_ && NameNewEntries(done.folder, done.known, done.ours) != 0) {
          reporter_.Log(kept);
        } else {
          reporter_.Failure(u"Kept the folder " + ToDisplayPath(done.folder.path) +
                            u": items came into it while it was being removed");
        }
      } else if (!stack.empty()) {
        removedIfGone(stack.back(), LastName(done.folder.path));
      }
      FolderMet(done.folder.path, /*failed=*/!removedNow);
    }
    Close(done.folder);
  }
  return WipeResult::Wiped;
}

}  // namespace qv::engine
