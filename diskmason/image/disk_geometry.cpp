#include "diskmason/image/disk_geometry.h"

#include "diskmason/image/disk_format.h"

SizeProblem size_problem(const DiskParams& params) {
  if (params.bytesPerSector == 0) return SizeProblem::NoSectorSize;
  if (params.sectorsPerCluster == 0) return SizeProblem::NoClusterSize;
  if (params.sectorsPerTrack == 0) return SizeProblem::NoTrackSize;
  // Directory entries are written 32 bytes at a time into whole sectors.
  if (params.bytesPerSector % DIR_ENTRY_SIZE != 0) return SizeProblem::SectorNotWholeEntries;
  return SizeProblem::None;
}

bool plan_geometry(const DiskParams& params, std::uint32_t bootLength, DiskGeometry& geometry) {
  geometry = DiskGeometry{};
  if (size_problem(params) != SizeProblem::None) return false;
  DiskGeometry& g = geometry;
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

void measure_data(DiskGeometry& geometry, std::uint32_t endCluster, std::uint32_t headerTracks) {
  DiskGeometry& g = geometry;
  g.endCluster = endCluster;
  // The boot area counts as one sector here whatever the boot file's length.
  g.sectorsNeeded = g.fatCount * g.fatSectors + g.rootSectors + g.sectorsPerCluster * endCluster + 1;
  g.tracksNeeded = ceil_div(g.sectorsNeeded, g.sectorsPerTrack);
  g.trackCount = headerTracks < g.tracksNeeded ? g.tracksNeeded : headerTracks;
}

std::uint32_t padded_track_request(const DiskGeometry& geometry, std::uint32_t totalSectors) {
  std::uint32_t tracks = ceil_div(totalSectors, geometry.sectorsPerTrack);
  return tracks < DCP_TRACKS ? tracks : DCP_TRACKS;
}

void mark_present_tracks(DiskParams& params, DiskGeometry& geometry, bool padded) {
  std::uint32_t present = geometry.trackCount < DCP_TRACKS ? geometry.trackCount : DCP_TRACKS;
  for (std::uint32_t t = 0; t < DCP_TRACKS; ++t) params.trackPresent[t] = t < present ? 1 : 0;
  params.allTracksPresent = present == DCP_TRACKS ? 1 : 0;
  geometry.presentTracks = present;
  geometry.imageSectors = padded ? present * geometry.sectorsPerTrack : 0;
}

std::uint32_t last_cluster_within(const DiskGeometry& g, std::uint32_t sectors) {
  if (sectors < g.dataStart) return FIRST_DATA_CLUSTER - 1;
  return FIRST_DATA_CLUSTER + (sectors - g.dataStart) / g.sectorsPerCluster - 1;
}

std::uint64_t image_offset(const DiskGeometry& g, std::uint64_t sector) {
  return DCP_HEADER_SIZE + sector * g.sectorSize;
}

DiskAddress disk_address(const DiskGeometry& g, std::uint64_t sector) {
  DiskAddress a{};
  a.sector = static_cast<std::uint32_t>(sector % g.sectorsPerTrack) + 1;
  if (g.headCount == 0) return a;
  std::uint64_t track = sector / g.sectorsPerTrack;
  a.hasCylinder = true;
  a.cylinder = track / g.headCount;
  a.head = static_cast<std::uint32_t>(track % g.headCount);
  return a;
}
