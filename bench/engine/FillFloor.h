#pragma once
// The Wine floor of the engine's fill pass over one large file: the same
// work through plain calls, without the engine, in a process of its own.
#include <windows.h>

#include <string>

struct FloorResult {
  double bytes = 0;  // the file's size
  bool ok = false;
};

// Writes zeros over the whole of the existing file `path` in 1 MiB writes at
// explicit offsets, as dd bs=1M conv=notrunc does, then flushes it
// (FlushFileBuffers). With `remove`, the rest of the system's share of the
// engine's wipe of the file follows: cut to zero, times reset, flushed again,
// three renames to fresh names, the deletion.
FloorResult PlainFill(const std::wstring& path, bool remove);

// Renames an open file to `name` in the folder `folder` (a drive-letter path)
// through its handle, as the engine does.
bool RenameOpen(HANDLE file, const std::wstring& folder, const std::wstring& name);
