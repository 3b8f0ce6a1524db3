// The OLE transport objects: the format enumerator's COM contract, the data
// object's answers (formats, stored media, the tree reference), forged and
// short references, the clipboard object outliving its tree, and the drag
// manager's drop-source answers and forwarding to the tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "core/SysUtils.h"
#include "tree/VirtualTrees.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

namespace {

FORMATETC Format(CLIPFORMAT id, DWORD tymed = TYMED_HGLOBAL, DWORD aspect = DVASPECT_CONTENT, LONG lindex = -1) {
  return FORMATETC{id, nullptr, aspect, lindex, tymed};
}

// Counts the releases of a medium's release interface.
class TReleaseCounter : public IUnknown {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

// A data object that answers one reference block of the given bytes and kind.
class TForgedReference : public IDataObject {
public:
  TForgedReference(std::vector<uint8_t> bytes_, DWORD tymed_ = TYMED_HGLOBAL) : bytes(std::move(bytes_)), tymed(tymed_) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format->cfFormat != CF_VTREFERENCE) return DV_E_FORMATETC;
    *medium = STGMEDIUM{};
    if (tymed == TYMED_ISTREAM) {
      medium->tymed = TYMED_ISTREAM;
      CreateStreamOnHGlobal(nullptr, TRUE, &medium->pstm);
      medium->pstm->Write(bytes.data(), ULONG(bytes.size()), nullptr);
      return S_OK;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!bytes.empty()) std::memcpy(GlobalLock(block), bytes.data(), bytes.size()), GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return DV_E_FORMATETC; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
  std::vector<uint8_t> bytes;
  DWORD tymed;
};

std::vector<uint8_t> Reference(uint32_t process, const void* tree) {
  uint32_t words[2] = {process, uint32_t(reinterpret_cast<uintptr_t>(tree))};
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), words, 8);
  return bytes;
}

// A draw tree whose drop-target operations record what the drag manager forwarded.
class TRecordingTree : public TVirtualDrawTree {
public:
  HRESULT DragEnter(DWORD keyState, TPoint pt, int& effect) override {
    log += "enter(" + std::to_string(pt.X) + "," + std::to_string(pt.Y) + ")";
    effect = DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT DragOver(TObject* source, DWORD, TDragStateKind state, TPoint, int& effect) override {
    log += std::string("over(") + (source == this ? "self" : source ? "tree" : "none") + "," +
           std::to_string(int(state)) + ")";
    effect = DROPEFFECT_MOVE;
    return S_OK;
  }
  void DragLeave() override { log += "leave"; }
  HRESULT DragDrop(IDataObject* data, DWORD, TPoint, int& effect) override {
    log += "drop";
    effect = DROPEFFECT_COPY;
    return data != nullptr ? S_OK : E_FAIL;
  }
  std::string log;
};

struct DataObjectTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetClipboardFormats({"Virtual Tree Data", "CSV", "Rich Text Format", "HTML Format", "No Such Format"});
    tree->SetRootNodeCount(3);
  }
  void TearDown() override {
    if (form != nullptr) form->Free();
    OleSetClipboard(nullptr);
  }
  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
};

}  // namespace

