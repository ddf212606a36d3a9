// Giving every folder and file of the tree a run of clusters.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/model/entry_tree.h"

// Clusters an entry takes: a file's bytes, or a folder's entries with ".",
// ".." and the end marker, rounded up to whole clusters; at least 1, except
// for an empty file placed automatically, which takes none (start cluster 0,
// as every FAT system stores an empty file).
std::uint32_t cluster_count(const EntryTree& tree, std::uint32_t entry, std::uint32_t clusterSize);

// Placement tells clusters 0 to CLUSTER_MAP_SIZE - 1 free or taken (by a
// fixed run or a placed folder); the ones beyond count as free.
constexpr std::uint32_t CLUSTER_MAP_SIZE = 4096;

// Where placement puts a run of count clusters searched from cluster `from`
// on: the first clusters in a row that `taken` (CLUSTER_MAP_SIZE of them)
// leaves free.
std::uint64_t first_free_run(const std::vector<bool>& taken, std::uint64_t from, std::uint32_t count);

// Places every entry the list does not fix (empty files at cluster 0), first fit from cluster 2: the
// folders in one pass, then the files, each pass depth first with the
// entries of a folder latest made first, never on a fixed run. Returns the
// cluster after the last one placed (FIRST_DATA_CLUSTER when none was), or 0
// when memory ran out.
std::uint32_t place_clusters(EntryTree& tree, std::uint32_t clusterSize);
