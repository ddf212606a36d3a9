// Greedy longest-match conversion of UTF-8 text to Shift-JIS. Bytes the table
// does not know pass through unchanged, one at a time; nothing ever fails.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "textconv/sjis_table.h"

// Writes the Shift-JIS bytes of src to dst and returns their number.
// dst must hold 2 bytes per source byte.
std::uint32_t utf8_to_sjis(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                           const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie);

// Like utf8_to_sjis, but every result is one 16-bit unit, high byte first
// (a single-byte code or an unconverted byte b gives 00 b). Returns the byte
// count, always even and at most 2 per source byte.
std::uint32_t utf8_to_sjis16(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                             const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie);

// utf8_to_sjis over the built-in table that also notes, in
// *maybeUnconverted, whether a byte above 7Fh passed through unconverted:
// text without one needs no check for characters the table lacks.
std::uint32_t utf8_to_sjis_noting(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                                  bool* maybeUnconverted);

// The longest table sequence at src[0] (avail bytes, at least 1): returns
// its length and puts its index in the code table in *index; 0 when src[0]
// begins none and passes through. A sequence that begins a longer one counts
// when the longer one does not follow.
std::uint32_t sjis_longest_match(const std::uint8_t* src, std::uint32_t avail, const SjisTrieBlock* trie,
                                 std::uint32_t* index);

// One step of the conversion over the built-in table at src[0] (avail bytes,
// at least 1): puts the unit that utf8_to_sjis16 gives there in *unit and
// returns the source bytes it takes.
std::uint32_t sjis_unit_at(const std::uint8_t* src, std::uint32_t avail, std::uint32_t* unit);

// Up to eight bytes at src (avail of them, the rest 0), the first lowest.
inline std::uint64_t sjis_load_bytes(const std::uint8_t* src, std::uint32_t avail) {
  std::uint64_t w = 0;
  if constexpr (std::endian::native == std::endian::little) {
    if (avail >= 8) {
      std::memcpy(&w, src, sizeof w);
      return w;
    }
  }
  for (std::uint32_t k = avail < 8 ? avail : 8; k > 0; --k) w = w << 8 | src[k - 1];
  return w;
}

// True when the low three bytes of w are a three-byte form: lead E0 to EF,
// then two bytes 80 to BF. A form cut off by the end of the text, its
// missing bytes 0, is none.
inline bool is_sjis_three_byte_form(std::uint64_t w) { return (w & 0xC0C0F0) == 0x8080E0; }

// The direct entry of the three-byte form at src.
inline std::uint32_t sjis_three_byte_entry(const std::uint8_t* src) {
  constexpr std::uint32_t FORM_BITS = (0xE0u << 12) + (0x80u << 6) + 0x80u;
  return sjis_direct[(std::uint32_t{src[0]} << 12) + (std::uint32_t{src[1]} << 6) + src[2] - FORM_BITS +
                     SJIS_DIRECT_THREE];
}

// One unit of for_each_sjis_unit at src, whose first eight bytes (those
// there are, the rest 0) are w: hands it to sink and returns the bytes it
// takes. A complete three-byte form with a code takes the first branch.
template <typename Sink>
inline std::uint32_t sjis_unit_step(const std::uint8_t* src, std::uint32_t avail, std::uint64_t w, Sink& sink) {
  if (is_sjis_three_byte_form(w)) {
    const std::uint32_t entry = sjis_three_byte_entry(src);
    // Entries 1 to SJIS_DIRECT_PAIR - 1 are codes.
    if (entry - 1 < SJIS_DIRECT_PAIR - 1u) {
      sink(entry);
      return 3;
    }
    // A pair start stands alone before a three-byte form of non-zero entry.
    if (entry >= SJIS_DIRECT_PAIR && entry != SJIS_DIRECT_WALK && is_sjis_three_byte_form(w >> 24) &&
        sjis_three_byte_entry(src + 3) != 0) {
      sink(std::uint32_t{sjis_direct[SJIS_DIRECT_PAIRS + (entry & 0x1F)]});
      return 3;
    }
  } else if ((w & 0x80) == 0) {
    sink(std::uint32_t{sjis_direct[SJIS_DIRECT_ONE + (w & 0x7F)]});
    return 1;
  }
  std::uint32_t unit = 0;
  const std::uint32_t n = sjis_unit_at(src, avail, &unit);
  sink(unit);
  return n;
}

// The units of utf8_to_sjis16 over the built-in table, handed one by one to
// sink(unit) instead of written out, for a caller that counts or codes them
// as they come. A single byte and a complete three-byte form take one lookup
// (a pair start one more, of the form after it); every other form takes one
// sjis_unit_at.
template <typename Sink>
inline void for_each_sjis_unit(const std::uint8_t* src, std::uint32_t length, Sink&& sink) {
  const std::uint8_t* s = src;
  const std::uint8_t* const end = src + length;
  // Eight bytes at a time while there are eight; then those left of the
  // last eight of the text, or those there are.
  while (end - s >= 8) {
    const std::uint64_t w = sjis_load_bytes(s, 8);
    // Two three-byte forms whose entries are both codes: neither depends on what follows.
    if (is_sjis_three_byte_form(w) && is_sjis_three_byte_form(w >> 24)) {
      const std::uint32_t first = sjis_three_byte_entry(s);
      const std::uint32_t second = sjis_three_byte_entry(s + 3);
      if (first - 1 < SJIS_DIRECT_PAIR - 1u && second - 1 < SJIS_DIRECT_PAIR - 1u) {
        sink(first);
        sink(second);
        s += 6;
        continue;
      }
    }
    s += sjis_unit_step(s, static_cast<std::uint32_t>(end - s), w, sink);
  }
  const std::uint64_t last = length >= 8 ? sjis_load_bytes(end - 8, 8) : 0;
  while (s != end) {
    const auto avail = static_cast<std::uint32_t>(end - s);
    const std::uint64_t w = length >= 8 ? last >> (64 - 8 * avail) : sjis_load_bytes(s, avail);
    s += sjis_unit_step(s, avail, w, sink);
  }
}
