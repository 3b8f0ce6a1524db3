#pragma once
// Fenced objects, for tests that prove no code touches an object after its
// release. While fencing is on, every object of the class library of at
// least a given size gets pages of its own; its release makes them
// inaccessible for good (the addresses are never handed out again), so a
// later read or write faults where it happens instead of landing in memory
// that has been reused. Each fenced object costs its pages and a guard page
// of address space for the rest of the run: tests turn it on for a few
// thousand objects at most.
#include <cstddef>

// Fences the objects of minSize bytes or more made from now on; 0 turns it off.
// Objects fenced before stay fenced until they are released.
void SetObjectFencing(std::size_t minSize);
std::size_t ObjectFencing();

// Pages for a new object of size bytes when fencing covers it, else null.
void* FencedAllocate(std::size_t size);
// True when block is a fenced object's (its pages are then made inaccessible);
// false for any other block.
bool FencedRelease(void* block, std::size_t size) noexcept;

// The platform's pages: address space reserved without access, made usable
// and given up again. Reserve answers null when there is none left.
namespace fenced_pages {
std::size_t PageSize();
void* Reserve(std::size_t bytes);
bool Commit(void* start, std::size_t bytes);
void Decommit(void* start, std::size_t bytes) noexcept;
}  // namespace fenced_pages
