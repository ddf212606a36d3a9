#include "diskmason/model/attributes.h"

namespace {

// The bit of an attribute letter, 0 for any other byte.
std::uint8_t bit_of(std::uint8_t letter) {
  for (std::uint32_t i = 0; i < 8; ++i) {
    if (static_cast<std::uint8_t>(ATTRIBUTE_LETTERS[i]) == letter) return static_cast<std::uint8_t>(1u << i);
  }
  return 0;
}

}  // namespace

std::uint8_t decode_attributes(const std::uint8_t* text, std::uint32_t length) {
  std::uint8_t attributes = 0;
  for (std::uint32_t i = 0; i < length; ++i) attributes |= bit_of(text[i]);
  return attributes;
}

std::uint32_t first_unknown_attribute(const std::uint8_t* text, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i) {
    if (text[i] != '-' && bit_of(text[i]) == 0) return i;
  }
  return length;
}

void attribute_letters(std::uint8_t attributes, char (&out)[sizeof ATTRIBUTE_LETTERS]) {
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; i < 8; ++i) {
    if ((attributes >> i & 1) != 0) out[n++] = ATTRIBUTE_LETTERS[i];
  }
  if (n == 0) out[n++] = '-';
  out[n] = 0;
}
