#include "xml/TreeUtilsNoRefCount.h"

int32_t TUtilsNoRefCount::QueryInterface(const TGuid& iid, void** obj) {
  if (obj == nullptr) return kE_NOINTERFACE;
  *obj = nullptr;
  if (GetInterface(iid, obj) && *obj != nullptr) return kS_OK;
  *obj = nullptr;
  return kE_NOINTERFACE;
}

int32_t TUtilsNoRefCount::_AddRef() { return -1; }

int32_t TUtilsNoRefCount::_Release() { return -1; }

bool TUtilsNoRefCount::GetInterface(const TGuid&, void**) { return false; }
