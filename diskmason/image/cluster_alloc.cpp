#include "diskmason/image/cluster_alloc.h"

#include <algorithm>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t ALLOC_FAILED = 0xFFFFFFFF;
// Highest cursor a search can report; stays apart from ALLOC_FAILED.
constexpr std::uint64_t CURSOR_LIMIT = 0xFFFFFFFE;

std::uint32_t ceil_div(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(a) + b - 1) / b);
}

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
const FileNode** sorted_children(const Node* slots, std::uint32_t capacity, std::uint32_t& count) {
  count = 0;
  for (std::uint32_t i = 0; slots != nullptr && i < capacity; ++i) {
    if (slots[i].nameId != NO_SLOT) ++count;
  }
  auto** list = static_cast<const FileNode**>(heap_alloc(sizeof(FileNode*) * count));
  if (list == nullptr) return nullptr;
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; slots != nullptr && i < capacity; ++i) {
    if (slots[i].nameId != NO_SLOT) list[n++] = &slots[i];
  }
  std::sort(list, list + count, later_first);
  return list;
}

}  // namespace

std::uint32_t node_cluster_count(const FileNode* node, const FileInfo* infos,
                                 std::uint32_t clusterSize) {
  if (clusterSize == 0) return 1;
  std::uint32_t count;
  if (is_file(node)) {
    count = ceil_div(infos[node->index >> 1].size, clusterSize);
  } else {
    const auto* dir = static_cast<const DirNode*>(node);
    count = ceil_div((dir->fileCount + dir->subdirCount + 3) * 32, clusterSize);
  }
  return count == 0 ? 1 : count;
}

void mark_fixed_clusters(const DirNode* dir, std::uint32_t clusterSize, std::uint8_t* map,
                         const FileInfo* infos) {
  for (std::uint32_t i = 0; dir->files != nullptr && i < dir->fileCapacity; ++i) {
    const FileNode* file = &dir->files[i];
    if (file->nameId == NO_SLOT) continue;
    std::uint16_t start = infos[file->index >> 1].startCluster;
    if (start != START_NOT_FIXED)
      flag_run(start, node_cluster_count(file, infos, clusterSize), map);
  }
  for (std::uint32_t i = 0; dir->subdirs != nullptr && i < dir->subdirCapacity; ++i) {
    const DirNode* sub = &dir->subdirs[i];
    if (sub->nameId == NO_SLOT) continue;
    std::uint16_t start = infos[sub->index >> 1].startCluster;
    if (start != START_NOT_FIXED) flag_run(start, node_cluster_count(sub, infos, clusterSize), map);
    mark_fixed_clusters(sub, clusterSize, map, infos);
  }
}

std::uint32_t allocate_clusters(const DirNode* dir, std::uint32_t cursor, std::uint32_t clusterSize,
                                std::uint8_t* map, std::uint32_t pass, FileInfo* infos) {
  std::uint32_t subdirCount = 0;
  const FileNode** subdirs = sorted_children(dir->subdirs, dir->subdirCapacity, subdirCount);
  if (subdirs == nullptr) return ALLOC_FAILED;
  if (pass == FILE_PASS) {
    std::uint32_t fileCount = 0;
    const FileNode** files = sorted_children(dir->files, dir->fileCapacity, fileCount);
    if (files == nullptr) {
      heap_free(subdirs);
      return ALLOC_FAILED;
    }
    for (std::uint32_t i = 0; i < fileCount; ++i) {
      FileInfo& info = infos[files[i]->index >> 1];
      if (info.startCluster != START_NOT_FIXED) continue;
      std::uint32_t count = node_cluster_count(files[i], infos, clusterSize);
      info.startCluster = start_field(search_run(cursor, count, map));
    }
    heap_free(files);
  } else if (dir->parent != nullptr) {
    FileInfo& info = infos[dir->index >> 1];
    if (info.startCluster == START_NOT_FIXED) {
      std::uint32_t count = node_cluster_count(dir, infos, clusterSize);
      std::uint64_t start = search_run(cursor, count, map);
      info.startCluster = start_field(start);
      flag_run(start, count, map);
    }
  }
  for (std::uint32_t i = 0; i < subdirCount && cursor != ALLOC_FAILED; ++i) {
    cursor = allocate_clusters(static_cast<const DirNode*>(subdirs[i]), cursor, clusterSize, map,
                               pass, infos);
  }
  heap_free(subdirs);
  return cursor;
}
