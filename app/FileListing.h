#pragma once
// What a wipe of checked paths reaches, item by item, for the confirm list:
// each checked item, and for a checked folder its files, then each subfolder
// followed at once by its own content, in the order the file system gives.
// Names are wide and paths of any length are read (through "\\?\"); an item
// is given once however often it is reached; links, junctions and mount
// points are given as themselves and never entered.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TListedItem {
  std::u16string path;  // a folder's ends in a backslash
  bool found = false;   // false: it could not be read (only path is set)
  bool folder = false;
  bool link = false;    // a reparse point: listed, not entered
  uint64_t size = 0;    // files only, all 64 bits
  FILETIME lastWrite{};
};
// The item is the sink's to keep.
using TListedItemSink = std::function<void(TListedItem&& item)>;

// Gives sink every item reached from checked, in order. A drive root ("X:\")
// gives no item of its own, only its content. Never fails: what cannot be
// read is given unfound (a checked path) or left out (content).
void ListCheckedItems(const std::vector<std::u16string>& checked, const TListedItemSink& sink);

// True for "X:" followed by one backslash: three characters, ':' second.
bool IsDriveRootPath(const std::u16string& path);
// The "\\?\" form of an absolute drive ("X:\...") or UNC ("\\server\share")
// path, which the wide file calls read at any length; other paths unchanged.
std::u16string LongPathForm(const std::u16string& path);
