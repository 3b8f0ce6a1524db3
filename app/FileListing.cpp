#include "FileListing.h"

#include <winternl.h>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "NeededFolders.h"
#include "shell/MountedFolder.h"

namespace {

bool EndsWithBackslash(const std::u16string& path) { return !path.empty() && path.back() == u'\\'; }

// A checked path without its trailing backslashes ("C:" for "C:\\").
std::u16string_view TrimmedView(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  return path;
}
std::u16string Trimmed(const std::u16string& path) { return std::u16string(TrimmedView(path)); }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A folder is read in blocks of this many bytes (several hundred entries).
constexpr DWORD kListBytes = 64 * 1024;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

LPCWSTR W(const std::u16string& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

bool IsDots(const char16_t* name, size_t length) {
  return (length == 1 && name[0] == u'.') || (length == 2 && name[0] == u'.' && name[1] == u'.');
}

TListedItem ItemOf(std::u16string path, DWORD attributes, uint64_t size, FILETIME lastWrite) {
  TListedItem item;
  item.found = true;
  item.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  item.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  item.path = std::move(path);
  if (item.folder && !EndsWithBackslash(item.path)) item.path += u'\\';
  if (!item.folder) item.size = size;
  item.lastWrite = lastWrite;
  return item;
}

FILETIME FileTimeOf(const LARGE_INTEGER& time) {
  return FILETIME{static_cast<DWORD>(time.QuadPart), static_cast<DWORD>(static_cast<uint64_t>(time.QuadPart) >> 32)};
}

// A folder opened for listing; its own key with it.
struct TOpenFolder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  TItemKey key;
  bool keyed = false;
  DWORD error = 0;  // why it could not be opened

  TOpenFolder() = default;
  TOpenFolder(const TOpenFolder&) = delete;
  TOpenFolder& operator=(const TOpenFolder&) = delete;
  ~TOpenFolder() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  // Opens folder (with or without its trailing backslash) without following a link in its place.
  bool Open(const std::u16string& folder, DWORD access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE) {
    handle = CreateFileW(W(LongPathForm(folder)), access, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      return false;
    }
    keyed = QvReadItemKey(handle, key);
    return true;
  }
};

// The key of the item at path (no trailing backslash) as the folder holding it
// lists it now: the record the wipe reads too (a file system may keep a
// folder's record of an entry apart from the entry's own). Looked up by its
// exact name, in the folder with own key parentKey when given; 0, or why not
// (ERROR_FILE_NOT_FOUND when not listed so).
DWORD ListedEntryKey(const std::u16string& path, TItemKey& key, const TItemKey* parentKey = nullptr) {
  using QueryCall = LONG(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, IO_STATUS_BLOCK*, PVOID, ULONG, ULONG, BOOLEAN,
                                 UNICODE_STRING*, BOOLEAN);
  using ErrorCall = ULONG(NTAPI*)(LONG);
  static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  static const auto query = reinterpret_cast<QueryCall>(
      ntdll ? reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryFile")) : nullptr);
  static const auto errorOf = reinterpret_cast<ErrorCall>(
      ntdll ? reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")) : nullptr);
  constexpr ULONG kIdBothDirectoryInformation = 37;
  constexpr LONG kNoMoreFiles = LONG(0x80000006), kNoSuchFile = LONG(0xC000000F);
  const size_t slash = path.find_last_of(u'\\');
  if (query == nullptr || errorOf == nullptr || slash == std::u16string::npos || slash < 2) return ERROR_INVALID_FUNCTION;
  TOpenFolder parent;
  if (!parent.Open(path.substr(0, slash + 1))) return parent.error;
  if (!parent.keyed) return ERROR_INVALID_FUNCTION;
  if (parentKey != nullptr && parent.key != *parentKey) return ERROR_PATH_NOT_FOUND;  // another folder is there now
  std::u16string name = path.substr(slash + 1);
  UNICODE_STRING mask{static_cast<USHORT>(name.size() * sizeof(char16_t)),
                      static_cast<USHORT>(name.size() * sizeof(char16_t)), reinterpret_cast<PWSTR>(name.data())};
  std::vector<uint64_t> buffer(kListBytes / sizeof(uint64_t));  // 8-byte aligned records
  // The mask (one name, in any case) is taken by the first read of a handle.
  for (bool first = true;; first = false) {
    IO_STATUS_BLOCK io{};
    const LONG status = query(parent.handle, nullptr, nullptr, nullptr, &io, buffer.data(), kListBytes,
                              kIdBothDirectoryInformation, FALSE, first ? &mask : nullptr, first);
    if (status == kNoMoreFiles || status == kNoSuchFile) return ERROR_FILE_NOT_FOUND;
    if (status < 0) return errorOf(status);
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
      if (std::u16string_view(reinterpret_cast<const char16_t*>(info->FileName),
                              info->FileNameLength / sizeof(char16_t)) == name) {
        key = QvEntryKey(parent.key, *info);
        return key.fileId != 0 ? 0 : DWORD(ERROR_INVALID_FUNCTION);
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
}

// An item is listed once however many checked paths reach it. An item is
// reached twice only through a checked path reached twice (the walk of one
// checked folder meets another checked path, or a checked path comes again),
// and a folder met again is not entered again: so only the checked paths
// themselves are looked up among the items listed. A checked item that a kept
// walk vouched for costs only that look-up (the tree checks every item shown
// under a checked folder), and a checked path costs no copy of it.
class TItemLister {
public:
  // checked outlives the lister: its ticks are views into it.
  TItemLister(const std::vector<std::u16string>& checked, const TListedItemSink& sink_, TListingKeys* keys_,
              const TNeededFolders* needed_)
      : sink(sink_), keys(keys_), needed(needed_) {
    ticks.reserve(checked.size());
    for (const std::u16string& path : checked) ticks.try_emplace(TrimmedView(path));
  }

  void ListChecked(const std::u16string& path) {
    if (path.empty()) return;
    // What a refused folder holds goes with it (named with it): the wipe never enters it.
    const std::u16string_view trimmed = TrimmedView(path);
    for (const auto& [folder, which] : refused)
      if (trimmed.size() > folder.size() && StartsWith(trimmed, folder) && trimmed[folder.size()] == u'\\') return;
    // Listed by a kept walk that looked at it as its own tick would: its
    // folders and it are not needed, its way is keyed and it is given. Named
    // as the walk named it, it would find all that again and give nothing.
    const auto tick = ticks.find(trimmed);
    if (path.size() - trimmed.size() <= 1 && tick != ticks.end() && tick->second.vouched != 0) return;
    TItemKey parentKey;
    const bool wayKnown = Way(path, parentKey);
    if (!linkOnWay.empty()) {
      if (keys != nullptr) keys->needed.push_back(TNeededTick{path, linkOnWay, true, {}});
      return;
    }
    if (IsDriveRootPath(path)) {
      // The root is wiped through its content; it has no row of its own.
      TOpenFolder root;
      if (!MarkGiven(Named(path))) return;
      if (!root.Open(path)) {
        Unreadable(path, path, root.error);
        return;
      }
      if (root.keyed && IsNeeded(path, root.key, /*folder=*/true)) return;
      ListTicked(path, nullptr, path, root);
      return;
    }
    std::u16string bare = EndsWithBackslash(path) ? path.substr(0, path.size() - 1) : path;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(W(LongPathForm(bare)), GetFileExInfoStandard, &data)) {
      // Listed without details.
      TListedItem missing;
      missing.path = path;
      Emit(std::move(missing));
      return;
    }
    TListedItem item = ItemOf(bare, data.dwFileAttributes,
                              (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                              data.ftLastWriteTime);
    // A file system mounted on the folder is entered as the folder (as the wipe does).
    const bool mounted = item.link && item.folder && IsMountedFolder(bare);
    if (mounted) item.link = false;
    const bool enter = item.folder && !item.link;
    TOpenFolder folder;
    TItemKey own;
    bool ownKnown = false;
    if (enter && folder.Open(item.path)) {
      own = folder.key;
      ownKnown = folder.keyed;
    } else if (enter && !IsNotFound(folder.error)) {
      Unreadable(path, bare, folder.error);
      return;
    } else if (!enter) {
      ownKnown = KeyOfPath(bare, own);
    }
    if (ownKnown && IsNeeded(path, own, enter)) return;
    // The folder it lies directly in keeps its files: that folder is named.
    if (!enter && wayKnown && needed != nullptr && needed->KeepsFilesOf(parentKey) != nullptr) {
      const size_t slash = bare.find_last_of(u'\\');
      if (keys != nullptr) keys->needed.push_back(TNeededTick{path, bare.substr(0, slash == 2 ? 3 : slash), false, {}});
      return;
    }
    // As the folder holding it lists it: that folder's volume, its file ID, its name, its stamp.
    if (ownKnown && wayKnown && own.fileId != 0) {
      item.keyed = ListedEntryKey(bare, item.key, &parentKey) == 0 && item.key.fileId == own.fileId;
      // A mount is listed without a file ID: it is keyed by the root it opens, as the wipe takes it.
      if (mounted && !item.keyed) {
        const std::u16string_view name = std::u16string_view(bare).substr(bare.find_last_of(u'\\') + 1);
        item.key = QvEntryKey(parentKey, own.fileId, name.data(), name.size(), TEntryStamp{});
        item.keyed = true;
      }
    }
    if (!enter || folder.handle == INVALID_HANDLE_VALUE) {
      Emit(std::move(item));
      return;
    }
    const std::u16string folderPath = item.path;
    const TNamed named = Named(item.path);
    if (named.tick != nullptr && (named.tick->given & named.form) != 0) return;  // listed and entered before
    ListTicked(path, &item, folderPath, folder);
  }

private:
  // What the listing knows of a checked path, for each way an item's path
  // names it: trimmed (kBare) or trimmed with one backslash (kSlashed).
  static constexpr uint8_t kBare = 1, kSlashed = 2;
  struct TTick {
    uint8_t given = 0;    // the forms given so far
    uint8_t vouched = 0;  // the forms a kept walk gave after looking at the item as its own tick would
  };
  struct TNamed {
    TTick* tick = nullptr;  // null: no checked path names the item
    uint8_t form = 0;
  };
  TNamed Named(std::u16string_view path) {
    uint8_t form = kBare;
    if (!path.empty() && path.back() == u'\\') {
      path.remove_suffix(1);
      form = kSlashed;
    }
    if (!path.empty() && path.back() == u'\\') return {};
    auto found = ticks.find(path);
    return found == ticks.end() ? TNamed{} : TNamed{&found->second, form};
  }
  // False when the checked path named was given before.
  static bool MarkGiven(TNamed named) {
    if (named.tick == nullptr) return true;
    if ((named.tick->given & named.form) != 0) return false;
    named.tick->given |= named.form;
    return true;
  }

  struct TFolderFrame {
    std::vector<TListedItem> subfolders;
    size_t next = 0;
    DWORD error = 0;  // why it could not be listed
    TItemKey key;          // its own
    TFolderPlace place;    // where it lies, when a subfolder is a reparse point
  };

  // False when the path was given before.
  bool Emit(TListedItem&& item) {
    const TNamed named = Named(item.path);
    return Emit(std::move(item), named);
  }
  bool Emit(TListedItem&& item, TNamed named) {
    if (!MarkGiven(named)) return false;
    if (held != nullptr) held->push_back(std::move(item));
    else sink(std::move(item));
    return true;
  }
  // Keeps the own key of a folder the walk entered, with its change time,
  // held back with the walk's rows.
  void KeepFolder(const TOpenFolder& folder) {
    heldKeys->folders.push_back(folder.key);
    heldKeys->folderTimes.push_back(TFolderTime{folder.key, QvFolderChangeTime(folder.handle)});
  }

  // Lists the checked folder path (item: its row, null for a drive root) and
  // its content, held back until the walk ends: a walk that meets a folder
  // the system or this program needs gives no row at all, and the checked
  // path is named with that folder (the wipe refuses what holds one).
  void ListTicked(const std::u16string& path, TListedItem* item, const std::u16string& folderPath,
                  const TOpenFolder& folder) {
    std::vector<TListedItem> rows;
    TListingKeys folderKeys;
    std::vector<TNamed> walkTicks;
    held = &rows;
    heldKeys = &folderKeys;
    heldTicks = &walkTicks;
    metNeeded.clear();
    metWhy.clear();
    if (folder.keyed) KeepFolder(folder);
    if (item == nullptr || Emit(std::move(*item))) ScanTree(folderPath, folder);
    held = nullptr;
    heldKeys = nullptr;
    heldTicks = nullptr;
    if (!metNeeded.empty()) {
      if (keys != nullptr) keys->needed.push_back(TNeededTick{path, metNeeded, false, metWhy});
      refused.emplace_back(Trimmed(path), metNeeded);
      return;
    }
    for (TListedItem& row : rows) sink(std::move(row));
    if (keys != nullptr) {
      keys->folders.insert(keys->folders.end(), folderKeys.folders.begin(), folderKeys.folders.end());
      keys->folderTimes.insert(keys->folderTimes.end(), folderKeys.folderTimes.begin(), folderKeys.folderTimes.end());
    }
    for (const TNamed& named : walkTicks) named.tick->vouched |= named.form;
  }

  // Names the checked path whose folder (itself, or one in it) could not be
  // read: what it holds is unknown, so none of it is listed.
  void Unreadable(const std::u16string& path, const std::u16string& folder, DWORD error) {
    const std::u16string named = IsDriveRootPath(folder) ? folder : Trimmed(folder);
    if (keys != nullptr) keys->needed.push_back(TNeededTick{path, named, false, ErrorWords(error)});
    refused.emplace_back(Trimmed(path), Trimmed(folder));
  }

  // Whether a checked item with key is, lies in or holds a needed folder;
  // such an item is named, not listed.
  bool IsNeeded(const std::u16string& path, const TItemKey& key, bool folder) {
    if (needed == nullptr) return false;
    const std::u16string* which = needed->Is(key);
    if (which == nullptr && folder) which = needed->HeldBy(key);
    if (which == nullptr && !lyingIn.empty()) which = &lyingIn;
    if (which == nullptr) return false;
    if (keys != nullptr) keys->needed.push_back(TNeededTick{path, *which, false, {}});
    if (folder) refused.emplace_back(Trimmed(path), *which);
    return true;
  }

  // The keys of the folders on the way to path, from its root (a drive's
  // "X:\\" or a share's "\\\\server\\share\\", included; path excluded);
  // parentKey is the last of them. Notes in lyingIn the needed folder one of
  // them is. False when a folder on the way cannot be opened.
  bool Way(const std::u16string& path, TItemKey& parentKey) {
    lyingIn.clear();
    linkOnWay.clear();
    const std::u16string trimmed = Trimmed(path);
    size_t root = std::u16string::npos;  // where the root's closing backslash goes
    if (trimmed.size() >= 2 && trimmed[1] == u':') {
      root = 2;
    } else if (trimmed.size() > 2 && trimmed[0] == u'\\' && trimmed[1] == u'\\') {
      const size_t share = trimmed.find(u'\\', 2);
      if (share != std::u16string::npos) root = std::min(trimmed.find(u'\\', share + 1), trimmed.size());
    }
    if (root == std::u16string::npos) return false;
    bool known = true;
    for (size_t at = root; at < trimmed.size(); at = trimmed.find(u'\\', at + 1)) {
      const std::u16string level = at == root ? trimmed.substr(0, root) + u'\\' : trimmed.substr(0, at);
      const TLevel& found = LevelKey(level, at != root);
      if (found.link) {
        linkOnWay = level;
        return false;
      }
      const bool keyed = found.keyed;
      const TItemKey& key = found.key;
      known = keyed;
      if (!keyed) continue;
      parentKey = key;
      if (keys != nullptr) keys->folders.push_back(key);
      if (needed != nullptr && lyingIn.empty())
        if (const std::u16string* which = needed->Is(key)) lyingIn = *which;
    }
    return known;
  }

  // A folder on the way to a checked path: its own key (of what it leads
  // to), and whether it is a link: a reparse point other than a file system
  // mounted there (IsMountedFolder), which the wipe goes through. A drive or
  // share root is neither.
  struct TLevel {
    TItemKey key;
    bool keyed = false;
    bool link = false;
  };
  const TLevel& LevelKey(const std::u16string& level, bool belowRoot) {
    auto found = levels.find(level);
    if (found != levels.end()) return found->second;
    TLevel known;
    known.keyed = KeyOfPath(level, known.key);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    known.link = belowRoot && GetFileAttributesExW(W(LongPathForm(level)), GetFileExInfoStandard, &data) &&
                 (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsMountedFolder(level);
    if (known.link) known.keyed = false;
    return levels.emplace(level, known).first->second;
  }

  // Files first, each subfolder then followed by its content. The walk keeps
  // its own stack: a deep tree costs memory, not the thread's stack.
  void ScanTree(const std::u16string& root, const TOpenFolder& opened) {
    std::vector<TFolderFrame> stack;
    stack.push_back(ReadFolder(root, opened));
    if (Unread(root, stack.back())) return;
    while (!stack.empty()) {
      TFolderFrame& top = stack.back();
      if (top.next == top.subfolders.size()) {
        stack.pop_back();
        continue;
      }
      TListedItem sub = std::move(top.subfolders[top.next++]);
      const std::u16string folder = sub.path;
      TOpenFolder below;
      // A file system mounted on a folder, which a listing gives without a
      // file ID, is entered as the folder, keyed by the file ID of the folder
      // it opens (as the wipe takes it); a link is not entered.
      const std::u16string_view name = TrimmedView(folder).substr(TrimmedView(folder).find_last_of(u'\\') + 1);
      const bool mounted = sub.link && below.Open(folder) && below.keyed && IsMountedBelow(top.place, below.handle, name);
      if (mounted) {
        sub.link = false;
        sub.key = QvEntryKey(top.key, below.key.fileId, name.data(), name.size(), TEntryStamp{});  // a folder: no stamp
        sub.keyed = below.key.fileId != 0;
      }
      const bool enter = !sub.link;
      const TItemKey listedAs = sub.key;
      const TNamed named = Named(folder);
      if (!Emit(std::move(sub), named) || !enter) continue;
      // A folder that is no longer the one listed (replaced meanwhile, or a
      // link put in its place) is not entered: its content was never there.
      // One that cannot be read leaves what the checked folder holds unknown.
      if (!mounted && !below.Open(folder)) {
        if (IsNotFound(below.error)) continue;
        metNeeded = Trimmed(folder);
        metWhy = ErrorWords(below.error);
        return;
      }
      if (!below.keyed || below.key.fileId != listedAs.fileId) continue;
      if (needed != nullptr) {
        const std::u16string* which = needed->Is(below.key);
        if (which == nullptr) which = needed->HeldBy(below.key);
        if (which != nullptr) {
          metNeeded = *which;
          return;
        }
      }
      KeepFolder(below);
      if (named.tick != nullptr) heldTicks->push_back(named);  // entered: not needed, nor holding one
      stack.push_back(ReadFolder(folder, below));
      if (Unread(folder, stack.back())) return;
    }
  }

  // Whether the folder's listing failed: the walk then met a folder that
  // cannot be read (metNeeded, with metWhy).
  bool Unread(const std::u16string& folder, const TFolderFrame& frame) {
    if (frame.error == 0) return false;
    metNeeded = Trimmed(folder);
    metWhy = ErrorWords(frame.error);
    return true;
  }

  // Gives a file of a folder the walk entered (not needed, nor keeping its
  // files); a checked one the walk vouches for.
  void EmitFile(TListedItem&& item) {
    const TNamed named = Named(item.path);
    if (Emit(std::move(item), named) && named.tick != nullptr) heldTicks->push_back(named);
  }

  // Gives the folder's files and returns its subfolders.
  TFolderFrame ReadFolder(const std::u16string& folder, const TOpenFolder& opened) {
    TFolderFrame frame;
    if (!opened.keyed) return frame;  // nothing in it could be told by key
    frame.key = opened.key;
    std::vector<uint64_t> buffer(kListBytes / sizeof(uint64_t));  // 8-byte aligned records
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
      if (!ReadFolderBlock(opened.handle, kind, buffer.data(), kListBytes)) {
        // A listing cut short after its first block is no complete listing either.
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) frame.error = error;
        break;
      }
      const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
      for (size_t at = 0;;) {
        const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
        const auto* name = reinterpret_cast<const char16_t*>(info->FileName);
        const size_t length = info->FileNameLength / sizeof(char16_t);
        if (!IsDots(name, length)) {
          std::u16string path = folder;
          path.append(name, length);
          TListedItem item = ItemOf(std::move(path), info->FileAttributes,
                                    static_cast<uint64_t>(info->EndOfFile.QuadPart), FileTimeOf(info->LastWriteTime));
          item.key = QvEntryKey(opened.key, *info);
          item.keyed = item.key.fileId != 0;
          if (item.folder) frame.subfolders.push_back(std::move(item));
          else EmitFile(std::move(item));
        }
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
      }
    }
    // Asked while the folder is open, for the subfolders that may be mounts.
    if (std::any_of(frame.subfolders.begin(), frame.subfolders.end(), [](const TListedItem& sub) { return sub.link; }))
      frame.place = FolderPlaceOf(opened.handle);
    return frame;
  }

  const TListedItemSink& sink;
  TListingKeys* keys;
  const TNeededFolders* needed;
  std::unordered_map<std::u16string_view, TTick> ticks;  // by each checked path trimmed
  std::unordered_map<std::u16string, TLevel> levels;  // folders on the way, by path
  std::u16string linkOnWay;  // the link on the way to the current checked path
  std::u16string lyingIn;    // the needed folder on the way to the current checked path
  // The needed folder the walk of a checked folder met, or the folder it
  // could not read (with the system's words why).
  std::u16string metNeeded;
  std::u16string metWhy;
  std::vector<TListedItem>* held = nullptr;  // rows of the checked folder being walked, held back
  TListingKeys* heldKeys = nullptr;  // the folders entered by the walk, held back with its rows
  // The checked paths the walk vouches for (files of folders it entered, and
  // the folders it entered), held back with its rows.
  std::vector<TNamed>* heldTicks = nullptr;
  std::vector<std::pair<std::u16string, std::u16string>> refused;  // checked folders left out, trimmed, with why
};

}  // namespace

TFolderBlockRead ReadFolderBlock = GetFileInformationByHandleEx;

std::u16string ErrorWords(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::u16string words = length != 0 && text != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(text), length)
                                                        : std::u16string();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() <= u' ' || words.back() == u'.')) words.pop_back();
  if (!words.empty()) return words;
  const std::string number = "error " + std::to_string(code);
  return std::u16string(number.begin(), number.end());
}

