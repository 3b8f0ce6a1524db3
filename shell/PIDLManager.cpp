#include "shell/VirtualPIDLTools.h"

#include <cstring>
#include <new>

#include "core/Exception.h"

namespace {

uint16_t ReadCB(const void* id) {
  uint16_t cb;
  std::memcpy(&cb, id, sizeof cb);
  return cb;
}

void WriteCB(void* id, uint16_t cb) { std::memcpy(id, &cb, sizeof cb); }

}  // namespace

TPIDLManager::~TPIDLManager() {
  if (malloc != nullptr) malloc->Release();
}

void TPIDLManager::Create() {
  if (FAILED(SHGetMalloc(&malloc)) || malloc == nullptr) {
    malloc = nullptr;
    throw Exception("The shell allocator is not available");
  }
}

void TPIDLManager::Create(IMalloc* allocator) {
  if (allocator == nullptr) throw Exception("The shell allocator is not available");
  malloc = allocator;
  malloc->AddRef();
}

LPITEMIDLIST TPIDLManager::NextID(LPCITEMIDLIST id) {
  auto* bytes = reinterpret_cast<const uint8_t*>(id);
  return reinterpret_cast<LPITEMIDLIST>(const_cast<uint8_t*>(bytes + ReadCB(bytes)));
}

uint32_t TPIDLManager::PIDLSize(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return 0;
  uint32_t size = 2;
  for (LPCITEMIDLIST id = pidl; ReadCB(id) != 0; id = NextID(id)) {
    uint32_t cb = ReadCB(id);
    if (size > UINT32_MAX - cb) throw EIntOverflow("Integer overflow");
    size += cb;
  }
  return size;
}

uint32_t TPIDLManager::IDCount(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return 0;
  uint32_t count = 0;
  for (LPCITEMIDLIST id = pidl; ReadCB(id) != 0; id = NextID(id)) ++count;
  return count;
}

LPITEMIDLIST TPIDLManager::CopyPIDL(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return nullptr;
  uint32_t size = PIDLSize(pidl);
  auto* copy = static_cast<LPITEMIDLIST>(malloc->Alloc(size));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, pidl, size);
  return copy;
}

LPITEMIDLIST TPIDLManager::AppendPIDL(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  uint32_t size1 = pidl1 != nullptr ? PIDLSize(pidl1) - 2 : 0;
  uint32_t size2 = pidl2 != nullptr ? PIDLSize(pidl2) : 2;
  auto* result = static_cast<uint8_t*>(malloc->Alloc(size1 + size2));
  if (result == nullptr) throw std::bad_alloc();
  if (size1 > 0) std::memcpy(result, pidl1, size1);
  if (pidl2 != nullptr) {
    std::memcpy(result + size1, pidl2, size2);
  } else {
    WriteCB(result + size1, 0);
  }
  return reinterpret_cast<LPITEMIDLIST>(result);
}

LPITEMIDLIST TPIDLManager::GetPointerToLastID(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return nullptr;
  LPCITEMIDLIST last = pidl;
  for (LPCITEMIDLIST id = pidl; ReadCB(id) != 0; id = NextID(id)) last = id;
  return const_cast<LPITEMIDLIST>(last);
}

LPITEMIDLIST TPIDLManager::StripLastID(LPITEMIDLIST pidl) {
  uint16_t cb;
  LPITEMIDLIST id;
  return StripLastIDKeep(pidl, cb, id);
}

LPITEMIDLIST TPIDLManager::StripLastIDKeep(LPITEMIDLIST pidl, uint16_t& oldCB, LPITEMIDLIST& strippedID) {
  oldCB = 0;
  strippedID = nullptr;
  if (pidl == nullptr || ReadCB(pidl) == 0) return pidl;
  LPITEMIDLIST last = GetPointerToLastID(pidl);
  oldCB = ReadCB(last);
  strippedID = last;
  WriteCB(last, 0);
  return pidl;
}

bool TPIDLManager::IsDesktopFolder(LPCITEMIDLIST pidl) { return pidl != nullptr && ReadCB(pidl) == 0; }

bool TPIDLManager::EqualPIDL(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) { return vst::ILIsEqual(pidl1, pidl2); }

bool TPIDLManager::IsSubPIDL(LPITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  if (pidl1 == nullptr || pidl2 == nullptr) return false;
  uint32_t count1 = IDCount(pidl1);
  uint32_t count2 = IDCount(pidl2);
  if (count1 < count2) return false;
  // Cut pidl1 after count2 IDs, compare, and put the cut byte count back.
  uint8_t* cut = reinterpret_cast<uint8_t*>(pidl1);
  for (uint32_t i = 0; i < count2; ++i) cut += ReadCB(cut);
  uint16_t saved = ReadCB(cut);
  WriteCB(cut, 0);
  bool result = vst::ILIsEqual(pidl1, pidl2);
  WriteCB(cut, saved);
  return result;
}

void TPIDLManager::FreePIDL(LPITEMIDLIST pidl) {
  if (pidl != nullptr) malloc->Free(pidl);
}

void TPIDLManager::FreeAndNilPIDL(LPITEMIDLIST& pidl) {
  LPITEMIDLIST doomed = pidl;
  pidl = nullptr;
  FreePIDL(doomed);
}

void TPIDLManager::FreeOLEStr(LPWSTR str) { malloc->Free(str); }

void TPIDLManager::SaveToStream(TStream* stream, LPCITEMIDLIST pidl) {
  int32_t size = static_cast<int32_t>(PIDLSize(pidl));
  stream->WriteBuffer(&size, sizeof size);
  if (size > 0) stream->WriteBuffer(pidl, size);
}

bool TPIDLManager::ValidChain(const uint8_t* data, uint32_t size) {
  uint32_t at = 0;
  while (at + 2 <= size) {
    uint16_t cb = ReadCB(data + at);
    if (cb == 0) return true;
    if (cb < 2) return false;  // an ID counts its own two bytes
    at += cb;
  }
  return false;
}

LPITEMIDLIST TPIDLManager::LoadFromStream(TStream* stream) {
  if (stream == nullptr) return nullptr;
  int32_t size = 0;
  stream->ReadBuffer(&size, sizeof size);
  if (size < 1) return nullptr;
  int64_t remaining = stream->Size() - stream->Position();
  if (size > kMaxStreamPIDL || size > remaining) throw EReadError("Item identifier list in stream is not valid");
  auto* block = static_cast<uint8_t*>(malloc->Alloc(static_cast<SIZE_T>(size)));
  if (block == nullptr) throw EReadError("Out of memory reading an item identifier list");
  try {
    stream->ReadBuffer(block, size);
  } catch (...) {
    malloc->Free(block);
    throw;
  }
  if (!ValidChain(block, static_cast<uint32_t>(size))) {
    malloc->Free(block);
    throw EReadError("Item identifier list in stream is not valid");
  }
  return reinterpret_cast<LPITEMIDLIST>(block);
}
