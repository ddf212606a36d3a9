// The disk's geometry, computed once: where each area lies, in sectors from
// the boot sector on, and how far the laid-out data reaches. The checks, the
// cluster allocation and the image writer all read it. Sector k of the disk
// lies at DCP_HEADER_SIZE + k * sectorSize in the image file.
#pragma once

#include <cstdint>

#include "diskmason/front/records.h"

// Cluster numbers 0 and 1 stand for the media entries of the FAT; the data
// area starts with cluster 2.
constexpr std::uint32_t FIRST_DATA_CLUSTER = 2;

// a / b rounded up, without overflow; b must not be 0. Every sector, cluster
// and track count is rounded with it.
constexpr std::uint32_t ceil_div(std::uint32_t a, std::uint32_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

// Why the header's sizes cannot describe a disk.
enum class SizeProblem : std::uint8_t {
  None,
  NoSectorSize,           // 0 bytes per sector
  NoClusterSize,          // 0 sectors per cluster
  NoTrackSize,            // 0 sectors per track
  SectorNotWholeEntries,  // bytes per sector not a multiple of 32
};

// The first problem of the header's sizes, in the order above.
SizeProblem size_problem(const DiskParams& params);

struct DiskGeometry {
  // Units, from the header.
  std::uint32_t sectorSize;  // bytes
  std::uint32_t sectorsPerCluster;
  std::uint32_t clusterSize;  // bytes
  std::uint32_t sectorsPerTrack;
  std::uint32_t headCount;
  // The areas in disk order: first sector and length in sectors.
  std::uint32_t bootSectors;  // B: the whole boot file, at least one sector
  std::uint32_t fatStart;
  std::uint32_t fatSectors;  // of one FAT copy
  std::uint32_t fatCount;
  std::uint32_t rootStart;
  std::uint32_t rootSectors;  // R
  std::uint32_t dataStart;    // where cluster 2 begins
  // How far the data reaches, once the clusters are placed.
  std::uint32_t endCluster;     // N: just after the last automatically placed cluster
  std::uint32_t sectorsNeeded;  // S: FAT copies, root, clusters 0 to N - 1 and one boot sector
  std::uint32_t tracksNeeded;   // T: S in whole tracks
  std::uint32_t trackCount;     // the header's track count, raised to T
  std::uint32_t presentTracks;  // P: the track count, at most DCP_TRACKS
  // Sectors the image holds at least: every sector of the present tracks
  // for a padded image, else 0 (the image ends with its data).
  std::uint32_t imageSectors;
};

// Fills the areas for the header and a boot file of bootLength bytes; false,
// with an all-zero record, when size_problem finds a problem.
bool plan_geometry(const DiskParams& params, std::uint32_t bootLength, DiskGeometry& geometry);

// Sets N, S, T and the track count (headerTracks raised to T). S is counted
// in 32 bits, as the DCP format's track rule does.
void measure_data(DiskGeometry& geometry, std::uint32_t endCluster, std::uint32_t headerTracks);

// The track count a padded image asks for: the tracks that totalSectors
// fill, at most DCP_TRACKS.
std::uint32_t padded_track_request(const DiskGeometry& geometry, std::uint32_t totalSectors);

// Flags tracks 0 to P - 1 as present and sets P (and, for a padded image,
// imageSectors).
void mark_present_tracks(DiskParams& params, DiskGeometry& geometry, bool padded);

// First sector of cluster k (k >= FIRST_DATA_CLUSTER), counted from the
// disk's start.
constexpr std::uint64_t cluster_sector(const DiskGeometry& g, std::uint64_t cluster) {
  return g.dataStart + (cluster - FIRST_DATA_CLUSTER) * g.sectorsPerCluster;
}

// The last whole cluster within the first `sectors` sectors of the disk;
// FIRST_DATA_CLUSTER - 1 when not even cluster 2 fits.
std::uint32_t last_cluster_within(const DiskGeometry& g, std::uint32_t sectors);

// Where sector k of the disk lies in the image file.
std::uint64_t image_offset(const DiskGeometry& g, std::uint64_t sector);

// Cylinder, head and sector (from 1) of a logical sector, by the header's
// sectors per track and heads; with 0 heads only the sector is known.
struct DiskAddress {
  bool hasCylinder;
  std::uint64_t cylinder;
  std::uint32_t head;
  std::uint32_t sector;
};
DiskAddress disk_address(const DiskGeometry& g, std::uint64_t sector);
