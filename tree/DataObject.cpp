// TVTDataObject: a tree's formats offered to the clipboard and to drag and
// drop, rendered on demand by the tree; media stored into it by others; the
// in-process tree reference. Also the registries that let a data object
// outlive its tree and let a tree pointer read from data be checked.
#include <algorithm>
#include <cstring>
#include <set>

#include "tree/VirtualTrees.h"

namespace {
std::vector<TVTDataObject*>& LiveDataObjects() {
  static std::vector<TVTDataObject*> objects;
  return objects;
}
std::set<const void*>& LiveTrees() {
  static std::set<const void*> trees;
  return trees;
}

bool SameTargetDevice(const DVTARGETDEVICE* a, const DVTARGETDEVICE* b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr || a->tdSize != b->tdSize) return false;
  return std::memcmp(a, b, a->tdSize) == 0;
}

// A task-memory copy of a target device (null for null).
DVTARGETDEVICE* CopyTargetDevice(const DVTARGETDEVICE* device) {
  if (device == nullptr || device->tdSize < sizeof(DVTARGETDEVICE)) return nullptr;
  auto* copy = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(device->tdSize));
  if (copy != nullptr) std::memcpy(copy, device, device->tdSize);
  return copy;
}

IUnknown* CanonicalUnknown(IUnknown* object) {
  IUnknown* result = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&result))))
    return nullptr;
  result->Release();  // only the identity is compared
  return result;
}
}  // namespace

void TOLEMemoryStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void RegisterDataObject(TVTDataObject* object) { LiveDataObjects().push_back(object); }

void UnregisterDataObject(TVTDataObject* object) {
  auto& objects = LiveDataObjects();
  objects.erase(std::remove(objects.begin(), objects.end(), object), objects.end());
}

void DetachDataObjects(TBaseVirtualTree* tree) {
  for (TVTDataObject* object : LiveDataObjects())
    if (object->Owner() == tree) object->OwnerGone();
}

void RegisterLiveTree(TBaseVirtualTree* tree) { LiveTrees().insert(tree); }
void UnregisterLiveTree(TBaseVirtualTree* tree) { LiveTrees().erase(tree); }
bool IsLiveTree(const void* tree) { return tree != nullptr && LiveTrees().count(tree) > 0; }

TVTDataObject::TVTDataObject(TBaseVirtualTree* owner_, bool forClipboard_)
    : owner(owner_), forClipboard(forClipboard_) {
  // Registered first: a format handler that frees the tree detaches this object too.
  RegisterDataObject(this);
  if (owner != nullptr) owner->GetNativeClipboardFormats(formatEtcArray);
}

TVTDataObject::~TVTDataObject() {
  UnregisterDataObject(this);
  // Our own object leaving the clipboard ends the cut or copy, unless the
  // tree flushes it (the data then lives on as rendered copies).
  if (forClipboard && owner != nullptr && !owner->TreeStates().Contains(tsClipboardFlushing))
    owner->CancelCutOrCopy();
  for (TStoredMedium& stored : internalStgMediumArray)
    if (stored.Medium.tymed != TYMED_NULL) ReleaseStgMedium(&stored.Medium);
  for (FORMATETC& format : formatEtcArray)
    if (format.ptd != nullptr && ownedDevices.count(format.ptd) > 0) CoTaskMemFree(format.ptd);
  if (adviseHolder != nullptr) adviseHolder->Release();
}

