// The checks once the list is read: the tree must fit the root directory and
// give every entry its own short name; after the layout the data must fit
// 160 tracks and the FAT.
#include <algorithm>
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/dcp_writer.h"
#include "diskmason/image/dir_entries.h"
#include "textconv/heap.h"

namespace {


struct ShortName {
  std::uint8_t bytes[SHORT_NAME_SIZE];
  std::uint32_t order;
  const FileNode* node;
};

// The image path of a node as the file list wrote it (zero-terminated copy).
void copy_image_name(const PackerRun& run, const FileNode* node, char* out, std::size_t capacity) {
  const ImageName& name = run.names[record_of(node)];
  if (name.pathIndex == NO_NAME) {
    out[0] = 0;
    return;
  }
  const char* text = reinterpret_cast<const char*>(run.imagePaths.text) +
                     run.imagePaths.spans[name.pathIndex].offset;
  std::size_t length = std::min<std::size_t>(name.length, capacity - 1);
  std::memcpy(out, text, length);
  out[length] = 0;
}

// The short names of dir's children, sorted by their bytes and, among equal
// ones, in creation order; nullptr when memory ran out.
ShortName* sorted_short_names(const DirNode* dir, std::uint32_t& n) {
  std::uint32_t count = dir->fileCount + dir->subdirCount;
  auto* names = static_cast<ShortName*>(heap_alloc(std::size_t{count} * sizeof(ShortName)));
  if (names == nullptr) return nullptr;
  n = 0;
  auto add = [&](const FileNode& node) {
    if (n == count) return;
    make_short_name(entry_name(&node), names[n].bytes);
    names[n].order = node.index;
    names[n].node = &node;
    ++n;
  };
  for (const DirNode& sub : subdirs_of(dir)) add(sub);
  for (const FileNode& file : files_of(dir)) add(file);
  std::sort(names, names + n, [](const ShortName& a, const ShortName& b) {
    int c = std::memcmp(a.bytes, b.bytes, SHORT_NAME_SIZE);
    return c != 0 ? c < 0 : a.order < b.order;
  });
  return names;
}

// Reports the first two neighbours with the same short name; false then.
bool all_names_differ(const PackerRun& run, const ShortName* names, std::uint32_t n) {
  for (std::uint32_t i = 1; i < n; ++i) {
    if (std::memcmp(names[i - 1].bytes, names[i].bytes, SHORT_NAME_SIZE) != 0) continue;
    char first[LIST_LINE_LIMIT + 1];
    char second[LIST_LINE_LIMIT + 1];
    copy_image_name(run, names[i - 1].node, first, sizeof first);
    copy_image_name(run, names[i].node, second, sizeof second);
    report_problem(run, "%s and %s have the same short name on the disk\n", first, second);
    return false;
  }
  return true;
}

}  // namespace

bool check_root_size(const PackerRun& run) {
  const DiskGeometry& g = run.geometry;
  std::uint32_t entries = run.root.fileCount + run.root.subdirCount;
  std::uint64_t needed = (std::uint64_t{entries} + 1) * DIR_ENTRY_SIZE;  // with the end marker
  std::uint64_t room = std::uint64_t{g.rootSectors} * g.sectorSize;
  if (needed <= room) return true;
  if (room < DIR_ENTRY_SIZE) {
    // Not even the end marker fits: there is no count of entries to compare with.
    report_problem(run, "the header gives 0 root directory entries\n");
    return false;
  }
  report_problem(run, "too many entries in the root directory (%u vs %u max)\n", entries,
                 static_cast<unsigned>(room / DIR_ENTRY_SIZE) - 1);
  return false;
}

// Two children of one directory whose entries would carry the same short
// name are refused: on the disk one would hide the other.
bool check_short_names(const PackerRun& run, const DirNode* dir) {
  if (dir->fileCount + dir->subdirCount >= 2) {
    std::uint32_t n = 0;
    ShortName* names = sorted_short_names(dir, n);
    if (names == nullptr) return false;
    bool ok = all_names_differ(run, names, n);
    heap_free(names);
    if (!ok) return false;
  }
  for (const DirNode& sub : subdirs_of(dir)) {
    if (!check_short_names(run, &sub)) return false;
  }
  return true;
}

// Places the clusters and measures the disk they need.
bool lay_out(PackerRun& run) {
  std::uint32_t endCluster = place_clusters(&run.root, run.geometry.clusterSize, run.infos);
  if (endCluster == 0) return false;
  measure_data(run.geometry, endCluster, run.headerTracks);
  mark_present_tracks(run.params, run.geometry.trackCount);
  return true;
}

bool check_track_limit(const PackerRun& run) {
  const DiskGeometry& g = run.geometry;
  if (g.trackCount <= DCP_TRACKS) return true;
  report("File list %s has too much data for the DCP format (%u sectors vs %u max with 160 tracks).\n",
         run.listPath, g.sectorsNeeded, g.sectorsPerTrack * DCP_TRACKS);
  return false;
}

// Automatically placed data must end where the FAT can still chain it.
bool check_fat_reach(const PackerRun& run) {
  std::uint32_t endCluster = run.geometry.endCluster;
  if (endCluster <= FAT_CHAIN_LIMIT) return true;
  report_problem(run, "too much data for the FAT (clusters up to %u needed vs %u max)\n",
                 endCluster - 1, FAT_CHAIN_LIMIT - 1);
  return false;
}
