#include "glyphmint/cjis_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "textconv/byte_output.h"

namespace {

using Units = std::vector<std::uint16_t>;

std::vector<std::uint8_t> as_bytes(const Units& units) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t u : units) {
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    bytes.push_back(static_cast<std::uint8_t>(u));
  }
  return bytes;
}

// Counts every literal twice over: all its units at once, and one by one as
// the program counts them while it converts; both must give the same counts.
struct Usage {
  CjisUsage usage;
  CjisUsage streamed;
  Usage() {
    EXPECT_TRUE(create_cjis_usage(usage));
    EXPECT_TRUE(create_cjis_usage(streamed));
  }
  void count(const Units& units, int times = 1) {
    std::vector<std::uint8_t> bytes = as_bytes(units);
    static std::uint16_t singles[CJIS_LITERAL_UNITS];
    for (int i = 0; i < times; ++i) {
      count_cjis_usage(usage, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
      CjisLiteralCount literal = start_cjis_count(streamed, singles);
      for (std::uint16_t u : units) count_cjis_unit(literal, u);
    }
  }
  Units select() {
    EXPECT_EQ(std::vector<std::int32_t>(usage.singleCounts, usage.singleCounts + 256),
              std::vector<std::int32_t>(streamed.singleCounts, streamed.singleCounts + 256));
    EXPECT_EQ(usage.doubleCounts, streamed.doubleCounts);
    CjisTable table;
    select_cjis_table(usage, CJIS_TABLE_LIMIT, table);
    return Units(table.codes, table.codes + table.count);
  }
};

CjisTable make_table(const Units& codes) {
  CjisTable table;
  table.count = static_cast<std::uint32_t>(codes.size());
  std::copy(codes.begin(), codes.end(), table.codes);
  for (std::uint32_t p = 0; p < table.count; ++p) table.order[p] = static_cast<std::uint8_t>(p);
  std::sort(table.order, table.order + table.count,
            [&](std::uint8_t a, std::uint8_t b) { return table.codes[a] < table.codes[b]; });
  return table;
}

// Codes through the table, through its index and through the index unit by
// unit as the program does while it converts, which must all agree.
std::vector<std::uint8_t> encode(const Units& units, const CjisTable& table) {
  std::vector<std::uint8_t> bytes = as_bytes(units);
  const auto length = static_cast<std::uint32_t>(bytes.size());
  std::vector<std::uint8_t> out(1 + bytes.size());
  out.resize(encode_cjis_literal(bytes.data(), length, table, out.data()));
  static CjisIndex index;
  index_cjis_table(table, index);
  std::vector<std::uint8_t> indexed(1 + bytes.size());
  indexed.resize(encode_cjis_literal(bytes.data(), length, index, indexed.data()));
  EXPECT_EQ(indexed, out);
  static std::uint16_t singles[CJIS_LITERAL_UNITS];
  std::vector<std::uint8_t> streamed(1 + bytes.size());
  CjisLiteralCoder coder = start_cjis_coding(index, streamed.data(), singles);
  for (std::uint16_t u : units) code_cjis_unit(coder, u);
  streamed.resize(finish_cjis_coding(coder));
  EXPECT_EQ(streamed, out);
  return out;
}

TEST(CjisTable, DoubleByteCharacterEntersAtThreeUses) {
  Usage u;
  u.count({0x82A0, 0x82A2, 0x0041});
  u.count({0x82A0, 0x82A2});
  u.count({0x82A0});
  EXPECT_EQ(u.select(), (Units{0x0041, 0x82A0}));
  u.count({0x82A2});
  EXPECT_EQ(u.select(), (Units{0x0041, 0x82A0, 0x82A2}));
}

TEST(CjisTable, OnlyMixedLiteralsAndPrintableSingleBytesCount) {
  Usage u;
  u.count({0x0041, 0x0042}, 5);                                  // plain literal: not counted
  u.count({0x8140, 0x0009, 0x0043, 0x0090, 0x00C5, 0x00BF, 0x1234}, 3);  // tab, 0x90, kana 0xC5 never enter
  EXPECT_EQ(u.select(), (Units{0x0043, 0x00BF, 0x8140}));
  u.count({0x0044, 0x0045, 0x0100});  // single bytes before a double-byte unit count
  EXPECT_EQ(u.select(), (Units{0x0043, 0x0044, 0x0045, 0x00BF, 0x8140}));
}

// 2 single-byte entries and 170 candidates with tied counts: the most used
// come first, ties stay in ascending code order, the 4 least used drop out.
TEST(CjisTable, LimitCutsLeastUsedCandidatesWithTiesInCodeOrder) {
  Usage u;
  u.count({0x0020, 0x007E, 0x8000});
  std::vector<std::pair<int, std::uint16_t>> expected;  // (-count, code)
  for (int i = 0; i < 170; ++i) {
    const std::uint16_t code = static_cast<std::uint16_t>(0xE000 - 37 * i);
    const int uses = 3 + (i * 7) % 5;
    u.count({code}, uses);
    expected.push_back({-uses, code});
  }
  std::sort(expected.begin(), expected.end());
  Units want = {0x0020, 0x007E};
  for (int i = 0; i < 166; ++i) want.push_back(expected[i].second);
  EXPECT_EQ(u.select(), want);
}

TEST(CjisTable, FindsEveryEntryOfAFullTableAndNothingElse) {
  Units codes;
  for (int i = 0; i < 168; ++i) codes.push_back(static_cast<std::uint16_t>(i < 60 ? 0x20 + i : 0xFFFF - 97 * i));
  const CjisTable table = make_table(codes);
  for (std::uint32_t v = 0; v <= 0xFFFF; ++v) {
    auto it = std::find(codes.begin(), codes.end(), v);
    const std::uint32_t want = it == codes.end() ? CJIS_NOT_FOUND : static_cast<std::uint32_t>(it - codes.begin());
    ASSERT_EQ(find_cjis_code(table, static_cast<std::uint16_t>(v)), want) << v;
  }
  EXPECT_EQ(find_cjis_code(make_table({}), 0), CJIS_NOT_FOUND);
}

TEST(CjisTable, CustomCodesSkipTheLeadByteRange) {
  EXPECT_EQ(cjis_custom_code(0), 0x18);
  EXPECT_EQ(cjis_custom_code(103), 0x7F);
  EXPECT_EQ(cjis_custom_code(104), 0xA0);
  EXPECT_EQ(cjis_custom_code(167), 0xDF);
}

TEST(CjisTable, EncodesLiterals) {
  const CjisTable table = make_table({0x0041, 0x82A0});
  const struct {
    Units units;
    std::vector<std::uint8_t> coded;
  } cases[] = {
      {{}, {2}},
      {{0x0041, 0x0009, 0x00C5, 0x0000}, {2, 0x41, 0x09, 0xC5, 0x00}},   // plain: bytes as they are
      {{0x82A0, 0x0009, 0x0041, 0x0042}, {1, 0x19, 0x18, 0x00, 0x42}},  // tab dropped
      {{0x82A2, 0x00C5, 0x1234}, {1, 0x82, 0xA2, 0x00, 0xC5, 0x12, 0x34}},
      {{0x000D, 0x000A}, {2, 4}},
      {{0x000D}, {2, 4}},
      {{0x000A, 0x000D}, {2, 4, 4}},
      {{0x000D, 0x000D, 0x000A}, {2, 4, 4}},
      {{0x82A0, 0x000D, 0x000A, 0x000A, 0x000D}, {1, 0x19, 4, 4, 4}},
      // Single bytes before the first double-byte unit are coded as mixed text too.
      {{0x0041, 0x000D, 0x000A, 0x0009, 0x82A0}, {1, 0x18, 4, 0x19}},
      {{0x0042, 0x000D, 0x0001, 0x000A, 0x0100}, {1, 0x00, 0x42, 4, 4, 0x01, 0x00}},
  };
  for (const auto& c : cases) EXPECT_EQ(encode(c.units, table), c.coded);
}

TEST(CjisTable, WritesTheHeader) {
  static FilterOutput out;
  start_output(out, std::tmpfile());
  const CjisTable table = make_table({0x0041, 0x82A0});
  write_cjis_table(table, true, out);
  write_cjis_table(table, false, out);
  write_cjis_table(make_table({}), true, out);
  flush_output(out);
  std::rewind(out.stream);
  char text[64] = {};
  const std::size_t size = std::fread(text, 1, sizeof text, out.stream);
  std::fclose(out.stream);
  EXPECT_EQ(std::string(text, size), "dw 6\ndb 00h, 41h, 82h, 0a0h\n\ndw 2\n\ndw 2\n\n");
}

}  // namespace
