#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/Lists.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

std::vector<intptr_t> Values(TList& list) {
  std::vector<intptr_t> result;
  for (int i = 0; i < list.Count(); ++i) result.push_back(reinterpret_cast<intptr_t>(list.Get(i)));
  return result;
}

template <class F>
std::string ListErrorOf(F&& action) {
  try {
    action();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST(List, IndexErrorsNameTheIndex) {
  TList list;
  EXPECT_EQ(ListErrorOf([&] { list.First(); }), "List index out of bounds (0)");
  EXPECT_EQ(ListErrorOf([&] { list.Last(); }), "List index out of bounds (-1)");
  list.Add(P(1));
  EXPECT_EQ(ListErrorOf([&] { list.Get(1); }), "List index out of bounds (1)");
  EXPECT_EQ(ListErrorOf([&] { list.Put(-1, P(2)); }), "List index out of bounds (-1)");
  EXPECT_EQ(ListErrorOf([&] { list.Delete(1); }), "List index out of bounds (1)");
  EXPECT_EQ(ListErrorOf([&] { list.Insert(2, P(2)); }), "List index out of bounds (2)");
  EXPECT_EQ(ListErrorOf([&] { list.Exchange(0, 5); }), "List index out of bounds (5)");
  EXPECT_EQ(ListErrorOf([&] { list.Move(0, 1); }), "List index out of bounds (1)");
  EXPECT_EQ(ListErrorOf([&] { list.SetCapacity(0); }), "List capacity out of bounds (0)");
  EXPECT_EQ(ListErrorOf([&] { list.SetCount(-1); }), "List count out of bounds (-1)");
  EXPECT_EQ(Values(list), std::vector<intptr_t>{1});
}

TEST(List, EditingOperations) {
  TList list;
  for (intptr_t v : {1, 2, 3, 4}) list.Add(P(v));
  list.Insert(0, P(0));
  list.Insert(5, P(5));
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{0, 1, 2, 3, 4, 5}));
  list.Move(0, 5);
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 3, 4, 5, 0}));
  list.Move(4, 1);
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 5, 2, 3, 4, 0}));
  list.Exchange(0, 5);
  EXPECT_EQ(list.Remove(P(3)), 3);
  EXPECT_EQ(list.Remove(P(42)), -1);
  EXPECT_EQ(list.Extract(P(42)), nullptr);
  EXPECT_EQ(list.Extract(P(5)), P(5));
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{0, 2, 4, 1}));
  list.SetCount(6);
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{0, 2, 4, 1, 0, 0}));
  list.Pack();
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{2, 4, 1}));
  list.Sort([](void* a, void* b) {
    return static_cast<int>(reinterpret_cast<intptr_t>(a) - reinterpret_cast<intptr_t>(b));
  });
  EXPECT_EQ(Values(list), (std::vector<intptr_t>{1, 2, 4}));
  EXPECT_GE(list.Capacity(), 3);
  list.SetCount(1);
  EXPECT_EQ(Values(list), std::vector<intptr_t>{1});
  TList copy;
  copy.Assign(&list);
  EXPECT_EQ(Values(copy), std::vector<intptr_t>{1});
}

// Counts live objects and records the order in which they die.
struct Tracked : TObject {
  Tracked(std::vector<int>* deaths_, int id_, TObjectList* list_ = nullptr)
      : deaths(deaths_), id(id_), list(list_) {}
  ~Tracked() override {
    deaths->push_back(id);
    // A dying object must no longer be found in the list that freed it.
    if (list != nullptr) {
      EXPECT_EQ(list->IndexOf(this), -1);
    }
  }
  std::vector<int>* deaths;
  int id;
  TObjectList* list;
};

TEST(ObjectList, OwnedObjectsDieExactlyOnce) {
  std::vector<int> deaths;
  Tracked* kept = nullptr;
  {
    TObjectList list;
    for (int id = 1; id <= 5; ++id) list.Add(new Tracked(&deaths, id, &list));
    list.Delete(0);
    EXPECT_EQ(deaths, std::vector<int>{1});
    EXPECT_EQ(list.Remove(list.Items(0)), 0);
    EXPECT_EQ(deaths, (std::vector<int>{1, 2}));
    kept = static_cast<Tracked*>(list.Extract(list.Items(0)));
    EXPECT_EQ(deaths, (std::vector<int>{1, 2}));
    list.SetItems(0, new Tracked(&deaths, 6, &list));
    EXPECT_EQ(deaths, (std::vector<int>{1, 2, 4}));
    list.Add(nullptr);
    EXPECT_EQ(list.Count(), 3);
  }
  EXPECT_EQ(deaths, (std::vector<int>{1, 2, 4, 5, 6}));
  kept->list = nullptr;
  delete kept;
  EXPECT_EQ(deaths.back(), 3);
}

TEST(ObjectList, WithoutOwnershipNothingIsFreed) {
  std::vector<int> deaths;
  Tracked a(&deaths, 1), b(&deaths, 2);
  {
    TObjectList list(/*ownsObjects=*/false);
    list.Add(&a);
    list.Add(&b);
    list.Delete(0);
    list.Clear();
    list.Add(&a);
  }
  EXPECT_TRUE(deaths.empty());
  TObjectList* made = New<TObjectList>(false);
  EXPECT_FALSE(made->OwnsObjects());
  made->Free();
}

TEST(ThreadList, ConcurrentAddsKeepOneOfEach) {
  TThreadList list;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&list] {
      for (intptr_t v = 1; v <= 500; ++v) list.Add(P(v));
    });
  }
  for (auto& thread : threads) thread.join();
  TList* locked = list.LockList();
  EXPECT_EQ(locked->Count(), 500);
  // The lock nests for the thread that holds it.
  TList* again = list.LockList();
  EXPECT_EQ(again, locked);
  list.Remove(P(1));
  list.UnlockList();
  EXPECT_EQ(locked->Count(), 499);
  list.UnlockList();
}

#ifdef _WIN32
// Lists that were fought over leave no kernel object behind when they go:
// a fresh event still takes a handle slot at the bottom afterwards.
TEST(ThreadList, ContendedListsLeaveNoHandles) {
  auto freshHandle = [] {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(event);
    return reinterpret_cast<uintptr_t>(event);
  };
  const uintptr_t before = freshHandle();
  for (int round = 0; round < 60; ++round) {
    TThreadList list;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
      threads.emplace_back([&list] {
        for (intptr_t v = 1; v <= 300; ++v) {
          list.Add(P(v));
          list.Remove(P(v));
        }
      });
    for (auto& thread : threads) thread.join();
  }
  EXPECT_LE(freshHandle(), before + 4 * sizeof(HANDLE)) << "a list left kernel objects behind";
}
#endif

TEST(ThreadList, DuplicatePolicies) {
  TThreadList list;
  list.Add(P(7));
  list.Add(P(7));
  list.SetDuplicates(dupAccept);
  list.Add(P(7));
  EXPECT_EQ(list.LockList()->Count(), 2);
  list.UnlockList();
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add(P(7)), EListError);
  list.Clear();
  EXPECT_EQ(list.LockList()->Count(), 0);
  list.UnlockList();
}

}  // namespace
