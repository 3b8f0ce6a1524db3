#pragma once
// The node pool's check mode (see NodePool.h): blocks of the pool's classes
// with their faults caught where they show.
#include <cstddef>

namespace node_pool {

void* CheckedAllocate(size_t size);
void CheckedFree(void* block, size_t size) noexcept;

}  // namespace node_pool

// Called with each fault the check mode finds: what is wrong, the block
// and its class's size, and the first byte found changed (or the size
// when no byte is in question). The default writes the fault to the error
// output and ends the process; a handler that returns lets it go on, the
// block concerned left out of the pool for good.
using TNodePoolFaultHandler = void (*)(const char* what, const void* block, size_t bytes, size_t offset);
// Installs handler (null: the default) and answers the one it replaces.
TNodePoolFaultHandler SetNodePoolFaultHandler(TNodePoolFaultHandler handler);
