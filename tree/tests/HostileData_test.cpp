// Hostile data objects: node streams cut short, bytes changed, lying byte
// counts, wrong media and forged tree references, handed to a tree directly
// and through the system clipboard. The tree answers with its own error or
// inserts whole nodes, never anything else, and stays consistent.
// QV_LONG=1 runs 5,000 rounds instead of 300.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TreeTestSupport.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// Announces size bytes and gives zeros without end; counts what was read.
struct TEndlessStream : IStream {
  uint64_t size = 0, given = 0;
  ULONG references = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE Read(void* bytes, ULONG count, ULONG* read) override {
    std::memset(bytes, 0, count);
    given += *read = count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override { return *stat = STATSTG{}, stat->cbSize.QuadPart = size, S_OK; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER* at) override { return at->QuadPart = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

// Offers "Virtual Tree Data" as the given bytes (a block of exactly that size,
// or a stream) and optionally a tree reference.
class THostileData : public IDataObject {
public:
  std::vector<uint8_t> nodes;
  std::vector<uint8_t> reference;
  DWORD tymed = TYMED_HGLOBAL;
  TEndlessStream* endless = nullptr;  // handed out instead of the nodes as a stream

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
      *object = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    *medium = STGMEDIUM{};
    const std::vector<uint8_t>* bytes = nullptr;
    if (format->cfFormat == CF_VIRTUALTREE) bytes = &nodes;
    if (format->cfFormat == CF_VTREFERENCE && !reference.empty()) bytes = &reference;
    if (bytes == nullptr) return DV_E_FORMATETC;
    if (endless != nullptr && bytes == &nodes) {
      endless->AddRef();
      medium->tymed = TYMED_ISTREAM;
      medium->pstm = endless;
      return S_OK;
    }
    if (tymed == TYMED_ISTREAM && bytes == &nodes) {
      if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &medium->pstm))) return E_OUTOFMEMORY;
      medium->pstm->Write(bytes->data(), ULONG(bytes->size()), nullptr);
      LARGE_INTEGER zero{};
      medium->pstm->Seek(zero, STREAM_SEEK_SET, nullptr);
      medium->tymed = TYMED_ISTREAM;
      return S_OK;
    }
    if (tymed == TYMED_NULL && bytes == &nodes) {
      medium->tymed = TYMED_HGLOBAL;  // claims a block, hands none
      return S_OK;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes->size());
    if (block == nullptr) return E_OUTOFMEMORY;
    if (!bytes->empty()) {
      std::memcpy(GlobalLock(block), bytes->data(), bytes->size());
      GlobalUnlock(block);
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return format->cfFormat == CF_VIRTUALTREE ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> list = {{CF_VIRTUALTREE, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
    *formats = new TEnumFormatEtc(nullptr, list);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
  ULONG references = 1;
};

// The block a tree renders for its selection: byte count, then node chunks.
std::vector<uint8_t> RenderSelection(TBaseVirtualTree* tree) {
  FORMATETC format{CF_VIRTUALTREE, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (tree->RenderOLEData(format, medium, /*forClipboard=*/false) != S_OK) return {};
  auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
  std::vector<uint8_t> result(bytes, bytes + GlobalSize(medium.hGlobal));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return result;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  if (bytes.size() >= at + 4) std::memcpy(bytes.data() + at, &value, 4);
}

}  // namespace

TEST(HostileData, MalformedNodeStreamsGiveOnlyTheTreesError) {
  Application->Initialize();
  OleInitialize(nullptr);
  auto* form = New<TForm>(Application);
  auto* source = New<TVirtualStringTree>(form);
  auto* target = New<TVirtualStringTree>(form);
  for (TVirtualStringTree* tree : {source, target}) {
    tree->SetParent(form);
    tree->SetClipboardFormats({"Virtual Tree Data"});
    TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
    tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  }
  source->SetRootNodeCount(4);
  for (PVirtualNode run = source->GetFirst(); run != nullptr; run = source->GetNextSibling(run)) {
    source->SetChildCount(run, 3);
    source->SetExpanded(run, true);
  }
  source->SelectAll(false);
  const std::vector<uint8_t> valid = RenderSelection(source);
  ASSERT_GT(valid.size(), 40u);

  std::mt19937 random(2007);
  int rounds = std::getenv("QV_LONG") != nullptr ? 5000 : 300;
  int refused = 0, inserted = 0, empty = 0;
  TEndlessStream endless;
  DWORD self = GetCurrentProcessId();
  for (int round = 0; round < rounds; ++round) {
    auto* data = new THostileData;
    data->nodes = valid;
    switch (random() % 7) {
      case 0:  // cut short anywhere
        data->nodes.resize(random() % valid.size());
        break;
      case 1:  // a few bytes changed
        for (int i = 0, n = 1 + random() % 4; i < n; ++i) data->nodes[random() % valid.size()] = uint8_t(random());
        break;
      case 2:  // a byte count larger than the block
        PutU32(data->nodes, 0, uint32_t(valid.size() - 4 + 1 + random() % 100000));
        break;
      case 3:  // a byte count that ends inside a chunk
        PutU32(data->nodes, 0, uint32_t(random() % (valid.size() - 4)));
        break;
      case 4:  // a chunk size that lies
        PutU32(data->nodes, 4 + 4 * (1 + random() % 8), uint32_t(random()));
        break;
      case 5:  // the same data as a stream, cut short, or no block at all, or an endless stream
        data->tymed = random() % 4 == 0 ? TYMED_NULL : TYMED_ISTREAM;
        if (random() % 3 == 0) data->endless = &endless, endless.size = valid.size(), endless.given = 0;
        data->nodes.erase(data->nodes.begin(), data->nodes.begin() + 4);
        data->nodes.resize(random() % data->nodes.size());
        break;
      default:  // a forged tree: this process with a pointer that is no tree, or a short block
        data->reference.resize(random() % 3 == 0 ? 5 : 8);
        PutU32(data->reference, 0, self);
        PutU32(data->reference, 4, uint32_t(random()));
        break;
    }
    bool viaClipboard = random() % 2 == 0;
    try {
      bool result = false;
      if (viaClipboard) {
        ASSERT_EQ(OleSetClipboard(data), S_OK);
        result = target->PasteFromClipboard();
      } else {
        result = target->ProcessOLEData(target->GetTreeFromDataObject(data), data, nullptr, amAddChildLast,
                                        /*optimized=*/false);
      }
      (result ? inserted : empty)++;
    } catch (const EVirtualTreeError&) {
      ++refused;
    }
    if (viaClipboard) OleSetClipboard(nullptr);
    data->Release();
    ASSERT_EQ(CheckTreeInvariants(*target), "") << "round " << round;
    // Read no further than it announced, and one read more.
    ASSERT_LE(endless.given, valid.size() + 65536) << "round " << round;
    if (target->GetRootNodeCount() > 2000) target->Clear();
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(inserted, 0);
  std::printf("hostile data: %d rounds, %d refused, %d inserted, %d nothing\n", rounds, refused, inserted, empty);
  form->Free();
}
