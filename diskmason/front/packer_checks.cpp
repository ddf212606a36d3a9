// The checks once the list is read: the tree must fit the root directory and
// give every entry its own short name; after the layout the data must fit
// 160 tracks, the disk and the FAT.
#include <algorithm>
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/dcp_writer.h"
#include "diskmason/image/dir_entries.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint32_t TRACKS_FIELD = 2;

struct ShortName {
  std::uint8_t bytes[SHORT_NAME_SIZE];
  std::uint32_t order;
  const FileNode* node;
};

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
    image_name_of(run, names[i - 1].node, first, sizeof first);
    image_name_of(run, names[i].node, second, sizeof second);
    report_problem(run, "%s and %s have the same short name on the disk\n", first, second);
    return false;
  }
  return true;
}

// The first file, in tree order, that the list fixes at a run ending past
// the DCP format's 160 tracks; nullptr when there is none.
const FileNode* fixed_past_tracks(const PackerRun& run, const DirNode* dir) {
  const DiskGeometry& g = run.geometry;
  std::uint64_t limit = std::uint64_t{g.sectorsPerTrack} * DCP_TRACKS;
  for (const FileNode& file : files_of(dir)) {
    std::uint32_t start = run.infos[record_of(&file)].startCluster;
    if (run.origins[record_of(&file)].startColumn == 0 || start < FIRST_DATA_CLUSTER) continue;
    std::uint64_t end = start + std::uint64_t{node_cluster_count(&file, run.infos, g.clusterSize)};
    if (cluster_sector(g, end) > limit) return &file;
  }
  for (const DirNode& sub : subdirs_of(dir)) {
    const FileNode* file = fixed_past_tracks(run, &sub);
    if (file != nullptr) return file;
  }
  return nullptr;
}

// The highest cluster that a FAT chain of the image uses (runs that the FAT
// cannot chain at all get none); FIRST_DATA_CLUSTER - 1 when there is none.
std::uint32_t highest_chained_cluster(const PackerRun& run, const DirNode* dir) {
  std::uint32_t highest = FIRST_DATA_CLUSTER - 1;
  auto take = [&](const FileNode& node) {
    std::uint32_t start = run.infos[record_of(&node)].startCluster;
    std::uint32_t clusters = node_cluster_count(&node, run.infos, run.geometry.clusterSize);
    if (start < FIRST_DATA_CLUSTER || start > FAT_CHAIN_LIMIT || clusters > FAT_CHAIN_LIMIT - start) return;
    highest = std::max(highest, start + clusters - 1);
  };
  for (const FileNode& file : files_of(dir)) take(file);
  for (const DirNode& sub : subdirs_of(dir)) {
    take(sub);
    highest = std::max(highest, highest_chained_cluster(run, &sub));
  }
  return highest;
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
bool check_short_names(PackerRun& run, const DirNode* dir) {
  if (dir->fileCount + dir->subdirCount >= 2) {
    std::uint32_t n = 0;
    ShortName* names = sorted_short_names(dir, n);
    if (names == nullptr) {
      explain_no_memory(run, "to compare the short names");
      return false;
    }
    bool ok = all_names_differ(run, names, n);
    heap_free(names);
    if (!ok) return false;
  }
  for (const DirNode& sub : subdirs_of(dir)) {
    if (!check_short_names(run, &sub)) return false;
  }
  return true;
}

// Places the clusters and measures the disk they need. A padded image asks
// for the tracks that totalSectors fill, as if the header did.
bool lay_out(PackerRun& run) {
  DiskGeometry& g = run.geometry;
  std::uint32_t endCluster = place_clusters(&run.root, g.clusterSize, run.infos);
  if (endCluster == 0) {
    explain_no_memory(run, "to place the clusters");
    return false;
  }
  std::uint32_t tracks = run.headerTracks;
  if (run.pad) tracks = std::max(tracks, padded_track_request(g, run.params.totalSectors));
  measure_data(g, endCluster, tracks);
  mark_present_tracks(run.params, g, run.pad);
  return true;
}

bool check_track_limit(PackerRun& run) {
  const DiskGeometry& g = run.geometry;
  if (g.trackCount <= DCP_TRACKS) return true;
  report("File list %s has too much data for the DCP format (%u sectors vs %u max with 160 tracks).\n",
         run.listPath, g.sectorsNeeded, g.sectorsPerTrack * DCP_TRACKS);
  if (run.headerTracks > DCP_TRACKS) {
    explain_at(run.diag, header_place(run, TRACKS_FIELD),
               "header field 2 asks for %u tracks; a DCP image holds at most %u", run.headerTracks,
               DCP_TRACKS);
  }
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

bool check_fixed_reach(const PackerRun& run) {
  const FileNode* file = fixed_past_tracks(run, &run.root);
  if (file == nullptr) return true;
  char path[LIST_LINE_LIMIT + 1];
  image_name_of(run, file, path, sizeof path);
  const FileInfo& info = run.infos[record_of(file)];
  std::uint32_t clusters = node_cluster_count(file, run.infos, run.geometry.clusterSize);
  report_problem(run, "%s is fixed at cluster %u and ends past the 160 tracks of the DCP format "
                 "(%llu sectors needed vs %u max)\n",
                 path, unsigned{info.startCluster},
                 static_cast<unsigned long long>(cluster_sector(run.geometry, info.startCluster + std::uint64_t{clusters})),
                 run.geometry.sectorsPerTrack * DCP_TRACKS);
  return false;
}

bool check_disk_end(const PackerRun& run) {
  const DiskGeometry& g = run.geometry;
  std::uint64_t needed = cluster_sector(g, g.endCluster);
  if (g.endCluster == FIRST_DATA_CLUSTER || needed <= run.params.totalSectors) return true;
  report_problem(run, "the data runs past the end of the disk (%llu sectors needed vs %u total sectors)\n",
                 static_cast<unsigned long long>(needed), unsigned{run.params.totalSectors});
  return false;
}

bool check_fat_size(const PackerRun& run) {
  const DiskGeometry& g = run.geometry;
  std::uint32_t highest = highest_chained_cluster(run, &run.root);
  if (highest < FIRST_DATA_CLUSTER) return true;
  std::uint64_t tableBytes = std::min<std::uint64_t>(std::uint64_t{g.fatSectors} * g.sectorSize, PACKED_FAT_SIZE);
  std::uint64_t entries = tableBytes * 2 / 3;  // 12 bits each
  if (highest < entries) return true;
  std::uint64_t held = entries > FIRST_DATA_CLUSTER ? entries - FIRST_DATA_CLUSTER : 0;
  report_problem(run, "the FAT is too small for the data (%u clusters used vs %llu max in a FAT of %llu bytes)\n",
                 highest - 1, static_cast<unsigned long long>(held),
                 static_cast<unsigned long long>(std::uint64_t{g.fatSectors} * g.sectorSize));
  return false;
}
