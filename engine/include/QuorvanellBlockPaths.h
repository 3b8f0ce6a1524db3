#pragma once
// Writes a file task's Path field: the path, its terminator, and the path
// that will be handed over next in the same run with its own terminator, or
// zeros after the first terminator when there is none or it does not fit.
#include <cstring>

#include "QuorvanellBlocks.h"

inline bool WriteBlockPaths(TWipeParams& block, const char16_t* path, size_t pathChars, const char16_t* next,
                            size_t nextChars) {
  std::memset(block.Path, 0, sizeof(block.Path));
  if (pathChars >= size_t(kBlockTextChars)) return false;
  std::memcpy(block.Path, path, pathChars * sizeof(char16_t));
  if (next && nextChars != 0 && pathChars + 1 + nextChars < size_t(kBlockTextChars))
    std::memcpy(block.Path + pathChars + 1, next, nextChars * sizeof(char16_t));
  return true;
}
