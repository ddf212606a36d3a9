// The boot sector, the FAT copies and the chains of a volume read back; the
// folders are read in folder_reader.cpp.
#include "diskmason/volume/volume_reader.h"

#include <algorithm>
#include <new>

#include "diskmason/volume/folder_reader.h"

namespace {

constexpr std::uint16_t BAD_CLUSTER = 0xFF7;
constexpr std::uint16_t FIRST_END_MARKER = 0xFF8;

// Entries one copy holds: its bytes, two entries to three, at most 4096.
std::uint32_t fat_entries_per_copy(const VolumeGeometry& g) {
  std::uint64_t bytes = std::uint64_t{g.fatSectors} * g.sectorSize;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(FAT_ENTRY_COUNT, bytes * 2 / 3));
}

// One copy's entries; empty when a sector of it is not in the image.
std::vector<std::uint16_t> read_fat_copy(const SectorSource& sectors, const VolumeGeometry& g, std::uint32_t copy,
                                         std::uint32_t entries) {
  std::vector<std::uint8_t> packed;
  std::uint32_t bytes = (entries * 3 + 1) / 2;
  std::uint32_t needed = ceil_div(bytes, g.sectorSize);
  packed.reserve(std::size_t{needed} * g.sectorSize);
  for (std::uint32_t s = 0; s < needed; ++s) {
    const std::uint8_t* sector = sectors.sector(sectors.context, g.fatStart + std::uint64_t{copy} * g.fatSectors + s);
    if (sector == nullptr) return {};
    packed.insert(packed.end(), sector, sector + g.sectorSize);
  }
  std::vector<std::uint16_t> table(entries);
  for (std::uint32_t n = 0; n < entries; ++n) {
    std::uint32_t at = n / 2 * 3;
    table[n] = static_cast<std::uint16_t>(n % 2 == 0 ? packed[at] | (packed[at + 1] & 0x0F) << 8
                                                     : packed[at + 1] >> 4 | packed[at + 2] << 4);
  }
  return table;
}

void read_fat_copies(VolumeRead& v, const SectorSource& sectors) {
  const VolumeGeometry& g = v.geometry;
  std::uint32_t entries = fat_entries_per_copy(g);
  v.fatCopies.resize(g.fatCount);
  v.fat = nullptr;
  for (std::uint32_t copy = 0; copy < g.fatCount; ++copy) {
    if (entries != 0) v.fatCopies[copy] = read_fat_copy(sectors, g, copy, entries);
    if (entries != 0 && v.fatCopies[copy].empty()) {
      v.problems.push_back({ReadProblem::FatCopyUnreadable, NO_ENTRY, 0, copy});
    } else if (v.fat == nullptr && entries != 0) {
      v.fat = &v.fatCopies[copy];
    }
  }
}

ChainEnd end_of_chain(std::uint16_t value) {
  if (value == 0) return ChainEnd::Free;
  if (value >= FIRST_END_MARKER) return ChainEnd::Marker;
  if (value == BAD_CLUSTER) return ChainEnd::Bad;
  return ChainEnd::Reserved;
}

}  // namespace

BootFields read_boot_fields(const std::uint8_t* s) {
  BootFields b{};
  b.bytesPerSector = static_cast<std::uint16_t>(load_field(s, BOOT_BYTES_PER_SECTOR));
  b.sectorsPerCluster = static_cast<std::uint8_t>(load_field(s, BOOT_SECTORS_PER_CLUSTER));
  b.reservedSectors = static_cast<std::uint16_t>(load_field(s, BOOT_RESERVED_SECTORS));
  b.fatCount = static_cast<std::uint8_t>(load_field(s, BOOT_FAT_COUNT));
  b.rootEntries = static_cast<std::uint16_t>(load_field(s, BOOT_ROOT_ENTRIES));
  b.totalSectors = static_cast<std::uint16_t>(load_field(s, BOOT_TOTAL_SECTORS));
  b.mediaByte = static_cast<std::uint8_t>(load_field(s, BOOT_MEDIA_BYTE));
  b.sectorsPerFat = static_cast<std::uint16_t>(load_field(s, BOOT_SECTORS_PER_FAT));
  b.sectorsPerTrack = static_cast<std::uint16_t>(load_field(s, BOOT_SECTORS_PER_TRACK));
  b.headCount = static_cast<std::uint16_t>(load_field(s, BOOT_HEAD_COUNT));
  b.hiddenSectors = static_cast<std::uint16_t>(load_field(s, BOOT_HIDDEN_SECTORS));
  return b;
}

DiskParams params_of_boot(const BootFields& b) {
  return DiskParams{0,
                    0,
                    static_cast<std::uint8_t>(BOOT_TRACK_FIELDS_LEVEL),
                    b.bytesPerSector,
                    b.sectorsPerCluster,
                    b.reservedSectors,
                    b.fatCount,
                    b.rootEntries,
                    b.totalSectors,
                    b.mediaByte,
                    b.sectorsPerFat,
                    static_cast<std::uint16_t>(b.sectorsPerTrack == 0 ? 8 : b.sectorsPerTrack),
                    b.headCount,
                    b.hiddenSectors};
}

