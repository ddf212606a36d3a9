// Small indices handed out in ascending order and taken back, with a
// circular first-in first-out free list threaded through one link array.
#pragma once

#include <cstdint>

constexpr std::uint32_t NO_INDEX = 0xFFFFFFFF;

struct IndexPool {
  std::uint32_t* links;  // next free index, or NO_INDEX for an index in use
  std::uint32_t capacity;
  std::uint32_t tail;  // last free index; its link is the next one handed out
  std::uint32_t used;
};

// Makes count indices (at least 1) free in ascending order; false when the
// links cannot be allocated (capacity is then 0).
bool init(IndexPool& pool, std::uint32_t count);
// Returns the next free index, growing the pool when the last one is taken.
// Returns NO_INDEX when the pool is full because a growth failed (the next
// call retries the growth).
std::uint32_t allocate(IndexPool& pool);
// Gives an index back; an index that is not in use is ignored.
void release(IndexPool& pool, std::uint32_t index);
bool is_used(const IndexPool& pool, std::uint32_t index);
// Makes every index free again in the initial order; the size stays.
void reset(IndexPool& pool);
// Frees the links and zeroes every field.
void destroy(IndexPool& pool);
