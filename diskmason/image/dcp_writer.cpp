#include "diskmason/image/dcp_writer.h"

#include <cstring>

#include "diskmason/front/utf8_path.h"
#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/dir_entries.h"
#include "textconv/heap.h"

namespace {

std::uint32_t ceil_div(std::uint32_t a, std::uint32_t b) { return (a + b - 1) / b; }

const FileInfo& info_of(const FileNode* node, const FileInfo* infos) {
  return infos[node->index >> 1];
}

void put(std::FILE* out, const std::uint8_t* bytes, std::size_t length) {
  if (length != 0) std::fwrite(bytes, 1, length, out);
}

// Writes `sectors` sectors of byte through the cluster buffer, a cluster at a time.
void write_filled_sectors(std::FILE* out, std::uint8_t* buffer, std::uint32_t clusterSize,
                          std::uint32_t sectorSize, std::uint64_t sectors, std::uint8_t byte) {
  std::uint32_t perCluster = clusterSize / sectorSize;
  std::memset(buffer, byte, clusterSize);
  while (sectors >= perCluster) {
    put(out, buffer, clusterSize);
    sectors -= perCluster;
  }
  if (sectors != 0) put(out, buffer, static_cast<std::size_t>(sectors) * sectorSize);
}

// Boot sector parameter fields, written over the boot file's own bytes.
void store_boot_fields(std::uint8_t* sector, const DiskParams& params) {
  store_le16(sector + 11, params.bytesPerSector);
  sector[13] = params.sectorsPerCluster;
  store_le16(sector + 14, params.reservedSectors);
  sector[16] = params.fatCount;
  store_le16(sector + 17, params.rootEntries);
  store_le16(sector + 19, params.totalSectors);
  sector[21] = params.mediaByte;
  store_le16(sector + 22, params.sectorsPerFat);
  if (params.formatLevel >= 30) {
    store_le16(sector + 24, params.sectorsPerTrack);
    store_le16(sector + 26, params.headCount);
    store_le16(sector + 28, params.hiddenSectors);
  }
}

void write_boot_area(std::FILE* out, const DiskParams& params, const std::uint8_t* boot,
                     std::uint32_t bootLength, std::uint8_t* buffer, std::uint32_t clusterSize) {
  std::uint32_t sectorSize = params.bytesPerSector;
  std::uint32_t first = bootLength < clusterSize ? bootLength : clusterSize;
  std::uint32_t sectors = first == 0 ? 1 : ceil_div(first, sectorSize);
  std::uint32_t length = sectors * sectorSize;
  if (first != 0) std::memcpy(buffer, boot, first);
  std::memset(buffer + first, 0, length - first);
  store_boot_fields(buffer, params);
  put(out, buffer, length);
  if (bootLength > clusterSize) {
    write_padded_sectors(out, boot + clusterSize, bootLength - clusterSize, buffer, clusterSize,
                         sectorSize);
  }
}

void write_fat_copies(std::FILE* out, const DiskParams& params, const std::uint8_t* packed,
                      std::uint8_t* buffer, std::uint32_t clusterSize) {
  std::uint32_t sectorSize = params.bytesPerSector;
  std::uint32_t fatBytes = std::uint32_t{params.sectorsPerFat} * sectorSize;
  std::uint32_t tableBytes = fatBytes < PACKED_FAT_SIZE ? fatBytes : PACKED_FAT_SIZE;
  for (std::uint32_t copy = 0; copy < params.fatCount; ++copy) {
    std::uint32_t written =
        write_padded_sectors(out, packed, tableBytes, buffer, clusterSize, sectorSize);
    // A FAT longer than the packed table continues with zero sectors.
    if (written < params.sectorsPerFat) {
      write_filled_sectors(out, buffer, clusterSize, sectorSize, params.sectorsPerFat - written, 0);
    }
  }
}

// Writes one file node's content; returns the sectors written.
std::uint32_t write_file_node(std::FILE* out, const FileInfo& info, const StringPool& hostPaths,
                              std::uint8_t* buffer, std::uint32_t clusterSize,
                              std::uint32_t sectorSize, HostFileHandler onHostFile,
                              void* context, std::uint32_t& outcome) {
  const char* path = reinterpret_cast<const char*>(hostPaths.text) +
                     hostPaths.spans[info.hostPathIndex].offset;
  std::FILE* in = open_utf8_path(path, "rb");
  if (in == nullptr) {
    outcome |= DCP_HOST_FILE_FAILED;
    if (onHostFile != nullptr) onHostFile(context, path, HostFileProblem::CannotOpen);
    return 0;
  }
  std::uint32_t copied = 0;
  std::uint32_t sectors =
      copy_file_sectors(out, in, buffer, clusterSize, sectorSize, info.size, &copied);
  std::fclose(in);
  if (copied < info.size) {
    outcome |= DCP_HOST_FILE_FAILED;
    if (onHostFile != nullptr) onHostFile(context, path, HostFileProblem::Shrunk);
  }
  return sectors;
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
  for (std::uint32_t slot = 0; slot < dir->subdirCapacity; ++slot) {
    if (dir->subdirs[slot].nameId != NO_SLOT) list.nodes[list.count++] = &dir->subdirs[slot];
  }
  for (std::uint32_t slot = 0; slot < dir->fileCapacity; ++slot) {
    if (dir->files[slot].nameId != NO_SLOT) list.nodes[list.count++] = &dir->files[slot];
  }
  return true;
}

void sort_layout_order(const FileNode* const* nodes, std::uint32_t* order, std::uint32_t* scratch,
                       std::uint32_t count, const FileInfo* infos) {
  // Bottom-up merge sort: stable, no allocation of its own.
  auto key = [&](std::uint32_t i) { return info_of(nodes[i], infos).startCluster; };
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
  entries[0] = static_cast<std::uint16_t>(0xF00 | mediaByte);
  entries[1] = FAT_CHAIN_END;
  for (std::uint32_t i = 0; i < count; ++i) {
    const FileNode* node = nodes[order[i]];
    std::uint32_t start = info_of(node, infos).startCluster;
    std::uint32_t clusters = node_cluster_count(node, infos, clusterSize);
    if (start < 2 || start > FAT_CHAIN_LIMIT || clusters > FAT_CHAIN_LIMIT - start) continue;
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

std::uint32_t copy_file_sectors(std::FILE* out, std::FILE* in, std::uint8_t* buffer,
                                std::uint32_t pieceSize, std::uint32_t sectorSize,
                                std::uint32_t byteLimit, std::uint32_t* bytesCopied) {
  std::uint32_t sectors = 0;
  std::uint32_t copied = 0;
  while (copied < byteLimit) {
    std::uint32_t want = byteLimit - copied < pieceSize ? byteLimit - copied : pieceSize;
    std::uint32_t got = static_cast<std::uint32_t>(std::fread(buffer, 1, want, in));
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

std::uint32_t write_dcp_image(std::FILE* out, const DiskParams& params, const DirNode* root,
                              const StringPool& hostPaths, const std::uint8_t* boot,
                              std::uint32_t bootLength, const FileInfo* infos,
                              HostFileHandler onHostFile, void* context) {
  std::uint32_t sectorSize = params.bytesPerSector;
  std::uint32_t clusterSize = params.sectorsPerCluster * sectorSize;
  // Directory entries are written 32 bytes at a time into whole sectors.
  if (sectorSize == 0 || sectorSize % DIR_ENTRY_SIZE != 0 || clusterSize == 0) {
    return DCP_BAD_GEOMETRY;
  }
  auto* buffer = static_cast<std::uint8_t*>(heap_alloc(clusterSize));
  if (buffer == nullptr) return DCP_NO_MEMORY;

  std::uint32_t outcome = 0;
  LayoutList list{nullptr, 0, 0};
  std::uint32_t* order = nullptr;
  std::uint32_t* scratch = nullptr;
  std::uint16_t entries[FAT_ENTRY_COUNT];
  std::uint8_t packed[PACKED_FAT_SIZE];
  std::uint32_t rootSectors = ceil_div(std::uint32_t{params.rootEntries} * DIR_ENTRY_SIZE, sectorSize);

  std::uint8_t header[DCP_HEADER_SIZE];
  header[0] = params.diskType;
  std::memcpy(header + 1, params.trackPresent, DCP_TRACKS);
  header[DCP_HEADER_SIZE - 1] = params.allTracksPresent;

  // Gather and order the nodes before anything is written, so that a
  // failure to get memory leaves the output empty.
  list.nodes = static_cast<const FileNode**>(heap_alloc(LAYOUT_LIST_START * sizeof(FileNode*)));
  bool ready = list.nodes != nullptr;
  if (ready) list.capacity = LAYOUT_LIST_START;
  if (ready) ready = collect_layout_nodes(root, list);
  for (std::uint32_t i = 0; ready && i < list.count; ++i) {
    const FileNode* node = list.nodes[i];
    if (!is_file(node)) ready = collect_layout_nodes(static_cast<const DirNode*>(node), list);
  }
  if (ready) {
    std::size_t bytes = (std::size_t{list.count} + 1) * sizeof(std::uint32_t);
    order = static_cast<std::uint32_t*>(heap_alloc(bytes));
    scratch = static_cast<std::uint32_t*>(heap_alloc(bytes));
    ready = order != nullptr && scratch != nullptr;
  }
  if (!ready) {
    outcome |= DCP_NO_MEMORY;
  } else {
    for (std::uint32_t i = 0; i < list.count; ++i) order[i] = i;
    sort_layout_order(list.nodes, order, scratch, list.count, infos);

    put(out, header, DCP_HEADER_SIZE);
    write_boot_area(out, params, boot, bootLength, buffer, clusterSize);
    build_fat(entries, params.mediaByte, list.nodes, order, list.count, infos, clusterSize);
    pack_fat(entries, packed);
    write_fat_copies(out, params, packed, buffer, clusterSize);

    std::uint32_t written = write_directory(out, root, infos, buffer, clusterSize, sectorSize,
                                            FILL_BYTE, false);
    if (written == 0xFFFFFFFF) {
      outcome |= DCP_NO_MEMORY;
    } else {
      while (written < rootSectors) {
        for (std::uint32_t at = 0; at < sectorSize; at += DIR_ENTRY_SIZE) {
          buffer[at] = 0x00;
          std::memset(buffer + at + 1, FILL_BYTE, DIR_ENTRY_SIZE - 1);
        }
        put(out, buffer, sectorSize);
        ++written;
      }
    }

    std::uint64_t cursor = 2;
    for (std::uint32_t i = 0; i < list.count; ++i) {
      if ((outcome & DCP_NO_MEMORY) != 0 || std::ferror(out)) break;
      const FileNode* node = list.nodes[order[i]];
      const FileInfo& info = info_of(node, infos);
      if (info.startCluster < cursor) continue;
      if (cursor < info.startCluster) {
        write_filled_sectors(out, buffer, clusterSize, sectorSize,
                             (info.startCluster - cursor) * params.sectorsPerCluster, FILL_BYTE);
        cursor = info.startCluster;
      }
      std::uint32_t sectors = 0;
      if (is_file(node)) {
        sectors = write_file_node(out, info, hostPaths, buffer, clusterSize, sectorSize,
                                  onHostFile, context, outcome);
      } else {
        sectors = write_directory(out, static_cast<const DirNode*>(node), infos, buffer,
                                  clusterSize, sectorSize, FILL_BYTE, true);
        if (sectors == 0xFFFFFFFF) {
          outcome |= DCP_NO_MEMORY;
          break;
        }
      }
      std::uint32_t clusters = node_cluster_count(node, infos, clusterSize);
      std::uint64_t total = std::uint64_t{clusters} * params.sectorsPerCluster;
      if (sectors < total) {
        write_filled_sectors(out, buffer, clusterSize, sectorSize, total - sectors, FILL_BYTE);
      }
      cursor += clusters;
    }
  }

  heap_free(scratch);
  heap_free(order);
  heap_free(list.nodes);
  heap_free(buffer);
  if (std::fflush(out) != 0 || std::ferror(out)) outcome |= DCP_WRITE_FAILED;
  return outcome;
}
