#include "leakcheck/LeakCheck.h"

#include <string>
#include <vector>

bool LeakCheckActive = false;
bool LeakCheckInitialized = false;

namespace {

// The tables an active checker fills: allocated blocks and distinct leaks.
struct TLeakTables {
  std::vector<const void*> blocks;
  std::vector<std::string> leakStacks;

  bool Empty() const { return blocks.empty() && leakStacks.empty(); }

  // The unit's finalisation: the checker was never initialised, so there is
  // no report to write and only the tables go.
  ~TLeakTables() {
    if (LeakCheckInitialized) return;
    blocks.clear();
    leakStacks.clear();
  }
};

TLeakTables gTables;

}  // namespace

bool LeakCheckTablesEmpty() { return gTables.Empty(); }
