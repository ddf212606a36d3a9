#include "diskmason/image/cluster_alloc.h"

#include <algorithm>
#include <cstring>

#include "diskmason/image/disk_format.h"
#include "diskmason/image/disk_geometry.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint32_t ALLOC_FAILED = 0xFFFFFFFF;
// Highest cursor a search can report; stays apart from ALLOC_FAILED.
constexpr std::uint64_t CURSOR_LIMIT = 0xFFFFFFFE;

// Finds count free clusters in a row from the cursor on, moving the cursor
// past them; returns the first cluster of the run. Clusters beyond the map
// count as free.
std::uint64_t search_run(std::uint32_t& cursor, std::uint32_t count, const std::uint8_t* map) {
  std::uint64_t at = cursor;
  std::uint64_t run = 0;
  while (run < count && at < CLUSTER_MAP_SIZE) {
    run = map[at] != 0 ? 0 : run + 1;
    ++at;
  }
  at += count - run;
  cursor = static_cast<std::uint32_t>(std::min(at, CURSOR_LIMIT));
  return at - count;
}

// Sets the flags of a run, as far as it lies inside the map.
void flag_run(std::uint64_t start, std::uint32_t count, std::uint8_t* map) {
  std::uint64_t end = std::min<std::uint64_t>(start + count, CLUSTER_MAP_SIZE);
  for (std::uint64_t c = start; c < end; ++c) map[c] = 1;
}

// A start beyond 16 bits is kept below START_NOT_FIXED; the driver refuses
// such a disk by the cursor anyway.
std::uint16_t start_field(std::uint64_t start) {
  return static_cast<std::uint16_t>(std::min<std::uint64_t>(start, START_NOT_FIXED - 1));
}

bool later_first(const FileNode* a, const FileNode* b) { return a->index > b->index; }

// Collects the nodes of the slots in use, in descending order of index.
template <typename Node>
const FileNode** sorted_children(UsedSlots<const Node> slots, std::uint32_t& count) {
  count = 0;
  for ([[maybe_unused]] const Node& node : slots) ++count;
  auto** list = static_cast<const FileNode**>(heap_alloc(sizeof(FileNode*) * count));
  if (list == nullptr) return nullptr;
  std::uint32_t n = 0;
  for (const Node& node : slots) list[n++] = &node;
  std::sort(list, list + count, later_first);
  return list;
}

// Flags the run of a node the file list fixed.
void mark_if_fixed(const FileNode* node, std::uint32_t clusterSize, std::uint8_t* map,
                   const FileInfo* infos) {
  std::uint16_t start = infos[record_of(node)].startCluster;
  if (start != START_NOT_FIXED) flag_run(start, node_cluster_count(node, infos, clusterSize), map);
}

// File pass in one directory: places its files that are not fixed.
bool place_files(const DirNode* dir, std::uint32_t& cursor, std::uint32_t clusterSize,
                 const std::uint8_t* map, FileInfo* infos) {
  std::uint32_t count = 0;
  const FileNode** files = sorted_children(files_of(dir), count);
  if (files == nullptr) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    FileInfo& info = infos[record_of(files[i])];
    if (info.startCluster != START_NOT_FIXED) continue;
    std::uint32_t clusters = node_cluster_count(files[i], infos, clusterSize);
    info.startCluster = start_field(search_run(cursor, clusters, map));
  }
  heap_free(files);
  return true;
}

// Directory pass: places dir itself unless it is the root or fixed.
void place_directory(const DirNode* dir, std::uint32_t& cursor, std::uint32_t clusterSize,
                     std::uint8_t* map, FileInfo* infos) {
  FileInfo& info = infos[record_of(dir)];
  if (dir->parent == nullptr || info.startCluster != START_NOT_FIXED) return;
  std::uint32_t count = node_cluster_count(dir, infos, clusterSize);
  std::uint64_t start = search_run(cursor, count, map);
  info.startCluster = start_field(start);
  flag_run(start, count, map);
}

}  // namespace

std::uint32_t node_cluster_count(const FileNode* node, const FileInfo* infos,
                                 std::uint32_t clusterSize) {
  if (clusterSize == 0) return 1;
  std::uint32_t count;
  if (is_file(node)) {
    count = ceil_div(infos[record_of(node)].size, clusterSize);
  } else {
    // Its entries, "." and "..", and the end marker.
    const auto* dir = static_cast<const DirNode*>(node);
    count = ceil_div((dir->fileCount + dir->subdirCount + 3) * DIR_ENTRY_SIZE, clusterSize);
  }
  return count == 0 ? 1 : count;
}

void mark_fixed_clusters(const DirNode* dir, std::uint32_t clusterSize, std::uint8_t* map,
                         const FileInfo* infos) {
  for (const FileNode& file : files_of(dir)) mark_if_fixed(&file, clusterSize, map, infos);
  for (const DirNode& sub : subdirs_of(dir)) {
    mark_if_fixed(&sub, clusterSize, map, infos);
    mark_fixed_clusters(&sub, clusterSize, map, infos);
  }
}

std::uint32_t allocate_clusters(const DirNode* dir, std::uint32_t cursor, std::uint32_t clusterSize,
                                std::uint8_t* map, std::uint32_t pass, FileInfo* infos) {
  std::uint32_t subdirCount = 0;
  const FileNode** subdirs = sorted_children(subdirs_of(dir), subdirCount);
  if (subdirs == nullptr) return ALLOC_FAILED;
  if (pass == FILE_PASS) {
    if (!place_files(dir, cursor, clusterSize, map, infos)) {
      heap_free(subdirs);
      return ALLOC_FAILED;
    }
  } else {
    place_directory(dir, cursor, clusterSize, map, infos);
  }
  for (std::uint32_t i = 0; i < subdirCount && cursor != ALLOC_FAILED; ++i) {
    cursor = allocate_clusters(static_cast<const DirNode*>(subdirs[i]), cursor, clusterSize, map,
                               pass, infos);
  }
  heap_free(subdirs);
  return cursor;
}

std::uint32_t place_clusters(const DirNode* root, std::uint32_t clusterSize, FileInfo* infos) {
  auto* map = static_cast<std::uint8_t*>(heap_alloc(CLUSTER_MAP_SIZE));
  if (map == nullptr) return 0;
  std::memset(map, 0, CLUSTER_MAP_SIZE);
  mark_fixed_clusters(root, clusterSize, map, infos);
  std::uint32_t next = allocate_clusters(root, FIRST_DATA_CLUSTER, clusterSize, map, DIRECTORY_PASS, infos);
  if (next != ALLOC_FAILED) next = allocate_clusters(root, next, clusterSize, map, FILE_PASS, infos);
  heap_free(map);
  return next == ALLOC_FAILED ? 0 : next;
}
