// The two Shift-JIS forms under which a directory enters a child's name: the
// plain form (the path component converted) and the upper-cased form (ASCII
// letters upper-cased first).
#pragma once

#include <cstddef>
#include <cstdint>

// Both forms of one path component, zero-terminated, in a local buffer for
// the usual short names and on the heap for long ones.
struct ComponentForms {
  std::uint8_t local[640];
  std::uint8_t* heap = nullptr;
  std::uint8_t* plain = nullptr;
  std::uint8_t* upper = nullptr;
  std::uint32_t plainLength = 0;
  std::uint32_t upperLength = 0;

  ComponentForms() = default;
  ComponentForms(const ComponentForms&) = delete;
  ComponentForms& operator=(const ComponentForms&) = delete;
  ~ComponentForms();
};

// Converts the n bytes at text into both forms; false when they cannot form
// a name-table key (too long, a zero byte in the name) or memory ran out.
bool convert_component(ComponentForms& forms, const char* text, std::size_t n);
