// Item identifier lists: byte layout, manager primitives, lists and streams.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ShellTestHelpers.h"
#include "core/MemoryStream.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"
#include "EmptyMalloc.h"

namespace {

// A PIDL in shell memory from IDs given as their data bytes.
LPITEMIDLIST MakePIDL(const std::vector<std::vector<uint8_t>>& ids) {
  std::vector<uint8_t> bytes;
  for (const auto& data : ids) {
    uint16_t cb = static_cast<uint16_t>(data.size() + 2);
    bytes.push_back(static_cast<uint8_t>(cb));
    bytes.push_back(static_cast<uint8_t>(cb >> 8));
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  auto* pidl = static_cast<LPITEMIDLIST>(CoTaskMemAlloc(bytes.size()));
  memcpy(pidl, bytes.data(), bytes.size());
  return pidl;
}

std::vector<uint8_t> Bytes(TPIDLManager* m, LPCITEMIDLIST pidl) {
  auto* p = reinterpret_cast<const uint8_t*>(pidl);
  return std::vector<uint8_t>(p, p + m->PIDLSize(pidl));
}

std::vector<uint8_t> StreamBytes(TMemoryStream* stream) {
  std::vector<uint8_t> out(static_cast<size_t>(stream->Size()));
  stream->SetPosition(0);
  if (!out.empty()) stream->ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
  return out;
}

struct PIDLFixture : ::testing::Test {
  TPIDLManager* m = New<TPIDLManager>();
  ~PIDLFixture() override { m->Free(); }
};

}  // namespace

TEST_F(PIDLFixture, EmptyAndSingleIDEdges) {
  LPITEMIDLIST empty = MakePIDL({});
  EXPECT_EQ(m->PIDLSize(empty), 2u);
  EXPECT_EQ(m->IDCount(empty), 0u);
  EXPECT_TRUE(TPIDLManager::IsDesktopFolder(empty));
  EXPECT_EQ(m->GetPointerToLastID(empty), empty);
  EXPECT_EQ(m->StripLastID(empty), empty);
  EXPECT_EQ(m->PIDLSize(empty), 2u);
  uint16_t cb = 99;
  LPITEMIDLIST cut = reinterpret_cast<LPITEMIDLIST>(1);
  m->StripLastIDKeep(empty, cb, cut);
  EXPECT_EQ(cb, 0);
  EXPECT_EQ(cut, nullptr);

  LPITEMIDLIST one = MakePIDL({{1, 2, 3}});
  EXPECT_EQ(m->PIDLSize(one), 7u);
  EXPECT_EQ(m->IDCount(one), 1u);
  EXPECT_FALSE(TPIDLManager::IsDesktopFolder(one));
  EXPECT_EQ(m->GetPointerToLastID(one), one);
  m->StripLastIDKeep(one, cb, cut);
  EXPECT_EQ(cb, 5);
  EXPECT_EQ(cut, one);
  EXPECT_TRUE(TPIDLManager::IsDesktopFolder(one));
  m->FreePIDL(one);
  m->FreePIDL(empty);

  EXPECT_EQ(m->PIDLSize(nullptr), 0u);
  EXPECT_EQ(m->IDCount(nullptr), 0u);
  EXPECT_FALSE(TPIDLManager::IsDesktopFolder(nullptr));
  EXPECT_EQ(m->GetPointerToLastID(nullptr), nullptr);
  EXPECT_EQ(m->StripLastID(nullptr), nullptr);
  EXPECT_EQ(m->CopyPIDL(nullptr), nullptr);
  m->FreePIDL(nullptr);
}

TEST_F(PIDLFixture, LayoutCopyAppendAndLastID) {
  LPITEMIDLIST p = MakePIDL({{0xAA}, {0xBB, 0xCC}, {0xDD, 0xEE, 0xFF}});
  EXPECT_EQ(m->PIDLSize(p), 2u + 3 + 4 + 5);
  EXPECT_EQ(m->IDCount(p), 3u);
  auto* last = reinterpret_cast<uint8_t*>(m->GetPointerToLastID(p));
  EXPECT_EQ(last - reinterpret_cast<uint8_t*>(p), 7);
  EXPECT_EQ(TPIDLManager::NextID(p), reinterpret_cast<LPITEMIDLIST>(reinterpret_cast<uint8_t*>(p) + 3));
  LPITEMIDLIST copy = m->CopyPIDL(p);
  EXPECT_EQ(Bytes(m, copy), Bytes(m, p));
  LPITEMIDLIST x = MakePIDL({{9, 9}});
  LPITEMIDLIST empty = MakePIDL({});
  LPITEMIDLIST joined = m->AppendPIDL(p, x);
  EXPECT_EQ(Bytes(m, joined),
            (std::vector<uint8_t>{3, 0, 0xAA, 4, 0, 0xBB, 0xCC, 5, 0, 0xDD, 0xEE, 0xFF, 4, 0, 9, 9, 0, 0}));
  LPITEMIDLIST a = m->AppendPIDL(empty, x);
  EXPECT_EQ(Bytes(m, a), Bytes(m, x));
  LPITEMIDLIST b = m->AppendPIDL(x, nullptr);
  EXPECT_EQ(Bytes(m, b), Bytes(m, x));
  LPITEMIDLIST c = m->AppendPIDL(nullptr, nullptr);
  EXPECT_EQ(Bytes(m, c), (std::vector<uint8_t>{0, 0}));
  m->StripLastID(joined);
  EXPECT_EQ(Bytes(m, joined), Bytes(m, p));
  for (LPITEMIDLIST q : {p, copy, x, empty, joined, a, b, c}) m->FreePIDL(q);
  LPITEMIDLIST doomed = m->CopyPIDL(MakePIDL({}));
  m->FreeAndNilPIDL(doomed);
  EXPECT_EQ(doomed, nullptr);
}

TEST_F(PIDLFixture, ShellEqualityAndSubLists) {
  shelltest::TempFolder folder;
  std::u16string inner = folder.MakeFolder(u"inner");
  folder.MakeFile(u"inner\\f.txt", 3);
  LPITEMIDLIST file = PathToPIDL(inner + u"\\f.txt");
  LPITEMIDLIST parent = PathToPIDL(inner);
  ASSERT_NE(file, nullptr);
  ASSERT_NE(parent, nullptr);
  std::vector<uint8_t> before = Bytes(m, file);
  EXPECT_TRUE(m->IsSubPIDL(file, file));
  EXPECT_TRUE(m->IsSubPIDL(file, parent));
  EXPECT_FALSE(m->IsSubPIDL(parent, file));
  LPITEMIDLIST desktop = MakePIDL({});
  EXPECT_TRUE(m->IsSubPIDL(file, desktop));
  EXPECT_FALSE(m->IsSubPIDL(file, nullptr));
  EXPECT_EQ(Bytes(m, file), before);  // restored after the in-place cut
  EXPECT_TRUE(vst::ILIsParent(parent, file, /*immediate=*/true));
  EXPECT_FALSE(vst::ILIsParent(file, parent, /*immediate=*/true));
  LPITEMIDLIST again = PathToPIDL(inner + u"\\f.txt");
  EXPECT_TRUE(TPIDLManager::EqualPIDL(file, again));
  EXPECT_FALSE(TPIDLManager::EqualPIDL(file, parent));
  EXPECT_FALSE(vst::ILIsEqual(file, nullptr));
  EXPECT_FALSE(vst::ILIsEqual(nullptr, nullptr));
  EXPECT_FALSE(vst::ILIsParent(nullptr, file, false));
  for (LPITEMIDLIST q : {file, parent, desktop, again}) m->FreePIDL(q);
}

TEST_F(PIDLFixture, ManagerStreamRoundTrip) {
  TMemoryStream* stream = New<TMemoryStream>();
  LPITEMIDLIST p = MakePIDL({{1, 2}, {3}});
  m->SaveToStream(stream, p);
  m->SaveToStream(stream, nullptr);
  EXPECT_EQ(stream->Size(), 4 + 9 + 4);
  stream->SetPosition(0);
  LPITEMIDLIST back = m->LoadFromStream(stream);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Bytes(m, back), Bytes(m, p));
  EXPECT_EQ(m->LoadFromStream(stream), nullptr);
  EXPECT_EQ(m->LoadFromStream(nullptr), nullptr);
  EXPECT_THROW(m->LoadFromStream(stream), EReadError);  // at the end
  m->FreePIDL(p);
  m->FreePIDL(back);
  stream->Free();
}

