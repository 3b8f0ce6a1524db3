// Shell items over a folder that fails: attributes, comparisons and names.
#include <gtest/gtest.h>

#include "shell/ExactNames.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"

namespace {

// A folder whose GetAttributesOf fails while setting every bit it is given,
// and whose CompareIDs answers a chosen result.
class TFailingFolder : public IShellFolder {
public:
  HRESULT compareResult = E_FAIL;
  ULONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IShellFolder) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
    return compareResult;
  }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* inOut) override {
    *inOut = 0xFFFFFFFF;
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override {
    return E_FAIL;
  }
};

// An item whose parent folder is the failing folder.
class TItemOfFailingFolder : public TNamespace {
public:
  TFailingFolder* folder = nullptr;
  IShellFolder* ParentShellFolder() override { return folder; }
};

LPITEMIDLIST OneID(uint8_t tag) {
  uint8_t bytes[] = {4, 0, tag, tag, 0, 0};
  auto* pidl = static_cast<LPITEMIDLIST>(CoTaskMemAlloc(sizeof bytes));
  memcpy(pidl, bytes, sizeof bytes);
  return pidl;
}

struct FaultFixture : ::testing::Test {
  TFailingFolder folder;
  TItemOfFailingFolder* item = New<TItemOfFailingFolder>(OneID(1), static_cast<TNamespace*>(nullptr));
  LPITEMIDLIST other = OneID(2);
  FaultFixture() { item->folder = &folder; }
  ~FaultFixture() override {
    item->Free();
    CoTaskMemFree(other);
  }
};

}  // namespace

TEST_F(FaultFixture, FailedAttributeQueryAnswersFalseForEveryAttribute) {
  EXPECT_FALSE(item->TestAttributesOf(SFGAO_FILESYSTEM));
  EXPECT_FALSE(item->TestAttributesOf(0));
  EXPECT_FALSE(item->FileSystem());
  EXPECT_FALSE(item->Folder());
  EXPECT_FALSE(item->CanDelete());
  EXPECT_FALSE(item->CanRename());
  EXPECT_FALSE(item->Link());
  EXPECT_FALSE(item->ReadOnly());
  EXPECT_FALSE(item->Archive());
  EXPECT_EQ(item->SizeOfFileInt64(), 0);
  EXPECT_EQ(item->AttributesString(), u"");
  EXPECT_EQ(item->NameNormal(), u"");
  EXPECT_FALSE(item->SetNameOf(u"x"));
  EXPECT_EQ(item->DetailsDefaultOf(2), u"System Folder");
}

TEST_F(FaultFixture, ComparisonReadsTheWholeSignedCode) {
  struct Case {
    HRESULT hr;
    int expected;
  } cases[] = {
      {MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), 0},
      {MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0x0100), 256},  // low byte 0, yet not equal
      {MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0xFFFF), -1},
      {MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0xFF00), -256},
      {MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), 1},
  };
  for (const Case& c : cases) {
    folder.compareResult = c.hr;
    EXPECT_EQ(item->ComparePIDL(other, /*siblingCheck=*/false, 0), c.expected) << std::hex << c.hr;
  }
}

TEST_F(FaultFixture, AFailedComparisonStillOrdersBothWaysAlike) {
  TItemOfFailingFolder* second = New<TItemOfFailingFolder>(OneID(2), static_cast<TNamespace*>(nullptr));
  second->folder = &folder;
  LPITEMIDLIST mine = OneID(1);
  LPITEMIDLIST same = OneID(2);
  for (HRESULT failure : {E_FAIL, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0)}) {
    folder.compareResult = failure;
    // A failure is never "equal" for different items, and the two ways disagree in sign.
    int forth = item->ComparePIDL(other, false, 0);
    int back = second->ComparePIDL(mine, false, 0);
    EXPECT_NE(forth, 0) << std::hex << failure;
    EXPECT_EQ(forth, -back) << std::hex << failure;
    // The same ID is equal to itself.
    EXPECT_EQ(second->ComparePIDL(same, false, 0), 0);
  }
  CoTaskMemFree(mine);
  CoTaskMemFree(same);
  second->Free();
}

