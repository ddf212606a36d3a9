// The layout map of a disk: one tab-separated row per area of the volume,
// per folder and file and per run of free clusters between them, in disk
// order, with where each lies on the disk and in the image file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diskmason/container/container.h"
#include "diskmason/model/entry_tree.h"

struct SjisReverse;

struct DiskMap {
  const EntryTree& tree;
  const VolumeGeometry& geometry;
  const ContainerPlan& plan;
  const std::vector<std::uint32_t>& order;  // layout_order of the tree
  std::uint32_t totalSectors;               // free runs are shown up to here
  const SjisReverse& reverse;               // shows stored names in UTF-8
  // Each entry's path as the map shows it; nullptr: its imagePath.
  std::string (*path)(const void* context, std::uint32_t entry);
  const void* pathContext;
};

// Writes the map; false when the stream reported an error.
bool write_disk_map(std::FILE* out, const DiskMap& map);
