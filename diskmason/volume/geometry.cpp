#include "diskmason/volume/geometry.h"

#include "diskmason/volume/disk_format.h"

SizeProblem size_problem(const DiskParams& params) {
  if (params.bytesPerSector == 0) return SizeProblem::NoSectorSize;
  if (params.sectorsPerCluster == 0) return SizeProblem::NoClusterSize;
  if (params.sectorsPerTrack == 0) return SizeProblem::NoTrackSize;
  // Directory entries are written 32 bytes at a time into whole sectors.
  if (params.bytesPerSector % DIR_ENTRY_SIZE != 0) return SizeProblem::SectorNotWholeEntries;
  return SizeProblem::None;
}

bool plan_geometry(const DiskParams& params, std::uint32_t bootLength, VolumeGeometry& geometry) {
  geometry = VolumeGeometry{};
  if (size_problem(params) != SizeProblem::None) return false;
  VolumeGeometry& g = geometry;
  g.sectorSize = params.bytesPerSector;
  g.sectorsPerCluster = params.sectorsPerCluster;
  g.clusterSize = g.sectorsPerCluster * g.sectorSize;
  g.sectorsPerTrack = params.sectorsPerTrack;
  g.headCount = params.headCount;
  g.bootSectors = bootLength == 0 ? 1 : ceil_div(bootLength, g.sectorSize);
  g.fatStart = g.bootSectors;
  g.fatSectors = params.sectorsPerFat;
  g.fatCount = params.fatCount;
  g.rootStart = g.fatStart + g.fatCount * g.fatSectors;
  g.rootSectors = ceil_div(std::uint32_t{params.rootEntries} * DIR_ENTRY_SIZE, g.sectorSize);
  g.dataStart = g.rootStart + g.rootSectors;
  return true;
}

std::uint32_t last_cluster_within(const VolumeGeometry& g, std::uint32_t sectors) {
  if (sectors < g.dataStart) return FIRST_DATA_CLUSTER - 1;
  return FIRST_DATA_CLUSTER + (sectors - g.dataStart) / g.sectorsPerCluster - 1;
}

DiskAddress disk_address(const VolumeGeometry& g, std::uint64_t sector) {
  DiskAddress a{};
  a.sector = static_cast<std::uint32_t>(sector % g.sectorsPerTrack) + 1;
  if (g.headCount == 0) return a;
  std::uint64_t track = sector / g.sectorsPerTrack;
  a.hasCylinder = true;
  a.cylinder = track / g.headCount;
  a.head = static_cast<std::uint32_t>(track % g.headCount);
  return a;
}
