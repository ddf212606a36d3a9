#include "diskmason/volume/fat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diskmason/volume/volume_test_support.h"

namespace {

// Entry n of a packed table: two entries share three bytes, low nibbles first.
std::uint32_t fat_entry(const std::uint8_t (&packed)[PACKED_FAT_SIZE], std::uint32_t n) {
  const std::uint8_t* pair = packed + n / 2 * 3;
  return n % 2 == 0 ? pair[0] | (pair[1] & 0xF) << 8 : pair[1] >> 4 | pair[2] << 4;
}

TEST(BuildFat, PacksTwoEntriesInThreeBytes) {
  EntryTree tree = volume_test::tree_of({{"A", 128, 2}, {"B", 1, 4}});
  std::uint8_t packed[PACKED_FAT_SIZE];
  build_fat(tree, {1, 2}, 64, 0xF9, packed);
  // Media entry FF9, FFF; 2 -> 3, end; 4 end; 5 free.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(packed), 9), std::string("\xF9\xFF\xFF\x03\xF0\xFF\xFF\x0F\x00", 9));
  for (std::uint32_t n = 5; n < FAT_ENTRY_COUNT; ++n) ASSERT_EQ(fat_entry(packed, n), 0u) << n;
}

TEST(BuildFat, ChainsOnlyRunsBetweenCluster2And0xFEF) {
  EntryTree tree = volume_test::tree_of({
      {"AT0", 64, 0},
      {"AT1", 128, 1},
      {"EDGE", 128, 0xFEE},  // ends at 0xFEF: chained
      {"PAST", 65, 0xFEF},   // would end at 0xFF0: no chain
      {"OLD", 192, 10},
      {"NEW", 64, 11},  // a later run overwrites what it shares
  });
  std::uint8_t packed[PACKED_FAT_SIZE];
  build_fat(tree, {1, 2, 3, 4, 5, 6}, 64, 0xF0, packed);
  struct Case {
    std::uint32_t cluster;
    std::uint32_t entry;
  } cases[] = {{0, 0xFF0}, {1, 0xFFF}, {2, 0},        {3, 0},       {0xFEE, 0xFEF}, {0xFEF, 0xFFF},
               {0xFF0, 0}, {10, 11},   {11, 0xFFF},   {12, 0xFFF}};
  for (const Case& c : cases) EXPECT_EQ(fat_entry(packed, c.cluster), c.entry) << c.cluster;
  EXPECT_EQ(highest_chained_cluster(tree, 64), 0xFEFu);
}

TEST(BuildFat, HighestChainedClusterIsOneWithoutChains) {
  EXPECT_EQ(highest_chained_cluster(volume_test::tree_of({}), 64), 1u);
  EXPECT_EQ(highest_chained_cluster(volume_test::tree_of({{"AT1", 64, 1}, {"PAST", 128, 0xFEF}}), 64), 1u);
}

}  // namespace
