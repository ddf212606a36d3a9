// Heap access for the toolkit's libraries: malloc/realloc/free with a
// failure hook, so tests can make the n-th allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>

void* heap_alloc(std::size_t size);
// Like heap_alloc, the block filled with zero bytes (large blocks come from
// the system already zero, without a pass over them).
void* heap_alloc_zeroed(std::size_t size);
// Like realloc; on failure the old block stays valid and nullptr is returned.
void* heap_realloc(void* block, std::size_t size);
void heap_free(void* block);

// Test hook: the n-th heap_alloc/heap_realloc from now on fails (1 = the next
// one); 0 turns failure off. Only that one allocation fails.
void heap_fail_at(std::uint64_t n);
// Allocations attempted since the last heap_fail_at (failed ones included).
std::uint64_t heap_allocations_seen();
