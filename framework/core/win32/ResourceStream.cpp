// Resource streams over the resources of a loaded module (target).
#include "core/ResourceStream.h"

#include <windows.h>

#include "core/Format.h"
#include "core/SysUtils.h"

namespace {

bool IsIntResource(const char16_t* name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

std::string ResourceName(const char16_t* name) {
  if (name == nullptr) return "0";
  if (IsIntResource(name)) return IntToStr(static_cast<int64_t>(reinterpret_cast<uintptr_t>(name)));
  return WideToAnsi(name);
}

}  // namespace

void TResourceStream::Create(THandle instance, const char16_t* name, const char16_t* type) {
  HMODULE module = instance == 0 ? GetModuleHandleW(nullptr) : reinterpret_cast<HMODULE>(instance);
  HRSRC info = name == nullptr || type == nullptr
                   ? nullptr
                   : FindResourceW(module, reinterpret_cast<const wchar_t*>(name), reinterpret_cast<const wchar_t*>(type));
  HGLOBAL loaded = info != nullptr ? LoadResource(module, info) : nullptr;
  void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) throw EResNotFound(Format("Resource %s not found", {ResourceName(name)}));
  // Resources stay mapped while their module is loaded; nothing to release.
  SetPointer(data, SizeofResource(module, info));
  position = 0;
}

int32_t TResourceStream::Write(const void*, int32_t) {
  throw EStreamError("Can't write to a read-only resource stream");
}
