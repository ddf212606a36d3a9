// Greedy longest-match UTF-8 to Shift-JIS conversion over the byte trie; with
// the built-in table, the common forms take one direct lookup instead.

#include "textconv/transcoder.h"

#include <bit>
#include <cstring>

// Walks the trie from the root at src[0], one lookup per byte read; the
// positive accept mark of a block entered on the way is a complete, shorter
// match.
std::uint32_t sjis_longest_match(const std::uint8_t* src, std::uint32_t avail, const SjisTrieBlock* trie,
                                 std::uint32_t* index) {
  const std::int16_t* block = trie[0];
  std::uint32_t n = 0;
  std::uint32_t accepted = 0;
  std::int16_t entry;
  do {
    entry = block[src[n]];
    ++n;
    if (entry < 0) {
      block = trie[-entry];
      if (block[0] > 0) {
        accepted = n;
        *index = static_cast<std::uint32_t>(block[0] - 1);
      }
    }
  } while (entry < 0 && n < avail);
  if (entry > 0) {
    *index = static_cast<std::uint32_t>(entry - 1);
    return n;
  }
  return accepted;
}

namespace {

// Both forms share the walk; they differ only in how a code of 0xFF or less
// is emitted: one byte (variable width) or 00 and the byte (fixed width).
// Two bytes are stored at once; after a single byte the second is written
// over next. Returns the new output position.
template <bool FixedWidth>
inline std::uint32_t emit(std::uint8_t* dst, std::uint32_t out, std::uint32_t unit) {
  const std::uint32_t wide = FixedWidth || unit > 0xFF ? 1 : 0;
  // The first byte to write is the high byte of a wide result, else the byte.
  constexpr bool little = std::endian::native == std::endian::little;
  const auto bytes = static_cast<std::uint16_t>(little ? (wide ? (unit >> 8 | unit << 8) : unit) : (wide ? unit : unit << 8));
  std::memcpy(dst + out, &bytes, 2);
  return out + 1 + wide;
}

// The longest match at src[0] by the trie walk alone: its unit in *unit
// (the byte itself when it passes through); returns the source bytes.
inline std::uint32_t walk(const std::uint8_t* src, std::uint32_t avail, const std::uint16_t* codes,
                          const SjisTrieBlock* trie, std::uint32_t* unit) {
  std::uint32_t index = 0;
  const std::uint32_t length = sjis_longest_match(src, avail, trie, &index);
  *unit = length == 0 ? src[0] : codes[index];
  return length == 0 ? 1 : length;
}

template <bool FixedWidth>
std::uint32_t convert(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                      const std::uint16_t* codes, const SjisTrieBlock* trie) {
  std::uint32_t out = 0;
  std::uint32_t p = 0;
  while (p < length) {
    std::uint32_t unit = 0;
    p += walk(src + p, length - p, codes, trie, &unit);
    out = emit<FixedWidth>(dst, out, unit);
  }
  return out;
}

inline bool are_continuations(std::uint32_t b1, std::uint32_t b2) { return ((b1 & 0xC0) << 2 | (b2 & 0xC0)) == 0x280; }

inline bool is_three_byte_lead(std::uint32_t lead) { return lead - 0xE0 < 0x10; }

// True for a direct entry that is not a code: 0 (the lead passes through),
// a pair start or SJIS_DIRECT_WALK.
inline bool is_special(std::uint32_t entry) { return ((entry - 1) & 0xFFFF) >= SJIS_DIRECT_PAIR - 1; }

inline bool is_pair_start(std::uint32_t entry) { return (entry >= SJIS_DIRECT_PAIR) & (entry != SJIS_DIRECT_WALK); }

// One step of the conversion at src[p] where no direct lookup applied or the
// entry was special: the pass-through byte, or the walk's longest match.
template <bool FixedWidth>
inline std::uint32_t slow_step(const std::uint8_t* src, std::uint32_t length, std::uint32_t* p, std::uint8_t* dst,
                               std::uint32_t out, std::uint32_t entry) {
  std::uint32_t unit = src[*p];
  std::uint32_t n = 1;
  if (entry != 0) n = walk(src + *p, length - *p, sjis_table.codes, sjis_table.trie, &unit);
  *p += n;
  return emit<FixedWidth>(dst, out, unit);
}

// The direct index of the three-byte form lead, b1, b2 (lead E0 to EF, the
// others 80 to BF): the bits of the three bytes side by side.
inline std::uint32_t three_byte_index(std::uint32_t lead, std::uint32_t b1, std::uint32_t b2) {
  constexpr std::uint32_t FORM_BITS = (0xE0u << 12) + (0x80u << 6) + 0x80u;
  return (lead << 12) + (b1 << 6) + b2 - FORM_BITS + SJIS_DIRECT_THREE;
}

// Eight bytes at src, the first lowest.
inline std::uint64_t load_bytes(const std::uint8_t* src) {
  std::uint64_t w = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&w, src, sizeof w);
  } else {
    for (int k = 7; k >= 0; --k) w = w << 8 | src[k];
  }
  return w;
}

