#include "diskmason/image/dcp_writer.h"

#include <cerrno>
#include <cstring>

#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/dir_entries.h"
#include "textconv/heap.h"

namespace {

// Host files are read in pieces of at least this many bytes (whole clusters),
// so that most files take one read.
constexpr std::uint32_t COPY_PIECE = 1 << 16;

// What one call of write_dcp_image works with.
struct ImageWriter {
  std::FILE* out;
  const DiskParams& params;
  const DiskGeometry& geometry;
  const StringPool& hostPaths;
  KeptHostFiles* kept;  // host files still open; nullptr when none is kept
  const FileInfo* infos;
  HostFileHandler onHostFile;
  void* context;
  std::uint8_t* buffer;  // whole clusters, used in turn by every area
  std::uint32_t bufferSize;
  std::uint32_t outcome;
};

// Every node of the tree but the root, and the order in which the data area
// holds them.
struct LayoutOrder {
  LayoutList list;
  std::uint32_t* order;  // indices into list.nodes by ascending startCluster
};

void put(std::FILE* out, const std::uint8_t* bytes, std::size_t length) {
  if (length != 0) std::fwrite(bytes, 1, length, out);
}

// The writer's buffer: one cluster, or as many whole clusters as fit COPY_PIECE.
std::uint32_t buffer_size(std::uint32_t clusterSize) {
  return clusterSize >= COPY_PIECE ? clusterSize : COPY_PIECE / clusterSize * clusterSize;
}

// Writes `sectors` sectors of byte through the buffer.
void write_filled_sectors(ImageWriter& w, std::uint64_t sectors, std::uint8_t byte) {
  std::uint64_t bytes = sectors * w.geometry.sectorSize;
  std::size_t piece = bytes < w.bufferSize ? static_cast<std::size_t>(bytes) : w.bufferSize;
  std::memset(w.buffer, byte, piece);
  for (; bytes >= piece && piece != 0; bytes -= piece) put(w.out, w.buffer, piece);
  put(w.out, w.buffer, static_cast<std::size_t>(bytes));
}

// Collects the nodes level by level and sorts them; false when memory ran
// out (what was allocated is left in layout for the caller to free).
bool order_layout(const DirNode* root, const FileInfo* infos, LayoutOrder& layout) {
  LayoutList& list = layout.list;
  list.nodes = static_cast<const FileNode**>(heap_alloc(LAYOUT_LIST_START * sizeof(FileNode*)));
  if (list.nodes == nullptr) return false;
  list.capacity = LAYOUT_LIST_START;
  if (!collect_layout_nodes(root, list)) return false;
  for (std::uint32_t i = 0; i < list.count; ++i) {
    const FileNode* node = list.nodes[i];
    if (!is_file(node) && !collect_layout_nodes(static_cast<const DirNode*>(node), list)) return false;
  }
  std::size_t bytes = (std::size_t{list.count} + 1) * sizeof(std::uint32_t);
  layout.order = static_cast<std::uint32_t*>(heap_alloc(bytes));
  auto* scratch = static_cast<std::uint32_t*>(heap_alloc(bytes));
  bool ready = layout.order != nullptr && scratch != nullptr;
  if (ready) {
    for (std::uint32_t i = 0; i < list.count; ++i) layout.order[i] = i;
    sort_layout_order(list.nodes, layout.order, scratch, list.count, infos);
  }
  heap_free(scratch);
  return ready;
}

void write_header(ImageWriter& w) {
  std::uint8_t header[DCP_HEADER_SIZE];
  store_field(header, DCP_DISK_TYPE, w.params.diskType);
  std::memcpy(header + DCP_TRACK_FLAGS.offset, w.params.trackPresent, DCP_TRACK_FLAGS.width);
  store_field(header, DCP_ALL_TRACKS, w.params.allTracksPresent);
  put(w.out, header, DCP_HEADER_SIZE);
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
void write_boot_area(ImageWriter& w, const std::uint8_t* boot, std::uint32_t bootLength) {
  const DiskGeometry& g = w.geometry;
  std::uint32_t first = bootLength < g.clusterSize ? bootLength : g.clusterSize;
  std::uint32_t length = (first == 0 ? 1 : ceil_div(first, g.sectorSize)) * g.sectorSize;
  if (first != 0) std::memcpy(w.buffer, boot, first);
  std::memset(w.buffer + first, 0, length - first);
  store_boot_fields(w.buffer, w.params);
  put(w.out, w.buffer, length);
  if (bootLength > g.clusterSize) {
    write_padded_sectors(w.out, boot + g.clusterSize, bootLength - g.clusterSize, w.buffer,
                         g.clusterSize, g.sectorSize);
  }
}

void write_fat_copies(ImageWriter& w, const LayoutOrder& layout) {
  const DiskGeometry& g = w.geometry;
  std::uint16_t entries[FAT_ENTRY_COUNT];
  std::uint8_t packed[PACKED_FAT_SIZE];
  build_fat(entries, w.params.mediaByte, layout.list.nodes, layout.order, layout.list.count,
            w.infos, g.clusterSize);
  pack_fat(entries, packed);
  std::uint32_t copyBytes = g.fatSectors * g.sectorSize;
  std::uint32_t tableBytes = copyBytes < PACKED_FAT_SIZE ? copyBytes : PACKED_FAT_SIZE;
  for (std::uint32_t copy = 0; copy < g.fatCount; ++copy) {
    std::uint32_t written =
        write_padded_sectors(w.out, packed, tableBytes, w.buffer, g.clusterSize, g.sectorSize);
    // A FAT longer than the packed table continues with zero sectors.
    if (written < g.fatSectors) write_filled_sectors(w, g.fatSectors - written, 0);
  }
}

// The root's entries, then empty sectors up to R. A root that takes more
// than R sectors moves the data area; the driver refuses such a tree.
void write_root_directory(ImageWriter& w, const DirNode* root) {
  const DiskGeometry& g = w.geometry;
  std::uint32_t written = write_directory(w.out, root, w.infos, w.buffer, g.clusterSize,
                                          g.sectorSize, FILL_BYTE, false);
  if (written == DIRECTORY_NOT_WRITTEN) {
    w.outcome |= DCP_NO_MEMORY;
    return;
  }
  clear_dir_slots(w.buffer, g.sectorSize, FILL_BYTE);
  for (; written < g.rootSectors; ++written) put(w.out, w.buffer, g.sectorSize);
}

// Copies one host file, at most its measured size; returns the sectors written.
std::uint32_t write_file_node(ImageWriter& w, const FileInfo& info) {
  const DiskGeometry& g = w.geometry;
  const char* path = reinterpret_cast<const char*>(w.hostPaths.text) +
                     w.hostPaths.spans[info.hostPathIndex].offset;
  HostFile in = w.kept != nullptr ? take_kept_file(*w.kept, info.hostPathIndex) : HostFile{};
  if (!is_open(in) && !open_host_file(path, in)) {
    // Memory that ran out says nothing about the file; the writer stops.
    if (errno == ENOMEM) {
      w.outcome |= DCP_NO_MEMORY;
      return 0;
    }
    w.outcome |= DCP_HOST_FILE_FAILED;
    if (w.onHostFile != nullptr) w.onHostFile(w.context, path, HostFileProblem::CannotOpen);
    return 0;
  }
  std::uint32_t copied = 0;
  std::uint32_t sectors =
      copy_file_sectors(w.out, in, w.buffer, w.bufferSize, g.sectorSize, info.size, &copied);
  close_host_file(in);
  if (copied < info.size) {
    w.outcome |= DCP_HOST_FILE_FAILED;
    if (w.onHostFile != nullptr) w.onHostFile(w.context, path, HostFileProblem::Shrunk);
  }
  return sectors;
}

// A node's content at its start cluster, its clusters filled up; false when
// a directory could not be written.
bool write_node(ImageWriter& w, const FileNode* node) {
  const DiskGeometry& g = w.geometry;
  std::uint32_t sectors = 0;
  if (is_file(node)) {
    sectors = write_file_node(w, w.infos[record_of(node)]);
  } else {
    sectors = write_directory(w.out, static_cast<const DirNode*>(node), w.infos, w.buffer,
                              g.clusterSize, g.sectorSize, FILL_BYTE, true);
    if (sectors == DIRECTORY_NOT_WRITTEN) return false;
  }
  std::uint64_t total =
      std::uint64_t{node_cluster_count(node, w.infos, g.clusterSize)} * g.sectorsPerCluster;
  if (sectors < total) write_filled_sectors(w, total - sectors, FILL_BYTE);
  return true;
}

// Every node in cluster order from cluster 2 on, fill bytes between them. A
// node whose start lies behind what is written already is left out.
// Returns the cluster after the last one written.
std::uint64_t write_data_area(ImageWriter& w, const LayoutOrder& layout) {
  std::uint64_t cursor = FIRST_DATA_CLUSTER;
  for (std::uint32_t i = 0; i < layout.list.count; ++i) {
    if ((w.outcome & DCP_NO_MEMORY) != 0 || std::ferror(w.out)) break;
    const FileNode* node = layout.list.nodes[layout.order[i]];
    std::uint32_t start = w.infos[record_of(node)].startCluster;
    if (start < cursor) continue;
    if (cursor < start) write_filled_sectors(w, (start - cursor) * w.geometry.sectorsPerCluster, FILL_BYTE);
    if (!write_node(w, node)) {
      w.outcome |= DCP_NO_MEMORY;
      break;
    }
    cursor = start + std::uint64_t{node_cluster_count(node, w.infos, w.geometry.clusterSize)};
  }
  return cursor;
}

// Fill sectors from the end of the data to geometry.imageSectors.
void pad_image(ImageWriter& w, std::uint64_t endCluster) {
  std::uint64_t written = cluster_sector(w.geometry, endCluster);
  if (written < w.geometry.imageSectors && (w.outcome & DCP_NO_MEMORY) == 0) {
    write_filled_sectors(w, w.geometry.imageSectors - written, FILL_BYTE);
  }
}

}  // namespace

bool collect_layout_nodes(const DirNode* dir, LayoutList& list) {
  std::uint32_t adding = dir->fileCount + dir->subdirCount;
  std::uint64_t needed = std::uint64_t{list.count} + adding;
  if (needed > list.capacity) {
    std::uint64_t capacity = list.capacity == 0 ? 1 : list.capacity;
    while (capacity < needed) capacity *= 2;
    if (capacity > 0xFFFFFFFFu) return false;
    void* grown = heap_realloc(list.nodes, capacity * sizeof(const FileNode*));
    if (grown == nullptr) return false;
    list.nodes = static_cast<const FileNode**>(grown);
    list.capacity = static_cast<std::uint32_t>(capacity);
  }
  for (const DirNode& sub : subdirs_of(dir)) list.nodes[list.count++] = &sub;
  for (const FileNode& file : files_of(dir)) list.nodes[list.count++] = &file;
  return true;
}

void sort_layout_order(const FileNode* const* nodes, std::uint32_t* order, std::uint32_t* scratch,
                       std::uint32_t count, const FileInfo* infos) {
  // Bottom-up merge sort: stable, no allocation of its own.
  auto key = [&](std::uint32_t i) { return infos[record_of(nodes[i])].startCluster; };
  std::uint32_t* from = order;
  std::uint32_t* to = scratch;
  for (std::uint64_t width = 1; width < count; width *= 2) {
    for (std::uint64_t left = 0; left < count; left += 2 * width) {
      std::uint64_t mid = left + width < count ? left + width : count;
      std::uint64_t end = left + 2 * width < count ? left + 2 * width : count;
      std::uint64_t a = left, b = mid, k = left;
      while (a < mid && b < end) to[k++] = key(from[b]) < key(from[a]) ? from[b++] : from[a++];
      while (a < mid) to[k++] = from[a++];
      while (b < end) to[k++] = from[b++];
    }
    std::uint32_t* swap = from;
    from = to;
    to = swap;
  }
  if (from != order) std::memcpy(order, from, std::size_t{count} * sizeof(std::uint32_t));
}

void build_fat(std::uint16_t* entries, std::uint8_t mediaByte, const FileNode* const* nodes,
               const std::uint32_t* order, std::uint32_t count, const FileInfo* infos,
               std::uint32_t clusterSize) {
  std::memset(entries, 0, FAT_ENTRY_COUNT * sizeof(std::uint16_t));
  // Entries 0 and 1 hold the media byte; clusters are numbered from 2.
  entries[0] = static_cast<std::uint16_t>(0xF00 | mediaByte);
  entries[1] = FAT_CHAIN_END;
  for (std::uint32_t i = 0; i < count; ++i) {
    const FileNode* node = nodes[order[i]];
    std::uint32_t start = infos[record_of(node)].startCluster;
    std::uint32_t clusters = node_cluster_count(node, infos, clusterSize);
    if (start < FIRST_DATA_CLUSTER || start > FAT_CHAIN_LIMIT || clusters > FAT_CHAIN_LIMIT - start) continue;
    std::uint32_t last = start + clusters - 1;
    for (std::uint32_t c = start; c < last; ++c) entries[c] = static_cast<std::uint16_t>(c + 1);
    entries[last] = FAT_CHAIN_END;
  }
}

void pack_fat(const std::uint16_t* entries, std::uint8_t* packed) {
  for (std::uint32_t j = 0; j < FAT_ENTRY_COUNT / 2; ++j) {
    std::uint32_t even = entries[2 * j] & 0xFFF;
    std::uint32_t odd = entries[2 * j + 1] & 0xFFF;
    packed[3 * j] = static_cast<std::uint8_t>(even);
    packed[3 * j + 1] = static_cast<std::uint8_t>((even >> 8) | ((odd & 0xF) << 4));
    packed[3 * j + 2] = static_cast<std::uint8_t>(odd >> 4);
  }
}

std::uint32_t write_padded_sectors(std::FILE* out, const std::uint8_t* source, std::uint32_t length,
                                   std::uint8_t* scratch, std::uint32_t pieceSize,
                                   std::uint32_t sectorSize) {
  std::uint32_t whole = length / pieceSize * pieceSize;
  put(out, source, whole);
  std::uint32_t sectors = whole / sectorSize;
  std::uint32_t rest = length - whole;
  if (rest != 0) {
    std::uint32_t padded = ceil_div(rest, sectorSize) * sectorSize;
    std::memcpy(scratch, source + whole, rest);
    std::memset(scratch + rest, 0, padded - rest);
    put(out, scratch, padded);
    sectors += padded / sectorSize;
  }
  return sectors;
}

std::uint32_t copy_file_sectors(std::FILE* out, HostFile& in, std::uint8_t* buffer,
                                std::uint32_t pieceSize, std::uint32_t sectorSize,
                                std::uint32_t byteLimit, std::uint32_t* bytesCopied) {
  std::uint32_t sectors = 0;
  std::uint32_t copied = 0;
  while (copied < byteLimit) {
    std::uint32_t want = byteLimit - copied < pieceSize ? byteLimit - copied : pieceSize;
    std::uint32_t got = read_host_file(in, buffer, want);
    copied += got;
    if (got == pieceSize) {
      put(out, buffer, got);
      sectors += pieceSize / sectorSize;
      continue;
    }
    if (got != 0) {
      std::uint32_t padded = ceil_div(got, sectorSize) * sectorSize;
      std::memset(buffer + got, 0, padded - got);
      put(out, buffer, padded);
      sectors += padded / sectorSize;
    }
    break;
  }
  if (bytesCopied != nullptr) *bytesCopied = copied;
  return sectors;
}

std::uint32_t write_dcp_image(std::FILE* out, const DiskParams& params, const DiskGeometry& geometry,
                              const DirNode* root, const StringPool& hostPaths,
                              const std::uint8_t* boot, std::uint32_t bootLength,
                              const FileInfo* infos, HostFileHandler onHostFile, void* context,
                              KeptHostFiles* keptFiles) {
  if (geometry.clusterSize == 0) return DCP_BAD_GEOMETRY;
  std::uint32_t bufferSize = buffer_size(geometry.clusterSize);
  auto* buffer = static_cast<std::uint8_t*>(heap_alloc(bufferSize));
  if (buffer == nullptr) return DCP_NO_MEMORY;
  ImageWriter w{out, params, geometry, hostPaths, keptFiles, infos, onHostFile, context, buffer, bufferSize, 0};
  LayoutOrder layout{LayoutList{nullptr, 0, 0}, nullptr};
  // The nodes are ordered before anything is written, so that a failure to
  // get memory leaves the output empty.
  if (order_layout(root, infos, layout)) {
    write_header(w);
    write_boot_area(w, boot, bootLength);
    write_fat_copies(w, layout);
    write_root_directory(w, root);
    pad_image(w, write_data_area(w, layout));
  } else {
    w.outcome |= DCP_NO_MEMORY;
  }
  heap_free(layout.order);
  heap_free(layout.list.nodes);
  heap_free(buffer);
  if (std::fflush(out) != 0 || std::ferror(out)) w.outcome |= DCP_WRITE_FAILED;
  return w.outcome;
}
