// Greedy longest-match conversion of UTF-8 text to Shift-JIS. Bytes the table
// does not know pass through unchanged, one at a time; nothing ever fails.
#pragma once

#include <cstdint>

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

// The longest table sequence at src[0] (avail bytes, at least 1): returns
// its length and puts its index in the code table in *index; 0 when src[0]
// begins none and passes through. A sequence that begins a longer one counts
// when the longer one does not follow.
std::uint32_t sjis_longest_match(const std::uint8_t* src, std::uint32_t avail, const SjisTrieBlock* trie,
                                 std::uint32_t* index);
