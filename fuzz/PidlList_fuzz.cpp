// PIDL list streams (untrusted: saved views, the clipboard) and the copies
// made of what they hold, with the shell allocator failing at a chosen call:
// a stream loads or is refused; every item loaded is a whole, well-formed
// PIDL or null (a nil entry is stored with size 0); a list saves and loads back byte for byte; and a copy or
// append either raises std::bad_alloc or gives exactly the bytes asked for,
// never the desktop (an empty PIDL) or a shorter PIDL.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/MemoryStream.h"
#include "shell/VirtualPIDLTools.h"

namespace {

// Fails the allocation numbered failAt (1-based; 0: none fails).
class TFuzzMalloc : public IMalloc {
public:
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  void* Alloc(SIZE_T size) override {
    if (failAt != 0 && ++calls == failAt) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
  }
  void Free(void* block) override { std::free(block); }
  uint32_t failAt = 0;
  uint32_t calls = 0;
};

TFuzzMalloc gMalloc;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "PidlList_fuzz: %s\n", what);
  std::abort();
}

std::vector<uint8_t> BytesOf(TPIDLManager* m, LPCITEMIDLIST pidl) {
  auto* p = reinterpret_cast<const uint8_t*>(pidl);
  return std::vector<uint8_t>(p, p + m->PIDLSize(pidl));
}

std::vector<uint8_t> StreamBytes(TMemoryStream& stream) {
  auto* p = static_cast<const uint8_t*>(stream.Memory());
  return std::vector<uint8_t>(p, p + stream.Size());
}

}  // namespace

HRESULT SHGetMalloc(IMalloc** allocator) {
  *allocator = &gMalloc;
  return S_OK;
}

TPIDLManager* GlobalPIDLManager = nullptr;

namespace vst {
bool ILIsEqual(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  if (pidl1 == nullptr || pidl2 == nullptr) return false;
  TPIDLManager m;
  uint32_t size = m.PIDLSize(pidl1);
  return size == m.PIDLSize(pidl2) && std::memcmp(pidl1, pidl2, size) == 0;
}
bool ILIsParent(LPCITEMIDLIST, LPCITEMIDLIST, bool) { return false; }
}  // namespace vst

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  gMalloc.failAt = data[0] % 16;
  gMalloc.calls = 0;
  TMemoryStream stream;
  if (size > 1) stream.WriteBuffer(data + 1, static_cast<int32_t>(size - 1));
  stream.SetPosition(0);
  TPIDLList* list = New<TPIDLList>();
  TPIDLManager* m = list->PIDLManager();
  bool loaded = list->LoadFromStream(&stream);
  for (int i = 0; i < list->Count(); ++i) {
    LPITEMIDLIST pidl = list->Items(i);
    if (pidl == nullptr) continue;
    // Loaded blocks hold a chain that ends inside them (checked on loading).
    m->IDCount(pidl);
  }
  if (loaded) {
    TMemoryStream saved;
    if (!list->SaveToStream(&saved)) Fail("a loaded list does not save");
    saved.SetPosition(0);
    gMalloc.failAt = 0;
    TPIDLList* again = New<TPIDLList>();
    if (!again->LoadFromStream(&saved)) Fail("a saved list does not load");
    TMemoryStream resaved;
    again->SaveToStream(&resaved);
    if (StreamBytes(resaved) != StreamBytes(saved)) Fail("a list does not load back byte for byte");
    again->Free();
  }
  // Copies with the allocator failing again at some call.
  gMalloc.failAt = size > 1 ? data[size - 1] % 8 : 0;
  gMalloc.calls = 0;
  TPIDLList* copies = New<TPIDLList>();
  for (int i = 0; i < list->Count(); ++i) {
    LPITEMIDLIST pidl = list->Items(i);
    if (pidl == nullptr) continue;
    try {
      copies->CopyAdd(pidl);
      if (BytesOf(m, copies->Items(copies->Count() - 1)) != BytesOf(m, pidl)) Fail("a copy differs");
    } catch (const std::bad_alloc&) {
    }
    try {
      LPITEMIDLIST both = m->AppendPIDL(pidl, pidl);
      if (m->IDCount(both) != 2 * m->IDCount(pidl)) Fail("an append lost IDs");
      if (m->PIDLSize(both) != 2 * m->PIDLSize(pidl) - 2) Fail("an append has the wrong size");
      m->FreePIDL(both);
    } catch (const std::bad_alloc&) {
    }
  }
  gMalloc.failAt = 0;
  copies->Free();
  list->Free();
  return 0;
}
