// The custom character table of glyphmint: counting the characters of the
// $CJIS literals, choosing at most 168 of them, coding literals with the
// chosen table and writing the table at the head of the output.
//
// Literals come as 16-bit units, two bytes each, high byte first, or one by
// one as values; a single-byte character is a unit with high byte 0.
#pragma once

#include <cstdint>
#include <vector>

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

// Use counts of the analysis pass.
struct CjisUsage {
  std::int32_t singleCounts[256];           // units 0x0000 to 0x00FF
  std::vector<std::int32_t> doubleCounts;   // units 0x8000 to 0xFFFF
  std::vector<std::uint16_t> candidates;    // room for every double-byte value
};

struct CjisTable {
  std::uint16_t codes[CJIS_TABLE_LIMIT];  // single-byte entries ascending, then the most used first
  std::uint8_t order[CJIS_TABLE_LIMIT];   // positions of codes, sorted by code value
  std::uint32_t count;
};

// Counts one more use without overflowing on huge inputs.
inline void cjis_bump(std::int32_t& counter) { counter += counter != 0x7FFFFFFF ? 1 : 0; }

// Sets all counters to 0; false, keeping nothing, when memory ran out.
bool create_cjis_usage(CjisUsage& usage);

// Adds one literal's units; a plain literal (no non-zero high byte) counts for nothing.
void count_cjis_usage(CjisUsage& usage, const std::uint8_t* units, std::uint32_t length);

// Chooses the table: the used single-byte characters 0x20 to 0xBF, then the
// double-byte characters used at least three times, most used first (ties in
// ascending code order), cut to limit entries (at most CJIS_TABLE_LIMIT).
// Returns how many characters qualified, those cut off included.
std::uint32_t select_cjis_table(CjisUsage& usage, std::uint32_t limit, CjisTable& table);

// Position of value in the table's codes, or CJIS_NOT_FOUND.
std::uint32_t find_cjis_code(const CjisTable& table, std::uint16_t value);

// Byte written for the table position: 0x18 to 0x7F, then 0xA0 to 0xDF.
std::uint8_t cjis_custom_code(std::uint32_t position);

// Codes a literal of length/2 units into dst (room for 1 + length bytes).
// Returns the coded length.
std::uint32_t encode_cjis_literal(const std::uint8_t* units, std::uint32_t length,
                                  const CjisTable& table, std::uint8_t* dst);

// A table's custom code for each unit value, 0 for a unit outside the table,
// for coding many literals with one table.
struct CjisIndex {
  std::uint8_t codes[0x10000];
};

void index_cjis_table(const CjisTable& table, CjisIndex& index);

// encode_cjis_literal through the index of its table: the same coding.
std::uint32_t encode_cjis_literal(const std::uint8_t* units, std::uint32_t length,
                                  const CjisIndex& index, std::uint8_t* dst);

// The most units of one literal that a CjisLiteralCount or CjisLiteralCoder
// takes.
constexpr std::uint32_t CJIS_LITERAL_UNITS = 2048;

// Counts one literal as count_cjis_usage counts its units, taking them one by
// one as they are converted: its single-byte units wait in singles until a
// double-byte unit shows that the literal counts. They wait 16 bits wide: a
// store of a single byte may change any variable for all the compiler knows,
// which would keep the counting state out of registers.
struct CjisLiteralCount {
  std::int32_t* singleCounts;
  std::int32_t* doubleCounts;
  std::uint16_t* singles;  // room for CJIS_LITERAL_UNITS
  std::uint32_t singleCount;
  bool mixed;
};

inline CjisLiteralCount start_cjis_count(CjisUsage& usage, std::uint16_t* singles) {
  return CjisLiteralCount{usage.singleCounts, usage.doubleCounts.data(), singles, 0, false};
}

