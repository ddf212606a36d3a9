#include "textconv/sjis_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// CRC-32 as in zlib (reflected polynomial 0xEDB88320), continued from crc.
std::uint32_t crc32_update(std::uint32_t crc, const std::vector<std::uint8_t>& bytes) {
  crc = ~crc;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void append_le16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::vector<std::uint8_t> code_bytes() {
  std::vector<std::uint8_t> out;
  for (std::uint16_t code : sjis_table.codes) append_le16(out, code);
  return out;
}

std::vector<std::uint8_t> trie_bytes() {
  std::vector<std::uint8_t> out;
  for (const auto& block : sjis_table.trie)
    for (std::int16_t entry : block) append_le16(out, static_cast<std::uint16_t>(entry));
  return out;
}

// What a full walk of the trie finds.
struct TrieCensus {
  std::vector<int> indexNamed = std::vector<int>(SJIS_CODE_COUNT);  // times each index is named
  std::vector<int> blockNamed = std::vector<int>(SJIS_TRIE_BLOCKS);  // negative entries per block
  int lengths[8] = {};  // sequences by byte length
  int acceptMarks = 0;
  bool badEntry = false;
};

// Visits block b, entered after depth bytes; guards against cycles by the
// naming count (a block named twice is not walked again).
void walk(TrieCensus& census, int b, int depth) {
  const std::int16_t* block = sjis_table.trie[b];
  for (int e = 0; e < 256; ++e) {
    std::int16_t v = block[e];
    bool mark = e == 0 && b != 0;  // the bytes up to this block are a sequence
    if (mark && v < 0) census.badEntry = true;
    if (v > 0) {
      int length = mark ? depth : depth + 1;
      if (v > static_cast<int>(SJIS_CODE_COUNT) || length > 6) {
        census.badEntry = true;
        continue;
      }
      ++census.indexNamed[v - 1];
      ++census.lengths[length];
      if (mark) ++census.acceptMarks;
    } else if (v < 0 && !mark) {
      int c = -v;
      if (c >= static_cast<int>(SJIS_TRIE_BLOCKS)) {
        census.badEntry = true;
        continue;
      }
      if (++census.blockNamed[c] == 1) walk(census, c, depth + 1);
    }
  }
}

TEST(SjisTable, ChecksumsMatchTheReferenceTable) {
  std::vector<std::uint8_t> codes = code_bytes();
  std::vector<std::uint8_t> trie = trie_bytes();
  ASSERT_EQ(codes.size(), 22848u);
  ASSERT_EQ(trie.size(), 389120u);
  EXPECT_EQ(crc32_update(0, codes), 0xD8C7DDBDu);
  EXPECT_EQ(crc32_update(0, trie), 0xA0481355u);
  EXPECT_EQ(crc32_update(crc32_update(0, codes), trie), 0x2744206Cu);
}

TEST(SjisTable, CodeOrderCheckpoints) {
  const std::uint16_t* c = sjis_table.codes;
  EXPECT_EQ(c[0], 0x0000);
  EXPECT_EQ(c[127], 0x7F);
  EXPECT_EQ(c[128], 0xA1);
  EXPECT_EQ(c[190], 0xDF);
  EXPECT_EQ(c[191], 0x8140);
  EXPECT_EQ(c[9363], 0xF29E);
  for (std::uint32_t i = 9364; i <= 9457; ++i) EXPECT_EQ(c[i], 0xF09F + (i - 9364)) << i;
  EXPECT_EQ(c[9458], 0xF29F);
  EXPECT_EQ(c[11423], 0xFCF4);

  std::vector<int> seen(0x10000);
  for (std::uint16_t code : sjis_table.codes) ++seen[code];
  for (std::uint32_t code = 0; code < seen.size(); ++code) EXPECT_LE(seen[code], 1) << std::hex << code;
}

TEST(SjisTable, TrieNamesEveryIndexAndBlockOnce) {
  TrieCensus census;
  EXPECT_EQ(sjis_table.trie[0][0], 0);
  walk(census, 0, 0);
  EXPECT_FALSE(census.badEntry);
  for (std::uint32_t i = 0; i < SJIS_CODE_COUNT; ++i) EXPECT_EQ(census.indexNamed[i], 1) << "index " << i;
  for (std::uint32_t b = 1; b < SJIS_TRIE_BLOCKS; ++b) EXPECT_EQ(census.blockNamed[b], 1) << "block " << b;
  EXPECT_EQ(census.acceptMarks, 21);
  EXPECT_EQ(census.lengths[1], 127);
  EXPECT_EQ(census.lengths[2], 404);
  EXPECT_EQ(census.lengths[3], 10564);
  EXPECT_EQ(census.lengths[4], 315);
  EXPECT_EQ(census.lengths[5], 0);
  EXPECT_EQ(census.lengths[6], 14);
}

}  // namespace
