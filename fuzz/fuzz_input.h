// In-memory input for the filter harnesses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// True when needle occurs anywhere in data.
inline bool contains(const uint8_t* data, size_t size, const char* needle) {
  size_t n = std::strlen(needle);
  for (size_t i = 0; i + n <= size; ++i)
    if (std::memcmp(data + i, needle, n) == 0) return true;
  return false;
}

// A read stream over data (an empty temporary file for empty input, which
// fmemopen refuses); aborts when none can be had.
inline std::FILE* open_input(const uint8_t* data, size_t size) {
  std::FILE* in = size == 0 ? std::tmpfile() : fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (in == nullptr) std::abort();
  return in;
}
