#pragma once
// Private to the node storage: the shell's order of item IDs and the
// searches of a sorted child list.
#include <cstdint>
#include <string>

#include "shell/NodeStorage.h"

namespace nodestorage {

// The byte count of the ID at id.
uint16_t IDSize(LPCITEMIDLIST id);
// folder's CompareIDs (column 0) of a and b as -/0/+ in order, names that
// differ only in case told apart (exactnames::CompareIDs); false when there
// is no folder or the call failed (the order is then unknown).
bool CompareIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b, int& order);
// True when the first IDs of a and b hold the same bytes.
bool SameIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b);
// The index of the record whose relative PIDL is id, or -1. Where the shell
// cannot order, records are matched by their bytes.
int NodeListSearch(TNodeStorageList* list, IShellFolder* folder, LPCITEMIDLIST id);
// Where id belongs: the index of the first record sorting after it (Count
// when none); -1 when the shell cannot order. Raises Exception "Error in
// NodeListBinarySearch. Node unexpectedly found" when id is there already.
int NodeListBinarySearch(TNodeStorageList* list, IShellFolder* folder, LPCITEMIDLIST id);

// True when path names an existing file, folder or drive root, asked by its
// exact name in the extended form (no trailing dots or spaces dropped).
bool PathExists(const std::u16string& path);
// True when path (asked by its exact name) is a link, junction or other
// reparse point, but for a file system mounted there (IsMountedFolder).
bool PathIsLink(const std::u16string& path);

}  // namespace nodestorage
