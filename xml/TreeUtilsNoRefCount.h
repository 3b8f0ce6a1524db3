#pragma once
// TUtilsNoRefCount: the reference-counted interface protocol without counting,
// for objects that expose interfaces but are freed by their owners.
#include <cstdint>

#include "core/Object.h"

// An interface identifier.
struct TGuid {
  uint32_t d1;
  uint16_t d2;
  uint16_t d3;
  uint8_t d4[8];
  bool operator==(const TGuid&) const = default;
};

inline constexpr int32_t kS_OK = 0;
inline constexpr int32_t kE_NOINTERFACE = static_cast<int32_t>(0x80004002u);

class TUtilsNoRefCount : public TObject {
public:
  // S_OK with *obj set when the class offers iid, else E_NOINTERFACE and *obj
  // null. A null obj gives E_NOINTERFACE.
  virtual int32_t QueryInterface(const TGuid& iid, void** obj);
  // Always -1; the object is never freed through the interface.
  virtual int32_t _AddRef();
  virtual int32_t _Release();

protected:
  // The class's interface table: sets *obj to this object seen as the
  // interface iid and returns true, or returns false. Nothing is offered here.
  virtual bool GetInterface(const TGuid& iid, void** obj);
};
