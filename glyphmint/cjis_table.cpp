#include "glyphmint/cjis_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "textconv/byte_output.h"
#include <new>

namespace {

constexpr std::uint32_t TABLE_POSITIONS_LOW = 104;  // positions coded 0x18 to 0x7F

inline std::uint16_t unit_at(const std::uint8_t* units, std::uint32_t i) {
  return static_cast<std::uint16_t>(units[2 * i] << 8 | units[2 * i + 1]);
}

bool has_double_unit(const std::uint8_t* units, std::uint32_t unitCount) {
  for (std::uint32_t i = 0; i < unitCount; ++i) {
    if (units[2 * i] != 0) return true;
  }
  return false;
}

}  // namespace

bool create_cjis_usage(CjisUsage& usage) {
  std::memset(usage.singleCounts, 0, sizeof usage.singleCounts);
  try {
    usage.doubleCounts.assign(CJIS_DOUBLE_VALUES, 0);
    usage.candidates.assign(CJIS_DOUBLE_VALUES, 0);
  } catch (const std::bad_alloc&) {
    usage.doubleCounts = {};
    usage.candidates = {};
    return false;
  }
  return true;
}

void count_cjis_usage(CjisUsage& usage, const std::uint8_t* units, std::uint32_t length) {
  const std::uint32_t unitCount = length / 2;
  if (!has_double_unit(units, unitCount)) return;
  for (std::uint32_t i = 0; i < unitCount; ++i) {
    const std::uint16_t u = unit_at(units, i);
    if (u >= 0x8000) {
      cjis_bump(usage.doubleCounts[u - 0x8000]);
    } else if (u <= 0x00FF) {
      cjis_bump(usage.singleCounts[u]);
    }
  }
}

std::uint32_t select_cjis_table(CjisUsage& usage, std::uint32_t limit, CjisTable& table) {
  limit = std::min(limit, CJIS_TABLE_LIMIT);
  std::uint32_t count = 0;
  std::uint32_t singles = 0;
  // Only 0x20 to 0xBF can be table entries: control bytes, the Shift-JIS lead
  // byte ranges and half-width katakana 0xC0 to 0xDF never are.
  for (std::uint32_t b = 0x20; b <= 0xBF; ++b) {
    if ((b >= 0x80 && b <= 0x9F) || usage.singleCounts[b] == 0) continue;
    ++singles;
    if (count < limit) table.codes[count++] = static_cast<std::uint16_t>(b);
  }

  std::uint32_t candidateCount = 0;
  for (std::uint32_t v = 0; v < CJIS_DOUBLE_VALUES; ++v) {
    if (usage.doubleCounts[v] >= 3) usage.candidates[candidateCount++] = static_cast<std::uint16_t>(0x8000 + v);
  }
  // Most used first; equal counts keep ascending code order (what a stable
  // sort of the ascending list gives). Only the ones that fit are ordered.
  const std::uint32_t taken = std::min(candidateCount, limit - count);
  const std::int32_t* counts = usage.doubleCounts.data();
  std::uint16_t* candidates = usage.candidates.data();
  std::partial_sort(candidates, candidates + taken, candidates + candidateCount,
                    [counts](std::uint16_t a, std::uint16_t b) {
                      const std::int32_t ca = counts[a - 0x8000];
                      const std::int32_t cb = counts[b - 0x8000];
                      return ca != cb ? ca > cb : a < b;
                    });
  for (std::uint32_t i = 0; i < taken; ++i) table.codes[count++] = usage.candidates[i];

  table.count = count;
  for (std::uint32_t p = 0; p < count; ++p) table.order[p] = static_cast<std::uint8_t>(p);
  std::sort(table.order, table.order + count,
            [&table](std::uint8_t a, std::uint8_t b) { return table.codes[a] < table.codes[b]; });
  return singles + candidateCount;
}

std::uint32_t find_cjis_code(const CjisTable& table, std::uint16_t value) {
  if (table.count == 0) return CJIS_NOT_FOUND;
  std::uint32_t s = 0;
  std::uint32_t l = table.count;
  while (l > 1) {
    const std::uint32_t h = l / 2;
    if (value < table.codes[table.order[s + h]]) {
      l = h;
    } else {
      s += h;
      l -= h;
    }
  }
  return table.codes[table.order[s]] == value ? table.order[s] : CJIS_NOT_FOUND;
}

std::uint8_t cjis_custom_code(std::uint32_t position) {
  return static_cast<std::uint8_t>(position < TABLE_POSITIONS_LOW ? position + 24 : position + 56);
}