TEST_F(FaultFixture, AnItemWhoseFolderCannotBeBoundIsEqualOnlyToItself) {
  // The folder has gone: the IDs' bytes order the items (a walk must not take every child for the one it seeks).
  item->folder = nullptr;
  LPITEMIDLIST mine = OneID(1);
  EXPECT_NE(item->ComparePIDL(other, false, 0), 0);
  EXPECT_NE(item->ComparePIDL(other, false, 3), 0);
  EXPECT_EQ(item->ComparePIDL(mine, false, 0), 0);
  CoTaskMemFree(mine);
}

TEST_F(FaultFixture, TheFolderOrderIsAnOrderWhenTheFolderCannotCompare) {
  LPITEMIDLIST ids[] = {OneID(1), OneID(2), OneID(3)};
  for (IShellFolder* shellFolder : {static_cast<IShellFolder*>(&folder), static_cast<IShellFolder*>(nullptr)}) {
    folder.compareResult = E_FAIL;
    for (LPITEMIDLIST a : ids) {
      EXPECT_EQ(exactnames::OrderInFolder(shellFolder, a, a), 0);
      for (LPITEMIDLIST b : ids) {
        if (a == b) continue;
        int forth = exactnames::OrderInFolder(shellFolder, a, b);
        EXPECT_NE(forth, 0);
        EXPECT_EQ(forth, -exactnames::OrderInFolder(shellFolder, b, a));
      }
    }
    // Transitive too: 1 < 2 < 3 the same way round.
    EXPECT_EQ(exactnames::OrderInFolder(shellFolder, ids[0], ids[1]), exactnames::OrderInFolder(shellFolder, ids[1], ids[2]));
  }
  for (LPITEMIDLIST id : ids) CoTaskMemFree(id);
}

namespace {

// A folder that binds to itself, validates every item and records the flags
// it is asked to enumerate with (it has no children).
class TRecordingFolder : public TFailingFolder {
public:
  SHCONTF asked = 0;
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) override {
    asked = flags;
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** out) override {
    *out = static_cast<IShellFolder*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* inOut) override {
    *inOut &= SFGAO_VALIDATE;
    return S_OK;
  }
};

class TItemOfRecordingFolder : public TNamespace {
public:
  TRecordingFolder* folder = nullptr;
  IShellFolder* ParentShellFolder() override { return folder; }
};

bool AcceptChild(HWND, LPITEMIDLIST child, TNamespace*, void*, bool&) {
  CoTaskMemFree(child);
  return true;
}

}  // namespace

TEST(NamespaceEnumeration, ExtendedEnumerationAsksWithEveryFlagOfItsFileObjects) {
  TRecordingFolder folder;
  auto* item = New<TItemOfRecordingFolder>(OneID(3), static_cast<TNamespace*>(nullptr));
  item->folder = &folder;
  TFileObjects all{foFolders, foNonFolders, foHidden, foShareable, foNetworkPrinters};
  item->EnumerateFolderEx(nullptr, all, TEnumFolderCallback(&AcceptChild), nullptr);
  // Shareable items and network printers are asked for where the platform knows them.
  EXPECT_EQ(folder.asked, FileObjectsToFlags(all));
  EXPECT_NE(folder.asked & SHCONTF_SHAREABLE, 0u);
  item->EnumerateFolder(nullptr, true, false, true, TEnumFolderCallback(&AcceptChild), nullptr);
  EXPECT_EQ(folder.asked, DWORD(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN));
  item->Free();
  // A folder that gives no list on S_FALSE is empty; one whose listing fails tells so.
  std::vector<LPITEMIDLIST> ids;
  EXPECT_TRUE(ListFolderIDs(&folder, nullptr, 0, ids) && ids.empty());
  TFailingFolder failing;
  EXPECT_FALSE(ListFolderIDs(&failing, nullptr, 0, ids));
}
