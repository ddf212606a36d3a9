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

// Marks a direct lookup that the trie walk must decide: a longer sequence
// (a character and a combining mark after it) may follow.
constexpr std::uint16_t SJIS_DIRECT_WALK = 0xFFFF;

// SJIS_DIRECT_PAIR + k marks a three-byte form that is a character of its
// own and begins pairs (か and か゚): its code is sjis_direct[SJIS_DIRECT_PAIRS
// + k]. It stands alone when the next three-byte form's entry is not 0;
// else the walk decides.
constexpr std::uint16_t SJIS_DIRECT_PAIR = 0xFF00;

// Where each form's entries begin in sjis_direct: one byte 00 to 7F; two
// bytes, (lead & 1F) << 6 | (next & 3F) for leads C0 to DF; three bytes,
// (lead & 0F) << 12 | (second & 3F) << 6 | (third & 3F) for leads E0 to EF;
// the bytes after the lead are 80 to BF. Then the codes of the pair starts.
constexpr std::uint32_t SJIS_DIRECT_ONE = 0;
constexpr std::uint32_t SJIS_DIRECT_TWO = 128;
constexpr std::uint32_t SJIS_DIRECT_THREE = SJIS_DIRECT_TWO + 2048;
constexpr std::uint32_t SJIS_DIRECT_PAIRS = SJIS_DIRECT_THREE + 65536;
constexpr std::uint32_t SJIS_DIRECT_SIZE = SJIS_DIRECT_PAIRS + 32;

// What a walk of sjis_table's trie finds for each short UTF-8 form, so that
// the transcoder can take the common characters in one lookup: the code, 0
// when the first byte passes through unconverted, SJIS_DIRECT_WALK, or a
// pair start. A single byte (00 to 7F) never needs the walk, and one that
// passes through is its own entry.
extern const std::uint16_t sjis_direct[SJIS_DIRECT_SIZE];
