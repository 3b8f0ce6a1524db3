// The node storage's stream form: round trips, older versions, and streams
// that are cut short, damaged or out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "NodeStorageTestHelpers.h"
#include "ShellTestHelpers.h"
#include "core/ClassRegistry.h"
#include "core/MemoryStream.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

using shelltest::TempFolder;
using storagetest::CheckInvariant;
using storagetest::Lower;
using storagetest::StoredRecords;
using storagetest::TPath;

namespace {

// An object that rides in a record.
class TNoteObject : public TStreamableClass {
public:
  int32_t note = 0;
  void Assign(TPersistent* source) override {
    if (auto* other = dynamic_cast<TNoteObject*>(source)) {
      note = other->note;
      return;
    }
    TStreamableClass::Assign(source);
  }
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override {
    TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
    stream->ReadBuffer(&note, sizeof note);
  }
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    stream->WriteBuffer(&note, sizeof note);
  }
};

const bool kRegistered = [] {
  RegisterStorageObjectClass<TNoteObject>();
  return true;
}();

std::vector<uint8_t> Bytes(TMemoryStream* stream) {
  std::vector<uint8_t> out(static_cast<size_t>(stream->Size()));
  stream->SetPosition(0);
  if (!out.empty()) stream->ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
  return out;
}

TMemoryStream* StreamOf(const std::vector<uint8_t>& bytes) {
  TMemoryStream* stream = New<TMemoryStream>();
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

// Writes records in the stream form by hand (version 3 with version words).
struct TStreamWriter {
  std::vector<uint8_t> out;
  void Int(int32_t v) { out.insert(out.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); }
  void Byte(uint8_t v) { out.push_back(v); }
  void PIDL(LPCITEMIDLIST pidl) {
    uint32_t size = NamespacePIDLManager->PIDLSize(pidl);
    Int(static_cast<int32_t>(size));
    const auto* bytes = reinterpret_cast<const uint8_t*>(pidl);
    out.insert(out.end(), bytes, bytes + size);
  }
  // A record whose children are written by children() (count given).
  template <class Children>
  void Record(LPCITEMIDLIST pidl, int childCount, Children children, uint8_t kinds = 1, uint8_t state = 2) {
    Int(3);
    PIDL(pidl);
    Byte(childCount >= 0 ? 1 : 0);
    if (childCount >= 0) {
      Int(3);
      Int(childCount);
      children();
    }
    Byte(kinds);
    Byte(state);
    Byte(1);  // check type
    Int(0);
    Int(0);
    Int(0);
    Byte(0);  // no object
  }
  void Leaf(LPCITEMIDLIST pidl, uint8_t state = 2) {
    Record(pidl, -1, [] {}, 1, state);
  }
};

struct NodeStorageStreamFixture : ::testing::Test {
  TempFolder folder;
  std::vector<std::u16string> paths;
  TRootNodeStorage* storage = nullptr;

  void SetUp() override {
    storage = New<TRootNodeStorage>();
    paths.push_back(folder.MakeFolder(u"d"));
    for (const char16_t* name : {u"d\\b.txt", u"d\\a.txt", u"d\\c \u00e9.txt", u"z.txt"})
      paths.push_back(folder.MakeFile(name, 1));
    for (size_t i = 0; i < paths.size(); ++i) {
      TPath pidl(paths[i]);
      TNodeStorage* record = storage->Store(pidl.Get(), i == 2 ? TStorageKinds{skColumnLayout} : TStorageKinds{skCheckState});
      record->Storage.CheckState = i % 2 ? csCheckedNormal : csMixedNormal;
      record->Storage.CheckType = ctTriStateCheckBox;
      if (i == 2) record->Storage.Columns = {{100, 60, 300}, {0, 2, 1}, {1, 0, 1}};
    }
    TPath noted(paths[4]);
    TNoteObject* note = New<TNoteObject>();
    note->note = 4242;
    storage->Find(noted.Get(), {skCheckState})->Storage.StorageObject = note;
    storage->Store(noted.Get(), {skStorageObject});
  }
  void TearDown() override {
    TPath noted(paths[4]);
    storage->Delete(noted.Get(), {skStorageObject}, false, /*freeObject=*/true);
    storage->Free();
  }
  std::vector<uint8_t> Saved(int32_t version) {
    TMemoryStream* stream = New<TMemoryStream>();
    storage->SaveToStream(stream, version, /*writeVerToStream=*/true);
    std::vector<uint8_t> bytes = Bytes(stream);
    stream->Free();
    return bytes;
  }
};

// Frees the objects that loaded records made.
void FreeObjects(TNodeStorage* record) {
  if (record->Storage.StorageObject != nullptr) FreeAndNil(record->Storage.StorageObject);
  for (int i = 0; record->ChildNodes() != nullptr && i < record->ChildNodes()->Count(); ++i)
    FreeObjects(record->ChildNodes()->Items(i));
}

}  // namespace

