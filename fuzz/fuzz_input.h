// In-memory input for the filter harnesses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textconv/input_report.h"

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

// Whether this input also runs with diagnostics on: chosen by its first byte,
// so that about half of every corpus takes the --verbose paths.
inline bool with_diagnostics(const uint8_t* data, size_t size) { return size != 0 && (data[0] & 1) != 0; }

// A reporter whose messages and findings all go to /dev/null: every finding
// is made and counted, none is seen.
struct QuietReport {
  Reporter reporter;
  InputReport report;
};

inline void start_quiet_report(QuietReport& quiet) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) std::abort();
  quiet.reporter = Reporter{"fuzz", true, false, false, 0, sink, sink, nullptr, nullptr};
  quiet.report = InputReport{&quiet.reporter, "in.asm"};
}