// The entry of a pair start (else entry itself) standing alone, as it does
// when the entry of the next three-byte form is not 0: a pair start that
// stays one goes to the walk.
inline std::uint32_t alone(std::uint32_t entry, std::uint32_t next) {
  const std::uint32_t code = sjis_direct[SJIS_DIRECT_PAIRS + (entry & 0x1F)];
  return is_pair_start(entry) && next != 0 ? code : entry;
}

// The entry of the three-byte form in bytes 6 and 7 of w and in b8, or 0
// when they are none.
inline std::uint32_t following_entry(std::uint64_t w, std::uint32_t b8) {
  const auto b6 = static_cast<std::uint32_t>(w >> 48 & 0xFF);
  const auto b7 = static_cast<std::uint32_t>(w >> 56);
  const bool form = ((w >> 48 & 0xC0F0) == 0x80E0) & ((b8 & 0xC0) == 0x80);
  const std::uint32_t entry = sjis_direct[SJIS_DIRECT_THREE + ((b6 & 0x0F) << 12 | (b7 & 0x3F) << 6 | (b8 & 0x3F))];
  return form ? entry : 0;
}

// Two three-byte forms (lead E0 to EF, then two bytes 80 to BF) in the first
// six of eight bytes.
constexpr std::uint64_t TWO_FORMS_MASK = 0x0000C0C0F0C0C0F0;
constexpr std::uint64_t TWO_FORMS = 0x00008080E08080E0;
constexpr std::uint64_t HIGH_BITS = 0x8080808080808080;

// The high bit of each byte of w that is 0 (exact for every byte).
inline std::uint64_t zero_bytes(std::uint64_t w) {
  constexpr std::uint64_t LOW_SEVEN = 0x7F7F7F7F7F7F7F7F;
  return ~(((w & LOW_SEVEN) + LOW_SEVEN) | w) & HIGH_BITS;
}

// The high bit of each byte of w that is \ or ~, the two single bytes whose
// codes take two bytes (815Fh and 81B0h).
inline std::uint64_t two_byte_singles(std::uint64_t w) {
  constexpr std::uint64_t BACKSLASHES = 0x5C5C5C5C5C5C5C5C;
  constexpr std::uint64_t TILDES = 0x7E7E7E7E7E7E7E7E;
  return zero_bytes(w ^ BACKSLASHES) | zero_bytes(w ^ TILDES);
}

// Converts the single bytes (00 to 7F) at the start of the eight bytes in w
// without a branch on where they end; bytes after them leave out alone,
// though their lookups write behind it. Returns their number (0 to 8).
template <bool FixedWidth>
inline std::uint32_t convert_single_bytes(std::uint64_t w, std::uint8_t* dst, std::uint32_t* out) {
  const std::uint64_t high = w & HIGH_BITS;
  const std::uint32_t count = high == 0 ? 8 : static_cast<std::uint32_t>(std::countr_zero(high)) / 8;
  if constexpr (!FixedWidth && std::endian::native == std::endian::little) {
    // The table gives every single byte itself as its code, but \ and ~:
    // without those among them, the eight bytes are stored as they are and
    // the single bytes among them kept.
    const std::uint64_t taken = count == 8 ? ~0ull : (1ull << 8 * count) - 1;
    if ((two_byte_singles(w) & taken) == 0) {
      std::memcpy(dst + *out, &w, sizeof w);
      *out += count;
      return count;
    }
  }
  std::uint32_t at = *out;
#pragma GCC unroll 8
  for (std::uint32_t k = 0; k < 8; ++k) {
    const std::uint32_t next = emit<FixedWidth>(dst, at, sjis_direct[SJIS_DIRECT_ONE + (w >> 8 * k & 0x7F)]);
    at += (next - at) & (0u - (k < count ? 1u : 0u));
  }
  *out = at;
  return count;
}

