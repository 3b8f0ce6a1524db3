// Node storage against a test folder: the record tree checked against a model
// after random stores, deletes and renames; lookups through read-only PIDLs;
// the checked paths; and the shell's order read in full.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "NodeStorageTestHelpers.h"
#include "ShellTestHelpers.h"
#include "shell/NodeStorageOrder.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

using shelltest::TempFolder;
using storagetest::CheckInvariant;
using storagetest::Lower;
using storagetest::StoredRecords;
using storagetest::TPath;
using storagetest::TRecordValue;

namespace {

TRootNodeStorage* NewStorage() { return New<TRootNodeStorage>(); }

// A copy of pidl on a page of its own that cannot be written: a lookup that
// cuts it in place faults.
class TReadOnlyPIDL {
public:
  explicit TReadOnlyPIDL(LPCITEMIDLIST pidl) {
    uint32_t size = NamespacePIDLManager->PIDLSize(pidl);
    page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    std::memcpy(page, pidl, size);
    DWORD old;
    VirtualProtect(page, 4096, PAGE_READONLY, &old);
  }
  ~TReadOnlyPIDL() { VirtualFree(page, 0, MEM_RELEASE); }
  LPCITEMIDLIST Get() const { return static_cast<LPCITEMIDLIST>(page); }

private:
  void* page;
};

struct NodeStorageFixture : ::testing::Test {
  TempFolder folder;
  TRootNodeStorage* storage = nullptr;
  void SetUp() override { storage = NewStorage(); }
  void TearDown() override { storage->Free(); }

  TNodeStorage* StoreChecked(const std::u16string& path, TCheckState state = csCheckedNormal) {
    TPath pidl(path);
    TNodeStorage* record = storage->Store(pidl.Get(), {skCheckState});
    if (record != nullptr) {
      record->Storage.CheckState = state;
      record->Storage.CheckType = ctTriStateCheckBox;
    }
    return record;
  }
  std::vector<std::u16string> Checked(TCheckedNamesKind kind) {
    TWideStringList* list = storage->GetCheckedFileNames(kind);
    std::vector<std::u16string> out;
    for (int i = 0; i < list->Count(); ++i) out.push_back(list->Strings(i));
    return out;
  }
};

}  // namespace

TEST_F(NodeStorageFixture, StoreMakesThePathAndTheCacheFindsSiblings) {
  std::u16string a = folder.MakeFolder(u"a");
  std::u16string f1 = folder.MakeFile(u"a\\one.txt", 1);
  std::u16string f2 = folder.MakeFile(u"a\\two.txt", 1);
  TPath p1(f1), p2(f2), pa(a);
  TNodeStorage* r1 = storage->Store(p1.Get(), {skCheckState});
  ASSERT_NE(r1, nullptr);
  uint32_t depth = NamespacePIDLManager->IDCount(p1.Get());
  // Every ID on the path has its record; the intermediate ones hold nothing.
  int records = 0;
  for (TNodeStorage* r = r1; r != storage; r = r->ParentNode()) {
    ++records;
    if (r != r1) EXPECT_TRUE(r->Storage.Kinds.Empty());
  }
  EXPECT_EQ(records, static_cast<int>(depth));
  EXPECT_EQ(storage->CachedParent(), r1->ParentNode());
  TNodeStorage* r2 = storage->Store(p2.Get(), {skColumnLayout});
  ASSERT_NE(r2, nullptr);
  EXPECT_EQ(r2->ParentNode(), r1->ParentNode());
  EXPECT_EQ(storage->Find(pa.Get(), {skCheckState}), nullptr) << "the folder holds no kind";
  EXPECT_EQ(storage->ProcessNode(pa.Get(), false), r1->ParentNode());
  // A fresh walk (no cache) finds the same records.
  TNodeStorage* found = nullptr;
  EXPECT_TRUE(storage->Find(p1.Get(), {skCheckState, skStorageObject}, found));
  EXPECT_EQ(found, r1);
  EXPECT_FALSE(storage->Find(p2.Get(), {skCheckState}, found));
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(CheckInvariant(storage), "");
  // The empty PIDL is the root; deleting it only unchecks it.
  TPath desktop(u"");
  LPITEMIDLIST empty = NamespacePIDLManager->AppendPIDL(nullptr, nullptr);
  EXPECT_EQ(storage->Store(empty, {skCheckState}), storage);
  storage->Storage.CheckState = csCheckedNormal;
  storage->Delete(empty, {skCheckState}, /*force=*/true, false);
  EXPECT_EQ(storage->Storage.CheckState, csUncheckedNormal);
  NamespacePIDLManager->FreePIDL(empty);
}