TEST(FormatEnumerator, NextAndSkipKeepTheComContract) {
  std::vector<FORMATETC> formats = {Format(1), Format(2), Format(3)};
  auto* enumerator = new TEnumFormatEtc(nullptr, formats);
  FORMATETC got[4] = {};
  ULONG fetched = 99;
  EXPECT_EQ(enumerator->Next(2, got, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(got[1].cfFormat, 2);
  // Fewer than asked: S_FALSE with the count copied.
  EXPECT_EQ(enumerator->Next(2, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(got[0].cfFormat, 3);
  EXPECT_EQ(enumerator->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  // Without a count only one entry may be asked for.
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(2, got, nullptr), E_INVALIDARG);
  EXPECT_EQ(enumerator->Next(1, got, nullptr), S_OK);

  // Skipping to exactly the end is fine; beyond it fails without moving.
  EXPECT_EQ(enumerator->Skip(2), S_OK);
  EXPECT_EQ(enumerator->Next(1, got, &fetched), S_FALSE);
  enumerator->Reset();
  EXPECT_EQ(enumerator->Skip(4), S_FALSE);
  EXPECT_EQ(enumerator->Skip(1), S_OK);
  IEnumFORMATETC* clone = nullptr;
  ASSERT_EQ(enumerator->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Next(1, got, &fetched), S_OK);
  EXPECT_EQ(got[0].cfFormat, 2);
  EXPECT_EQ(clone->Release(), 0u);
  EXPECT_EQ(enumerator->Release(), 0u);
}

TEST(FormatEnumerator, ATargetDeviceIsCopiedForTheCaller) {
  auto* device = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(sizeof(DVTARGETDEVICE) + 4));
  std::memset(device, 0, sizeof(DVTARGETDEVICE) + 4);
  device->tdSize = sizeof(DVTARGETDEVICE) + 4;
  FORMATETC entry = Format(5);
  entry.ptd = device;
  auto* enumerator = new TEnumFormatEtc(nullptr, {entry});
  FORMATETC got{};
  ASSERT_EQ(enumerator->Next(1, &got, nullptr), S_OK);
  ASSERT_NE(got.ptd, nullptr);
  EXPECT_NE(got.ptd, device);
  EXPECT_EQ(std::memcmp(got.ptd, device, device->tdSize), 0);
  CoTaskMemFree(got.ptd);
  enumerator->Release();
  CoTaskMemFree(device);
}

TEST_F(DataObjectTest, OffersTheTreesFormatsByPriorityAndAnswersQueries) {
  auto* data = new TVTDataObject(tree, /*forClipboard=*/false);
  std::vector<CLIPFORMAT> ids;
  for (const FORMATETC& f : data->FormatEtcArray()) ids.push_back(f.cfFormat);
  // "No Such Format" is no registered format and is not offered.
  std::vector<CLIPFORMAT> expected = {CF_VIRTUALTREE, CF_HTML, CF_VRTF, CF_CSV};
  EXPECT_EQ(ids, expected);

  FORMATETC query = Format(CF_VIRTUALTREE);
  EXPECT_EQ(data->QueryGetData(&query), S_OK);
  query = Format(CF_VIRTUALTREE, TYMED_GDI);
  EXPECT_EQ(data->QueryGetData(&query), DV_E_TYMED);
  query = Format(CF_VIRTUALTREE, TYMED_HGLOBAL, DVASPECT_CONTENT, 3);
  EXPECT_EQ(data->QueryGetData(&query), DV_E_LINDEX);
  query = Format(CF_VIRTUALTREE, TYMED_HGLOBAL, DVASPECT_ICON);
  EXPECT_EQ(data->QueryGetData(&query), DV_E_DVASPECT);
  query = Format(CF_BITMAP);
  EXPECT_EQ(data->QueryGetData(&query), DV_E_FORMATETC);
  // The reference is answered but never offered.
  query = Format(CF_VTREFERENCE);
  EXPECT_EQ(data->QueryGetData(&query), DV_E_FORMATETC);

  IEnumFORMATETC* formats = nullptr;
  EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &formats), OLE_S_USEREG);
  EXPECT_EQ(formats, nullptr);
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
  FORMATETC all[8] = {};
  ULONG fetched = 0;
  EXPECT_EQ(formats->Next(8, all, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 4u);
  formats->Release();

  IEnumSTATDATA* advise = reinterpret_cast<IEnumSTATDATA*>(1);
  EXPECT_EQ(data->EnumDAdvise(&advise), OLE_E_ADVISENOTSUPPORTED);
  EXPECT_EQ(advise, nullptr);
  EXPECT_EQ(data->DUnadvise(1), E_NOTIMPL);
  FORMATETC canonical{};
  EXPECT_EQ(data->GetCanonicalFormatEtc(&query, &canonical), DATA_S_SAMEFORMATETC);
  EXPECT_EQ(data->GetDataHere(&query, nullptr), E_NOTIMPL);
  EXPECT_EQ(data->Release(), 0u);
}

TEST_F(DataObjectTest, RendersTheSelectedNodesAndNamesItsTree) {
  tree->SetSelected(tree->GetFirst(), true);
  auto* data = new TVTDataObject(tree, /*forClipboard=*/false);
  FORMATETC format = Format(CF_VIRTUALTREE);
  STGMEDIUM medium{};
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  ASSERT_EQ(medium.tymed, DWORD(TYMED_HGLOBAL));
  auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
  uint32_t count = 0;
  std::memcpy(&count, bytes, 4);
  EXPECT_GE(GlobalSize(medium.hGlobal), count + 4);
  int32_t chunkType = 0;
  std::memcpy(&chunkType, bytes + 4, 4);
  EXPECT_EQ(chunkType, 1);  // one node chunk
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);

  EXPECT_EQ(tree->GetTreeFromDataObject(data), tree);
  format = Format(CF_VTREFERENCE);
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  auto* words = static_cast<const uint32_t*>(GlobalLock(medium.hGlobal));
  EXPECT_EQ(words[0], GetCurrentProcessId());
  EXPECT_EQ(words[1], uint32_t(reinterpret_cast<uintptr_t>(tree)));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  data->Release();
}

TEST_F(DataObjectTest, OnlyALiveTreeOfThisProcessIsBelieved) {
  DWORD self = GetCurrentProcessId();
  int notATree = 0;
  TForgedReference live(Reference(self, tree));
  EXPECT_EQ(tree->GetTreeFromDataObject(&live), tree);
  TForgedReference otherProcess(Reference(self + 4, tree));
  EXPECT_EQ(tree->GetTreeFromDataObject(&otherProcess), nullptr);
  TForgedReference forged(Reference(self, &notATree));
  EXPECT_EQ(tree->GetTreeFromDataObject(&forged), nullptr);
  TForgedReference nullTree(Reference(self, nullptr));
  EXPECT_EQ(tree->GetTreeFromDataObject(&nullTree), nullptr);
  std::vector<uint8_t> shortBlock = Reference(self, tree);
  shortBlock.resize(6);
  TForgedReference truncated(shortBlock);
  EXPECT_EQ(tree->GetTreeFromDataObject(&truncated), nullptr);
  TForgedReference asStream(Reference(self, tree), TYMED_ISTREAM);
  EXPECT_EQ(tree->GetTreeFromDataObject(&asStream), nullptr);
  EXPECT_EQ(tree->GetTreeFromDataObject(nullptr), nullptr);

  // A tree that went is no longer named.
  auto* gone = New<TVirtualStringTree>(form);
  TForgedReference stale(Reference(self, gone));
  EXPECT_EQ(tree->GetTreeFromDataObject(&stale), gone);
  gone->Free();
  EXPECT_EQ(tree->GetTreeFromDataObject(&stale), nullptr);
}

TEST_F(DataObjectTest, StoredMediaAreKeptReleasedOnceAndSharedWithReaders) {
  auto* data = new TVTDataObject(tree, /*forClipboard=*/false);
  CLIPFORMAT custom = CLIPFORMAT(RegisterClipboardFormatA("Quorvanell Test Data"));
  FORMATETC format = Format(custom);
  TReleaseCounter first, second;
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 4);
  medium.pUnkForRelease = &first;
  ASSERT_EQ(data->SetData(&format, &medium, TRUE), S_OK);
  EXPECT_EQ(data->QueryGetData(&format), S_OK);
  medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 4);
  medium.pUnkForRelease = &second;
  // The second store under the same format releases the first medium.
  ASSERT_EQ(data->SetData(&format, &medium, TRUE), S_OK);
  EXPECT_EQ(first.references, 0u);
  EXPECT_EQ(second.references, 1u);

  // A reader shares the block; its release goes to the data object.
  STGMEDIUM read{};
  ASSERT_EQ(data->GetData(&format, &read), S_OK);
  EXPECT_EQ(read.hGlobal, medium.hGlobal);
  EXPECT_EQ(read.pUnkForRelease, static_cast<IUnknown*>(data));
  ReleaseStgMedium(&read);

  // A copied store owns its copy.
  HGLOBAL original = GlobalAlloc(GMEM_MOVEABLE, 3);
  std::memcpy(GlobalLock(original), "abc", 3);
  GlobalUnlock(original);
  STGMEDIUM copied{};
  copied.tymed = TYMED_HGLOBAL;
  copied.hGlobal = original;
  ASSERT_EQ(data->SetData(&format, &copied, FALSE), S_OK);
  EXPECT_EQ(second.references, 0u);
  ASSERT_EQ(data->GetData(&format, &read), S_OK);
  EXPECT_NE(read.hGlobal, original);
  EXPECT_EQ(std::memcmp(GlobalLock(read.hGlobal), "abc", 3), 0);
  GlobalUnlock(read.hGlobal);
  ReleaseStgMedium(&read);
  GlobalFree(original);
  STGMEDIUM gdi{};
  gdi.tymed = TYMED_GDI;
  EXPECT_EQ(data->SetData(&format, &gdi, FALSE), DV_E_TYMED);
  EXPECT_EQ(data->Release(), 0u);
}