TEST_F(PIDLFixture, ManagerRejectsBadSizesAndChains) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"size past the end", {20, 0, 0, 0, 3, 0, 1, 0, 0}},
      {"huge size", {0xFF, 0xFF, 0xFF, 0x7F, 0, 0}},
      {"chain runs out", {5, 0, 0, 0, 9, 0, 1, 2, 3}},
      {"no terminator", {4, 0, 0, 0, 4, 0, 1, 2}},
      {"count of one", {4, 0, 0, 0, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream* stream = New<TMemoryStream>();
    stream->WriteBuffer(c.bytes.data(), static_cast<int32_t>(c.bytes.size()));
    stream->SetPosition(0);
    EXPECT_THROW(m->LoadFromStream(stream), EReadError);
    stream->Free();
  }
}

TEST_F(PIDLFixture, ListStreamFormAndOwnership) {
  TPIDLList* list = New<TPIDLList>();
  LPITEMIDLIST p20 = MakePIDL({std::vector<uint8_t>(16, 7)});               // 2 + 18 = 20 bytes
  LPITEMIDLIST p34 = MakePIDL({std::vector<uint8_t>(10, 1), std::vector<uint8_t>(18, 2)});  // 12 + 20 + 2
  ASSERT_EQ(m->PIDLSize(p34), 34u);
  list->Add(MakePIDL({}));
  list->Add(p20);
  list->Add(p34);
  list->Add(nullptr);
  TMemoryStream* stream = New<TMemoryStream>();
  ASSERT_TRUE(list->SaveToStream(stream));
  EXPECT_EQ(stream->Size(), 4 + (4 + 2) + (4 + 20) + (4 + 34) + 4);
  std::vector<uint8_t> bytes = StreamBytes(stream);
  EXPECT_EQ(bytes[0], 4);
  EXPECT_EQ(bytes[4], 2);
  TPIDLList* back = New<TPIDLList>();
  back->CopyAdd(p20);  // loading appends
  stream->SetPosition(0);
  // The null entry (saved with size 0) comes back as a null entry, and what follows it too.
  EXPECT_TRUE(back->LoadFromStream(stream));
  ASSERT_EQ(back->Count(), 5);
  EXPECT_EQ(Bytes(m, back->Items(2)), Bytes(m, p20));
  EXPECT_EQ(Bytes(m, back->Items(3)), Bytes(m, p34));
  EXPECT_EQ(back->Items(4), nullptr);
  for (int32_t size : {0, -5}) {
    TMemoryStream* entry = New<TMemoryStream>();
    int32_t two = 2;
    entry->WriteBuffer(&two, 4);
    entry->WriteBuffer(&size, 4);
    m->SaveToStream(entry, p20);
    entry->SetPosition(0);
    TPIDLList* loaded = New<TPIDLList>();
    // A null entry is kept in its place; a negative size is refused.
    EXPECT_EQ(loaded->LoadFromStream(entry), size == 0);
    if (size == 0) {
      ASSERT_EQ(loaded->Count(), 2);
      EXPECT_EQ(loaded->Items(0), nullptr);
      EXPECT_EQ(Bytes(m, loaded->Items(1)), Bytes(m, p20));
    } else {
      EXPECT_EQ(loaded->Count(), 0);
    }
    loaded->Free();
    entry->Free();
  }
  TPIDLList* shared = New<TPIDLList>();
  shared->SetSharedPIDLs(true);
  shared->Add(back->Items(1));
  shared->Free();  // borrows: frees nothing
  EXPECT_EQ(m->PIDLSize(back->Items(1)), 2u);
  back->Free();
  list->Free();
  stream->Free();
}

