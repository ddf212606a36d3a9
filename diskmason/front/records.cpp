#include "diskmason/front/records.h"

#include <cstring>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t FIRST_TEXT_CAPACITY = 256;
constexpr std::uint32_t FIRST_SPAN_CAPACITY = 16;

// Twice `capacity` (`first` when it is 0), doubled until `needed` fits; 0
// when that does not fit 32 bits.
std::uint32_t grown_capacity(std::uint32_t capacity, std::uint64_t needed, std::uint32_t first) {
  std::uint64_t size = capacity == 0 ? first : 2 * static_cast<std::uint64_t>(capacity);
  while (size < needed) size *= 2;
  return size > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(size);
}

}  // namespace

bool string_pool_init(StringPool& pool, std::uint32_t textCapacity, std::uint32_t spanCapacity) {
  pool.text = static_cast<std::uint8_t*>(heap_alloc(textCapacity));
  pool.spans = static_cast<StringSpan*>(
      heap_alloc(static_cast<std::size_t>(spanCapacity) * sizeof(StringSpan)));
  pool.count = 0;
  pool.used = 0;
  pool.textCapacity = textCapacity;
  pool.spanCapacity = spanCapacity;
  if (pool.text == nullptr || pool.spans == nullptr) {
    string_pool_release(pool);
    return false;
  }
  return true;
}

bool string_pool_append(StringPool& pool, const std::uint8_t* bytes, std::uint32_t length) {
  if (bytes == nullptr && length != 0) return false;
  std::uint64_t needed = static_cast<std::uint64_t>(pool.used) + length;
  if (needed > 0xFFFFFFFFu || pool.count == 0xFFFFFFFFu) return false;
  if (needed > pool.textCapacity) {
    std::uint32_t capacity = grown_capacity(pool.textCapacity, needed, FIRST_TEXT_CAPACITY);
    if (capacity == 0) return false;
    auto* text = static_cast<std::uint8_t*>(heap_realloc(pool.text, capacity));
    if (text == nullptr) return false;
    pool.text = text;
    pool.textCapacity = capacity;
  }
  if (pool.count >= pool.spanCapacity) {
    std::uint32_t capacity =
        grown_capacity(pool.spanCapacity, static_cast<std::uint64_t>(pool.count) + 1, FIRST_SPAN_CAPACITY);
    if (capacity == 0) return false;
    auto* spans = static_cast<StringSpan*>(
        heap_realloc(pool.spans, static_cast<std::size_t>(capacity) * sizeof(StringSpan)));
    if (spans == nullptr) return false;
    pool.spans = spans;
    pool.spanCapacity = capacity;
  }
  pool.spans[pool.count] = StringSpan{pool.used, length};
  ++pool.count;
  if (length != 0) std::memcpy(pool.text + pool.used, bytes, length);
  pool.used += length;
  return true;
}

void string_pool_release(StringPool& pool) {
  heap_free(pool.text);
  heap_free(pool.spans);
  pool.text = nullptr;
  pool.spans = nullptr;
  pool.count = 0;
  pool.used = 0;
  pool.spanCapacity = 0;
  pool.textCapacity = 0;
}
