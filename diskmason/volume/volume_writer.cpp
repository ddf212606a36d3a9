#include "diskmason/volume/volume_writer.h"

#include <cstring>
#include <new>

#include "diskmason/volume/allocation.h"
#include "diskmason/volume/directory.h"
#include "diskmason/volume/disk_format.h"
#include "diskmason/volume/fat.h"

namespace {

// Files are read, and fill written, in pieces of at least this many bytes
// (whole clusters), so that most files take one read.
constexpr std::uint32_t COPY_PIECE = 1 << 16;

struct VolumeWriter {
  const Volume& v;
  ByteSink& sink;
  FileSource& files;
  std::vector<std::uint8_t> buffer;  // whole clusters, used in turn by every area
  std::uint32_t outcome;
};

bool put(VolumeWriter& w, const std::uint8_t* bytes, std::size_t length) {
  if (length == 0 || (w.outcome & VOLUME_WRITE_FAILED) != 0) return (w.outcome & VOLUME_WRITE_FAILED) == 0;
  if (w.sink.write(w.sink.context, bytes, length)) return true;
  w.outcome |= VOLUME_WRITE_FAILED;
  return false;
}

void fill(VolumeWriter& w, std::uint64_t sectors, std::uint8_t byte) {
  if ((w.outcome & VOLUME_WRITE_FAILED) != 0) return;  // the sink refused already: nothing more goes to it
  if (!write_filled_sectors(w.sink, sectors, w.v.geometry.sectorSize, byte)) w.outcome |= VOLUME_WRITE_FAILED;
}

// Boot sector parameter fields, written over the boot file's own bytes.
void store_boot_fields(std::uint8_t* sector, const DiskParams& params) {
  store_field(sector, BOOT_BYTES_PER_SECTOR, params.bytesPerSector);
  store_field(sector, BOOT_SECTORS_PER_CLUSTER, params.sectorsPerCluster);
  store_field(sector, BOOT_RESERVED_SECTORS, params.reservedSectors);
  store_field(sector, BOOT_FAT_COUNT, params.fatCount);
  store_field(sector, BOOT_ROOT_ENTRIES, params.rootEntries);
  store_field(sector, BOOT_TOTAL_SECTORS, params.totalSectors);
  store_field(sector, BOOT_MEDIA_BYTE, params.mediaByte);
  store_field(sector, BOOT_SECTORS_PER_FAT, params.sectorsPerFat);
  if (params.formatLevel < BOOT_TRACK_FIELDS_LEVEL) return;
  store_field(sector, BOOT_SECTORS_PER_TRACK, params.sectorsPerTrack);
  store_field(sector, BOOT_HEAD_COUNT, params.headCount);
  store_field(sector, BOOT_HIDDEN_SECTORS, params.hiddenSectors);
}

// The boot file zero-padded to whole sectors (one zero sector when it is
// empty), the parameter fields written into its first sector.
void write_boot_area(VolumeWriter& w) {
  const VolumeGeometry& g = w.v.geometry;
  std::vector<std::uint8_t> area(std::size_t{g.bootSectors} * g.sectorSize, 0);
  if (w.v.bootLength != 0) std::memcpy(area.data(), w.v.boot, w.v.bootLength);
  store_boot_fields(area.data(), w.v.params);
  put(w, area.data(), area.size());
}

// Each copy is the packed table's first bytes, zero sectors past its end.
void write_fat_copies(VolumeWriter& w) {
  const VolumeGeometry& g = w.v.geometry;
  std::uint8_t packed[PACKED_FAT_SIZE];
  build_fat(w.v.tree, w.v.order, g.clusterSize, w.v.params.mediaByte, packed);
  std::vector<std::uint8_t> copy(std::size_t{g.fatSectors} * g.sectorSize, 0);
  if (!copy.empty()) std::memcpy(copy.data(), packed, copy.size() < PACKED_FAT_SIZE ? copy.size() : PACKED_FAT_SIZE);
  for (std::uint32_t i = 0; i < g.fatCount; ++i) put(w, copy.data(), copy.size());
}

// The root's entries, then empty sectors up to its size. A root that takes
// more moves the data area; the driver refuses such a tree.
void write_root_folder(VolumeWriter& w) {
  const VolumeGeometry& g = w.v.geometry;
  std::vector<std::uint8_t> sectors;
  append_folder_sectors(w.v.tree, 0, false, g.sectorSize, sectors);
  std::size_t rootBytes = std::size_t{g.rootSectors} * g.sectorSize;
  if (sectors.size() < rootBytes) {
    std::size_t at = sectors.size();
    sectors.resize(rootBytes);
    clear_dir_slots(sectors.data() + at, static_cast<std::uint32_t>(rootBytes - at));
  }
  put(w, sectors.data(), sectors.size());
}

// Copies one file, at most its size, the last piece zero-padded to whole
// sectors; returns the sectors written.
std::uint64_t write_file(VolumeWriter& w, std::uint32_t entry) {
  const std::uint32_t sectorSize = w.v.geometry.sectorSize;
  FileOpened opened = w.files.open(w.files.context, entry);
  if (opened == FileOpened::NoMemory) {
    w.outcome |= VOLUME_NO_MEMORY;
    return 0;
  }
  if (opened == FileOpened::Missing) {
    w.outcome |= VOLUME_FILE_FAILED;
    w.files.missed(w.files.context, entry, false);
    return 0;
  }
  const std::uint32_t size = w.v.tree.entries[entry].size;
  const auto piece = static_cast<std::uint32_t>(w.buffer.size());
  std::uint64_t sectors = 0;
  std::uint32_t copied = 0;
  while (copied < size && (w.outcome & VOLUME_WRITE_FAILED) == 0) {
    std::uint32_t want = size - copied < piece ? size - copied : piece;
    std::uint32_t got = w.files.read(w.files.context, w.buffer.data(), want);
    copied += got;
    std::uint32_t padded = ceil_div(got, sectorSize) * sectorSize;
    std::memset(w.buffer.data() + got, 0, padded - got);
    put(w, w.buffer.data(), padded);
    sectors += padded / sectorSize;
    if (got != piece) break;
  }
  w.files.close(w.files.context);
  if (copied < size && (w.outcome & VOLUME_WRITE_FAILED) == 0) {
    w.outcome |= VOLUME_FILE_FAILED;
    w.files.missed(w.files.context, entry, true);
  }
  return sectors;
}

// An entry's content at its start cluster, its clusters filled up.
void write_entry(VolumeWriter& w, std::uint32_t entry) {
  const VolumeGeometry& g = w.v.geometry;
  std::uint64_t sectors = 0;
  if (w.v.tree.entries[entry].folder) {
    std::vector<std::uint8_t> folder;
    append_folder_sectors(w.v.tree, entry, true, g.sectorSize, folder);
    put(w, folder.data(), folder.size());
    sectors = folder.size() / g.sectorSize;
  } else {
    sectors = write_file(w, entry);
  }
  std::uint64_t total = std::uint64_t{cluster_count(w.v.tree, entry, g.clusterSize)} * g.sectorsPerCluster;
  if (sectors < total) fill(w, total - sectors, FILL_BYTE);
}

// Every entry in cluster order from cluster 2 on, fill between them. An
// entry whose start lies behind what is written already is left out.
// Returns the cluster after the last one written.
std::uint64_t write_data_area(VolumeWriter& w) {
  const VolumeGeometry& g = w.v.geometry;
  std::uint64_t cursor = FIRST_DATA_CLUSTER;
  for (std::uint32_t entry : w.v.order) {
    if (w.outcome & (VOLUME_NO_MEMORY | VOLUME_WRITE_FAILED)) break;
    std::uint32_t start = w.v.tree.entries[entry].startCluster;
    if (start < cursor) continue;
    if (cursor < start) fill(w, (start - cursor) * g.sectorsPerCluster, FILL_BYTE);
    write_entry(w, entry);
    cursor = start + std::uint64_t{cluster_count(w.v.tree, entry, g.clusterSize)};
  }
  return cursor;
}

// The buffer: one cluster, or as many whole clusters as fit COPY_PIECE.
std::size_t buffer_size(std::uint32_t clusterSize) {
  return clusterSize >= COPY_PIECE ? clusterSize : COPY_PIECE / clusterSize * clusterSize;
}

}  // namespace

