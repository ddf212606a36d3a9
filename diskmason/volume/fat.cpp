#include "diskmason/volume/fat.h"

#include <algorithm>

#include "diskmason/volume/allocation.h"

void build_fat(const EntryTree& tree, const std::vector<std::uint32_t>& order, std::uint32_t clusterSize,
               std::uint8_t mediaByte, std::uint8_t (&packed)[PACKED_FAT_SIZE]) {
  std::uint16_t entries[FAT_ENTRY_COUNT] = {};
  entries[0] = static_cast<std::uint16_t>(0xF00 | mediaByte);
  entries[1] = FAT_CHAIN_END;
  for (std::uint32_t entry : order) {
    std::uint32_t start = tree.entries[entry].startCluster;
    std::uint32_t count = cluster_count(tree, entry, clusterSize);
    if (!chain_fits(start, count)) continue;
    std::uint32_t last = start + count - 1;
    for (std::uint32_t c = start; c < last; ++c) entries[c] = static_cast<std::uint16_t>(c + 1);
    entries[last] = FAT_CHAIN_END;
  }
  for (std::uint32_t j = 0; j < FAT_ENTRY_COUNT / 2; ++j) {
    std::uint32_t even = entries[2 * j] & 0xFFF;
    std::uint32_t odd = entries[2 * j + 1] & 0xFFF;
    packed[3 * j] = static_cast<std::uint8_t>(even);
    packed[3 * j + 1] = static_cast<std::uint8_t>((even >> 8) | ((odd & 0xF) << 4));
    packed[3 * j + 2] = static_cast<std::uint8_t>(odd >> 4);
  }
}

std::uint32_t highest_chained_cluster(const EntryTree& tree, std::uint32_t clusterSize) {
  std::uint32_t highest = 1;
  for (std::uint32_t i = 1; i < tree.entries.size(); ++i) {
    std::uint32_t start = tree.entries[i].startCluster;
    std::uint32_t count = cluster_count(tree, i, clusterSize);
    if (chain_fits(start, count)) highest = std::max(highest, start + count - 1);
  }
  return highest;
}
