// TEnumFormatEtc: IEnumFORMATETC over a copied list of formats.
#include <cstring>

#include "tree/VirtualTrees.h"

TEnumFormatEtc::TEnumFormatEtc(TBaseVirtualTree* tree_, std::vector<FORMATETC> formats_, size_t current_)
    : tree(tree_), formats(std::move(formats_)), current(current_ > formats.size() ? formats.size() : current_) {
  for (FORMATETC& entry : formats) {
    if (entry.ptd == nullptr) continue;
    DVTARGETDEVICE* device = nullptr;
    if (entry.ptd->tdSize >= sizeof(DVTARGETDEVICE))
      device = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(entry.ptd->tdSize));
    if (device != nullptr) std::memcpy(device, entry.ptd, entry.ptd->tdSize);
    complete = complete && device != nullptr;
    entry.ptd = device;
  }
}

TEnumFormatEtc::~TEnumFormatEtc() {
  for (FORMATETC& entry : formats) CoTaskMemFree(entry.ptd);
}

HRESULT TEnumFormatEtc::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumFORMATETC) {
    *object = static_cast<IEnumFORMATETC*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TEnumFormatEtc::AddRef() { return ULONG(InterlockedIncrement(&references)); }

ULONG TEnumFormatEtc::Release() {
  LONG left = InterlockedDecrement(&references);
  if (left == 0) delete this;
  return ULONG(left);
}

HRESULT TEnumFormatEtc::Next(ULONG count, FORMATETC* elements, ULONG* fetched) {
  if (fetched != nullptr) *fetched = 0;
  if (count == 0) return S_OK;
  if (elements == nullptr) return E_POINTER;
  // Without a place for the count only one entry may be asked for (the COM rule).
  if (fetched == nullptr && count != 1) return E_INVALIDARG;
  ULONG copied = 0;
  while (copied < count && current < formats.size()) {
    FORMATETC entry = formats[current];
    // The caller frees a target device it receives: it gets its own copy.
    if (entry.ptd != nullptr) {
      auto* device = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(entry.ptd->tdSize));
      if (device == nullptr) break;
      std::memcpy(device, entry.ptd, entry.ptd->tdSize);
      entry.ptd = device;
    }
    elements[copied++] = entry;
    ++current;
  }
  if (fetched != nullptr) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

HRESULT TEnumFormatEtc::Skip(ULONG count) {
  if (count > formats.size() - current) return S_FALSE;
  current += count;
  return S_OK;
}

HRESULT TEnumFormatEtc::Reset() {
  current = 0;
  return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETC** result) {
  if (result == nullptr) return E_POINTER;
  auto* clone = new TEnumFormatEtc(tree, formats, current);
  if (!clone->Complete()) {
    clone->Release();
    return E_OUTOFMEMORY;
  }
  *result = clone;
  return S_OK;
}