TEST_F(NodeStorageFixture, TriStateRootMakesMixedIntermediates) {
  std::u16string file = folder.MakeFile(u"leaf.txt", 1);
  storage->Storage.CheckType = ctTriStateCheckBox;
  TNodeStorage* leaf = StoreChecked(file);
  ASSERT_NE(leaf, nullptr);
  for (TNodeStorage* r = leaf->ParentNode(); r != storage; r = r->ParentNode()) {
    EXPECT_TRUE(r->Storage.Kinds.Contains(skCheckState));
    EXPECT_EQ(r->Storage.CheckState, csMixedNormal);
    EXPECT_EQ(r->Storage.CheckType, ctTriStateCheckBox);
  }
}

TEST_F(NodeStorageFixture, LookupsNeverWriteToTheCallersPIDL) {
  std::u16string f1 = folder.MakeFile(u"x1.txt", 1);
  std::u16string f2 = folder.MakeFile(u"x2.txt", 1);
  TPath p1(f1), p2(f2);
  TReadOnlyPIDL r1(p1.Get()), r2(p2.Get());
  ASSERT_NE(storage->Store(r1.Get(), {skCheckState}), nullptr);
  ASSERT_NE(storage->Store(r2.Get(), {skCheckState}), nullptr);  // through the cached parent
  EXPECT_NE(storage->Find(r1.Get(), {skCheckState}), nullptr);
  storage->Delete(r2.Get(), {skCheckState}, false, false);
  EXPECT_EQ(storage->Find(r2.Get(), {skCheckState}), nullptr);
  TPath moved(folder.MakeFile(u"x3.txt", 1));
  TReadOnlyPIDL r3(moved.Get());
  EXPECT_TRUE(storage->Rename(r1.Get(), r3.Get()));
  EXPECT_NE(storage->Find(r3.Get(), {skCheckState}), nullptr);
}

TEST_F(NodeStorageFixture, DeleteKeepsDescendantsThatHoldKinds) {
  std::u16string dir = folder.MakeFolder(u"dir");
  std::u16string inner = folder.MakeFile(u"dir\\inner.txt", 1);
  StoreChecked(dir);
  StoreChecked(inner);
  TPath pd(dir), pi(inner);
  storage->Delete(pd.Get(), {skCheckState}, /*force=*/false, false);
  EXPECT_EQ(storage->Find(pd.Get(), {skCheckState}), nullptr);
  EXPECT_NE(storage->ProcessNode(pd.Get(), false), nullptr) << "kept as the path of its checked child";
  EXPECT_NE(storage->Find(pi.Get(), {skCheckState}), nullptr);
  EXPECT_EQ(Checked(cnkEveryItem), std::vector<std::u16string>{inner});
  // Once the child goes too, the folder's record can go as well.
  storage->Delete(pi.Get(), {skCheckState}, false, false);
  EXPECT_EQ(storage->ProcessNode(pi.Get(), false), nullptr);
  storage->Delete(pd.Get(), {skCheckState}, false, false);
  EXPECT_EQ(storage->ProcessNode(pd.Get(), false), nullptr);
  // A forced delete takes the record with everything below it (the item is gone).
  StoreChecked(dir);
  StoreChecked(inner);
  storage->Delete(pd.Get(), {}, /*force=*/true, false);
  EXPECT_EQ(storage->ProcessNode(pi.Get(), false), nullptr);
  EXPECT_TRUE(Checked(cnkEveryItem).empty());
  EXPECT_EQ(CheckInvariant(storage), "");
}

TEST_F(NodeStorageFixture, CheckedFileNamesListEveryRowOrTheTopmost) {
  std::u16string dir = folder.MakeFolder(u"checked");
  std::u16string inside = folder.MakeFile(u"checked\\\u65e5\u672c \u03a9.txt", 3);
  std::u16string nested = folder.MakeFolder(u"checked\\nested");
  std::u16string deep = folder.MakeFile(u"checked\\nested\\deep.bin", 3);
  std::u16string alone = folder.MakeFile(u"alone.txt", 3);
  std::u16string mixed = folder.MakeFolder(u"mixed");
  std::u16string pressed = folder.MakeFile(u"pressed.txt", 3);
  StoreChecked(dir);
  StoreChecked(inside);
  StoreChecked(deep);
  StoreChecked(alone);
  StoreChecked(mixed, csMixedNormal);
  StoreChecked(pressed, csCheckedPressed);
  std::vector<std::u16string> every = Checked(cnkEveryItem);
  // Pre-order, siblings in the shell's order (folders first, then by name),
  // each folder before its contents.
  EXPECT_EQ(every, (std::vector<std::u16string>{dir, deep, inside, alone}));
  EXPECT_EQ(Checked(cnkTopmost), (std::vector<std::u16string>{dir, alone}));
  // A record without skCheckState is not listed, whatever its state.
  TPath pa(alone);
  storage->Store(pa.Get(), {skColumnLayout});
  storage->Delete(pa.Get(), {skCheckState}, false, false);
  EXPECT_EQ(Checked(cnkTopmost), std::vector<std::u16string>{dir});
  // Items gone from disk are left out without a message.
  shelltest::RemoveTree(dir);
  EXPECT_TRUE(Checked(cnkEveryItem).empty());
}