TEST_F(NodeStorageStreamFixture, RoundTripKeepsEveryRecordAndDropsVanishedItems) {
  std::vector<uint8_t> bytes = Saved(3);
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  TMemoryStream* stream = StreamOf(bytes);
  loaded->LoadFromStream(stream, 0, /*readVerFromStream=*/true);
  EXPECT_EQ(stream->Position(), stream->Size());
  EXPECT_EQ(loaded->StreamVersion(), 3);
  EXPECT_EQ(CheckInvariant(loaded), "");
  EXPECT_EQ(StoredRecords(loaded), StoredRecords(storage));
  TPath columns(paths[2]), noted(paths[4]);
  TNodeStorage* record = loaded->Find(columns.Get(), {skColumnLayout});
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Storage.Columns.Widths, (TWordArray{100, 60, 300}));
  EXPECT_EQ(record->Storage.Columns.Positions, (TWordArray{0, 2, 1}));
  EXPECT_EQ(record->Storage.Columns.Visible, (TBooleanArray{1, 0, 1}));
  EXPECT_EQ(record->Storage.CheckType, ctTriStateCheckBox);
  auto* note = dynamic_cast<TNoteObject*>(loaded->Find(noted.Get(), {skStorageObject})->Storage.StorageObject);
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->note, 4242);
  // Saving the loaded storage gives the same bytes.
  TMemoryStream* again = New<TMemoryStream>();
  loaded->SaveToStream(again, 3, true);
  EXPECT_EQ(Bytes(again), bytes);
  again->Free();
  FreeObjects(loaded);
  loaded->Free();

  // An item deleted meanwhile is dropped on load.
  DeleteFileW(shelltest::W(paths[1]));
  stream->SetPosition(0);
  loaded = New<TRootNodeStorage>();
  loaded->LoadFromStream(stream, 0, true);
  auto expected = StoredRecords(storage);
  expected.erase(Lower(paths[1]));
  EXPECT_EQ(StoredRecords(loaded), expected);
  FreeObjects(loaded);
  loaded->Free();
  stream->Free();
}

TEST_F(NodeStorageStreamFixture, AClearedRootSavesAndLoads) {
  TRootNodeStorage* cleared = New<TRootNodeStorage>();
  cleared->Clear(false);
  TMemoryStream* stream = New<TMemoryStream>();
  cleared->SaveToStream(stream, 3, true);
  stream->SetPosition(0);
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  loaded->LoadFromStream(stream, 0, true);
  EXPECT_EQ(loaded->AbsolutePIDL(), nullptr);
  TPath file(paths[1]);
  EXPECT_NE(loaded->Store(file.Get(), {skCheckState}), nullptr) << "a root without PIDL is the desktop";
  EXPECT_EQ(CheckInvariant(loaded), "");
  loaded->Free();
  cleared->Free();
  stream->Free();
}