TEST_F(PIDLFixture, CorruptedListStreamsNeverCrash) {
  TPIDLList* list = New<TPIDLList>();
  for (int i = 0; i < 6; ++i) list->Add(MakePIDL({std::vector<uint8_t>(i * 3, static_cast<uint8_t>(i)), {1, 2, 3}}));
  TMemoryStream* stream = New<TMemoryStream>();
  list->SaveToStream(stream);
  std::vector<uint8_t> good = StreamBytes(stream);
  stream->Free();
  list->Free();
  uint32_t seed = 2024;
  int rejected = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = good;
    int flips = 1 + round % 4;
    for (int k = 0; k < flips; ++k) {
      seed = seed * 1664525 + 1013904223;
      bytes[(seed >> 8) % bytes.size()] = static_cast<uint8_t>(seed >> 24);
    }
    if (round % 7 == 0) bytes.resize((seed >> 4) % bytes.size());
    TMemoryStream* s = New<TMemoryStream>();
    if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    s->SetPosition(0);
    TPIDLList* loaded = New<TPIDLList>();
    if (!loaded->LoadFromStream(s)) ++rejected;
    // Whatever was loaded is a well-formed chain inside its block.
    for (int i = 0; i < loaded->Count(); ++i) {
      LPITEMIDLIST p = loaded->Items(i);
      if (p == nullptr) continue;  // a size of 0 is the saved form of a null entry
      uint32_t size = m->PIDLSize(p);
      ASSERT_GE(size, 2u);
      ASSERT_TRUE(TPIDLManager::ValidChain(reinterpret_cast<uint8_t*>(p), size));
    }
    loaded->Free();
    s->Free();
  }
  EXPECT_GT(rejected, 100);
}

