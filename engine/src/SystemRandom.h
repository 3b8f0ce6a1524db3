#pragma once
// Random bytes from the system's cryptographic source.
#include <cstddef>
#include <cstdint>

#include "PassPattern.h"

namespace qv::engine {

// Fills out[0, length) from the system's source; false when no source answers.
bool SystemRandomBytes(uint8_t* out, size_t length);

// The source SystemRandomBytes asks; tests put a failing one in its place.
using RandomSource = bool (*)(uint8_t* out, size_t length);
extern RandomSource gRandomSource;
bool SystemRandomSource(uint8_t* out, size_t length);
// A fresh seed for one random pass; false when the system gave none.
bool NewPassSeed(PassSeed& seed);

}  // namespace qv::engine
