#include "textconv/sjis_reverse.h"

#include <cstdio>
#include <cstring>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t CODE_SPACE = 0x10000;
// Longest table sequence, in bytes; deeper walks mean a damaged trie.
constexpr std::uint32_t MAX_SEQUENCE = 8;
constexpr std::uint32_t LENGTH_BITS = 4;

struct TrieWalk {
  SjisReverse& reverse;
  const std::uint16_t* codes;
  const SjisTrieBlock* trie;
  std::uint32_t used;
  std::uint8_t sequence[MAX_SEQUENCE];
};

// Notes that the first `length` bytes of the walk convert to code index
// `index`. Code 0 is left without a reverse: a name never holds it.
void record(TrieWalk& walk, std::int32_t index, std::uint32_t length) {
  std::uint16_t code = walk.codes[index];
  if (code == 0 || walk.reverse.spans[code] != 0) return;
  std::memcpy(walk.reverse.bytes + walk.used, walk.sequence, length);
  walk.reverse.spans[code] = walk.used << LENGTH_BITS | length;
  walk.used += length;
}

void walk_block(TrieWalk& walk, std::int32_t block, std::uint32_t depth) {
  if (depth == MAX_SEQUENCE) return;
  // Entry 0 of every block but the root is its accept mark, not a byte.
  for (std::uint32_t byte = depth == 0 ? 0 : 1; byte < 256; ++byte) {
    std::int16_t entry = walk.trie[block][byte];
    walk.sequence[depth] = static_cast<std::uint8_t>(byte);
    if (entry > 0) record(walk, entry - 1, depth + 1);
    if (entry >= 0) continue;
    std::int16_t accept = walk.trie[-entry][0];
    if (accept > 0) record(walk, accept - 1, depth + 1);
    walk_block(walk, -entry, depth + 1);
  }
}

// Appends `text` when it fits before the terminator's byte.
bool append(char* out, std::size_t capacity, std::size_t& at, const char* text, std::size_t n) {
  if (at + n >= capacity) return false;
  std::memcpy(out + at, text, n);
  at += n;
  return true;
}

}  // namespace

bool build_sjis_reverse(SjisReverse& reverse, const std::uint16_t* sjis_code_table,
                        const SjisTrieBlock* sjis_trie) {
  reverse.spans = static_cast<std::uint32_t*>(heap_alloc_zeroed(CODE_SPACE * sizeof(std::uint32_t)));
  reverse.bytes = static_cast<std::uint8_t*>(heap_alloc(SJIS_CODE_COUNT * MAX_SEQUENCE));
  if (reverse.spans == nullptr || reverse.bytes == nullptr) {
    release_sjis_reverse(reverse);
    return false;
  }
  TrieWalk walk{reverse, sjis_code_table, sjis_trie, 0, {}};
  walk_block(walk, 0, 0);
  return true;
}

void release_sjis_reverse(SjisReverse& reverse) {
  heap_free(reverse.spans);
  heap_free(reverse.bytes);
  reverse = SjisReverse{nullptr, nullptr};
}

std::size_t sjis_to_utf8(const SjisReverse& reverse, const std::uint8_t* sjis, std::size_t length,
                         char* out, std::size_t capacity) {
  if (capacity == 0) return 0;
  std::size_t at = 0;
  for (std::size_t i = 0; i < length;) {
    std::uint32_t span = 0;
    std::size_t taken = 1;
    if (sjis[i] >= 0x81 && i + 1 < length) span = reverse.spans[sjis[i] << 8 | sjis[i + 1]];
    if (span != 0) {
      taken = 2;
    } else {
      span = reverse.spans[sjis[i]];
    }
    bool fits;
    if (span != 0) {
      const char* text = reinterpret_cast<const char*>(reverse.bytes + (span >> LENGTH_BITS));
      fits = append(out, capacity, at, text, span & ((1u << LENGTH_BITS) - 1));
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{sjis[i]});
      fits = append(out, capacity, at, escaped, 4);
    }
    if (!fits) break;
    i += taken;
  }
  out[at] = 0;
  return at;
}