TEST(PIDLTools, DocumentsFolderPIDL) {
  LPITEMIDLIST documents = vst::MyDocumentsPIDL();
  if (documents == nullptr) GTEST_SKIP() << "the shell has no documents folder item";
  EXPECT_GE(NamespacePIDLManager->IDCount(documents), 1u);
  NamespacePIDLManager->FreePIDL(documents);
}

TEST(PIDLManagerMemory, AnEmptyAllocatorRaises) {
  TEmptyMalloc allocator;
  TPIDLManager* m = New<TPIDLManager>(static_cast<IMalloc*>(&allocator));
  EXPECT_EQ(allocator.refs, 2u);
  LPITEMIDLIST p = MakePIDL({{1, 2, 3}});
  // A copy that fails never comes back as the desktop (null, empty) or as a
  // shorter PIDL: in a wipe program that would be another item.
  EXPECT_EQ(m->CopyPIDL(nullptr), nullptr);
  EXPECT_THROW(m->CopyPIDL(p), std::bad_alloc);
  EXPECT_THROW(m->AppendPIDL(p, p), std::bad_alloc);
  EXPECT_THROW(m->AppendPIDL(nullptr, nullptr), std::bad_alloc);
  TMemoryStream* stream = New<TMemoryStream>();
  m->SaveToStream(stream, p);
  stream->SetPosition(0);
  EXPECT_THROW(m->LoadFromStream(stream), EReadError);
  stream->Free();
  m->FreePIDL(p);
  m->Free();
  EXPECT_EQ(allocator.refs, 1u);
  EXPECT_THROW(New<TPIDLManager>(static_cast<IMalloc*>(nullptr)), Exception);
}
