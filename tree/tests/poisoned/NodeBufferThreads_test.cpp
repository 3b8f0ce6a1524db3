// Node buffers on threads other than the main one, where the heap checker
// also runs: the block a buffer leaves for the next one goes back when
// threads end (nothing of it is touched after the thread's storage went),
// and buffers alive on several threads at once never share a block.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
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

TEST(NodeBufferThreads, BlocksGoBackWhenThreadsEndAndAreNeverShared) {
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