HRESULT TVTDataObject::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDataObject) {
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TVTDataObject::AddRef() { return ULONG(InterlockedIncrement(&references)); }

ULONG TVTDataObject::Release() {
  LONG left = InterlockedDecrement(&references);
  if (left == 0) delete this;
  return ULONG(left);
}

int TVTDataObject::FindFormatEtc(const FORMATETC& format) const {
  for (size_t i = 0; i < formatEtcArray.size(); ++i) {
    const FORMATETC& entry = formatEtcArray[i];
    if (entry.cfFormat == format.cfFormat && SameTargetDevice(entry.ptd, format.ptd) &&
        entry.dwAspect == format.dwAspect && entry.lindex == format.lindex && (entry.tymed & format.tymed) != 0)
      return int(i);
  }
  return -1;
}

int TVTDataObject::FindInternalStgMedium(CLIPFORMAT format) const {
  for (size_t i = 0; i < internalStgMediumArray.size(); ++i)
    if (internalStgMediumArray[i].Format == format) return int(i);
  return -1;
}

HRESULT TVTDataObject::StgMediumIncRef(const STGMEDIUM& source, STGMEDIUM& destination, bool copyInMedium) {
  destination = source;
  switch (source.tymed) {
    case TYMED_HGLOBAL:
      if (copyInMedium) {
        // A copy is ours alone: no release interface of the source comes with it.
        SIZE_T size = GlobalSize(source.hGlobal);
        HGLOBAL copy = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
        const void* from = size > 0 ? GlobalLock(source.hGlobal) : nullptr;
        if (copy == nullptr || (size > 0 && from == nullptr)) {
          if (copy != nullptr) GlobalFree(copy);
          destination = STGMEDIUM{};
          return E_OUTOFMEMORY;
        }
        if (size > 0) {
          std::memcpy(copy, from, size);
          GlobalUnlock(source.hGlobal);
        }
        destination.hGlobal = copy;
        destination.pUnkForRelease = nullptr;
      } else {
        destination.pUnkForRelease = static_cast<IDataObject*>(this);
      }
      break;
    case TYMED_FILE:
      if (copyInMedium) {
        size_t length = source.lpszFileName != nullptr ? wcslen(source.lpszFileName) : 0;
        auto* name = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
        if (name == nullptr) {
          destination = STGMEDIUM{};
          return E_OUTOFMEMORY;
        }
        if (length > 0) std::memcpy(name, source.lpszFileName, length * sizeof(wchar_t));
        name[length] = 0;
        destination.lpszFileName = name;
        destination.pUnkForRelease = nullptr;
      } else {
        destination.pUnkForRelease = static_cast<IDataObject*>(this);
      }
      break;
    case TYMED_ISTREAM:
      if (source.pstm != nullptr) source.pstm->AddRef();
      break;
    case TYMED_ISTORAGE:
      if (source.pstg != nullptr) source.pstg->AddRef();
      break;
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
      if (copyInMedium) {
        destination = STGMEDIUM{};
        return DV_E_TYMED;
      }
      destination.pUnkForRelease = static_cast<IDataObject*>(this);
      break;
    default:
      destination = STGMEDIUM{};
      return DV_E_TYMED;
  }
  if (destination.pUnkForRelease != nullptr) destination.pUnkForRelease->AddRef();
  return S_OK;
}

HRESULT TVTDataObject::GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) {
  if (formatEtcIn == nullptr || medium == nullptr) return E_INVALIDARG;
  *medium = STGMEDIUM{};
  try {
    if (formatEtcIn->cfFormat == CF_VTREFERENCE && CF_VTREFERENCE != 0) {
      if (owner == nullptr || owner->TreeStates().Contains(tsClipboardFlushing)) return E_FAIL;
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, 2 * sizeof(uint32_t));
      if (block == nullptr) return E_OUTOFMEMORY;
      auto* words = static_cast<uint32_t*>(GlobalLock(block));
      words[0] = GetCurrentProcessId();
      words[1] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(owner));
      GlobalUnlock(block);
      medium->tymed = TYMED_HGLOBAL;
      medium->hGlobal = block;
      return S_OK;
    }
    HRESULT result = QueryGetData(formatEtcIn);
    if (FAILED(result)) return result;
    int index = FindFormatEtc(*formatEtcIn);
    if (index < 0) return DV_E_FORMATETC;
    int stored = FindInternalStgMedium(formatEtcArray[index].cfFormat);
    if (stored >= 0 && internalStgMediumArray[stored].Medium.tymed != TYMED_NULL)
      return StgMediumIncRef(internalStgMediumArray[stored].Medium, *medium, /*copyInMedium=*/false);
    if (owner == nullptr) return E_FAIL;
    return owner->RenderOLEData(*formatEtcIn, *medium, forClipboard);
  } catch (...) {
    // Nothing the tree raises leaves a COM method.
    if (medium->tymed != TYMED_NULL) ReleaseStgMedium(medium);
    *medium = STGMEDIUM{};
    return E_FAIL;
  }
}

HRESULT TVTDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT TVTDataObject::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_INVALIDARG;
  HRESULT result = DV_E_FORMATETC;
  for (const FORMATETC& entry : formatEtcArray) {
    if (entry.cfFormat != format->cfFormat) continue;
    if ((entry.tymed & format->tymed) == 0) {
      result = DV_E_TYMED;
    } else if (entry.dwAspect == format->dwAspect) {
      if (entry.lindex == format->lindex) return S_OK;
      result = DV_E_LINDEX;
    } else {
      result = DV_E_DVASPECT;
    }
  }
  return result;
}

