#include "tests/allocation_failure.h"

#include <cstdlib>
#include <new>
#if defined(_WIN32)
#include <malloc.h>
#endif

#include "textconv/heap.h"

namespace {

std::uint64_t failAt = 0;
std::uint64_t seen = 0;

// Counts one allocation; true when it is the one to fail.
bool should_fail() {
  if (failAt == 0) return false;
  return ++seen == failAt;
}

void* allocate(std::size_t size) {
  if (should_fail()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
  if (should_fail()) return nullptr;
  auto align = static_cast<std::size_t>(alignment);
  std::size_t rounded = (size + align - 1) / align * align;
#if defined(_WIN32)
  // The C runtime of Windows has no aligned_alloc; its aligned blocks are
  // freed by _aligned_free.
  return _aligned_malloc(rounded == 0 ? align : rounded, align);
#else
  return std::aligned_alloc(align, rounded == 0 ? align : rounded);
#endif
}

void release_aligned(void* p) {
#if defined(_WIN32)
  _aligned_free(p);
#else
  std::free(p);
#endif
}

}  // namespace

void fail_allocation_at(std::uint64_t n) {
  failAt = n;
  seen = 0;
  heap_fail_at(n);
}

std::uint64_t allocations_seen() { return seen + heap_allocations_seen(); }

void* operator new(std::size_t size) {
  void* p = allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  void* p = allocate_aligned(size, alignment);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { release_aligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release_aligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release_aligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release_aligned(p); }