TEST_F(NodeStorageFixture, CheckedDriveRootIsListed) {
  TPath drive(u"C:\\");
  ASSERT_NE(drive.Get(), nullptr);
  TNodeStorage* record = storage->Store(drive.Get(), {skCheckState});
  ASSERT_NE(record, nullptr);
  record->Storage.CheckState = csCheckedNormal;
  std::vector<std::u16string> names = Checked(cnkTopmost);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(vws::WideIsDrive(names[0])) << vws::ToAnsi(names[0]);
}

TEST_F(NodeStorageFixture, ClearForgetsEverythingAndTheRootStaysUsable) {
  std::u16string file = folder.MakeFile(u"f.txt", 1);
  StoreChecked(file);
  storage->Clear(false);
  EXPECT_EQ(storage->AbsolutePIDL(), nullptr);
  EXPECT_EQ(storage->CachedParent(), nullptr);
  TPath pf(file);
  EXPECT_EQ(storage->Find(pf.Get(), {skCheckState}), nullptr);
  ASSERT_NE(StoreChecked(file), nullptr);
  EXPECT_EQ(Checked(cnkTopmost), std::vector<std::u16string>{file});
  EXPECT_EQ(CheckInvariant(storage), "");
}

// Random stores, deletes, renames of files and folders, checked against a
// model of what each path holds. QV_LONG=1 runs many more steps.
TEST(NodeStorageModel, RandomOperationsKeepOrderAndContent) {
  const int steps = std::getenv("QV_LONG") != nullptr ? 20000 : 400;
  TempFolder folder;
  std::mt19937 random(20261207);
  std::vector<std::u16string> folders{folder.Path()};
  std::vector<std::u16string> files;
  for (int d = 0; d < 3; ++d) folders.push_back(folder.MakeFolder(u"dir" + vws::WideIntToStr(d)));
  folders.push_back(folder.MakeFolder(u"dir0\\sub \u0436"));
  int serial = 0;
  auto newName = [&](bool isFolder) {
    static const char16_t* stems[] = {u"alpha", u"Beta", u"gamma", u"\u0394elta", u"10", u"9", u"zz", u"a b"};
    std::u16string name = stems[random() % 8] + vws::WideIntToStr(serial++ % 50) + (isFolder ? u"" : u".txt");
    return name;
  };
  for (int i = 0; i < 24; ++i) {
    std::u16string parent = folders[random() % folders.size()];
    std::u16string path = parent + u"\\" + newName(false);
    if (GetFileAttributesW(shelltest::W(path)) != INVALID_FILE_ATTRIBUTES) continue;
    HANDLE h = CreateFileW(shelltest::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      files.push_back(path);
    }
  }
  TRootNodeStorage* storage = New<TRootNodeStorage>();
  std::map<std::u16string, TRecordValue> model;
  auto items = [&] {
    std::vector<std::u16string> all(files);
    all.insert(all.end(), folders.begin() + 1, folders.end());
    return all;
  };
  for (int step = 0; step < steps; ++step) {
    std::vector<std::u16string> all = items();
    std::u16string path = all[random() % all.size()];
    std::u16string key = Lower(path);
    int op = static_cast<int>(random() % 10);
    SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + " " + vws::ToAnsi(path));
    TPath pidl(path);
    ASSERT_NE(pidl.Get(), nullptr);
    if (op < 4) {
      TStorageKinds kinds = random() % 3 == 0 ? TStorageKinds{skColumnLayout} : TStorageKinds{skCheckState};
      TNodeStorage* record = storage->Store(pidl.Get(), kinds);
      ASSERT_NE(record, nullptr);
      TCheckState state = random() % 2 ? csCheckedNormal : csMixedNormal;
      record->Storage.CheckState = state;
      model[key].kinds += kinds;
      model[key].state = state;
    } else if (op < 7) {
      TStorageKinds kinds = random() % 2 ? TStorageKinds{skCheckState} : TStorageKinds{skCheckState, skColumnLayout};
      bool force = random() % 4 == 0;
      storage->Delete(pidl.Get(), kinds, force, false);
      auto found = model.find(key);
      if (found != model.end()) {
        found->second.kinds -= kinds;
        if (found->second.kinds.Empty()) model.erase(found);
      }
      if (force) {
        model.erase(key);
        for (auto it = model.lower_bound(key + u"\\"); it != model.end() && it->first.rfind(key + u"\\", 0) == 0;)
          it = model.erase(it);
      }
    } else if (op < 9) {
      // Rename on disk, then re-key the record (with everything below it).
      bool isFolder = (GetFileAttributesW(shelltest::W(path)) & FILE_ATTRIBUTE_DIRECTORY) != 0;
      std::u16string parent = path.substr(0, path.rfind(u'\\'));
      std::u16string target = parent + u"\\" + newName(isFolder);
      if (GetFileAttributesW(shelltest::W(target)) != INVALID_FILE_ATTRIBUTES) continue;
      if (!MoveFileW(shelltest::W(path), shelltest::W(target))) continue;
      TPath newPIDL(target);
      ASSERT_NE(newPIDL.Get(), nullptr);
      bool hadRecord = storage->ProcessNode(pidl.Get(), false) != nullptr;
      EXPECT_EQ(storage->Rename(pidl.Get(), newPIDL.Get()), hadRecord);
      std::u16string newKey = Lower(target);
      std::map<std::u16string, TRecordValue> moved;
      for (auto it = model.begin(); it != model.end();) {
        if (it->first == key || it->first.rfind(key + u"\\", 0) == 0) {
          moved[newKey + it->first.substr(key.size())] = it->second;
          it = model.erase(it);
        } else {
          ++it;
        }
      }
      model.insert(moved.begin(), moved.end());
      auto rename = [&](std::vector<std::u16string>& list) {
        for (std::u16string& p : list) {
          std::u16string lower = Lower(p);
          if (lower == key || lower.rfind(key + u"\\", 0) == 0) p = target + p.substr(path.size());
        }
      };
      rename(files);
      rename(folders);
    } else {
      // Lookups agree with the model.
      auto found = model.find(key);
      TNodeStorage* record = storage->Find(pidl.Get(), {skCheckState, skColumnLayout});
      EXPECT_EQ(record != nullptr, found != model.end());
    }
    std::string broken = CheckInvariant(storage);
    ASSERT_EQ(broken, "");
    ASSERT_EQ(StoredRecords(storage), model);
  }
  storage->Free();
}

