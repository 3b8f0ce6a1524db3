// TVTDragManager: a tree's drop source and drop target. Drop-target calls go
// to the tree, and to the shell's drag-image helper when the system has one
// and windows are dragged with their content.
#include "tree/VirtualTrees.h"

// {C4B25559-14DA-446B-8901-0C879000EB16}
const IID IID_IVTDragManager = {0xC4B25559, 0x14DA, 0x446B, {0x89, 0x01, 0x0C, 0x87, 0x90, 0x00, 0xEB, 0x16}};

namespace {
// The shell's drag-image helper and its drop-target interface.
const CLSID kClsidDragDropHelper = {0x4657278A, 0x411B, 0x11D2, {0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};
const IID kIidDropTargetHelper = {0x4657278B, 0x411B, 0x11D2, {0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};

TPoint ToPoint(POINTL pt) { return TPoint{pt.x, pt.y}; }
}  // namespace

TVTDragManager::TVTDragManager(TBaseVirtualTree* owner_) : owner(owner_) {
  // Without the helper the tree draws its own drag image.
  if (FAILED(CoCreateInstance(kClsidDragDropHelper, nullptr, CLSCTX_INPROC_SERVER, kIidDropTargetHelper,
                              reinterpret_cast<void**>(&dropTargetHelper))))
    dropTargetHelper = nullptr;
}

TVTDragManager::~TVTDragManager() {
  ClearDrag();
  if (dropTargetHelper != nullptr) dropTargetHelper->Release();
}

HRESULT TVTDragManager::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IVTDragManager)
    *object = static_cast<IVTDragManager*>(this);
  else if (riid == IID_IDropSource)
    *object = static_cast<IDropSource*>(this);
  else if (riid == IID_IDropTarget)
    *object = static_cast<IDropTarget*>(this);
  else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TVTDragManager::AddRef() { return ULONG(InterlockedIncrement(&references)); }

ULONG TVTDragManager::Release() {
  LONG left = InterlockedDecrement(&references);
  if (left == 0) delete this;
  return ULONG(left);
}

void TVTDragManager::ClearDrag() {
  isDropTarget = false;
  dragSource = nullptr;
  if (dataObject != nullptr) dataObject->Release();
  dataObject = nullptr;
}

void TVTDragManager::OwnerGone() {
  ClearDrag();
  owner = nullptr;
}

void TVTDragManager::ForceDragLeave() {
  if (HelperShowsImage()) dropTargetHelper->DragLeave();
}

IDataObject* TVTDragManager::GetDataObject() {
  if (dataObject != nullptr) {
    dataObject->AddRef();
    return dataObject;
  }
  if (owner == nullptr) return nullptr;
  // The owner's handlers may free the tree, which lets go of this manager
  // (OwnerGone): it lives until the call returns, and hands out nothing then.
  AddRef();
  IDataObject* result = nullptr;
  try {
    result = owner->DoCreateDataObject();
    if (result == nullptr && owner != nullptr) result = new TVTDataObject(owner, /*forClipboard=*/false);
  } catch (...) {
    result = nullptr;
  }
  if (owner == nullptr && result != nullptr) {
    result->Release();
    result = nullptr;
  }
  Release();
  return result;
}

HRESULT TVTDragManager::DragEnter(IDataObject* dataObject_, DWORD keyState, POINTL pt, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  ClearDrag();
  if (owner == nullptr) {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  dataObject = dataObject_;
  if (dataObject != nullptr) dataObject->AddRef();
  isDropTarget = true;
  BOOL full = FALSE;
  SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
  fullDragging = full != FALSE;
  if (!fullDragging) LockWindowUpdate(nullptr);
  POINT point{pt.x, pt.y};
  if (HelperShowsImage()) dropTargetHelper->DragEnter(owner->Handle(), dataObject, &point, *effect);
  try {
    dragSource = owner->GetTreeFromDataObject(dataObject);
    int value = int(*effect);
    HRESULT result = owner->DragEnter(keyState, ToPoint(pt), value);
    *effect = DWORD(value);
    return result;
  } catch (...) {
    *effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
}

HRESULT TVTDragManager::DragOver(DWORD keyState, POINTL pt, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  if (owner == nullptr) {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  POINT point{pt.x, pt.y};
  if (HelperShowsImage()) dropTargetHelper->DragOver(&point, *effect);
  try {
    int value = int(*effect);
    HRESULT result = owner->DragOver(dragSource, keyState, dsDragMove, ToPoint(pt), value);
    *effect = DWORD(value);
    return result;
  } catch (...) {
    *effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
}

HRESULT TVTDragManager::DragLeave() {
  if (HelperShowsImage()) dropTargetHelper->DragLeave();
  try {
    if (owner != nullptr) owner->DragLeave();
  } catch (...) {
  }
  ClearDrag();
  return S_OK;
}

HRESULT TVTDragManager::Drop(IDataObject* dataObject_, DWORD keyState, POINTL pt, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  POINT point{pt.x, pt.y};
  if (HelperShowsImage()) dropTargetHelper->Drop(dataObject_, &point, *effect);
  HRESULT result = E_FAIL;
  int value = int(*effect);
  try {
    if (owner != nullptr) result = owner->DragDrop(dataObject_, keyState, ToPoint(pt), value);
  } catch (...) {
    value = DROPEFFECT_NONE;
    result = E_UNEXPECTED;
  }
  *effect = owner != nullptr ? DWORD(value) : DROPEFFECT_NONE;
  ClearDrag();
  return result;
}

HRESULT TVTDragManager::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  const DWORD bothButtons = MK_LBUTTON | MK_RBUTTON;
  if (escapePressed || (keyState & bothButtons) == bothButtons) return DRAGDROP_S_CANCEL;
  if (keyState & bothButtons) return S_OK;
  return DRAGDROP_S_DROP;
}

HRESULT TVTDragManager::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }
