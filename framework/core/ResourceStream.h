#pragma once
// A read-only stream over a resource of a module (target only; the host has
// no resources). Name and type are either text or integer identifiers made
// with MakeIntResource, as the Win32 resource functions take them.
#include <cstdint>

#include "core/FileStream.h"
#include "core/MemoryStream.h"

// An integer resource identifier in the form the resource functions accept.
inline const char16_t* MakeIntResource(uint16_t id) {
  return reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(id));
}
inline const char16_t* const kRtRcData = MakeIntResource(10);

// Finding or loading the resource fails with EResNotFound "Resource %s not
// found" (the name, or its number). Write raises EStreamError "Can't write to
// a read-only resource stream".
QV_DECLARE_EXCEPTION(EResNotFound, Exception);

class TResourceStream : public TCustomMemoryStream {
public:
  TResourceStream() = default;
  TResourceStream(THandle instance, const char16_t* name, const char16_t* type) {
    Create(instance, name, type);
  }
  // instance 0 means the executable itself.
  void Create(THandle instance, const char16_t* name, const char16_t* type);
  void CreateFromID(THandle instance, uint16_t id, const char16_t* type) {
    Create(instance, MakeIntResource(id), type);
  }

  int32_t Write(const void* buffer, int32_t count) override;
};