HRESULT TVTDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* formatOut) {
  if (formatOut != nullptr) formatOut->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT TVTDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  int index = FindFormatEtc(*format);
  int stored = -1;
  if (index < 0) {
    FORMATETC added = *format;
    added.ptd = CopyTargetDevice(format->ptd);
    if (added.ptd != nullptr) ownedDevices.insert(added.ptd);
    formatEtcArray.push_back(added);
  } else {
    stored = FindInternalStgMedium(formatEtcArray[index].cfFormat);
  }
  if (stored < 0) {
    internalStgMediumArray.push_back({format->cfFormat, STGMEDIUM{}});
    stored = int(internalStgMediumArray.size()) - 1;
  } else if (internalStgMediumArray[stored].Medium.tymed != TYMED_NULL) {
    ReleaseStgMedium(&internalStgMediumArray[stored].Medium);
    internalStgMediumArray[stored].Medium = STGMEDIUM{};
  }
  STGMEDIUM& target = internalStgMediumArray[stored].Medium;
  if (release) {
    target = *medium;
  } else {
    HRESULT result = StgMediumIncRef(*medium, target, /*copyInMedium=*/true);
    if (FAILED(result)) return result;
    // A stored copy that would keep this object alive through itself is cut loose.
    if (target.pUnkForRelease != nullptr &&
        CanonicalUnknown(target.pUnkForRelease) == CanonicalUnknown(static_cast<IDataObject*>(this))) {
      target.pUnkForRelease->Release();
      target.pUnkForRelease = nullptr;
    }
  }
  if (adviseHolder != nullptr) adviseHolder->SendOnDataChange(this, 0, 0);
  return S_OK;
}

HRESULT TVTDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) {
  if (enumFormatEtc == nullptr) return E_INVALIDARG;
  *enumFormatEtc = nullptr;
  if (direction != DATADIR_GET) return OLE_S_USEREG;
  auto* enumerator = new TEnumFormatEtc(owner, formatEtcArray);
  if (!enumerator->Complete()) {
    enumerator->Release();
    return E_OUTOFMEMORY;
  }
  *enumFormatEtc = enumerator;
  return S_OK;
}

HRESULT TVTDataObject::DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) {
  if (adviseHolder == nullptr) {
    HRESULT result = CreateDataAdviseHolder(&adviseHolder);
    if (FAILED(result)) return result;
  }
  return adviseHolder->Advise(this, format, advf, sink, connection);
}

HRESULT TVTDataObject::DUnadvise(DWORD connection) {
  if (adviseHolder == nullptr) return E_NOTIMPL;
  return adviseHolder->Unadvise(connection);
}

HRESULT TVTDataObject::EnumDAdvise(IEnumSTATDATA** enumAdvise) {
  if (enumAdvise == nullptr) return E_INVALIDARG;
  *enumAdvise = nullptr;
  if (adviseHolder == nullptr) return OLE_E_ADVISENOTSUPPORTED;
  return adviseHolder->EnumAdvise(enumAdvise);
}

// ---------------------------------------------------------------------------
// The tree's side

TBaseVirtualTree* TBaseVirtualTree::GetTreeFromDataObject(IDataObject* dataObject) {
  if (dataObject == nullptr || CF_VTREFERENCE == 0) return nullptr;
  FORMATETC format{CF_VTREFERENCE, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (FAILED(dataObject->GetData(&format, &medium))) return nullptr;
  uint32_t words[2] = {0, 0};
  bool read = false;
  // The block comes from anyone: its kind and size are checked before reading.
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr && GlobalSize(medium.hGlobal) >= sizeof(words)) {
    if (const void* bytes = GlobalLock(medium.hGlobal)) {
      std::memcpy(words, bytes, sizeof(words));
      GlobalUnlock(medium.hGlobal);
      read = true;
    }
  }
  ReleaseStgMedium(&medium);
  if (!read || words[0] != GetCurrentProcessId()) return nullptr;
  // Only a tree alive in this process is believed.
  const void* tree = reinterpret_cast<const void*>(uintptr_t(words[1]));
  if (!IsLiveTree(tree)) return nullptr;
  return static_cast<TBaseVirtualTree*>(const_cast<void*>(tree));
}

void TBaseVirtualTree::ReleaseTransport() {
  // Our data on the clipboard is rendered into copies first, so that it
  // outlives the tree; then no data object or drag manager calls it again.
  if (clipboardObject != nullptr && OleIsCurrentClipboard(clipboardObject) == S_OK) {
    DoStateChange({tsClipboardFlushing});
    OleFlushClipboard();
    DoStateChange({}, {tsClipboardFlushing});
  }
  // Detached first, so that releasing our clipboard object calls nothing of a tree that goes.
  DetachDataObjects(this);
  if (clipboardObject != nullptr) clipboardObject->Release();
  clipboardObject = nullptr;
  if (dragManager != nullptr) {
    if (auto* manager = dynamic_cast<TVTDragManager*>(dragManager)) manager->OwnerGone();
    dragManager->Release();
    dragManager = nullptr;
  }
  dragSelection.clear();
}
