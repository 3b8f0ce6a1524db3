#pragma once
// Where node records come from and where they go.
#include <cstddef>

// A zero-filled block of size bytes for a node record; raises std::bad_alloc.
void* AllocateNodeRecord(size_t size);
// Gives a record back (null is ignored).
void ReleaseNodeRecord(void* block);
// True when the build poisons freed records: their memory is filled, made
// unreadable and never handed out again, so any later touch faults at once.
bool NodeRecordsPoisoned();
// True when address lies in a record freed in a poisoning build.
bool IsPoisonedNodeRecord(const void* address);