TEST_F(DataObjectTest, AClipboardObjectEndsTheCopyUnlessTheTreeFlushes) {
  tree->SetSelected(tree->GetFirst(), true);
  tree->CopyToClipBoard();
  ASSERT_TRUE(tree->TreeStates().Contains(tsCopyPending));
  // Emptying the clipboard lets the tree's object go: the marks go with it.
  OleSetClipboard(nullptr);
  tree->Clear();
  EXPECT_FALSE(tree->TreeStates().Contains(tsCopyPending));

  auto* data = new TVTDataObject(tree, /*forClipboard=*/true);
  tree->SetRootNodeCount(2);
  tree->SetSelected(tree->GetFirst(), true);
  tree->CopyToClipBoard();
  data->Release();  // another clipboard object going ends the copy
  EXPECT_FALSE(tree->TreeStates().Contains(tsCopyPending));
}

TEST_F(DataObjectTest, DataOnTheClipboardOutlivesItsTree) {
  auto* other = New<TVirtualStringTree>(form);
  other->SetParent(form);
  tree->SetSelected(tree->GetFirst(), true);
  tree->CopyToClipBoard();
  IDataObject* dragData = new TVTDataObject(tree, /*forClipboard=*/false);
  tree->Free();
  tree = nullptr;
  // The drag object answers without its tree; the clipboard holds rendered copies.
  FORMATETC format = Format(CF_VIRTUALTREE);
  STGMEDIUM medium{};
  EXPECT_EQ(dragData->GetData(&format, &medium), E_FAIL);
  format = Format(CF_VTREFERENCE);
  EXPECT_EQ(dragData->GetData(&format, &medium), E_FAIL);
  dragData->Release();
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_VIRTUALTREE));
  CloseClipboard();
  EXPECT_TRUE(other->PasteFromClipboard());
  EXPECT_EQ(other->GetRootNodeCount(), 1u);
}

