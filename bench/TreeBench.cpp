// Virtual tree figures, each printed beside a plain baseline measured in the
// same run: bulk creation, AddChild in a bracket, Clear, expanding a large
// node, GetNodeAt with and without the position cache, sorting siblings, and
// the memory a node takes.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "tree/VirtualTreeCore.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class BenchTree : public TVirtualTreeCore {
public:
  BenchTree() {
    CreateRootNode();
    SetNodeDataSize(4);
  }
  ~BenchTree() override { Clear(); }
  int DoCompareNodes(PVirtualNode a, PVirtualNode b, TColumnIndex) override {
    int ka = *static_cast<int*>(GetNodeData(a)), kb = *static_cast<int*>(GetNodeData(b));
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
  }
};

// The baseline: allocate and link count bare records of the same size.
struct Bare {
  Bare* next;
  Bare* prev;
};
std::vector<Bare*> MakeBare(size_t count) {
  std::vector<Bare*> records;
  records.reserve(count);
  Bare* last = nullptr;
  for (size_t i = 0; i < count; ++i) {
    Bare* b = static_cast<Bare*>(std::calloc(1, kNodeHeaderSize + 4));
    b->prev = last;
    if (last) last->next = b;
    last = b;
    records.push_back(b);
  }
  return records;
}
void FreeBare(std::vector<Bare*>& records) {
  for (Bare* b : records) std::free(b);
  records.clear();
}

// Committed private memory of the process (the heap commits what the nodes take).
size_t UsedBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info{};
  for (char* address = nullptr; VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
       address = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (static_cast<char*>(info.BaseAddress) + info.RegionSize < address) break;
  }
  return total;
}

volatile uint64_t gSink = 0;

void Line(const char* what, double value, const char* unit, double baseline) {
  std::printf("%-44s %10.3f %-3s  baseline %10.3f %-3s  ratio %8.1f\n", what, value, unit, baseline, unit,
              baseline > 0 ? value / baseline : 0.0);
}

}  // namespace

int main() {
  const uint32_t kMillion = 1000000;
  {
    auto t = Clock::now();
    std::vector<Bare*> bare = MakeBare(kMillion);
    double baseline = Ms(t);
    t = Clock::now();
    FreeBare(bare);
    double freeBaseline = Ms(t);

    size_t before = UsedBytes();
    BenchTree tree;
    t = Clock::now();
    tree.SetRootNodeCount(kMillion);
    double setUp = Ms(t);
    size_t after = UsedBytes();
    Line("RootNodeCount := 1,000,000", setUp, "ms", baseline);
    std::printf("%-44s %10.1f bytes    record %u (header %u + data 4)\n", "memory per node",
                double(after - before) / kMillion, unsigned(kNodeHeaderSize + 4), unsigned(kNodeHeaderSize));
    t = Clock::now();
    tree.Clear();
    Line("Clear of 1,000,000", Ms(t), "ms", freeBaseline);
  }
  {
    auto t = Clock::now();
    std::vector<Bare*> bare = MakeBare(kMillion);
    double baseline = Ms(t);
    FreeBare(bare);
    BenchTree tree;
    t = Clock::now();
    tree.BeginUpdate();
    for (uint32_t i = 0; i < kMillion; ++i) tree.AddChild(nullptr);
    tree.EndUpdate();
    Line("1,000,000 AddChild in an update bracket", Ms(t), "ms", baseline);
  }
  {
    BenchTree tree;
    PVirtualNode parent = tree.AddChild(nullptr);
    tree.SetChildCount(parent, 100000);
    std::vector<Bare*> bare = MakeBare(100000);
    auto t = Clock::now();
    uint64_t sum = 0;
    for (Bare* b = bare.front(); b != nullptr; b = b->next) sum += reinterpret_cast<uintptr_t>(b->prev) & 4;
    double baseline = Ms(t);
    gSink = gSink + sum;
    FreeBare(bare);
    t = Clock::now();
    tree.SetExpanded(parent, true);
    Line("expand a node with 100,000 children (walk)", Ms(t), "ms", baseline);
  }
  {
    BenchTree tree;
    tree.SetRootNodeCount(kMillion);
    std::mt19937 rng(1);
    const int queries = 2000;
    std::vector<int> ys(queries);
    int64_t total = tree.RootNode()->TotalHeight - tree.RootNode()->NodeHeight;
    for (int& y : ys) y = static_cast<int>(rng() % total);
    std::vector<uint32_t> tops(kMillion);
    for (uint32_t i = 0; i < kMillion; ++i) tops[i] = i * 18;
    auto t = Clock::now();
    uint64_t found = 0;
    for (int round = 0; round < 100; ++round)
      for (int y : ys) found += std::upper_bound(tops.begin(), tops.end(), uint32_t(y + round)) - tops.begin();
    double baseline = Ms(t) * 1000.0 / (100.0 * queries);
    int top = 0;
    t = Clock::now();
    for (int y : ys) found += tree.GetNodeAt(0, y, false, top) != nullptr;
    double cached = Ms(t) * 1000.0 / queries;
    // After a change the first position asked for far down builds the cache
    // (one walk over the shown nodes); the next ones use it.
    tree.InvalidateCache();
    t = Clock::now();
    found += tree.GetNodeAt(0, ys[0], false, top) != nullptr;
    double first = Ms(t) * 1000.0;
    t = Clock::now();
    for (int i = 1; i < 51; ++i) found += tree.GetNodeAt(0, ys[i], false, top) != nullptr;
    double after = Ms(t) * 1000.0 / 50;
    gSink = gSink + found;
    Line("GetNodeAt, flat 1,000,000, cached", cached, "us", baseline);
    Line("GetNodeAt, flat 1,000,000, first after a change", first, "us", baseline);
    Line("GetNodeAt, flat 1,000,000, next ones after a change", after, "us", baseline);
  }
  {
    BenchTree tree;
    tree.SetRootNodeCount(100000);
    std::mt19937 rng(2);
    std::vector<int> keys;
    for (PVirtualNode n = tree.GetFirstNoInit(); n != nullptr; n = n->NextSibling) {
      int k = static_cast<int>(rng() % 50000);
      *static_cast<int*>(tree.GetNodeData(n)) = k;
      keys.push_back(k);
    }
    auto t = Clock::now();
    std::stable_sort(keys.begin(), keys.end());
    double baseline = Ms(t);
    t = Clock::now();
    tree.Sort(nullptr, 0, sdAscending, false);
    Line("sort 100,000 siblings", Ms(t), "ms", baseline);
  }
  return 0;
}