bool IsDriveRootPath(const std::u16string& path) { return path.size() == 3 && path[1] == u':' && path[2] == u'\\'; }

std::u16string LongPathForm(const std::u16string& path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') return u"\\\\?\\" + path;
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' && path[2] != u'.')
    return u"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

bool KeyOfPath(const std::u16string& path, TItemKey& key) {
  std::u16string opened = path;
  if (opened.size() == 2 && opened[1] == u':') opened += u'\\';
  HANDLE handle = CreateFileW(W(LongPathForm(opened)), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool keyed = QvReadItemKey(handle, key);
  CloseHandle(handle);
  return keyed;
}

DWORD EntryKeyOfPath(const std::u16string& path, TItemKey& key) {
  const std::u16string bare = Trimmed(path);
  const DWORD error = ListedEntryKey(bare, key);
  // A mount is listed without a file ID: it is keyed by the root it opens,
  // as the listing keys it.
  if (error != ERROR_INVALID_FUNCTION || !IsMountedFolder(bare)) return error;
  const size_t slash = bare.find_last_of(u'\\');
  TOpenFolder parent, own;
  if (!parent.Open(bare.substr(0, slash + 1)) || !parent.keyed || !own.Open(bare) || !own.keyed) return error;
  const std::u16string_view name = std::u16string_view(bare).substr(slash + 1);
  key = QvEntryKey(parent.key, own.key.fileId, name.data(), name.size(), TEntryStamp{});
  return 0;
}

bool IsNotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

void ListCheckedItems(const std::vector<std::u16string>& checked, const TListedItemSink& sink, TListingKeys* keys,
                      const TNeededFolders* needed) {
  TItemLister lister(checked, sink, keys, needed);
  for (const std::u16string& path : checked) lister.ListChecked(path);
}

TListedItems ListedItemsOf(const std::vector<TItemKey>& keys, const std::vector<TFolderTime>& folderTimes) {
  TListedItems listed;
  listed.count = static_cast<uint32_t>(keys.size());
  listed.keys = keys.data();
  listed.folderCount = static_cast<uint32_t>(folderTimes.size());
  listed.folders = folderTimes.data();
  return listed;
}

std::vector<TItemKey> ListCheckedKeys(const std::vector<std::u16string>& checked, const TListedItemSink& sink,
                                      std::vector<TNeededTick>* ticksLeftOut, const TNeededFolders* needed,
                                      std::vector<TFolderTime>* folderTimes) {
  TListingKeys keys;
  std::vector<TItemKey> listed;
  ListCheckedItems(checked, [&](TListedItem&& item) {
    if (item.keyed) listed.push_back(item.key);
    sink(std::move(item));
  }, &keys, needed);
  listed.insert(listed.end(), keys.folders.begin(), keys.folders.end());
  std::sort(listed.begin(), listed.end());
  listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
  if (ticksLeftOut != nullptr) *ticksLeftOut = std::move(keys.needed);
  if (folderTimes != nullptr) {
    std::vector<TFolderTime>& times = keys.folderTimes;
    std::sort(times.begin(), times.end());
    auto sameFolder = [](const TFolderTime& a, const TFolderTime& b) { return a.own == b.own; };
    times.erase(std::unique(times.begin(), times.end(), sameFolder), times.end());
    *folderTimes = std::move(times);
  }
  return listed;
}
