#pragma once
// The pass convention: a pass record is Fill and three Sequence bytes.
// Sequence 00 00 00: every byte is Fill. Sequence 20 20 20: random data.
// Any other Sequence: its three bytes repeated, byte i of the target holding
// Sequence[i mod 3]. See README.md.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ChaCha20.h"

namespace qv::engine {

enum class PassKind { Fill, Sequence, Random };

struct PassSpec {
  PassKind kind = PassKind::Fill;
  uint8_t bytes[3] = {0, 0, 0};  // Fill: bytes[0]; Sequence: all three
};

// Decodes one 4-byte pass record (Fill, Sequence[3]).
PassSpec DecodePass(const uint8_t* record);
// Decodes `count` records; count outside 1..100 gives an empty list.
std::vector<PassSpec> DecodePasses(const uint8_t* records, int count);

// Seed of a random pass: a ChaCha20 key and nonce.
struct PassSeed {
  uint8_t key[ChaCha20::kKeyBytes] = {};
  uint8_t nonce[ChaCha20::kNonceBytes] = {};
};

// Produces the bytes of one pass for any range of target offsets.
class PassSource {
 public:
  // The seed is used only by random passes.
  PassSource(const PassSpec& spec, const PassSeed& seed);

  // Fills out[0, length) with the bytes the pass puts at target offsets
  // [offset, offset + length).
  void Fill(uint64_t offset, uint8_t* out, size_t length) const;
  // The length after which the pass's bytes repeat: 1 for a fill, 3 for a
  // sequence, 0 for random data (never). Bytes made for one offset serve at
  // any offset that many bytes further on.
  uint64_t Period() const;
  // The bytes Fill has produced so far, for tests.
  uint64_t BytesMade() const { return made_; }

 private:
  void FillRandom(uint64_t offset, uint8_t* out, size_t length) const;

  PassSpec spec_;
  std::unique_ptr<ChaCha20> cipher_;
  mutable std::atomic<uint64_t> made_{0};
};

}  // namespace qv::engine
