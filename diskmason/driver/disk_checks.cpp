// The checks once the list is read: the tree must fit the root folder and
// give every entry its own short name; after the layout the data must fit
// the container's tracks, the disk and the FAT. Then the warnings about the
// layout that are no refusals.
#include <algorithm>
#include <cstring>
#include <new>

#include "diskmason/driver/pack_run.h"
#include "diskmason/volume/allocation.h"
#include "diskmason/volume/disk_format.h"
#include "diskmason/volume/fat.h"
#include "diskmason/volume/layout.h"
#include "diskmason/volume/volume_writer.h"

namespace {

// Two entries of one folder whose short names are the same, the earlier
// made first; NO_ENTRY when there are none.
std::pair<std::uint32_t, std::uint32_t> same_short_names(const EntryTree& tree, const Entry& folder) {
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

// The first file, in tree order, that the list fixes at a run ending past
// the container's tracks; NO_ENTRY when there is none.
std::uint32_t fixed_past_tracks(const PackRun& run, std::uint32_t folder) {
  const Disk& disk = run.disk;
  std::uint64_t limit = sector_limit(disk.plan, disk.geometry);
  for (std::uint32_t file : disk.tree.entries[folder].files) {
    const Entry& e = disk.tree.entries[file];
    if (e.startColumn == 0 || e.startCluster < FIRST_DATA_CLUSTER) continue;
    std::uint64_t end = e.startCluster + std::uint64_t{cluster_count(disk.tree, file, disk.geometry.clusterSize)};
    if (cluster_sector(disk.geometry, end) > limit) return file;
  }
  for (std::uint32_t sub : disk.tree.entries[folder].subfolders) {
    std::uint32_t file = fixed_past_tracks(run, sub);
    if (file != NO_ENTRY) return file;
  }
  return NO_ENTRY;
}

SourcePlace start_place(const PackRun& run, const Entry& e) {
  return SourcePlace{run.options.listPath, e.line, e.startColumn};
}

// "cluster 5" or "clusters 5 to 7".
const char* describe_run(std::uint32_t first, std::uint32_t end, char* out, std::size_t capacity) {
  if (end - first == 1) {
    std::snprintf(out, capacity, "cluster %u", first);
  } else {
    std::snprintf(out, capacity, "clusters %u to %u", first, end - 1);
  }
  return out;
}

// A fixed run past totalSectors lies outside the volume that other systems
// see; past the tracks a DCP image flags present, the file still holds it
// right after them, but readers that go by the flags do not see it (said
// of a run that is written and within totalSectors).
void warn_about_far_run(PackRun& run, const Entry& e, std::uint64_t endSector, bool written) {
  const Disk& disk = run.disk;
  if (endSector > disk.params.totalSectors) {
    warn_at(run.reporter, start_place(run, e), "the run ends at sector %llu, past the disk's %u total sectors",
            static_cast<unsigned long long>(endSector), unsigned{disk.params.totalSectors});
  } else if (written && disk.plan.format == ImageFormat::Dcp &&
      endSector > std::uint64_t{disk.plan.presentTracks} * disk.geometry.sectorsPerTrack) {
    warn_at(run.reporter, start_place(run, e),
            "the run ends at sector %llu, past the %u tracks the image flags present: readers that go by the "
            "flags do not see it",
            static_cast<unsigned long long>(endSector), disk.plan.presentTracks);
  }
}

// The data writer leaves out an entry whose run starts before the end of
// the runs written before it (in disk order): warn at each such fixed file,
// naming the file whose run it overlaps, and about fixed runs that lie far.
void warn_about_fixed_runs(PackRun& run) {
  const Disk& disk = run.disk;
  std::uint64_t cursor = FIRST_DATA_CLUSTER;
  std::uint32_t reach = NO_ENTRY;  // the entry written last
  for (std::uint32_t entry : disk.order) {
    const Entry& e = disk.tree.entries[entry];
    std::uint32_t count = cluster_count(disk.tree, entry, disk.geometry.clusterSize);
    std::uint64_t end = std::uint64_t{e.startCluster} + count;
    if (count == 0 || e.startCluster < FIRST_DATA_CLUSTER) continue;
    if (e.startColumn == 0 && e.startCluster < cursor) continue;  // only the list's own runs can overlap
    if (e.startColumn != 0) warn_about_far_run(run, e, cluster_sector(disk.geometry, end), e.startCluster >= cursor);
    if (e.startCluster >= cursor) {
      cursor = end;
      reach = entry;
      continue;
    }
    const Entry& written = disk.tree.entries[reach];
    char mine[48];
    char theirs[48];
    std::uint32_t writtenStart = written.startCluster;
    warn_at(run.reporter, start_place(run, e),
            "this file's run (%s) overlaps the run of %s (line %u, %s): this file's data is not written",
            describe_run(e.startCluster, static_cast<std::uint32_t>(end), mine, sizeof mine), written.imagePath.c_str(),
            written.line, describe_run(writtenStart, static_cast<std::uint32_t>(cursor), theirs, sizeof theirs));
  }
}

// The message of a disk past the 160 tracks.
void report_too_much_data(PackRun& run, std::uint64_t sectors) {
  report_message(run.reporter,
                 "File list %s has too much data for the %s format (%llu sectors vs %u max with 160 tracks).\n",
                 run.options.listPath, format_title(run.disk.plan.format), static_cast<unsigned long long>(sectors),
                 run.disk.geometry.sectorsPerTrack * MAX_TRACKS);
}

}  // namespace

bool check_root_size(PackRun& run) {
  const Entry& root = run.disk.tree.entries[0];
  const VolumeGeometry& g = run.disk.geometry;
  auto entries = static_cast<std::uint32_t>(root.files.size() + root.subfolders.size());
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

// Two entries of one folder with the same short name are refused: on the
// disk one would hide the other. Folders are checked depth first.
bool check_short_names(PackRun& run) {
  const EntryTree& tree = run.disk.tree;
  try {
    std::vector<std::uint32_t> folders{0};
    while (!folders.empty()) {
      std::uint32_t folder = folders.back();
      folders.pop_back();
      auto [first, second] = same_short_names(tree, tree.entries[folder]);
      if (first != NO_ENTRY) {
        report_problem(run, "%s and %s have the same short name on the disk\n", tree.entries[first].imagePath.c_str(),
                       tree.entries[second].imagePath.c_str());
        return false;
      }
      const std::vector<std::uint32_t>& subs = tree.entries[folder].subfolders;
      folders.insert(folders.end(), subs.rbegin(), subs.rend());
    }
  } catch (const std::bad_alloc&) {
    explain_no_memory(run, "to compare the short names");
    return false;
  }
  return true;
}

// Places the clusters, orders the entries as the data area holds them and
// plans the container.
bool lay_out(PackRun& run) {
  Disk& disk = run.disk;
  disk.endCluster = place_clusters(disk.tree, disk.geometry.clusterSize);
  if (disk.endCluster == 0) {
    explain_no_memory(run, "to place the clusters");
    return false;
  }
  if (!layout_order(disk.tree, disk.order)) {
    explain_no_memory(run, "to order the entries");
    return false;
  }
  disk.plan = plan_container(run.options.format, disk.params, disk.geometry, disk.endCluster,
                             volume_sectors(disk.geometry, disk.tree, disk.order), run.options.pad);
  return true;
}

bool check_track_limit(PackRun& run) {
  const Disk& disk = run.disk;
  if (fits_tracks(disk.plan)) return true;
  const char* format = format_title(disk.plan.format);
  report_too_much_data(run, disk.plan.sectorsNeeded);
  if (disk.plan.sectorsNeeded > disk.params.totalSectors && disk.params.headerTracks <= MAX_TRACKS) {
    explain_at(run.reporter, header_place(run, TOTAL_SECTORS),
               "the data needs %u sectors, but the disk holds %u (header field 9): the disk is full before the "
               "format's 160 tracks are",
               disk.plan.sectorsNeeded, unsigned{disk.params.totalSectors});
  }
  if (disk.params.headerTracks > MAX_TRACKS) {
    explain_at(run.reporter, header_place(run, TRACK_COUNT), "header field 2 asks for %u tracks; a %s image holds at most %u",
               unsigned{disk.params.headerTracks}, format, MAX_TRACKS);
  }
  return false;
}

// Automatically placed data must end where the FAT can still chain it.
bool check_fat_reach(PackRun& run) {
  std::uint32_t endCluster = run.disk.endCluster;
  if (endCluster <= FAT_CHAIN_LIMIT) return true;
  report_problem(run, "too much data for the FAT (clusters up to %u needed vs %u max)\n", endCluster - 1,
                 FAT_CHAIN_LIMIT - 1);
  return false;
}

bool check_fixed_reach(PackRun& run) {
  std::uint32_t file = fixed_past_tracks(run, 0);
  if (file == NO_ENTRY) return true;
  const Disk& disk = run.disk;
  const Entry& e = disk.tree.entries[file];
  std::uint32_t clusters = cluster_count(disk.tree, file, disk.geometry.clusterSize);
  report_problem(run, "%s is fixed at cluster %u and ends past the 160 tracks of the %s format (%llu sectors needed vs %u max)\n",
                 e.imagePath.c_str(), unsigned{e.startCluster}, format_title(disk.plan.format),
                 static_cast<unsigned long long>(cluster_sector(disk.geometry, e.startCluster + std::uint64_t{clusters})),
                 static_cast<unsigned>(sector_limit(disk.plan, disk.geometry)));
  return false;
}

bool check_disk_end(PackRun& run) {
  const Disk& disk = run.disk;
  std::uint64_t needed = cluster_sector(disk.geometry, disk.endCluster);
  if (disk.endCluster == FIRST_DATA_CLUSTER || needed <= disk.params.totalSectors) return true;
  report_problem(run, "the data runs past the end of the disk (%llu sectors needed vs %u total sectors)\n",
                 static_cast<unsigned long long>(needed), unsigned{disk.params.totalSectors});
  return false;
}

bool check_fat_size(PackRun& run) {
  const VolumeGeometry& g = run.disk.geometry;
  std::uint32_t highest = highest_chained_cluster(run.disk.tree, g.clusterSize);
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

bool check_container(PackRun& run) {
  const Disk& disk = run.disk;
  const char* format = format_title(disk.plan.format);
  switch (container_problem(disk.plan, disk.params, disk.geometry)) {
    case ContainerProblem::None:
      return true;
    case ContainerProblem::PastTracks:
      report_too_much_data(run, disk.plan.volumeSectors);
      break;
    case ContainerProblem::PastTotalSectors:
      report_problem(run, "a %s image ends with the disk's total sectors, and the data runs past them (%llu sectors needed vs %u total sectors)\n",
                     format, static_cast<unsigned long long>(disk.plan.volumeSectors), unsigned{disk.params.totalSectors});
      break;
    case ContainerProblem::SectorSizeNotCoded:
      report_problem(run, "the %s format needs a sector size of 128 << N bytes (128, 256, ... 32768), not %u\n", format,
                     disk.geometry.sectorSize);
      break;
    case ContainerProblem::NoHeads:
      report_problem(run, "the %s format needs a head count of at least 1 to number the tracks, not 0\n", format);
      break;
    case ContainerProblem::SectorNumberTooLarge:
      report_problem(run, "the %s format numbers at most %u sectors a track, not %u\n", format, MAX_SECTOR_NUMBER,
                     disk.geometry.sectorsPerTrack);
      break;
  }
  return false;
}

bool warn_about_layout(PackRun& run) {
  if (!checks_input(run.reporter)) return true;
  const Entry& root = run.disk.tree.entries[0];
  auto rootEntries = static_cast<std::uint32_t>(root.files.size() + root.subfolders.size());
  std::uint32_t declared = run.disk.params.rootEntries;
  if (rootEntries >= declared) {
    warn_at(run.reporter, header_place(run, ROOT_ENTRIES),
            "the root directory holds %u entries, but %u root entries leave room for %u and the end marker: systems "
            "that read only that many miss the rest",
            rootEntries, declared, declared - 1u);
  }
  warn_about_fixed_runs(run);
  return true;
}