bool write_filled_sectors(ByteSink& sink, std::uint64_t sectors, std::uint32_t sectorSize, std::uint8_t byte) {
  std::uint8_t piece[COPY_PIECE];
  std::uint64_t bytes = sectors * sectorSize;
  std::memset(piece, byte, bytes < COPY_PIECE ? static_cast<std::size_t>(bytes) : COPY_PIECE);
  for (; bytes != 0;) {
    std::size_t n = bytes < COPY_PIECE ? static_cast<std::size_t>(bytes) : COPY_PIECE;
    if (!sink.write(sink.context, piece, n)) return false;
    bytes -= n;
  }
  return true;
}

std::uint64_t volume_sectors(const VolumeGeometry& geometry, const EntryTree& tree,
                             const std::vector<std::uint32_t>& order) {
  std::uint64_t cursor = FIRST_DATA_CLUSTER;
  for (std::uint32_t entry : order) {
    std::uint32_t start = tree.entries[entry].startCluster;
    if (start >= cursor) cursor = start + std::uint64_t{cluster_count(tree, entry, geometry.clusterSize)};
  }
  return cluster_sector(geometry, cursor);
}

VolumeWritten write_volume(const Volume& volume, ByteSink& sink, FileSource& files) {
  VolumeWriter w{volume, sink, files, {}, 0};
  VolumeWritten written{0, 0};
  try {
    w.buffer.resize(buffer_size(volume.geometry.clusterSize));
    write_boot_area(w);
    write_fat_copies(w);
    write_root_folder(w);
    written.sectors = cluster_sector(volume.geometry, write_data_area(w));
  } catch (const std::bad_alloc&) {
    w.outcome |= VOLUME_NO_MEMORY;
  }
  written.outcome = w.outcome;
  return written;
}
