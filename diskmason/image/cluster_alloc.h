// Giving every directory and file of the tree a contiguous run of clusters.
#pragma once

#include <cstdint>

#include "diskmason/front/records.h"
#include "diskmason/image/disk_geometry.h"
#include "diskmason/tree/dir_tree.h"

constexpr std::uint32_t CLUSTER_MAP_SIZE = 4096;
constexpr std::uint32_t DIRECTORY_PASS = 0;
constexpr std::uint32_t FILE_PASS = 1;

// Clusters a node occupies: its file size, or its entries plus ".", ".." and
// the end marker for a directory, rounded up; at least 1.
std::uint32_t node_cluster_count(const FileNode* node, const FileInfo* infos,
                                 std::uint32_t clusterSize);

// Flags the runs the file list fixed (startCluster != START_NOT_FIXED).
void mark_fixed_clusters(const DirNode* dir, std::uint32_t clusterSize, std::uint8_t* map,
                         const FileInfo* infos);

// Places the directories (pass DIRECTORY_PASS) or files (FILE_PASS) below dir
// first-fit from cursor; returns the cursor after the pass, or 0xFFFFFFFF
// when memory for a directory's child list could not be had.
std::uint32_t allocate_clusters(const DirNode* dir, std::uint32_t cursor, std::uint32_t clusterSize,
                                std::uint8_t* map, std::uint32_t pass, FileInfo* infos);

// Runs the three passes over the tree (fixed runs, directories, files) with a
// cluster map of its own; returns N, the cluster just after the last one
// placed (FIRST_DATA_CLUSTER when none was), or 0 when memory ran out.
std::uint32_t place_clusters(const DirNode* root, std::uint32_t clusterSize, FileInfo* infos);
