#pragma once
// The tree wiper run in the test's own process under a given guard, with one
// random pass: what the protected-folder tests compare.
#include <cstdint>
#include <string>

#include "Protected.h"

namespace qv::engine::test {

struct GuardedWipeOutcome {
  bool finished = false;   // false when the run did not end in time
  uint32_t failures = 0;   // what the engine counted
  std::string log;         // every log line, for failure messages
  bool protectedLine = false;  // a line refused an item as the system's or this program's
};

GuardedWipeOutcome WipeUnderGuard(const ProtectedFolders& guard, const std::u16string& path);

// The key of what `path` opens (links followed); empty when it opens nothing.
FileKey KeyOfFolder(const std::u16string& path);

}  // namespace qv::engine::test
