#pragma once
// Eight ChaCha20 blocks at once in 256-bit registers, one block a lane; used
// where the processor and the system have them (AVX2).
#include <cstdint>

namespace qv::engine {

// True when the processor has AVX2 and the system saves its registers.
bool WideBlocksAvailable();
// Writes keystream blocks counter .. counter + 7 of `state` (the 16 words of
// the cipher's input, words 12 and 13 taking the counter) to out[0, 512).
// Only where WideBlocksAvailable().
void EightBlocks(const uint32_t* state, uint64_t counter, uint8_t* out);

}  // namespace qv::engine