TEST(DragManager, DropSourceAnswersAndInterfaces) {
  Application->Initialize();
  OleInitialize(nullptr);
  auto* form = New<TForm>(Application);
  auto* tree = New<TRecordingTree>(form);
  tree->SetParent(form);
  IVTDragManager* manager = tree->GetDragManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(tree->GetDragManager(), manager);
  IDropSource* source = nullptr;
  ASSERT_EQ(manager->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&source)), S_OK);
  EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), S_OK);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
  EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  source->Release();

  // Without a drag the manager makes a data object of the tree.
  IDataObject* made = manager->GetDataObject();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(tree->GetTreeFromDataObject(made), tree);

  IDropTarget* target = nullptr;
  ASSERT_EQ(manager->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)), S_OK);
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(target->DragEnter(made, MK_LBUTTON, POINTL{5, 6}, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  EXPECT_TRUE(manager->GetIsDropTarget());
  EXPECT_EQ(manager->GetDragSource(), tree);
  IDataObject* during = manager->GetDataObject();
  EXPECT_EQ(during, made);
  during->Release();
  EXPECT_EQ(target->DragOver(MK_LBUTTON, POINTL{7, 8}, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
  EXPECT_EQ(target->DragLeave(), S_OK);
  EXPECT_FALSE(manager->GetIsDropTarget());
  EXPECT_EQ(manager->GetDragSource(), nullptr);
  EXPECT_EQ(target->DragEnter(made, MK_LBUTTON, POINTL{1, 1}, &effect), S_OK);
  EXPECT_EQ(target->Drop(made, 0, POINTL{1, 1}, &effect), S_OK);
  EXPECT_FALSE(manager->GetIsDropTarget());
  EXPECT_EQ(tree->log, "enter(5,6)over(self,2)leaveenter(1,1)drop");

  // A tree that goes leaves a manager that refuses drops.
  form->Free();
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->DragEnter(made, MK_LBUTTON, POINTL{1, 1}, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  EXPECT_EQ(target->Drop(made, 0, POINTL{1, 1}, &effect), E_FAIL);
  EXPECT_EQ(target->Release(), 0u);
  made->Release();
}

std::vector<std::string> Names(TStrings* list) {
  std::vector<std::string> names;
  for (int i = 0; i < list->Count(); ++i) names.push_back(list->Strings(i));
  return names;
}

TEST_F(DataObjectTest, TheFormatListTakesOnlyNamesTheTreeCanRender) {
  tree->SetClipboardFormats({"Virtual Tree Data", "csv", "Virtual Tree Data", "Virtual Tree Reference", "Nothing"});
  TClipboardFormats* list = tree->ClipboardFormats();
  EXPECT_EQ(Names(list), (std::vector<std::string>{"csv", "Virtual Tree Data"}));
  EXPECT_EQ(list->Add("HTML Format"), 1);
  EXPECT_EQ(list->Add("CSV"), 0);  // already there
  EXPECT_EQ(list->Add("Nothing"), -1);
  // Insert: an unknown name adds nothing; a known one is refused by the sorted list.
  std::vector<std::string> before = Names(list);
  list->Insert(0, "Nothing");
  EXPECT_EQ(Names(list), before);
  EXPECT_THROW(list->Insert(0, "Rich Text Format"), EStringListError);
  EXPECT_EQ(Names(list), before);
  auto* drawTree = New<TVirtualDrawTree>(form);
  EXPECT_EQ(drawTree->ClipboardFormats()->Add("CSV"), -1);  // the string tree's format
  EXPECT_EQ(drawTree->ClipboardFormats()->Add("virtual tree data"), 0);
  TFormatEtcArray formats;
  drawTree->GetNativeClipboardFormats(formats);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(formats[0].cfFormat, CF_VIRTUALTREE);
}

// Random format lists stated in form definitions, for a string tree and a
// draw tree, against a model of what each tree takes: the list read, the
// formats its data object offers, and the list written and read again.
TEST_F(DataObjectTest, FormDefinitionsCarryTheFormatListToTheDataObject) {
  struct Known {
    const char* name;
    CLIPFORMAT id;
    bool stringTreeOnly;
  };
  const Known known[] = {{"Virtual Tree Data", CF_VIRTUALTREE, false}, {"HTML Format", CF_HTML, true},
                         {"Rich Text Format Without Objects", CF_VRTFNOOBJS, true},
                         {"Rich Text Format", CF_VRTF, true}, {"CSV", CF_CSV, true}};  // by priority
  const std::vector<std::string> pool = {"Virtual Tree Data", "virtual tree DATA", "HTML Format", "csv", "CSV",
                                         "Rich Text Format", "Rich Text Format Without Objects",
                                         "Virtual Tree Reference", "Nothing", ""};
  std::mt19937 random(31);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> stated;
    for (int n = int(random() % 6); n > 0; --n) stated.push_back(pool[random() % pool.size()]);
    std::string list;
    for (const std::string& name : stated) list += (list.empty() ? "\"" : ", \"") + name + "\"";
    std::string text = "TForm Holder {\n  TVirtualStringTree Strings { ClipboardFormats = (" + list +
                       "); }\n  TVirtualDrawTree Drawn { ClipboardFormats = (" + list + "); }\n}\n";
    TForm* holder = qvtest::NewFormFromText<TForm>(text);
    for (bool stringTree : {true, false}) {
      SCOPED_TRACE("round " + std::to_string(round) + (stringTree ? " string tree" : " draw tree") + ": " + list);
      // Model: the first spelling of each name the tree renders, sorted without regard to case.
      std::vector<std::string> names;
      std::vector<CLIPFORMAT> ids;
      for (const Known& k : known) {
        if (k.stringTreeOnly && !stringTree) continue;
        auto first = std::find_if(stated.begin(), stated.end(), [&](const std::string& s) { return SameText(s, k.name); });
        if (first == stated.end()) continue;
        names.push_back(*first);
        ids.push_back(k.id);
      }
      std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
      auto* read = qvtest::Find<TBaseVirtualTree>(holder, stringTree ? "Strings" : "Drawn");
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(Names(read->ClipboardFormats()), names);
      auto* data = new TVTDataObject(read, /*forClipboard=*/false);
      std::vector<CLIPFORMAT> offered;
      for (const FORMATETC& f : data->FormatEtcArray()) offered.push_back(f.cfFormat);
      data->Release();
      EXPECT_EQ(offered, ids);
    }
    std::string written = WriteFormDefinition(holder);
    holder->Free();
    TForm* again = qvtest::NewFormFromText<TForm>(written);
    EXPECT_EQ(WriteFormDefinition(again), written);
    again->Free();
  }
}

TEST_F(DataObjectTest, AFormatEnumeratorOutlivesItsDataObject) {
  auto* data = new TVTDataObject(tree, /*forClipboard=*/false);
  CLIPFORMAT custom = CLIPFORMAT(RegisterClipboardFormatA("Quorvanell Device Data"));
  constexpr DWORD kDeviceSize = sizeof(DVTARGETDEVICE) + 12;
  auto* device = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(kDeviceSize));
  std::memset(device, 0x5A, kDeviceSize);
  device->tdSize = kDeviceSize;
  FORMATETC format = Format(custom);
  format.ptd = device;
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 4);
  ASSERT_EQ(data->SetData(&format, &medium, TRUE), S_OK);
  IEnumFORMATETC* formats = nullptr;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
  data->Release();
  // What the data object freed is taken by others and written over.
  std::vector<void*> others;
  for (int i = 0; i < 16; ++i) {
    others.push_back(CoTaskMemAlloc(kDeviceSize));
    std::memset(others.back(), 0xEE, kDeviceSize);
  }
  FORMATETC got{};
  bool found = false;
  while (formats->Next(1, &got, nullptr) == S_OK) {
    if (got.cfFormat == custom) {
      found = true;
      ASSERT_NE(got.ptd, nullptr);
      EXPECT_EQ(std::memcmp(got.ptd, device, kDeviceSize), 0);
    }
    CoTaskMemFree(got.ptd);
  }
  EXPECT_TRUE(found);
  // A clone holds its own copies too.
  formats->Reset();
  IEnumFORMATETC* clone = nullptr;
  ASSERT_EQ(formats->Clone(&clone), S_OK);
  EXPECT_EQ(formats->Release(), 0u);
  found = false;
  while (clone->Next(1, &got, nullptr) == S_OK) {
    if (got.cfFormat == custom) found = got.ptd != nullptr && std::memcmp(got.ptd, device, kDeviceSize) == 0;
    CoTaskMemFree(got.ptd);
  }
  EXPECT_TRUE(found);
  clone->Release();
  for (void* block : others) CoTaskMemFree(block);
  CoTaskMemFree(device);
}
