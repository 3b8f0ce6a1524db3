#pragma once
// Deleting files and removing folders that a scanner or indexer may hold open
// for a moment: refused attempts are retried for about half a second.
#include <string>

namespace qv::engine {

// DeleteFileW / RemoveDirectoryW with retries on sharing violations and
// access denials; false with the last error set when every try failed.
bool DeleteFileRetrying(const std::u16string& path);
bool RemoveFolderRetrying(const std::u16string& path);

}  // namespace qv::engine
