#include "diskmason/driver/disk_rules.h"

#include <algorithm>
#include <cstring>

#include "diskmason/volume/allocation.h"
#include "diskmason/volume/disk_format.h"
#include "diskmason/volume/fat.h"
#include "diskmason/volume/layout.h"
#include "diskmason/volume/volume_writer.h"

namespace {

// Fields 12 to 14 are read only when all three are there.
constexpr std::uint32_t TRACK_FIELDS_END = HIDDEN_SECTORS + 1;

std::pair<std::uint32_t, std::uint32_t> folder_clash(const EntryTree& tree, const Entry& folder) {
  std::vector<std::uint32_t> children(folder.subfolders);
  children.insert(children.end(), folder.files.begin(), folder.files.end());
  std::sort(children.begin(), children.end(), [&tree](std::uint32_t a, std::uint32_t b) {
    int c = std::memcmp(tree.entries[a].shortName, tree.entries[b].shortName, SHORT_NAME_SIZE);
    return c != 0 ? c < 0 : a < b;
  });
  for (std::size_t i = 1; i < children.size(); ++i) {
    if (std::memcmp(tree.entries[children[i - 1]].shortName, tree.entries[children[i]].shortName,
                    SHORT_NAME_SIZE) == 0) {
      return {children[i - 1], children[i]};
    }
  }
  return {NO_ENTRY, NO_ENTRY};
}

std::uint32_t fixed_past_tracks_below(const Disk& disk, std::uint32_t folder, std::uint64_t limit) {
  for (std::uint32_t file : disk.tree.entries[folder].files) {
    const Entry& e = disk.tree.entries[file];
    if (!e.fixed || e.startCluster < FIRST_DATA_CLUSTER) continue;
    std::uint64_t end = e.startCluster + std::uint64_t{cluster_count(disk.tree, file, disk.geometry.clusterSize)};
    if (cluster_sector(disk.geometry, end) > limit) return file;
  }
  for (std::uint32_t sub : disk.tree.entries[folder].subfolders) {
    std::uint32_t file = fixed_past_tracks_below(disk, sub, limit);
    if (file != NO_ENTRY) return file;
  }
  return NO_ENTRY;
}

}  // namespace

DiskParams header_params(std::uint32_t (*number)(void* context, std::uint32_t field), void* context,
                         std::uint32_t fieldCount) {
  DiskParams p{};
  p.diskType = static_cast<std::uint8_t>(number(context, DISK_TYPE));
  p.headerTracks = static_cast<std::uint8_t>(number(context, TRACK_COUNT));
  p.formatLevel = static_cast<std::uint8_t>(number(context, FORMAT_LEVEL));
  p.bytesPerSector = static_cast<std::uint16_t>(number(context, BYTES_PER_SECTOR));
  p.sectorsPerCluster = static_cast<std::uint8_t>(number(context, SECTORS_PER_CLUSTER));
  p.reservedSectors = static_cast<std::uint16_t>(number(context, RESERVED_SECTORS));
  p.fatCount = static_cast<std::uint8_t>(number(context, FAT_COUNT));
  p.rootEntries = static_cast<std::uint16_t>(number(context, ROOT_ENTRIES));
  p.totalSectors = static_cast<std::uint16_t>(number(context, TOTAL_SECTORS));
  p.mediaByte = static_cast<std::uint8_t>(number(context, MEDIA_BYTE));
  p.sectorsPerFat = static_cast<std::uint16_t>(number(context, SECTORS_PER_FAT) & 0xFF);
  p.sectorsPerTrack = 8;
  p.headCount = 2;
  p.hiddenSectors = 0;
  if (p.formatLevel >= BOOT_TRACK_FIELDS_LEVEL && fieldCount >= TRACK_FIELDS_END) {
    p.sectorsPerTrack = static_cast<std::uint16_t>(number(context, SECTORS_PER_TRACK));
    p.headCount = static_cast<std::uint16_t>(number(context, HEAD_COUNT));
    p.hiddenSectors = static_cast<std::uint16_t>(number(context, HIDDEN_SECTORS));
  }
  return p;
}

bool root_fits(const Disk& disk) {
  const Entry& root = disk.tree.entries[0];
  const VolumeGeometry& g = disk.geometry;
  std::uint64_t entries = root.files.size() + root.subfolders.size();
  return (entries + 1) * DIR_ENTRY_SIZE <= std::uint64_t{g.rootSectors} * g.sectorSize;  // with the end marker
}

// Folders depth first, each folder's entries compared among themselves.
std::pair<std::uint32_t, std::uint32_t> short_name_clash(const EntryTree& tree) {
  std::vector<std::uint32_t> folders{0};
  while (!folders.empty()) {
    std::uint32_t folder = folders.back();
    folders.pop_back();
    auto clash = folder_clash(tree, tree.entries[folder]);
    if (clash.first != NO_ENTRY) return clash;
    const std::vector<std::uint32_t>& subs = tree.entries[folder].subfolders;
    folders.insert(folders.end(), subs.rbegin(), subs.rend());
  }
  return {NO_ENTRY, NO_ENTRY};
}

bool lay_out_disk(Disk& disk, ImageFormat format, bool pad) {
  disk.endCluster = place_clusters(disk.tree, disk.geometry.clusterSize);
  if (disk.endCluster == 0 || !layout_order(disk.tree, disk.order)) return false;
  disk.plan = plan_container(format, disk.params, disk.geometry, disk.endCluster,
                             volume_sectors(disk.geometry, disk.tree, disk.order), pad);
  return true;
}

std::uint32_t fixed_past_tracks(const Disk& disk) {
  return fixed_past_tracks_below(disk, 0, sector_limit(disk.plan, disk.geometry));
}

std::uint64_t fat_table_entries(const VolumeGeometry& g) {
  return std::min<std::uint64_t>(std::uint64_t{g.fatSectors} * g.sectorSize, PACKED_FAT_SIZE) * 2 / 3;
}

LayoutRefusal layout_refusal(const Disk& disk) {
  const VolumeGeometry& g = disk.geometry;
  if (!fits_tracks(disk.plan)) return LayoutRefusal::TooManyTracks;
  if (disk.endCluster > FAT_CHAIN_LIMIT) return LayoutRefusal::PastFatReach;
  if (fixed_past_tracks(disk) != NO_ENTRY) return LayoutRefusal::FixedPastTracks;
  if (disk.endCluster != FIRST_DATA_CLUSTER && cluster_sector(g, disk.endCluster) > disk.params.totalSectors) {
    return LayoutRefusal::PastDiskEnd;
  }
  std::uint32_t highest = highest_chained_cluster(disk.tree, g.clusterSize);
  if (highest >= FIRST_DATA_CLUSTER && highest >= fat_table_entries(g)) return LayoutRefusal::FatTooSmall;
  if (container_problem(disk.plan, disk.params, g) != ContainerProblem::None) return LayoutRefusal::Container;
  return LayoutRefusal::None;
}
