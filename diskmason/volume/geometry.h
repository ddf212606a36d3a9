// Where the areas of a FAT12 volume lie, computed once from the header and
// the boot file: the boot area, the FAT copies, the root folder and the data
// area, in sectors from the volume's first. Everything else reads it.
#pragma once

#include <cstdint>

#include "diskmason/model/disk_params.h"

// Cluster numbers 0 and 1 stand for the media entries of the FAT; the data
// area starts with cluster 2.
constexpr std::uint32_t FIRST_DATA_CLUSTER = 2;

// a / b rounded up, without overflow; b must not be 0. Every sector,
// cluster and track count is rounded with it.
constexpr std::uint32_t ceil_div(std::uint32_t a, std::uint32_t b) { return a / b + (a % b != 0 ? 1 : 0); }

// Why the header's sizes cannot describe a disk, in the order they are checked.
enum class SizeProblem : std::uint8_t {
  None,
  NoSectorSize,           // 0 bytes per sector
  NoClusterSize,          // 0 sectors per cluster
  NoTrackSize,            // 0 sectors per track
  SectorNotWholeEntries,  // bytes per sector not a multiple of 32
};

SizeProblem size_problem(const DiskParams& params);

struct VolumeGeometry {
  std::uint32_t sectorSize;  // bytes
  std::uint32_t sectorsPerCluster;
  std::uint32_t clusterSize;  // bytes
  std::uint32_t sectorsPerTrack;
  std::uint32_t headCount;
  std::uint32_t bootSectors;  // the whole boot file, at least one sector
  std::uint32_t fatStart;
  std::uint32_t fatSectors;  // of one copy
  std::uint32_t fatCount;
  std::uint32_t rootStart;
  std::uint32_t rootSectors;
  std::uint32_t dataStart;  // where cluster 2 begins
};

// The areas for the header and a boot file of bootLength bytes; false, with
// an all-zero record, when size_problem finds a problem.
bool plan_geometry(const DiskParams& params, std::uint32_t bootLength, VolumeGeometry& geometry);

// First sector of cluster k (k >= FIRST_DATA_CLUSTER).
constexpr std::uint64_t cluster_sector(const VolumeGeometry& g, std::uint64_t cluster) {
  return g.dataStart + (cluster - FIRST_DATA_CLUSTER) * g.sectorsPerCluster;
}

// The last whole cluster within the first `sectors` sectors; FIRST_DATA_CLUSTER
// - 1 when not even cluster 2 fits.
std::uint32_t last_cluster_within(const VolumeGeometry& g, std::uint32_t sectors);

// Cylinder, head and sector (from 1) of a sector, by the header's sectors per
// track and heads; with 0 heads only the sector is known.
struct DiskAddress {
  bool hasCylinder;
  std::uint64_t cylinder;
  std::uint32_t head;
  std::uint32_t sector;
};
DiskAddress disk_address(const VolumeGeometry& g, std::uint64_t sector);
