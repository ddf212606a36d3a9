// The conversion table read backwards: for each Shift-JIS code, the UTF-8
// sequence that converts to it. Built by one walk of the trie, on demand
// (listing what a disk holds), never on the conversion path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "textconv/sjis_table.h"

struct SjisReverse {
  std::vector<std::uint32_t> spans;  // 65536, by code: offset << 4 | length; 0 = no reverse
  std::vector<std::uint8_t> bytes;   // the UTF-8 sequences back to back
};

// Walks the trie and records every code's sequence; false (nothing held)
// when memory ran out.
bool build_sjis_reverse(SjisReverse& reverse, const std::uint16_t* sjis_code_table = sjis_table.codes,
                        const SjisTrieBlock* sjis_trie = sjis_table.trie);

// True once built.
inline bool is_built(const SjisReverse& reverse) { return !reverse.spans.empty(); }

// Writes Shift-JIS bytes as zero-terminated UTF-8 into out, cut at a whole
// character to fit capacity. A lead byte and the byte after it are read as
// one code when that code has a reverse; any other byte without one is
// written as \xNN. Returns the bytes written, the terminator not counted.
std::size_t sjis_to_utf8(const SjisReverse& reverse, const std::uint8_t* sjis, std::size_t length,
                         char* out, std::size_t capacity);
