// The container and the boot sector's parameters: the image against what
// its format says, the fields against each other and the layout they make.
#include <algorithm>

#include "diskmason/container/dcp.h"
#include "diskmason/volume/fat.h"
#include "diskquarry/check.h"

namespace {

// More clusters than this make a volume FAT16's, whatever its FAT holds.
constexpr std::uint32_t FAT12_CLUSTER_LIMIT = 4084;
constexpr std::uint32_t DCP_ALL_TRACKS_AT = 161;

void put(CheckSink& sink, bool error, const std::string& text) { sink.put(sink.context, error, text); }

bool power_of_two(std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

// The DCP header's flags: each 0 or 1, the last one 1 exactly when all 160
// tracks are flagged.
void check_dcp_header(const ImageFile& image, CheckSink& sink) {
  if (image.format != ImageFormat::Dcp || image.size < DCP_HEADER_SIZE) return;
  std::uint32_t flagged = 0;
  std::uint32_t odd = 0;
  std::uint32_t firstOdd = 0;
  for (std::uint32_t t = 0; t < MAX_TRACKS; ++t) {
    std::uint8_t flag = image.bytes[1 + t];
    flagged += flag != 0 ? 1 : 0;
    if (flag > 1 && odd++ == 0) firstOdd = t;
  }
  if (odd != 0) {
    put(sink, false,
        finding_text("%u track flags of the header are neither 0 nor 1 (the first of track %u, %02Xh)", odd, firstOdd,
                     unsigned{image.bytes[1 + firstOdd]}));
  }
  std::uint8_t all = image.bytes[DCP_ALL_TRACKS_AT];
  if (all != (flagged == MAX_TRACKS ? 1 : 0)) {
    put(sink, false,
        finding_text("the header's all-tracks flag is %02Xh, but %u of the %u tracks are flagged", unsigned{all},
                     flagged, MAX_TRACKS));
  }
}

// The fields each on its own. False when the sizes leave nothing to read:
// no sector size, sectors of no whole directory entries, no cluster size.
bool check_fields(const BootFields& b, CheckSink& sink) {
  bool readable = true;
  if (b.bytesPerSector == 0 || b.bytesPerSector % DIR_ENTRY_SIZE != 0 || !power_of_two(b.bytesPerSector)) {
    put(sink, true,
        finding_text("the boot sector gives %u bytes per sector, not a power of two from 32 on",
                     unsigned{b.bytesPerSector}));
    readable = b.bytesPerSector != 0 && b.bytesPerSector % DIR_ENTRY_SIZE == 0;
  }
  if (!power_of_two(b.sectorsPerCluster)) {
    put(sink, true,
        finding_text("the boot sector gives %u sectors per cluster, not a power of two",
                     unsigned{b.sectorsPerCluster}));
    readable = readable && b.sectorsPerCluster != 0;
  }
  if (b.reservedSectors == 0) put(sink, true, "0 reserved sectors: the first FAT copy would overwrite the boot sector");
  if (b.fatCount == 0) put(sink, true, "the boot sector gives no FAT copy");
  if (b.fatCount > 2) {
    put(sink, false, finding_text("%u FAT copies: most systems expect one or two", unsigned{b.fatCount}));
  }
  if (b.rootEntries == 0) {
    put(sink, true, "0 root entries: the root folder has no room");
  } else if (b.bytesPerSector != 0 && std::uint32_t{b.rootEntries} * DIR_ENTRY_SIZE % b.bytesPerSector != 0) {
    put(sink, false, finding_text("%u root entries do not fill whole sectors", unsigned{b.rootEntries}));
  }
  if (b.mediaByte != 0xF0 && b.mediaByte < 0xF8) {
    put(sink, false, finding_text("the media byte %02Xh is none of F0h and F8h to FFh", unsigned{b.mediaByte}));
  }
  return readable;
}

// The FAT's size against the clusters the total sectors make.
void check_fat_size(const BootFields& b, std::uint32_t lastCluster, CheckSink& sink) {
  if (b.fatCount == 0) return;
  if (b.sectorsPerFat == 0) {
    put(sink, true, "the boot sector gives 0 sectors per FAT");
    return;
  }
  std::uint64_t bytes = std::uint64_t{b.sectorsPerFat} * b.bytesPerSector;
  auto entries = static_cast<std::uint32_t>(std::min<std::uint64_t>(FAT_ENTRY_COUNT, bytes * 2 / 3));
  if (entries <= lastCluster) {
    put(sink, true,
        finding_text("a FAT copy of %u sectors holds entries up to cluster %u, but the data area ends "
                     "at cluster %u",
                     unsigned{b.sectorsPerFat}, entries - 1, lastCluster));
    return;
  }
  std::uint32_t clusters = lastCluster - 1;
  std::uint32_t needed = ceil_div(((clusters + FIRST_DATA_CLUSTER) * 3 + 1) / 2, b.bytesPerSector);
  if (clusters != 0 && clusters <= FAT12_CLUSTER_LIMIT && b.sectorsPerFat > needed) {
    put(sink, false,
        finding_text("each FAT copy has %u sectors, where %u hold the entries of all %u clusters",
                     unsigned{b.sectorsPerFat}, needed, clusters));
  }
}

// The areas the fields make against the total sectors; returns the last
// whole cluster (FIRST_DATA_CLUSTER - 1 when there is none).
std::uint32_t check_areas(const BootFields& b, CheckSink& sink) {
  VolumeGeometry g;
  std::uint32_t bootSectors = std::max<std::uint32_t>(1, b.reservedSectors);
  if (!plan_geometry(params_of_boot(b), bootSectors * std::uint32_t{b.bytesPerSector}, g)) return 1;
  std::uint32_t last = last_cluster_within(g, b.totalSectors);
  if (b.totalSectors == 0) {
    put(sink, true, "the boot sector gives 0 total sectors");
  } else if (last < FIRST_DATA_CLUSTER) {
    put(sink, true,
        finding_text("the data area starts at sector %u: %u total sectors leave no cluster", g.dataStart,
                     unsigned{b.totalSectors}));
  } else if (last - 1 > FAT12_CLUSTER_LIMIT) {
    put(sink, true, finding_text("%u clusters make a FAT16 volume, not a FAT12 one", last - 1));
  }
  check_fat_size(b, last, sink);
  return last;
}

// A raw image holds the whole volume: every one of its total sectors.
void check_image_size(const ImageFile& image, const BootFields& b, CheckSink& sink) {
  if (image.format != ImageFormat::Raw) return;
  std::uint64_t held = image.size / b.bytesPerSector;
  if (held < b.totalSectors) {
    put(sink, true,
        finding_text("the image holds %llu whole sectors of the volume's %u", static_cast<unsigned long long>(held),
                     unsigned{b.totalSectors}));
  }
}

}  // namespace

bool check_image_and_boot(ImageFile& image, std::vector<ContainerFinding>& found, CheckSink& sink,
                          CheckedLayout& layout) {
  layout = CheckedLayout{false, FIRST_DATA_CLUSTER - 1};
  check_dcp_header(image, sink);
  const std::uint8_t* boot = boot_sector_bytes(image, BOOT_FIELDS_END);
  if (boot == nullptr) {
    put(sink, true, "the image is too short to hold a boot sector");
    return false;
  }
  BootFields b = read_boot_fields(boot);
  if (!check_fields(b, sink)) return false;
  if (!index_sectors(image, b.bytesPerSector, b.sectorsPerTrack, b.headCount, found)) return false;
  for (const ContainerFinding& f : found) put(sink, f.error, f.text);
  check_image_size(image, b, sink);
  layout.lastCluster = check_areas(b, sink);
  layout.readable = true;
  return true;
}
