// The custom character table of glyphmint: counting the characters of the
// $CJIS literals, choosing at most 168 of them, coding literals with the
// chosen table and writing the table at the head of the output.
//
// All inputs are 16-bit units, two bytes each, high byte first; a
// single-byte character is a unit with high byte 0.
#pragma once

#include <cstdint>

struct FilterOutput;

constexpr std::uint32_t CJIS_TABLE_LIMIT = 168;
// Returned by find_cjis_code when a unit is not in the table.
constexpr std::uint32_t CJIS_NOT_FOUND = 0xFFFFFFFF;
// Number of double-byte unit values (0x8000 to 0xFFFF).
constexpr std::uint32_t CJIS_DOUBLE_VALUES = 0x8000;
// Kind bytes of a coded literal and its line end byte.
constexpr std::uint8_t CJIS_KIND_MIXED = 1;
constexpr std::uint8_t CJIS_KIND_PLAIN = 2;
constexpr std::uint8_t CJIS_LINE_END = 4;

// Use counts of the analysis pass. The double-byte counters and the
// candidate list share one heap block.
struct CjisUsage {
  std::int32_t singleCounts[256];   // units 0x0000 to 0x00FF
  std::int32_t* doubleCounts;       // units 0x8000 to 0xFFFF
  std::uint16_t* candidates;        // room for every double-byte value
};

struct CjisTable {
  std::uint16_t codes[CJIS_TABLE_LIMIT];  // single-byte entries ascending, then the most used first
  std::uint8_t order[CJIS_TABLE_LIMIT];   // positions of codes, sorted by code value
  std::uint32_t count;
};

// Sets all counters to 0. On allocation failure prints "Could not allocate
// memory while making lookup table.", keeps nothing and returns false.
bool create_cjis_usage(CjisUsage& usage);
// Gives back the heap memory of a created CjisUsage.
void destroy_cjis_usage(CjisUsage& usage);

// Adds one literal's units; a plain literal (no non-zero high byte) counts for nothing.
void count_cjis_usage(CjisUsage& usage, const std::uint8_t* units, std::uint32_t length);

// Chooses the table: the used single-byte characters 0x20 to 0xBF, then the
// double-byte characters used at least three times, most used first (ties in
// ascending code order), cut to limit entries (at most CJIS_TABLE_LIMIT).
void select_cjis_table(CjisUsage& usage, std::uint32_t limit, CjisTable& table);

// Position of value in the table's codes, or CJIS_NOT_FOUND.
std::uint32_t find_cjis_code(const CjisTable& table, std::uint16_t value);

// Byte written for the table position: 0x18 to 0x7F, then 0xA0 to 0xDF.
std::uint8_t cjis_custom_code(std::uint32_t position);

// Codes a literal of length/2 units into dst (room for 1 + length bytes).
// Returns the coded length.
std::uint32_t encode_cjis_literal(const std::uint8_t* units, std::uint32_t length,
                                  const CjisTable& table, std::uint8_t* dst);

// A table's positions by unit value, for coding many literals with one
// table: position + 1, or 0 for a unit outside the table.
struct CjisIndex {
  std::uint8_t positions[0x10000];
};

void index_cjis_table(const CjisTable& table, CjisIndex& index);

// encode_cjis_literal through the index of its table: the same coding.
std::uint32_t encode_cjis_literal(const std::uint8_t* units, std::uint32_t length,
                                  const CjisIndex& index, std::uint8_t* dst);

// Writes the table header ("dw 2" and an empty line when the table is empty
// or not wanted) to the output.
void write_cjis_table(const CjisTable& table, bool wanted, FilterOutput& out);