ChainMemo make_chain_memo(const VolumeRead& v) {
  std::size_t clusters = v.fat != nullptr ? v.fat->size() : 0;
  ChainMemo memo{std::vector<std::uint32_t>(clusters, 0), std::vector<std::uint32_t>(clusters, 0),
                 std::vector<ChainEnd>(clusters, ChainEnd::NoStart), {}};
  memo.walked.reserve(clusters);
  return memo;
}

ChainRead follow_chain(VolumeRead& v, ChainMemo& memo, std::uint32_t entry) {
  ChainRead c{0, 0, ChainEnd::NoStart};
  if (v.fat == nullptr) {
    c.end = ChainEnd::NoFat;
    return c;
  }
  const std::vector<std::uint16_t>& fat = *v.fat;
  std::uint32_t cluster = v.tree.entries[entry].startCluster;
  if (cluster < FIRST_DATA_CLUSTER || cluster >= fat.size()) return c;
  std::vector<std::uint32_t>& walked = memo.walked;
  walked.clear();
  std::uint32_t joined = NO_ENTRY;  // the cluster where the chain met an earlier one
  for (;;) {
    std::uint32_t owner = v.owner[cluster];
    if (owner == entry) {
      c.end = ChainEnd::Loop;
      break;
    }
    if (owner != NO_ENTRY) {
      v.problems.push_back({ReadProblem::CrossLink, entry, cluster, owner});
      joined = cluster;
      break;
    }
    v.owner[cluster] = entry;
    walked.push_back(cluster);
    std::uint16_t value = fat[cluster];
    if (!is_next_cluster(value)) {
      c.end = end_of_chain(value);
      break;
    }
    if (value >= fat.size()) {
      c.end = ChainEnd::PastFat;
      break;
    }
    cluster = value;
  }
  // The rest of each cluster walked, from the last one back.
  std::uint32_t rest = joined != NO_ENTRY ? memo.rest[joined] : 0;
  std::uint32_t runs = joined != NO_ENTRY ? memo.restRuns[joined] : 0;
  if (joined != NO_ENTRY) c.end = memo.restEnd[joined];
  std::uint32_t next = joined;
  for (std::size_t i = walked.size(); i-- > 0;) {
    std::uint32_t at = walked[i];
    ++rest;
    if (next == NO_ENTRY || next != at + 1) ++runs;
    memo.rest[at] = rest;
    memo.restRuns[at] = runs;
    memo.restEnd[at] = c.end;
    next = at;
  }
  c.length = rest;
  c.fragments = runs;
  return c;
}

VolumeOpened read_volume(const std::uint8_t* bootSector, const SectorSource& sectors, std::uint32_t bootSectors,
                         VolumeRead& out) {
  if (bootSector == nullptr) return VolumeOpened::NoBootSector;
  try {
    out = VolumeRead{};
    out.boot = read_boot_fields(bootSector);
    DiskParams params = params_of_boot(out.boot);
    if (bootSectors == 0) bootSectors = std::max<std::uint32_t>(1, out.boot.reservedSectors);
    out.bootSectors = bootSectors;
    if (!plan_geometry(params, bootSectors * std::uint32_t{out.boot.bytesPerSector}, out.geometry)) {
      return VolumeOpened::UnusableSizes;
    }
    read_fat_copies(out, sectors);
    out.owner.assign(out.fat != nullptr ? out.fat->size() : 0, NO_ENTRY);
    read_folders(out, sectors);
    return VolumeOpened::Read;
  } catch (const std::bad_alloc&) {
    out = VolumeRead{};
    return VolumeOpened::NoMemory;
  }
}

std::uint64_t copy_entry_bytes(const VolumeRead& v, const SectorSource& sectors, std::uint32_t entry,
                               std::uint64_t limit, PutBytes put, void* context) {
  const VolumeGeometry& g = v.geometry;
  const ChainRead& chain = v.chains[entry];
  std::uint32_t cluster = v.tree.entries[entry].startCluster;
  if (cluster < FIRST_DATA_CLUSTER || limit == 0) return 0;
  bool contiguous = chain.length <= 1 && chain.end != ChainEnd::Marker;
  std::uint64_t clusters = contiguous ? (limit + g.clusterSize - 1) / g.clusterSize : chain.length;
  std::uint64_t copied = 0;
  for (std::uint64_t i = 0; i < clusters; ++i) {
    for (std::uint32_t s = 0; s < g.sectorsPerCluster; ++s) {
      const std::uint8_t* bytes = sectors.sector(sectors.context, cluster_sector(g, cluster) + s);
      if (bytes == nullptr) return copied;
      std::uint64_t n = std::min<std::uint64_t>(g.sectorSize, limit - copied);
      if (!put(context, bytes, static_cast<std::size_t>(n))) return copied;
      copied += n;
      if (copied == limit) return copied;
    }
    if (contiguous) {
      if (++cluster > 0xFFFF) return copied;
    } else if (i + 1 < clusters) {
      cluster = (*v.fat)[cluster];
    }
  }
  return copied;
}
