// The file allocation table: 4096 entries of 12 bits, packed two entries to
// three bytes, one chain per run of clusters.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/model/entry_tree.h"

constexpr std::uint32_t FAT_ENTRY_COUNT = 4096;
constexpr std::uint32_t PACKED_FAT_SIZE = FAT_ENTRY_COUNT * 3 / 2;
// A chain may reach cluster 0xFEF at most.
constexpr std::uint32_t FAT_CHAIN_LIMIT = 0xFF0;
constexpr std::uint16_t FAT_CHAIN_END = 0xFFF;

// True when the FAT can chain `count` clusters from `start`: runs at
// cluster 0 or 1, or past 0xFEF, get no chain.
constexpr bool chain_fits(std::uint32_t start, std::uint32_t count) {
  return start >= 2 && start <= FAT_CHAIN_LIMIT && count <= FAT_CHAIN_LIMIT - start;
}

// The packed table: entries 0 and 1 for the media byte, then one chain per
// entry of `order` in turn (a later run overwrites the clusters it shares
// with an earlier one).
void build_fat(const EntryTree& tree, const std::vector<std::uint32_t>& order, std::uint32_t clusterSize,
               std::uint8_t mediaByte, std::uint8_t (&packed)[PACKED_FAT_SIZE]);

// The highest cluster a chain of the table uses; 1 when there is none.
std::uint32_t highest_chained_cluster(const EntryTree& tree, std::uint32_t clusterSize);
