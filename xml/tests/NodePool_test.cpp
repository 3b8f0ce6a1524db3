// The node pool in whichever mode the process runs (QV_NODE_POOL): blocks
// handed out against a model of who holds what, and, in the check mode,
// the faults it exists to catch.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "xml/NodePool.h"
#include "xml/NodePoolCheck.h"

namespace {

struct Live {
  unsigned char* block;
  size_t size;
  unsigned char mark;
};

// Each live block is filled with a mark of its own: a block handed out twice,
// or overlapping another, shows as a changed mark when it is given back.
void FreeChecked(const Live& live) {
  for (size_t i = 0; i < live.size; ++i) ASSERT_EQ(live.block[i], live.mark) << "byte " << i << " of " << live.size;
  NodePoolFree(live.block, live.size);
}

void RandomTraffic(uint32_t seed, int steps, std::vector<Live>& live) {
  std::mt19937 random(seed);
  for (int step = 0; step < steps; ++step) {
    if (live.empty() || random() % 5 < 3) {
      // Mostly node sizes, some past the largest class.
      size_t size = random() % 16 == 0 ? node_pool::kLargestBlock + 1 + random() % 64 : 1 + random() % 200;
      auto* block = static_cast<unsigned char*>(NodePoolAllocate(size));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(block) % node_pool::kGranule, 0u);
      auto mark = static_cast<unsigned char>(random());
      std::memset(block, mark, size);
      live.push_back({block, size, mark});
    } else {
      size_t k = random() % live.size();
      FreeChecked(live[k]);
      live[k] = live.back();
      live.pop_back();
    }
  }
}

struct RecordedFault {
  std::string what;
  const void* block;
  size_t offset;
};
std::vector<RecordedFault> recorded;

void Record(const char* what, const void* block, size_t, size_t offset) { recorded.push_back({what, block, offset}); }

}  // namespace

TEST(NodePool, BlocksNeverOverlapAcrossClassesAndThreads) {
  std::vector<Live> live;
  RandomTraffic(1, 20000, live);
  // Half of what is live is given back on another thread, which then makes
  // and frees blocks of its own from what it was given.
  std::vector<Live> handed(live.begin(), live.begin() + static_cast<std::ptrdiff_t>(live.size() / 2));
  live.erase(live.begin(), live.begin() + static_cast<std::ptrdiff_t>(handed.size()));
  std::thread other([&handed] {
    for (const Live& l : handed) FreeChecked(l);
    std::vector<Live> own;
    RandomTraffic(2, 5000, own);
    for (const Live& l : own) FreeChecked(l);
  });
  other.join();
  RandomTraffic(3, 20000, live);
  for (const Live& l : live) FreeChecked(l);
  if (NodePoolMode() == TNodePoolMode::Check) {
    EXPECT_GT(NodePoolCheckNow(), 0u);
  }
}

TEST(NodePool, CheckModeCatchesWritesAfterFreeOverrunsDoubleFreesAndWrongSizes) {
  if (NodePoolMode() != TNodePoolMode::Check) GTEST_SKIP() << "QV_NODE_POOL is not \"check\"";
  TNodePoolFaultHandler previous = SetNodePoolFaultHandler(Record);
  recorded.clear();
  NodePoolCheckNow();
  void* twice = NodePoolAllocate(24);
  NodePoolFree(twice, 24);
  NodePoolFree(twice, 24);
  void* resized = NodePoolAllocate(24);
  NodePoolFree(resized, 64);
#if !QV_NODE_POOL_ASAN  // there the writes themselves are caught, as to poisoned bytes
  auto* written = static_cast<unsigned char*>(NodePoolAllocate(40));
  NodePoolFree(written, 40);
  written[13] = 0;
  auto* overrun = static_cast<unsigned char*>(NodePoolAllocate(20));
  overrun[25] = 0;  // past the class's 24 bytes
  NodePoolFree(overrun, 20);
#endif
  NodePoolCheckNow();
  SetNodePoolFaultHandler(previous);
  ASSERT_GE(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].what, "freed twice, or never handed out");
  EXPECT_EQ(recorded[0].block, twice);
  EXPECT_EQ(recorded[1].what, "freed with another size");
  EXPECT_EQ(recorded[1].block, resized);
#if !QV_NODE_POOL_ASAN
  ASSERT_EQ(recorded.size(), 4u);
  EXPECT_EQ(recorded[2].what, "written past its end");
  EXPECT_EQ(recorded[2].block, overrun);
  EXPECT_EQ(recorded[2].offset, 25u);
  EXPECT_EQ(recorded[3].what, "written after it was freed");
  EXPECT_EQ(recorded[3].block, written);
  EXPECT_EQ(recorded[3].offset, 13u);
#else
  EXPECT_EQ(recorded.size(), 2u);
#endif
}
