// The node pool's check mode. Blocks are cut from chunks of their own and
// sized by the pool's classes, so the pool's arithmetic is what is used;
// each is followed by a guard of a fixed pattern, checked when the block is
// freed. A freed block is filled with a pattern and joins a queue that holds
// back several megabytes of blocks; the oldest leave it, checked, for the
// list of their class, and are checked again when handed out. Under
// AddressSanitizer a block is poisoned from its release to its reuse, and
// its guard always, so a read through a stale pointer or past the end is
// caught where it happens.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "xml/NodePool.h"
#include "xml/NodePoolCheck.h"

#if QV_NODE_POOL_ASAN
#include <sanitizer/asan_interface.h>
#define QV_POISON(block, bytes) ASAN_POISON_MEMORY_REGION(block, bytes)
#define QV_UNPOISON(block, bytes) ASAN_UNPOISON_MEMORY_REGION(block, bytes)
#else
#define QV_POISON(block, bytes) ((void)(block), (void)(bytes))
#define QV_UNPOISON(block, bytes) ((void)(block), (void)(bytes))
#endif

namespace {

constexpr unsigned char kFreedByte = 0xDB;
constexpr unsigned char kGuardByte = 0xA5;
constexpr size_t kGuardBytes = 8;
constexpr size_t kHeldBytes = 8 * 1024 * 1024;
constexpr size_t kChunkBytes = 256 * 1024;

struct Fault {
  const char* what;
  const void* block;
  size_t bytes;
  size_t offset;
};

struct Held {
  unsigned char* block;
  size_t bytes;
};

// Shared by every thread: a block may be freed on a thread that did not make it.
struct CheckState {
  std::mutex lock;
  std::unordered_map<const void*, size_t> live;  // handed out: block -> class size
  std::deque<Held> held;                         // freed, oldest first
  size_t heldBytes = 0;
  std::vector<unsigned char*> ready[node_pool::kClassCount];  // checked, to be handed out
  unsigned char* cursor = nullptr;
  unsigned char* limit = nullptr;
  std::vector<Fault> faults;  // found under the lock, reported after it
};

CheckState& State() {
  static CheckState* state = new CheckState;  // never freed: blocks are freed until the very end
  return *state;
}

void DefaultFaultHandler(const char* what, const void* block, size_t bytes, size_t offset) {
  std::fprintf(stderr, "node pool: %s: block %p of %zu bytes, at byte %zu\n", what, block, bytes, offset);
  std::fflush(stderr);
  std::abort();
}

TNodePoolFaultHandler faultHandler = DefaultFaultHandler;

size_t ClassBytes(size_t size) { return (size + node_pool::kGranule - 1) / node_pool::kGranule * node_pool::kGranule; }

// True when the guard after the block is whole; otherwise the fault is recorded.
bool GuardWhole(CheckState& state, unsigned char* block, size_t bytes) {
  unsigned char* guard = block + bytes;
  QV_UNPOISON(guard, kGuardBytes);
  bool whole = true;
  for (size_t i = 0; i < kGuardBytes && whole; ++i) {
    if (guard[i] != kGuardByte) {
      state.faults.push_back({"written past its end", block, bytes, bytes + i});
      whole = false;
    }
  }
  QV_POISON(guard, kGuardBytes);
  return whole;
}

// True when the freed block still holds nothing but the pattern, and its
// guard is whole; otherwise the fault is recorded and the block stays out of
// the pool. The block is left unpoisoned.
bool StillFreed(CheckState& state, unsigned char* block, size_t bytes, const char* what) {
  QV_UNPOISON(block, bytes);
  for (size_t i = 0; i < bytes; ++i) {
    if (block[i] != kFreedByte) {
      state.faults.push_back({what, block, bytes, i});
      return false;
    }
  }
  return GuardWhole(state, block, bytes);
}

// Fills a freed block with the pattern and queues it; the oldest blocks
// leave the queue, checked, for the lists of their classes.
void Hold(CheckState& state, unsigned char* block, size_t bytes) {
  std::memset(block, kFreedByte, bytes);
  QV_POISON(block, bytes);
  state.held.push_back({block, bytes});
  state.heldBytes += bytes;
  while (state.heldBytes > kHeldBytes) {
    Held oldest = state.held.front();
    state.held.pop_front();
    state.heldBytes -= oldest.bytes;
    if (StillFreed(state, oldest.block, oldest.bytes, "written after it was freed")) {
      QV_POISON(oldest.block, oldest.bytes);
      state.ready[oldest.bytes / node_pool::kGranule - 1].push_back(oldest.block);
    }
  }
}

void ReportFaults(std::vector<Fault> faults) {
  for (const Fault& f : faults) faultHandler(f.what, f.block, f.bytes, f.offset);
}

void TakeFaults(CheckState& state, std::vector<Fault>& out) {
  if (!state.faults.empty()) out.swap(state.faults);
}

}  // namespace

