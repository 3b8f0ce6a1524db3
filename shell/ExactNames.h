#pragma once
// Items the shell takes for one. A folder's CompareIDs, ILIsEqual and
// ILIsParent compare names without case, yet on a case-sensitive folder
// "Data" and "data" are two items; and the plain file calls strip trailing
// dots and spaces, so "dir." reaches "dir". These routines tell items apart
// by their exact parsing names and ask the file system by exact name.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace exactnames {

// The in-folder parsing name of id (a one-ID list) in folder; "" when the
// shell gives none.
std::u16string InFolderName(IShellFolder* folder, LPCITEMIDLIST id);
// folder's CompareIDs (column 0) of the first IDs of a and b, as -/0/+ in
// order; where the shell answers "equal" but the exact in-folder names
// differ, their ordinal order. False when there is no folder or the shell
// cannot compare.
bool CompareIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b, int& order);
// The parsing name of an absolute PIDL ("" when the shell gives none).
std::u16string ParsingName(LPCITEMIDLIST pidl);
// ILIsEqual that also tells case variants apart: the shell's test, then
// the exact parsing names. False for null.
bool SameItem(LPCITEMIDLIST a, LPCITEMIDLIST b);
// ILIsParent likewise (the part of child as long as parent is the same item as parent).
bool IsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate);
// The "\\?\" form of an absolute drive path ("X:\...") or a UNC path
// ("\\server\share\..."), which the wide file calls take exactly as
// written and at any length; other paths unchanged.
std::u16string ExtendedPath(const std::u16string& path);

}  // namespace exactnames
