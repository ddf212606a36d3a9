#include "textconv/encoding_guess.h"

namespace {

// Length of the UTF-8 sequence at text (avail bytes), 0 when it is not one.
std::size_t utf8_sequence(const std::uint8_t* text, std::size_t avail) {
  const std::uint8_t b = text[0];
  if (b < 0x80) return 1;
  std::size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (length == 0 || length > avail) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
  }
  // Overlong three- and four-byte forms, surrogates, values past U+10FFFF.
  if ((b == 0xE0 && text[1] < 0xA0) || (b == 0xED && text[1] >= 0xA0) || (b == 0xF0 && text[1] < 0x90) ||
      (b == 0xF4 && text[1] >= 0x90)) {
    return 0;
  }
  return length;
}

bool is_lead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool is_trail(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

}  // namespace

bool is_utf8(const std::uint8_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length;) {
    std::size_t n = utf8_sequence(text + i, length - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool reads_as_shift_jis(const std::uint8_t* text, std::size_t length) {
  bool high = false;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t b = text[i];
    if (b < 0x80) continue;
    high = true;
    if (b >= 0xA1 && b <= 0xDF) continue;
    if (!is_lead(b) || i + 1 >= length || !is_trail(text[i + 1])) return false;
    ++i;
  }
  return high && !is_utf8(text, length);
}
