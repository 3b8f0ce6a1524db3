#pragma once
// ChaCha20 keystream (20 rounds, 64-bit block counter, 64-bit nonce): the
// generator behind random passes. Position-addressable, so any byte range of
// a pass can be produced on its own.
#include <cstddef>
#include <cstdint>

namespace qv::engine {

class ChaCha20 {
 public:
  static constexpr size_t kKeyBytes = 32;
  static constexpr size_t kNonceBytes = 8;
  static constexpr size_t kBlockBytes = 64;

  ChaCha20(const uint8_t* key, const uint8_t* nonce);

  // Writes `blocks` whole keystream blocks, starting at block number `counter`.
  void Blocks(uint64_t counter, uint8_t* out, size_t blocks) const;
  // Writes keystream bytes [offset, offset + length); any offset, any length.
  void Stream(uint64_t offset, uint8_t* out, size_t length) const;

 private:
  void OneBlock(uint64_t counter, uint8_t* out) const;
  uint32_t state_[16];
};

}  // namespace qv::engine
