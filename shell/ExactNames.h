#pragma once
// Items the shell takes for one. A folder's CompareIDs, ILIsEqual and
// ILIsParent compare names without case, yet on a case-sensitive folder
// "Data" and "data" are two items; and the plain file calls strip trailing
// dots and spaces, so "dir." reaches "dir". These routines tell items apart
// by their exact parsing names and ask the file system by exact name.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

namespace exactnames {

// The in-folder parsing name of id (a one-ID list) in folder; "" when the
// shell gives none.
std::u16string InFolderName(IShellFolder* folder, LPCITEMIDLIST id);
// name in capitals, folded more widely than the shell folds names: names the
// shell takes for one fold alike. "" when it cannot be folded.
std::u16string Folded(const std::u16string& name);
// The ID folder gives to its child of that in-folder parsing name (the
// PIDL manager's, one ID); null when there is none or name is empty.
LPITEMIDLIST ParseInFolder(IShellFolder* folder, const std::u16string& name);
// folder's CompareIDs (column 0) of the first IDs of a and b, as -/0/+ in
// order; where the shell answers "equal" but the exact in-folder names
// differ, their ordinal order. False when there is no folder or the shell
// cannot compare.
bool CompareIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b, int& order);
// The first IDs of a and b have the same bytes (the same item of one folder).
bool SameIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b);
// The first ID of id as a list of its own (a folder's CompareIDs looks past
// the first ID of a longer list).
std::vector<uint8_t> FirstIDOnly(LPCITEMIDLIST id);
// The first n IDs of pidl as a new list (the PIDL manager's); null when out of memory.
LPITEMIDLIST FirstIDs(LPCITEMIDLIST pidl, uint32_t n);
// folder's order of the first IDs of a and b by CompareIDs (column 0) as
// -/0/+, case variants apart as CompareIDs above; without a folder, or when
// it cannot compare, the order of the IDs' bytes, so that the answer is an
// order still: opposite each way, 0 only for the same bytes.
int OrderInFolder(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b);
// The order of the first IDs' bytes (shorter first on a common start).
int CompareIDBytes(LPCITEMIDLIST a, LPCITEMIDLIST b);
// The parsing name of an absolute PIDL ("" when the shell gives none).
std::u16string ParsingName(LPCITEMIDLIST pidl);
// ILIsEqual that also tells case variants apart: the shell's test, then
// the exact parsing names. False for null.
bool SameItem(LPCITEMIDLIST a, LPCITEMIDLIST b);
// ILIsParent likewise (the part of child as long as parent is the same item as parent).
bool IsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate);
// The shell's full parsing names are cut at this length without a word: a
// name this long may name another item. In-folder names of enumerated items
// are whole.
constexpr size_t kMayBeCutLength = 259;
// True for "X:\..." and "\\server\share..." paths.
bool IsRootedPath(const std::u16string& path);
// Appends name (one in-folder parsing name) to the folder path; false, and
// path unchanged, when name is empty or no single plain name (a separator, a
// drive, "." or "..").
bool JoinName(std::u16string& path, const std::u16string& name);
// The whole file-system path of an absolute PIDL at any length: the shell's
// parsing name when it cannot have been cut, else that of the nearest folder
// on the way whose name is whole, joined level by level with the in-folder
// names below it. "" when the item has no such path or it cannot be made.
std::u16string WholeParsingName(LPCITEMIDLIST pidl);
// False when the shell, asked to list the folder of pidl, would list another
// folder or none: its full parsing name is a file-system path cut short (the
// shell lists the folder of that name). True for every other folder.
bool ListsItself(LPCITEMIDLIST pidl);
// The "\\?\" form of an absolute drive path ("X:\...") or a UNC path
// ("\\server\share\..."), which the wide file calls take exactly as
// written and at any length; other paths unchanged.
std::u16string ExtendedPath(const std::u16string& path);

}  // namespace exactnames
