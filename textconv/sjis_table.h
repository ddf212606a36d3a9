// The UTF-8 to Shift-JIS conversion table: 11424 codes and a byte trie of
// 760 blocks, in one piece of read-only data (codes first, then the trie).
#pragma once

#include <cstdint>

constexpr std::uint32_t SJIS_CODE_COUNT = 11424;
constexpr std::uint32_t SJIS_TRIE_BLOCKS = 760;

// One trie block: entry 0 of a non-root block is its accept mark; every other
// entry is 0 (no sequence), v > 0 (code index v - 1 ends here) or -c
// (continue in block c).
using SjisTrieBlock = std::int16_t[256];

struct SjisTable {
  std::uint16_t codes[SJIS_CODE_COUNT];
  SjisTrieBlock trie[SJIS_TRIE_BLOCKS];
};

// The table built into every program.
extern const SjisTable sjis_table;
