#include "textconv/heap.h"

#include <cstdlib>

namespace {
std::uint64_t failAt = 0;
std::uint64_t seen = 0;

bool should_fail() {
  ++seen;
  return failAt != 0 && seen == failAt;
}
}  // namespace

void* heap_alloc(std::size_t size) {
  if (should_fail()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* heap_alloc_zeroed(std::size_t size) {
  if (should_fail()) return nullptr;
  return std::calloc(size == 0 ? 1 : size, 1);
}

void* heap_realloc(void* block, std::size_t size) {
  if (should_fail()) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

void heap_free(void* block) { std::free(block); }

void heap_fail_at(std::uint64_t n) {
  failAt = n;
  seen = 0;
}

std::uint64_t heap_allocations_seen() { return seen; }