// The direct entry of the form at src (avail bytes from 1 on) that is no
// single byte, or SJIS_DIRECT_WALK; *length receives the form's bytes.
inline std::uint32_t other_form(const std::uint8_t* src, std::uint32_t avail, std::uint32_t* length) {
  const std::uint32_t lead = src[0];
  if (is_three_byte_lead(lead) && avail >= 3 && are_continuations(src[1], src[2])) {
    *length = 3;
    return sjis_direct[three_byte_index(lead, src[1], src[2])];
  }
  if (lead - 0xC0 < 0x20 && avail >= 2 && (src[1] & 0xC0) == 0x80) {
    *length = 2;
    return sjis_direct[SJIS_DIRECT_TWO + ((lead & 0x1F) << 6 | (src[1] & 0x3Fu))];
  }
  *length = 1;
  return SJIS_DIRECT_WALK;
}

// convert over the built-in table: a direct lookup gives the result of the
// walk for each complete one-, two- or three-byte form, the walk decides the
// rest. Japanese text is taken two three-byte forms at a time and ASCII eight
// bytes at a time, so that few branches hang on where a run of either ends.
template <bool FixedWidth>
std::uint32_t convert_direct(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                             bool* passedThrough = nullptr) {
  std::uint32_t out = 0;
  std::uint32_t p = 0;
  while (p < length) {
    while (length - p >= 9) {
      const std::uint8_t* s = src + p;
      const std::uint64_t w = load_bytes(s);
      if ((w & TWO_FORMS_MASK) != TWO_FORMS) break;
      const std::uint32_t first = sjis_direct[three_byte_index(s[0], s[1], s[2])];
      const std::uint32_t second = sjis_direct[three_byte_index(s[3], s[4], s[5])];
      const std::uint32_t one = alone(first, second);
      std::uint32_t two = second;
      if (is_pair_start(second)) two = alone(second, following_entry(w, s[8]));
      if (is_special(one) || is_special(two)) break;
      out = emit<FixedWidth>(dst, out, one);
      out = emit<FixedWidth>(dst, out, two);
      p += 6;
    }
    if (src[p] < 0x80) {
      if (length - p >= 8) {
        p += convert_single_bytes<FixedWidth>(load_bytes(src + p), dst, &out);
      } else {
        out = emit<FixedWidth>(dst, out, sjis_direct[SJIS_DIRECT_ONE + src[p]]);
        ++p;
      }
      continue;
    }
    std::uint32_t n = 1;
    const std::uint32_t entry = other_form(src + p, length - p, &n);
    if (is_special(entry)) {
      const std::uint32_t at = p;
      out = slow_step<FixedWidth>(src, length, &p, dst, out, entry);
      // No table sequence is a single byte above 7Fh: such a step passed it through.
      if (passedThrough != nullptr && p - at == 1) *passedThrough = true;
      continue;
    }
    out = emit<FixedWidth>(dst, out, entry);
    p += n;
  }
  return out;
}

template <bool FixedWidth>
std::uint32_t convert_with(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                           const std::uint16_t* codes, const SjisTrieBlock* trie) {
  if (codes == sjis_table.codes && trie == sjis_table.trie) return convert_direct<FixedWidth>(src, length, dst);
  return convert<FixedWidth>(src, length, dst, codes, trie);
}

}  // namespace

std::uint32_t sjis_unit_at(const std::uint8_t* src, std::uint32_t avail, std::uint32_t* unit) {
  if (src[0] < 0x80) {
    *unit = sjis_direct[SJIS_DIRECT_ONE + src[0]];
    return 1;
  }
  std::uint32_t n = 1;
  const std::uint32_t entry = other_form(src, avail, &n);
  if (!is_special(entry)) {
    *unit = entry;
    return n;
  }
  if (entry == 0) {
    *unit = src[0];
    return 1;
  }
  return walk(src, avail, sjis_table.codes, sjis_table.trie, unit);
}

std::uint32_t utf8_to_sjis(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                           const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie) {
  return convert_with<false>(src, length, dst, sjis_code_table, sjis_trie);
}

std::uint32_t utf8_to_sjis16(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                             const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie) {
  return convert_with<true>(src, length, dst, sjis_code_table, sjis_trie);
}

std::uint32_t utf8_to_sjis_noting(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                                  bool* maybeUnconverted) {
  *maybeUnconverted = false;
  return convert_direct<false>(src, length, dst, maybeUnconverted);
}
