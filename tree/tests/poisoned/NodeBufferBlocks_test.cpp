// The blocks of node buffers, where the heap checker also runs: one up to
// the limit is kept for the next buffer, a larger one goes back at once; on
// threads other than the main one the block left for the next buffer goes
// back when threads end (nothing of it is touched after the thread's storage
// went), and buffers alive on several threads at once never share a block.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "tree/NodeBuffer.h"

namespace {

// The address space the process holds (reserved or committed), in bytes.
int64_t AddressSpaceHeld() {
  int64_t held = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
    if (info.State != MEM_FREE) held += int64_t(info.RegionSize);
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return held;
}

constexpr int64_t kLargeBlock = 16 << 20;

}  // namespace

TEST(NodeBufferBlocks, GoBackWhenThreadsEndAndAreNeverShared) {
  // A large block used on each of many short threads: it goes back when the
  // buffer goes, and nothing of a thread's stays held when the thread ends.
  int64_t before = AddressSpaceHeld();
  constexpr int kThreads = 40;
  for (int i = 0; i < kThreads; ++i) {
    std::thread([] {
      TNodeBuffer buffer;
      buffer.Reserve(kLargeBlock);
    }).join();
  }
  // Held on for good, the threads' blocks would be kThreads * 16 MB.
  EXPECT_LT(AddressSpaceHeld() - before, kThreads * kLargeBlock / 10);

  // Threads at once, each filling buffers of random sizes with its own byte
  // and reading them back: a block taken by two buffers shows another's byte.
  constexpr int kWorkers = 4;
  std::vector<int> wrong(kWorkers, 0);
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.emplace_back([w, &wrong] {
      std::mt19937 rng(w);
      for (int round = 0; round < 60; ++round) {
        TNodeBuffer buffer;
        int32_t size = int32_t(1 + rng() % (2 << 20));
        std::vector<uint8_t> mine(size_t(size), uint8_t(w + 1));
        buffer.WriteBuffer(mine.data(), size);
        std::this_thread::yield();
        const uint8_t* bytes = buffer.Bytes();
        for (int32_t i = 0; i < size; i += 4093)
          if (bytes[i] != uint8_t(w + 1)) ++wrong[size_t(w)];
        if (bytes[size - 1] != uint8_t(w + 1)) ++wrong[size_t(w)];
      }
    });
  for (std::thread& worker : workers) worker.join();
  for (int w = 0; w < kWorkers; ++w) EXPECT_EQ(wrong[size_t(w)], 0) << "worker " << w;
}

TEST(NodeBufferBlocks, OneUpToTheLimitIsKeptForTheNextBufferALargerOneGoesBack) {
  // A buffer's block of just the limit, every byte set.
  {
    TNodeBuffer buffer;
    buffer.SetSize(kLargeBlock);
    std::memset(buffer.BytesAt(0), 0xAB, size_t(kLargeBlock));
  }
  // A block a byte over the limit is not kept (it would take the place of
  // the smaller one).
  {
    TNodeBuffer buffer;
    buffer.SetSize(kLargeBlock + 1);
    std::memset(buffer.BytesAt(0), 0xCD, size_t(kLargeBlock + 1));
  }
  // The next buffer gets the block kept (its old bytes are still behind the
  // end), and none of them shows where it grows.
  {
    TNodeBuffer buffer;
    buffer.Reserve(kLargeBlock);
    EXPECT_EQ(buffer.Bytes()[100], 0xAB);
    uint8_t byte = 7;
    buffer.Seek(kLargeBlock - 1, soBeginning);
    buffer.WriteBuffer(&byte, 1);
    EXPECT_EQ(buffer.Bytes()[100], 0);
    EXPECT_EQ(buffer.Bytes()[kLargeBlock - 2], 0);
  }
  // Sixteen times the limit: its address space goes back with the buffer.
  int64_t before = AddressSpaceHeld();
  {
    TNodeBuffer buffer;
    buffer.Reserve(16 * kLargeBlock);
  }
  EXPECT_LT(AddressSpaceHeld() - before, 16 * kLargeBlock / 10);
}
