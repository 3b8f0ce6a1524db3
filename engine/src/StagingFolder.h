#pragma once
// A private folder made inside a held folder, into which the entries leaving
// that folder are moved before they are renamed and deleted. Some systems
// (Wine) carry out a rename through the paths the handles were opened by: a
// folder swapped for a link between the last check and the call would turn a
// rename within the folder into a rename within the folder the link leads to,
// of its entry of the same name. A move into the private folder cannot be so
// turned: the other folder holds no folder of this fresh random name, so the
// call fails there and nothing moves; later renames and the deletion name only
// entries inside the private folder, which no other folder holds either.
#include <windows.h>

#include <string>

namespace qv::engine {

struct StagingFolder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::u16string name;
  bool keep = false;  // holds something that is not ours: never removed
};

// Makes a folder of a fresh random name in `folder` through its handle, held
// open with delete access and without delete sharing. False with the error.
bool MakeStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error);
// Removes the (empty) folder through its handle and checks through `folder`
// that it has gone; closes its handle either way. False with the error
// (ERROR_DIR_NOT_EMPTY when it is still there).
bool RemoveStagingFolder(HANDLE folder, StagingFolder& staging, DWORD& error);

}  // namespace qv::engine
