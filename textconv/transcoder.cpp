// Greedy longest-match UTF-8 to Shift-JIS conversion over the byte trie.

#include "textconv/transcoder.h"

namespace {

// Result of matching at one position: the code index (or -1 for an unknown
// byte that passes through) and the number of source bytes consumed.
struct Match {
  std::int32_t index;
  std::uint32_t length;
};

// Walks the trie from the root at src[0], with one lookup per byte read.
// Returns the longest table sequence starting there, counting a positive
// accept mark of a block entered on the way as a complete (shorter) match.
inline Match longest_match(const std::uint8_t* src, std::uint32_t avail, const SjisTrieBlock* trie) {
  const std::int16_t* block = trie[0];
  std::uint32_t n = 0;
  std::uint32_t accepted = 0;
  std::int32_t accepted_index = 0;
  std::int16_t entry;
  do {
    entry = block[src[n]];
    ++n;
    if (entry < 0) {
      block = trie[-entry];
      if (block[0] > 0) {
        accepted = n;
        accepted_index = block[0] - 1;
      }
    }
  } while (entry < 0 && n < avail);
  if (entry > 0) return {entry - 1, n};
  if (accepted != 0) return {accepted_index, accepted};
  return {-1, 1};
}

// Both forms share the walk; they differ only in how a code of 0xFF or less
// is emitted: one byte (variable width) or 00 and the byte (fixed width).
template <bool FixedWidth>
std::uint32_t convert(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                      const std::uint16_t* codes, const SjisTrieBlock* trie) {
  std::uint32_t out = 0;
  std::uint32_t p = 0;
  while (p < length) {
    Match m = longest_match(src + p, length - p, trie);
    std::uint16_t unit = m.index < 0 ? src[p] : codes[m.index];
    // A one-byte result of the variable-width form overwrites its zero high byte in place.
    std::uint32_t wide = FixedWidth || unit > 0xFF ? 1 : 0;
    dst[out] = static_cast<std::uint8_t>(unit >> 8);
    dst[out + wide] = static_cast<std::uint8_t>(unit);
    out += 1 + wide;
    p += m.length;
  }
  return out;
}

}  // namespace

std::uint32_t utf8_to_sjis(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                           const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie) {
  return convert<false>(src, length, dst, sjis_code_table, sjis_trie);
}

std::uint32_t utf8_to_sjis16(const std::uint8_t* src, std::uint32_t length, std::uint8_t* dst,
                             const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie) {
  return convert<true>(src, length, dst, sjis_code_table, sjis_trie);
}