TEST_F(NodeStorageStreamFixture, CopiesAreDeep) {
  TRootNodeStorage* copy = New<TRootNodeStorage>();
  copy->CopyFrom(storage);
  EXPECT_EQ(StoredRecords(copy), StoredRecords(storage));
  EXPECT_EQ(CheckInvariant(copy), "");
  TPath noted(paths[4]);
  TNodeStorage* original = storage->Find(noted.Get(), {skStorageObject});
  TNodeStorage* copied = copy->Find(noted.Get(), {skStorageObject});
  ASSERT_NE(copied, nullptr);
  EXPECT_NE(copied->Storage.StorageObject, original->Storage.StorageObject);
  EXPECT_EQ(dynamic_cast<TNoteObject*>(copied->Storage.StorageObject)->note, 4242);
  EXPECT_NE(copied->AbsolutePIDL(), original->AbsolutePIDL());
  FreeObjects(copy);
  copy->Free();
}

TEST_F(NodeStorageStreamFixture, VersionOneCarriesOneCheckByte) {
  std::vector<uint8_t> bytes = Saved(1);
  EXPECT_LT(bytes.size(), Saved(3).size());
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  TMemoryStream* stream = StreamOf(bytes);
  loaded->LoadFromStream(stream, 0, true);
  EXPECT_EQ(stream->Position(), stream->Size());
  EXPECT_EQ(StoredRecords(loaded), StoredRecords(storage));
  TPath checked(paths[1]);
  EXPECT_EQ(loaded->Find(checked.Get(), {skCheckState})->Storage.CheckType, ctNone) << "version 1 has no check type";
  FreeObjects(loaded);
  loaded->Free();
  stream->Free();
}

TEST_F(NodeStorageStreamFixture, EveryTruncationRaisesAReadErrorAndKeepsOrder) {
  std::vector<uint8_t> bytes = Saved(3);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    TRootNodeStorage* loaded = New<TRootNodeStorage>();
    TMemoryStream* stream = StreamOf(part);
    EXPECT_THROW(loaded->LoadFromStream(stream, 0, true), EReadError) << "cut at " << cut;
    ASSERT_EQ(CheckInvariant(loaded), "") << "cut at " << cut;
    FreeObjects(loaded);
    loaded->Free();
    stream->Free();
  }
}

TEST_F(NodeStorageStreamFixture, DamagedStreamsLoadOrRaiseAndNeverBreakTheOrder) {
  std::vector<uint8_t> bytes = Saved(3);
  std::mt19937 random(7);
  int raised = 0, loadedCount = 0;
  for (int round = 0; round < 600; ++round) {
    std::vector<uint8_t> damaged(bytes);
    int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) {
      size_t at = random() % damaged.size();
      damaged[at] = random() % 3 == 0 ? 0xFF : static_cast<uint8_t>(random());
    }
    TRootNodeStorage* loaded = New<TRootNodeStorage>();
    TMemoryStream* stream = StreamOf(damaged);
    try {
      loaded->LoadFromStream(stream, 0, true);
      ++loadedCount;
    } catch (const Exception&) {
      ++raised;
    }
    ASSERT_EQ(CheckInvariant(loaded), "") << "round " << round;
    FreeObjects(loaded);
    loaded->Free();
    stream->Free();
  }
  EXPECT_GT(raised, 0);
  EXPECT_GT(loadedCount, 0);
}

TEST_F(NodeStorageStreamFixture, HugeCountsAndSizesAreRefusedBeforeAllocating) {
  TPath desktop(u"");
  LPITEMIDLIST empty = NamespacePIDLManager->AppendPIDL(nullptr, nullptr);
  for (int32_t count : {0x7FFFFFFF, -1, 1000}) {
    TStreamWriter w;
    w.Int(3);
    w.PIDL(empty);
    w.Byte(1);
    w.Int(3);
    w.Int(count);
    TRootNodeStorage* loaded = New<TRootNodeStorage>();
    TMemoryStream* stream = StreamOf(w.out);
    EXPECT_THROW(loaded->LoadFromStream(stream, 0, true), EReadError) << count;
    loaded->Free();
    stream->Free();
  }
  // A widths count past the stream's end.
  TStreamWriter w;
  w.Int(3);
  w.PIDL(empty);
  w.Byte(0);
  w.Byte(1);
  w.Byte(2);
  w.Byte(1);
  w.Int(0x40000000);
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  TMemoryStream* stream = StreamOf(w.out);
  EXPECT_THROW(loaded->LoadFromStream(stream, 0, true), EReadError);
  loaded->Free();
  stream->Free();
  NamespacePIDLManager->FreePIDL(empty);
}

