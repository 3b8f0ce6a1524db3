#pragma once
// What a wipe of checked paths reaches, item by item, for the confirm list:
// each checked item, and for a checked folder its files, then each subfolder
// followed at once by its own content, in the order the file system gives.
// Names are wide and paths of any length are read (through "\\?\"); an item
// is given once however often it is reached; links and junctions are given
// as themselves and never entered, while a file system mounted on a folder is
// entered as the folder (as the wipe does). Every item carries its key
// (QuorvanellListed.h), so that the wipe takes exactly the items listed.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QuorvanellListed.h"

class TNeededFolders;

struct TListedItem {
  std::u16string path;  // a folder's ends in a backslash
  bool found = false;   // false: it could not be read (only path is set)
  bool folder = false;
  bool link = false;    // a reparse point: listed, not entered
  uint64_t size = 0;    // files only, all 64 bits
  FILETIME lastWrite{};
  TItemKey key;         // as its folder lists it: the folder's volume and its file ID
  bool keyed = false;   // false: the system could not tell (nothing of it is wiped)
};
// The item is the sink's to keep.
using TListedItemSink = std::function<void(TListedItem&& item)>;

// A checked item left out because the system or this program needs it,
// because a folder on its way is a link (the wipe never goes through one), or
// because a folder of it could not be read (what it holds is unknown).
struct TNeededTick {
  std::u16string path;
  // The needed folder it is, lies in or holds (for a file directly in a folder
  // whose files the system keeps, that folder); the link on its way; or the
  // folder that could not be read.
  std::u16string folder;
  bool throughLink = false;
  std::u16string unreadable;  // not empty: why the folder could not be read (the system's words)
};

// What a listing learns besides its items.
struct TListingKeys {
  // The own keys of the folders entered, and of every folder on the way from
  // a drive root to a checked item (the wipe reaches the item through them).
  std::vector<TItemKey> folders;
  // The change times of the folders entered, by own key.
  std::vector<TFolderTime> folderTimes;
  std::vector<TNeededTick> needed;
};

// Gives sink every item reached from checked, in order. A drive root ("X:\")
// gives no item of its own, only its content. Never fails: a checked path
// that is not there is given unfound; a checked folder (or drive root) that
// cannot be read, or holds a folder that cannot be, gives nothing but an
// entry in keys->needed with the reason. With keys, the folders' keys are
// added there; with needed, a checked item that is, lies in or holds one of
// its folders gives nothing but an entry in keys->needed.
void ListCheckedItems(const std::vector<std::u16string>& checked, const TListedItemSink& sink,
                      TListingKeys* keys = nullptr, const TNeededFolders* needed = nullptr);
// ListCheckedItems, returning the keys a wipe of checked may take, as the
// confirm step hands them to the engine (TListedItems): every keyed item
// given to sink and every folder keyed on the way or entered, sorted, without
// repeats. The checked items left out go to ticksLeftOut when given, the
// change times of the folders entered to folderTimes (sorted by key, one each).
std::vector<TItemKey> ListCheckedKeys(const std::vector<std::u16string>& checked, const TListedItemSink& sink,
                                      std::vector<TNeededTick>* ticksLeftOut = nullptr,
                                      const TNeededFolders* needed = nullptr,
                                      std::vector<TFolderTime>* folderTimes = nullptr);
// The listing handed to the engine: keys and folderTimes as ListCheckedKeys
// made them; both stay alive and unchanged until the run's end.
TListedItems ListedItemsOf(const std::vector<TItemKey>& keys, const std::vector<TFolderTime>& folderTimes);

// True for "X:" followed by one backslash: three characters, ':' second.
bool IsDriveRootPath(const std::u16string& path);
// The "\\?\" form of an absolute drive ("X:\...") or UNC ("\\server\share")
// path, which the wide file calls read at any length; other paths unchanged.
std::u16string LongPathForm(const std::u16string& path);
// The key of the item at path (its "\\?\" form is used), opened without
// following a link in its own place; false when it cannot be opened.
bool KeyOfPath(const std::u16string& path, TItemKey& key);
// The key of the item at path (below a root) as its folder lists it now
// (QvEntryKey: the folder's key, its file ID, its name, its stamp): 0, or
// why not: ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when it (or its
// folder) is not there, else the error that kept it from being looked up.
DWORD EntryKeyOfPath(const std::u16string& path, TItemKey& key);
// An error that says an item is not there (rather than that it could not be read).
bool IsNotFound(DWORD error);
// The system's words for an error, without the closing line break and period.
std::u16string ErrorWords(DWORD code);

// Reads the next block of a folder's listing (GetFileInformationByHandleEx's
// form); tests put a failing one in its place.
using TFolderBlockRead = BOOL(WINAPI*)(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer, DWORD bytes);
extern TFolderBlockRead ReadFolderBlock;