inline void count_cjis_unit(CjisLiteralCount& count, std::uint32_t unit) {
  if (unit >= 0x8000 && count.mixed) {
    cjis_bump(count.doubleCounts[unit - 0x8000]);
  } else if (unit > 0xFF) {
    if (!count.mixed) {
      count.mixed = true;
      for (std::uint32_t i = 0; i < count.singleCount; ++i) cjis_bump(count.singleCounts[count.singles[i]]);
    }
    if (unit >= 0x8000) cjis_bump(count.doubleCounts[unit - 0x8000]);
  } else if (count.mixed) {
    cjis_bump(count.singleCounts[unit]);
  } else {
    count.singles[count.singleCount++] = static_cast<std::uint16_t>(unit);
  }
}

// Codes one literal as encode_cjis_literal codes its units, taking them one
// by one as they are converted: its single-byte units wait in singles until
// a double-byte unit shows that the literal is mixed, or until its end.
struct CjisLiteralCoder {
  const std::uint8_t* codes;  // of the table's index
  std::uint8_t* dst;          // room for the kind byte and 2 bytes per unit
  std::uint16_t* singles;     // room for CJIS_LITERAL_UNITS
  std::uint32_t singleCount;
  std::uint32_t out;
  std::uint32_t lineEndAt;  // out after a carriage return's line end, while a line feed may join it
  bool mixed;
};

constexpr std::uint32_t CJIS_NO_LINE_END = 0xFFFFFFFF;

inline CjisLiteralCoder start_cjis_coding(const CjisIndex& index, std::uint8_t* dst, std::uint16_t* singles) {
  return CjisLiteralCoder{index.codes, dst, singles, 0, 1, CJIS_NO_LINE_END, false};
}

// One unit of mixed text: its custom code, else its two bytes; a line end
// (CR, LF or CR LF) as one byte; other control values are dropped.
inline void code_mixed_unit(CjisLiteralCoder& coder, std::uint32_t unit) {
  if (unit < 0x20) {
    if (unit == '\n' && coder.out == coder.lineEndAt) {
      coder.lineEndAt = CJIS_NO_LINE_END;  // the line feed of a CR LF
      return;
    }
    if (unit == '\n' || unit == '\r') coder.dst[coder.out++] = CJIS_LINE_END;
    // Every unit not below 32 moves out on: lineEndAt stays out only up to the next unit.
    coder.lineEndAt = unit == '\r' ? coder.out : CJIS_NO_LINE_END;
    return;
  }
  // Both bytes are stored; a custom code keeps only the first. Whether a
  // unit is in the table follows no pattern the processor could predict, so
  // the choice is made in arithmetic rather than by a branch.
  const std::uint32_t custom = coder.codes[unit];
  const std::uint32_t inTable = (custom + 0xFF) >> 8;  // 1 for a custom code (1 to FF), else 0
  coder.dst[coder.out] = static_cast<std::uint8_t>(custom | ((unit >> 8) & (inTable - 1)));
  coder.dst[coder.out + 1] = static_cast<std::uint8_t>(unit);
  coder.out += 2 - inTable;
}

inline void code_cjis_unit(CjisLiteralCoder& coder, std::uint32_t unit) {
  if (!coder.mixed) {
    if (unit <= 0xFF) {
      coder.singles[coder.singleCount++] = static_cast<std::uint16_t>(unit);
      return;
    }
    coder.mixed = true;
    for (std::uint32_t i = 0; i < coder.singleCount; ++i) code_mixed_unit(coder, coder.singles[i]);
  }
  code_mixed_unit(coder, unit);
}

// Codes a plain literal of count single-byte units into dst (room for 1 +
// count bytes): the kind byte, each unit's byte, a line end as one byte.
// Returns the coded length.
std::uint32_t code_plain_cjis_literal(const std::uint16_t* units, std::uint32_t count, std::uint8_t* dst);

// Writes the kind byte (and a plain literal's bytes); returns the coded length.
inline std::uint32_t finish_cjis_coding(const CjisLiteralCoder& coder) {
  if (!coder.mixed) return code_plain_cjis_literal(coder.singles, coder.singleCount, coder.dst);
  coder.dst[0] = CJIS_KIND_MIXED;
  return coder.out;
}

// Writes the table header ("dw 2" and an empty line when the table is empty
// or not wanted) to the output.
void write_cjis_table(const CjisTable& table, bool wanted, FilterOutput& out);