namespace node_pool {

void* CheckedAllocate(size_t size) {
  CheckState& state = State();
  const size_t bytes = ClassBytes(size);
  unsigned char* block = nullptr;
  std::vector<Fault> faults;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    std::vector<unsigned char*>& ready = state.ready[bytes / kGranule - 1];
    while (block == nullptr && !ready.empty()) {
      unsigned char* candidate = ready.back();
      ready.pop_back();
      if (StillFreed(state, candidate, bytes, "written while waiting for reuse")) block = candidate;
    }
    if (block == nullptr) {
      if (static_cast<size_t>(state.limit - state.cursor) < bytes + kGuardBytes) {
        state.cursor = static_cast<unsigned char*>(::operator new(kChunkBytes, std::align_val_t(16)));
        state.limit = state.cursor + kChunkBytes;
        QV_POISON(state.cursor, kChunkBytes);
      }
      block = state.cursor;
      state.cursor += bytes + kGuardBytes;
      QV_UNPOISON(block, bytes + kGuardBytes);
      std::memset(block + bytes, kGuardByte, kGuardBytes);
      QV_POISON(block + bytes, kGuardBytes);
    }
    state.live.emplace(block, bytes);
    TakeFaults(state, faults);
  }
  ReportFaults(std::move(faults));
  return block;
}

void CheckedFree(void* freed, size_t size) noexcept {
  CheckState& state = State();
  const size_t bytes = ClassBytes(size);
  auto* block = static_cast<unsigned char*>(freed);
  std::vector<Fault> faults;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    auto found = state.live.find(block);
    if (found == state.live.end()) {
      // Touched no further: it may be held back already, or not be ours.
      state.faults.push_back({"freed twice, or never handed out", block, bytes, bytes});
    } else if (found->second != bytes) {
      state.faults.push_back({"freed with another size", block, found->second, bytes});
      state.live.erase(found);
    } else {
      state.live.erase(found);
      // A block whose guard is broken stays out of the pool: what overran it may still use it.
      if (GuardWhole(state, block, bytes)) Hold(state, block, bytes);
    }
    TakeFaults(state, faults);
  }
  ReportFaults(std::move(faults));
}

}  // namespace node_pool

size_t NodePoolCheckNow() {
  if (NodePoolMode() != TNodePoolMode::Check) return 0;
  CheckState& state = State();
  size_t checked = 0;
  std::vector<Fault> faults;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    for (std::vector<unsigned char*>& ready : state.ready) {
      size_t kept = 0;
      const size_t bytes = (&ready - state.ready + 1) * node_pool::kGranule;
      for (unsigned char* block : ready) {
        ++checked;
        if (StillFreed(state, block, bytes, "written while waiting for reuse")) {
          QV_POISON(block, bytes);
          ready[kept++] = block;
        }
      }
      ready.resize(kept);
    }
    for (const Held& held : state.held) {
      ++checked;
      if (StillFreed(state, held.block, held.bytes, "written after it was freed")) {
        QV_POISON(held.block, held.bytes);
        state.ready[held.bytes / node_pool::kGranule - 1].push_back(held.block);
      }
    }
    state.held.clear();
    state.heldBytes = 0;
    for (const auto& [block, bytes] : state.live) {
      ++checked;
      GuardWhole(state, static_cast<unsigned char*>(const_cast<void*>(block)), bytes);
    }
    TakeFaults(state, faults);
  }
  ReportFaults(std::move(faults));
  return checked;
}

TNodePoolFaultHandler SetNodePoolFaultHandler(TNodePoolFaultHandler handler) {
  CheckState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  TNodePoolFaultHandler previous = faultHandler;
  faultHandler = handler != nullptr ? handler : DefaultFaultHandler;
  return previous == DefaultFaultHandler ? nullptr : previous;
}
