#pragma once
// Work on entries through handles: an entry is opened by its name relative to
// the folder handle it was listed through, renamed and deleted through its own
// handle, so a folder moved or replaced after it was checked never redirects
// the work to another place. Native calls, since the Win32 ones take paths.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv::engine {

// Native open options used here (the values of the native interface).
constexpr ULONG kDirectoryOnly = 0x00000001;     // FILE_DIRECTORY_FILE
constexpr ULONG kNonDirectoryOnly = 0x00000040;  // FILE_NON_DIRECTORY_FILE
constexpr ULONG kCreateNew = 2;                  // FILE_CREATE
constexpr ULONG kOpenExisting = 1;               // FILE_OPEN

// Opens `name` (one name, or a stream name ":s" below a file handle) relative
// to `folder`, never following a reparse point in its place. The handle is
// synchronous. INVALID_HANDLE_VALUE with the Win32 error in `error`.
HANDLE OpenBelow(HANDLE folder, const std::u16string& name, ACCESS_MASK access, ULONG share, ULONG options,
                 DWORD& error, ULONG disposition = kOpenExisting);
// Renames the open item to `name` in the folder `folder` (never replacing).
bool RenameBelow(HANDLE item, HANDLE folder, const std::u16string& name, DWORD& error);
// Marks the open item for deletion; it goes when its last handle closes.
bool MarkForDeletion(HANDLE item, DWORD& error);
// Attributes and reparse tag of an open item.
bool TagOf(HANDLE item, DWORD& attributes, DWORD& reparseTag);
// Reads the next records (FILE_ID_BOTH_DIR_INFO) of an open folder into
// `buffer`; the first read of a handle may give a `mask` (a name without
// wildcards: only that name, in any case, is listed). False at the end
// (ERROR_NO_MORE_FILES) or on failure, with the error.
bool ReadFolder(HANDLE folder, const std::u16string* mask, void* buffer, ULONG bytes, DWORD& error,
                bool restart = false);
// A second handle of an open folder, opened through it (not by its path),
// for listing: some systems (Wine) list a handle's folder once and answer
// every later read of that handle, even one from the start or with a mask,
// from that list. INVALID_HANDLE_VALUE with the error.
HANDLE OpenFolderAgain(HANDLE folder, DWORD& error);
// Reads an open folder's listing as it is now, through a handle of its own
// opened through the held one (not by its path), handing each name with its
// file ID to `visit` until it answers false. False with the error when it
// cannot be listed.
bool VisitEntries(HANDLE folder, const std::function<bool(const std::u16string&, uint64_t)>& visit, DWORD& error);
// Whether an open folder lists an entry of exactly this name now (see
// VisitEntries). False with the error when it cannot be listed.
bool ListsName(HANDLE folder, const std::u16string& name, bool& listed, DWORD& error);
// The named streams of an open file (":name"), without the unnamed one;
// false when the system cannot list them.
bool StreamsOf(HANDLE file, std::vector<std::u16string>& names);
// The file ID of an open item, as its folder lists it.
bool FileIdOf(HANDLE item, uint64_t& id);
// The name the system gives an open object ("\\??\\X:\\a\\b" under Wine, where the
// letter is the one whose root lies deepest above the object's real place;
// "\\Device\\..." elsewhere); empty when it cannot say. Works on long paths.
std::u16string ObjectNameOf(HANDLE item);
// Whether an open folder looks names up without case. Only a folder that says
// so itself counts: a folder that cannot say may hold "Data" beside "data".
bool IgnoresCase(HANDLE folder);

}  // namespace qv::engine
