#include "diskmason/tree/index_pool.h"

#include "textconv/heap.h"

namespace {

// Links first .. last - 1 each to the next and last back to first.
void link_circle(std::uint32_t* links, std::uint32_t first, std::uint32_t last) {
  for (std::uint32_t i = first; i < last; ++i) links[i] = i + 1;
  links[last] = first;
}

// Doubles a full pool; the new indices form the free circle. False (and
// nothing changed) when the size would overflow or memory ran out.
bool grow(IndexPool& pool) {
  if (pool.capacity > 0x7FFFFFFFu) return false;
  std::uint32_t newCapacity = pool.capacity * 2;
  auto* links = static_cast<std::uint32_t*>(
      heap_realloc(pool.links, static_cast<std::size_t>(newCapacity) * sizeof(std::uint32_t)));
  if (links == nullptr) return false;
  pool.links = links;
  link_circle(links, pool.capacity, newCapacity - 1);
  pool.tail = newCapacity - 1;
  pool.capacity = newCapacity;
  return true;
}

}  // namespace

bool init(IndexPool& pool, std::uint32_t count) {
  pool.links = nullptr;
  pool.capacity = 0;
  pool.tail = NO_INDEX;
  pool.used = 0;
  if (count == 0) return false;
  auto* links =
      static_cast<std::uint32_t*>(heap_alloc(static_cast<std::size_t>(count) * sizeof(std::uint32_t)));
  if (links == nullptr) return false;
  pool.links = links;
  pool.capacity = count;
  reset(pool);
  return true;
}

std::uint32_t allocate(IndexPool& pool) {
  if (pool.links == nullptr || pool.capacity == 0) return NO_INDEX;
  // Full after a failed growth: no free list until a growth succeeds.
  if (pool.used >= pool.capacity && !grow(pool)) return NO_INDEX;
  std::uint32_t* links = pool.links;
  std::uint32_t index = links[pool.tail];
  links[pool.tail] = links[index];
  links[index] = NO_INDEX;
  ++pool.used;
  if (pool.used == pool.capacity) grow(pool);  // on failure the pool stays full
  return index;
}

void release(IndexPool& pool, std::uint32_t index) {
  if (!is_used(pool, index)) return;
  std::uint32_t* links = pool.links;
  if (pool.used >= pool.capacity) {
    // A full pool has no circle to join: the index becomes a circle of one.
    links[index] = index;
  } else {
    links[index] = links[pool.tail];
    links[pool.tail] = index;
  }
  pool.tail = index;
  --pool.used;
}

bool is_used(const IndexPool& pool, std::uint32_t index) {
  return pool.links != nullptr && index < pool.capacity && pool.links[index] == NO_INDEX;
}

void reset(IndexPool& pool) {
  pool.used = 0;
  if (pool.links == nullptr || pool.capacity == 0) return;
  link_circle(pool.links, 0, pool.capacity - 1);
  pool.tail = pool.capacity - 1;
}

void destroy(IndexPool& pool) {
  heap_free(pool.links);
  pool.links = nullptr;
  pool.capacity = 0;
  pool.tail = NO_INDEX;
  pool.used = 0;
}
