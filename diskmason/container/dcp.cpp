#include "diskmason/container/dcp.h"

#include <algorithm>

#include "diskmason/volume/disk_format.h"

namespace {

constexpr DiskField DCP_DISK_TYPE{0, 1};
constexpr DiskField DCP_TRACK_FLAGS{1, MAX_TRACKS};  // 1 = the image holds the track
constexpr DiskField DCP_ALL_TRACKS{161, 1};          // 1 = it holds all 160
static_assert(end_of(DCP_DISK_TYPE) == DCP_TRACK_FLAGS.offset);
static_assert(end_of(DCP_TRACK_FLAGS) == DCP_ALL_TRACKS.offset);
static_assert(end_of(DCP_ALL_TRACKS) == DCP_HEADER_SIZE);

}  // namespace

ContainerPlan plan_dcp(const DiskParams& params, const VolumeGeometry& g, std::uint32_t endCluster, bool pad) {
  ContainerPlan plan{ImageFormat::Dcp, 0, 0, 0, 0, 0};
  // The track rule counts the FAT copies, the root, clusters 0 to N - 1 and
  // one boot sector whatever the boot file's length, in 32 bits.
  plan.sectorsNeeded = g.fatCount * g.fatSectors + g.rootSectors + g.sectorsPerCluster * endCluster + 1;
  std::uint32_t tracks = params.headerTracks;
  if (pad) tracks = std::max(tracks, std::min(ceil_div(params.totalSectors, g.sectorsPerTrack), MAX_TRACKS));
  plan.trackCount = std::max(tracks, ceil_div(plan.sectorsNeeded, g.sectorsPerTrack));
  plan.presentTracks = std::min(plan.trackCount, MAX_TRACKS);
  plan.imageSectors = pad ? std::uint64_t{plan.presentTracks} * g.sectorsPerTrack : 0;
  return plan;
}

void dcp_header(const ContainerPlan& plan, std::uint8_t diskType, std::uint8_t (&header)[DCP_HEADER_SIZE]) {
  store_field(header, DCP_DISK_TYPE, diskType);
  for (std::uint32_t t = 0; t < MAX_TRACKS; ++t) header[DCP_TRACK_FLAGS.offset + t] = t < plan.presentTracks ? 1 : 0;
  store_field(header, DCP_ALL_TRACKS, plan.presentTracks == MAX_TRACKS ? 1 : 0);
}