// The shell's order is the whole signed 16-bit code of CompareIDs, and a
// failed call is no order at all.
namespace {

class TFakeFolder : public IShellFolder {
public:
  HRESULT answer = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return answer; }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override {
    return E_NOTIMPL;
  }
};

}  // namespace

TEST(NodeStorageOrder, CompareIDsIsReadInFull) {
  TFakeFolder folder;
  uint8_t a[] = {4, 0, 'a', 0, 0, 0};
  uint8_t b[] = {4, 0, 'b', 0, 0, 0};
  auto* pa = reinterpret_cast<LPCITEMIDLIST>(a);
  auto* pb = reinterpret_cast<LPCITEMIDLIST>(b);
  int order = 99;
  folder.answer = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0x0100);  // low byte 0, yet "after"
  ASSERT_TRUE(nodestorage::CompareIDs(&folder, pa, pb, order));
  EXPECT_EQ(order, 256);
  folder.answer = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0xFFFF);
  ASSERT_TRUE(nodestorage::CompareIDs(&folder, pa, pb, order));
  EXPECT_EQ(order, -1);
  folder.answer = E_FAIL;  // low byte 5 would read as "after"
  EXPECT_FALSE(nodestorage::CompareIDs(&folder, pa, pb, order));
  EXPECT_FALSE(nodestorage::CompareIDs(nullptr, pa, pb, order));

  // A list that the shell cannot order takes no insertion, and a lookup
  // still recognises the same bytes.
  TRootNodeStorage* root = New<TRootNodeStorage>();
  TNodeStorageList* list = New<TNodeStorageList>();
  list->Add(New<TNodeStorage>(NamespacePIDLManager->CopyPIDL(pa), root));
  EXPECT_EQ(nodestorage::NodeListBinarySearch(list, &folder, pb), -1);
  EXPECT_EQ(nodestorage::NodeListSearch(list, &folder, pa), 0);
  EXPECT_EQ(nodestorage::NodeListSearch(list, &folder, pb), -1);
  folder.answer = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  EXPECT_THROW(nodestorage::NodeListBinarySearch(list, &folder, pb), Exception);
  list->Free();
  root->Free();
}