namespace {

// Codes a literal; find(u) gives the table position of unit u, or CJIS_NOT_FOUND.
template <typename Find>
std::uint32_t encode_with(const std::uint8_t* units, std::uint32_t length, Find find, std::uint8_t* dst) {
  const std::uint32_t unitCount = length / 2;
  const bool mixed = has_double_unit(units, unitCount);
  std::uint32_t out = 0;
  dst[out++] = mixed ? CJIS_KIND_MIXED : CJIS_KIND_PLAIN;
  for (std::uint32_t i = 0; i < unitCount; ++i) {
    const std::uint16_t u = unit_at(units, i);
    if (u == '\n' || u == '\r') {
      dst[out++] = CJIS_LINE_END;
      // A carriage return and a directly following line feed make one line end.
      if (u == '\r' && i + 1 < unitCount && unit_at(units, i + 1) == '\n') ++i;
      continue;
    }
    if (!mixed) {
      dst[out++] = static_cast<std::uint8_t>(u);
      continue;
    }
    if (u < 32) continue;  // other control values are dropped from mixed text
    const std::uint32_t position = find(u);
    if (position != CJIS_NOT_FOUND) {
      dst[out++] = cjis_custom_code(position);
    } else {
      dst[out++] = static_cast<std::uint8_t>(u >> 8);
      dst[out++] = static_cast<std::uint8_t>(u);
    }
  }
  return out;
}

}  // namespace

std::uint32_t encode_cjis_literal(const std::uint8_t* units, std::uint32_t length,
                                  const CjisTable& table, std::uint8_t* dst) {
  return encode_with(units, length, [&table](std::uint16_t u) { return find_cjis_code(table, u); }, dst);
}

void index_cjis_table(const CjisTable& table, CjisIndex& index) {
  std::memset(index.codes, 0, sizeof index.codes);
  for (std::uint32_t p = 0; p < table.count; ++p) index.codes[table.codes[p]] = cjis_custom_code(p);
}

namespace {

// Codes the units of a plain literal, unit(i) for i below count, behind the
// kind byte: each its byte, a line end (CR, LF or CR LF) as one byte.
template <typename Unit>
std::uint32_t code_plain(Unit unit, std::uint32_t count, std::uint8_t* dst) {
  std::uint32_t out = 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t u = unit(i);
    if (u == '\n' || u == '\r') {
      dst[out++] = CJIS_LINE_END;
      if (u == '\r' && i + 1 < count && unit(i + 1) == '\n') ++i;
    } else {
      dst[out++] = static_cast<std::uint8_t>(u);
    }
  }
  dst[0] = CJIS_KIND_PLAIN;
  return out;
}

}  // namespace

std::uint32_t code_plain_cjis_literal(const std::uint16_t* units, std::uint32_t count, std::uint8_t* dst) {
  return code_plain([units](std::uint32_t i) { return std::uint32_t{units[i]}; }, count, dst);
}

std::uint32_t encode_cjis_literal(const std::uint8_t* units, std::uint32_t length,
                                  const CjisIndex& index, std::uint8_t* dst) {
  const std::uint32_t unitCount = length / 2;
  if (!has_double_unit(units, unitCount)) {
    return code_plain([units](std::uint32_t i) { return std::uint32_t{unit_at(units, i)}; }, unitCount, dst);
  }
  CjisLiteralCoder coder = start_cjis_coding(index, dst, nullptr);
  coder.mixed = true;
  for (std::uint32_t i = 0; i < unitCount; ++i) code_mixed_unit(coder, unit_at(units, i));
  return finish_cjis_coding(coder);
}

void write_cjis_table(const CjisTable& table, bool wanted, FilterOutput& out) {
  char header[32];
  if (!wanted || table.count == 0) {
    const int n = std::snprintf(header, sizeof header, "dw %d\n\n", 2);
    output_text(out, reinterpret_cast<const std::uint8_t*>(header), static_cast<std::uint32_t>(n));
    return;
  }
  const int n = std::snprintf(header, sizeof header, "dw %d\ndb ", static_cast<int>(2 * (table.count + 1)));
  output_text(out, reinterpret_cast<const std::uint8_t*>(header), static_cast<std::uint32_t>(n));
  std::uint8_t entries[2 * CJIS_TABLE_LIMIT];
  for (std::uint32_t p = 0; p < table.count; ++p) {
    entries[2 * p] = static_cast<std::uint8_t>(table.codes[p] >> 8);
    entries[2 * p + 1] = static_cast<std::uint8_t>(table.codes[p]);
  }
  output_byte_list(out, entries, 2 * table.count);
  static const std::uint8_t blankLine[] = {'\n', '\n'};
  output_text(out, blankLine, 2);
}
