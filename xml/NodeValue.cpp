#include "xml/NodeValue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "xml/NodePool.h"

TdomTextArena::~TdomTextArena() {
  for (const Chunk& chunk : chunks) NodePoolChunkFree(chunk.units, chunk.count * sizeof(char16_t));
}

char16_t* TdomTextArena::AllocateInNewChunk(size_t count) {
  if (count == 0 || count > kLargestValue) return nullptr;
  if (static_cast<size_t>(limit - cursor) < count) {
    // The rest of the old chunk (shorter than count) stays unused.
    size_t units = chunks.empty() ? kFirstChunkUnits : std::min(chunks.back().count * 2, kLargestChunkUnits);
    chunks.reserve(chunks.size() + 1);
    cursor = static_cast<char16_t*>(NodePoolChunkAllocate(units * sizeof(char16_t)));
    chunks.push_back(Chunk{cursor, units});
    limit = cursor + units;
  }
  char16_t* block = cursor;
  cursor += count;
  return block;
}

const char16_t* TdomTextArena::Intern(std::u16string_view value) {
  size_t length = value.size();
  if (length == 0 || length > kLargestInterned) return nullptr;
  // The slot from the length and three of the units, with no pass over the
  // value: values that differ elsewhere only compete for a slot.
  uint32_t key = (uint32_t(length) << 24) ^ (uint32_t(value[0]) << 16) ^ (uint32_t(value[length / 2]) << 8) ^
                 value[length - 1];
  if (interned == nullptr) interned = std::make_unique<Interned[]>(kInternSlots);
  Interned& slot = interned[(key * 2654435761u) >> (32 - kInternSlotBits)];
  if (slot.length == length && EqualNodeValueUnits(slot.units, value.data(), length)) {
    return slot.units;
  }
  char16_t* block = Allocate(length);
  if (block == nullptr) return nullptr;
  CopyNodeValueUnits(block, value.data(), length);
  slot = Interned{block, length};
  return block;
}

void TdomNodeValue::Release() {
  if (OwnsBlock()) ::operator delete(data);
  data = nullptr;
  length = 0;
  capacityAndFlag &= kArenaUsed;
}

void TdomNodeValue::Reallocate(size_t capacity) {
  if (capacity >= kArenaUsed) throw std::bad_alloc();
  auto* block = static_cast<char16_t*>(::operator new(capacity * sizeof(char16_t)));
  if (length > 0) std::memcpy(block, data, length * sizeof(char16_t));
  if (OwnsBlock()) ::operator delete(data);
  data = block;
  capacityAndFlag = static_cast<uint32_t>(capacity) | (capacityAndFlag & kArenaUsed);
}

void TdomNodeValue::AssignElsewhere(std::u16string_view value, TdomTextArena* arena) {
  if (value.empty()) {
    Release();
    return;
  }
  if (value.size() >= kArenaUsed) throw std::bad_alloc();
  // value may point into the current block: copy before anything is freed.
  if (OwnsBlock() && value.size() <= (capacityAndFlag & ~kArenaUsed)) {
    std::memmove(data, value.data(), value.size() * sizeof(char16_t));
    length = static_cast<uint32_t>(value.size());
    return;
  }
  char16_t* block = nullptr;
  bool fromArena = false;
  if (arena != nullptr && (capacityAndFlag & kArenaUsed) == 0) {
    block = arena->Allocate(value.size());
    fromArena = block != nullptr;
  }
  if (!fromArena) block = static_cast<char16_t*>(::operator new(value.size() * sizeof(char16_t)));
  std::memcpy(block, value.data(), value.size() * sizeof(char16_t));
  Release();
  data = block;
  length = static_cast<uint32_t>(value.size());
  if (fromArena) {
    capacityAndFlag = kArenaUsed;
  } else {
    capacityAndFlag = static_cast<uint32_t>(value.size()) | (capacityAndFlag & kArenaUsed);
  }
}

void TdomNodeValue::AppendElsewhere(std::u16string_view value, TdomTextArena* arena) {
  if (value.empty()) return;
  size_t needed = size_t(length) + value.size();
  if (needed >= kArenaUsed) throw std::bad_alloc();
  if (length == 0 && !OwnsBlock()) {
    Assign(value, arena);
    return;
  }
  bool room = OwnsBlock() ? needed <= (capacityAndFlag & ~kArenaUsed)
                          : arena != nullptr && arena->ExtendTail(data, length, value.size());
  if (!room) {
    // value may point into the current block: keep a copy across the move.
    std::u16string copy(value);
    Reallocate(std::max<size_t>({needed, size_t(length) * 2, 8}));
    std::memcpy(data + length, copy.data(), copy.size() * sizeof(char16_t));
  } else {
    std::memmove(data + length, value.data(), value.size() * sizeof(char16_t));
  }
  length = static_cast<uint32_t>(needed);
}
