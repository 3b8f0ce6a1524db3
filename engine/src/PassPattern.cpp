#include "PassPattern.h"

#include <cstring>

#include "WorkerPool.h"

namespace qv::engine {

PassSpec DecodePass(const uint8_t* record) {
  PassSpec spec;
  const uint8_t* seq = record + 1;
  if (seq[0] == 0 && seq[1] == 0 && seq[2] == 0) {
    spec.kind = PassKind::Fill;
    spec.bytes[0] = spec.bytes[1] = spec.bytes[2] = record[0];
    return spec;
  }
  spec.kind = (seq[0] == 0x20 && seq[1] == 0x20 && seq[2] == 0x20) ? PassKind::Random
                                                                   : PassKind::Sequence;
  std::memcpy(spec.bytes, seq, 3);
  return spec;
}

std::vector<PassSpec> DecodePasses(const uint8_t* records, int count) {
  std::vector<PassSpec> passes;
  if (count < 1 || count > 100) return passes;
  for (int i = 0; i < count; ++i) passes.push_back(DecodePass(records + 4 * i));
  return passes;
}

PassSource::PassSource(const PassSpec& spec, const PassSeed& seed) : spec_(spec) {
  if (spec.kind == PassKind::Random) cipher_ = std::make_unique<ChaCha20>(seed.key, seed.nonce);
}

void PassSource::FillRandom(uint64_t offset, uint8_t* out, size_t length) const {
  // Large buffers are cut into block-aligned parts generated side by side.
  constexpr size_t kPartBytes = 64 * 1024;
  if (length < 2 * kPartBytes) {
    cipher_->Stream(offset, out, length);
    return;
  }
  size_t parts = (length + kPartBytes - 1) / kPartBytes;
  WorkerPool::Shared().ParallelFor(parts, [&](size_t part) {
    size_t begin = part * kPartBytes;
    size_t n = length - begin < kPartBytes ? length - begin : kPartBytes;
    cipher_->Stream(offset + begin, out + begin, n);
  });
}

uint64_t PassSource::Period() const {
  switch (spec_.kind) {
    case PassKind::Fill:
      return 1;
    case PassKind::Sequence:
      return 3;
    case PassKind::Random:
      break;
  }
  return 0;
}

void PassSource::Fill(uint64_t offset, uint8_t* out, size_t length) const {
  made_ += length;
  switch (spec_.kind) {
    case PassKind::Fill:
      std::memset(out, spec_.bytes[0], length);
      return;
    case PassKind::Random:
      FillRandom(offset, out, length);
      return;
    case PassKind::Sequence:
      break;
  }
  // Build one period-aligned run of 48 bytes, then copy it along.
  uint8_t run[48];
  unsigned phase = unsigned(offset % 3);
  for (unsigned i = 0; i < sizeof run; ++i) run[i] = spec_.bytes[(phase + i) % 3];
  size_t done = 0;
  while (done < length) {
    size_t n = length - done < sizeof run ? length - done : sizeof run;
    std::memcpy(out + done, run, n);
    done += n;
  }
}

}  // namespace qv::engine
