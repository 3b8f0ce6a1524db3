#pragma once
// Finding the entry a ticked path names in its folder's listing: by its exact
// name only. A name differing from it in case alone is never taken for it,
// whether or not the folder looks names up without case: the ticked item may
// have been removed by another program since, and what is left under such a
// name was never ticked.
#include <string>
#include <vector>

#include "FileWiper.h"

namespace qv::engine {

// The entry named exactly `name`; null when there is none. Then `variant` is
// the one entry whose name differs from it in case alone, when there is one,
// and `ambiguous` is true when there are several (none of them is meant).
const Listed* FindExact(const std::vector<Listed>& entries, const std::u16string& name, bool& ambiguous,
                        const Listed*& variant);

}  // namespace qv::engine
