// The 8.3 name a directory entry stores for an entry's (upper-cased,
// Shift-JIS) name, and how well the name fits it.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>

constexpr std::uint32_t SHORT_BASE_SIZE = 8;
constexpr std::uint32_t SHORT_EXTENSION_SIZE = 3;
constexpr std::uint32_t SHORT_NAME_SIZE = SHORT_BASE_SIZE + SHORT_EXTENSION_SIZE;

// A first name byte 0xE5 marks a deleted entry; FAT stores such a name with
// 0x05 in its place.
constexpr std::uint8_t DELETED_MARK = 0xE5;
constexpr std::uint8_t DELETED_MARK_STANDIN = 0x05;

// The SHORT_NAME_SIZE bytes of the entry for a name: cut at its last dot
// into a base of at most 8 bytes and an extension of at most 3, each padded
// with spaces, 0xE5 first stored as 0x05. No other byte is changed, so a
// double-byte character may be cut in half.
void make_short_name(const std::uint8_t* name, std::size_t length, std::uint8_t* shortName);

// The stored name as "BASE.EXT" (no padding, 0x05 first read as 0xE5), in
// out (room for SHORT_NAME_SIZE + 1 bytes); returns its length.
std::uint32_t short_name_text(const std::uint8_t* shortName, std::uint8_t* out);

struct SjisReverse;

// The stored name as "BASE.EXT" in UTF-8, zero-terminated in out, cut at a
// whole character to fit capacity.
void show_short_name(const SjisReverse& reverse, const std::uint8_t* shortName, char* out, std::size_t capacity);

// What the 8.3 form does to a name, judged on its characters (16-bit
// Shift-JIS units, as the conversion gave them).
struct ShortNameFit {
  bool cut;                 // the base or the extension is longer than its field
  bool cutInsideCharacter;  // a field ends inside a double-byte character
  bool dotInBase;           // a dot before the last one
  std::bitset<128> forbidden;  // the single-byte characters short names may not hold that it holds
};

ShortNameFit fit_short_name(const std::uint16_t* units, std::uint32_t count);