TEST_F(NodeStorageStreamFixture, OutOfOrderDuplicateAndForeignRecordsAreMendedOnLoad) {
  // d's children written backwards, one twice, plus a child of another folder.
  TPath d(paths[0]), b(paths[1]), a(paths[2]), c(paths[3]), z(paths[4]);
  LPITEMIDLIST empty = NamespacePIDLManager->AppendPIDL(nullptr, nullptr);
  // The records on the path from the desktop to d.
  std::vector<LPITEMIDLIST> path;
  for (uint32_t n = 1; n <= NamespacePIDLManager->IDCount(d.Get()); ++n) {
    LPITEMIDLIST prefix = NamespacePIDLManager->CopyPIDL(d.Get());
    while (NamespacePIDLManager->IDCount(prefix) > n) NamespacePIDLManager->StripLastID(prefix);
    path.push_back(prefix);
  }
  TStreamWriter w;
  std::function<void(size_t)> level = [&](size_t i) {
    if (i + 1 < path.size()) {
      w.Record(path[i], 1, [&] { level(i + 1); }, 0, 0);
      return;
    }
    w.Record(path[i], 5, [&] {
      w.Leaf(c.Get());
      w.Leaf(b.Get());
      w.Leaf(a.Get(), 4);
      w.Leaf(b.Get(), 3);  // the same item again
      w.Leaf(z.Get());     // not a child of d
    });
  };
  w.Record(empty, 1, [&] { level(0); }, 0, 0);
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  TMemoryStream* stream = StreamOf(w.out);
  loaded->LoadFromStream(stream, 0, true);
  EXPECT_EQ(CheckInvariant(loaded), "");
  auto records = StoredRecords(loaded);
  EXPECT_EQ(records.size(), 4u) << "d and its three children";
  EXPECT_EQ(records.count(Lower(paths[4])), 0u) << "a foreign record is dropped";
  TNodeStorage* found = loaded->Find(b.Get(), {skCheckState});
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Storage.CheckState, csCheckedNormal) << "the first of two duplicates stays";
  EXPECT_NE(loaded->Find(a.Get(), {skCheckState}), nullptr);
  EXPECT_NE(loaded->Find(c.Get(), {skCheckState}), nullptr);
  loaded->Free();
  stream->Free();
  for (LPITEMIDLIST p : path) NamespacePIDLManager->FreePIDL(p);
  NamespacePIDLManager->FreePIDL(empty);
}

TEST_F(NodeStorageStreamFixture, UnknownObjectClassesAreNotMade) {
  std::vector<uint8_t> bytes = Saved(3);
  const std::string name = "TNoteObject";
  auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
  ASSERT_NE(at, bytes.end());
  *(at + 1) = 'X';  // "TXoteObject": nobody registered it
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  TMemoryStream* stream = StreamOf(bytes);
  EXPECT_THROW(loaded->LoadFromStream(stream, 0, true), EFilerError);
  EXPECT_EQ(CheckInvariant(loaded), "");
  FreeObjects(loaded);
  loaded->Free();
  stream->Free();
}

TEST_F(NodeStorageStreamFixture, DeeplyNestedStreamsAreRefused) {
  TStreamWriter w;
  LPITEMIDLIST empty = NamespacePIDLManager->AppendPIDL(nullptr, nullptr);
  const int depth = TRootNodeStorage::kMaxStreamDepth + 10;
  for (int i = 0; i < depth; ++i) {
    w.Int(3);
    w.PIDL(empty);
    w.Byte(1);
    w.Int(3);
    w.Int(1);
  }
  for (int i = 0; i < 64; ++i) w.Int(0);
  TRootNodeStorage* loaded = New<TRootNodeStorage>();
  TMemoryStream* stream = StreamOf(w.out);
  EXPECT_THROW(loaded->LoadFromStream(stream, 0, true), EReadError);
  loaded->Free();
  stream->Free();
  NamespacePIDLManager->FreePIDL(empty);
}
