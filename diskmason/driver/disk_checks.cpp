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

void report_track_limit(PackRun& run) {
  const Disk& disk = run.disk;
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
}

// Automatically placed data must end where the FAT can still chain it.
void report_fat_reach(PackRun& run) {
  std::uint32_t endCluster = run.disk.endCluster;
  report_problem(run, "too much data for the FAT (clusters up to %u needed vs %u max)\n", endCluster - 1,
                 FAT_CHAIN_LIMIT - 1);
}

void report_fixed_reach(PackRun& run) {
  std::uint32_t file = fixed_past_tracks(run.disk);
  const Disk& disk = run.disk;
  const Entry& e = disk.tree.entries[file];
  std::uint32_t clusters = cluster_count(disk.tree, file, disk.geometry.clusterSize);
  report_problem(run, "%s is fixed at cluster %u and ends past the 160 tracks of the %s format (%llu sectors needed vs %u max)\n",
                 e.imagePath.c_str(), unsigned{e.startCluster}, format_title(disk.plan.format),
                 static_cast<unsigned long long>(cluster_sector(disk.geometry, e.startCluster + std::uint64_t{clusters})),
                 static_cast<unsigned>(sector_limit(disk.plan, disk.geometry)));
}

void report_disk_end(PackRun& run) {
  const Disk& disk = run.disk;
  std::uint64_t needed = cluster_sector(disk.geometry, disk.endCluster);
  report_problem(run, "the data runs past the end of the disk (%llu sectors needed vs %u total sectors)\n",
                 static_cast<unsigned long long>(needed), unsigned{disk.params.totalSectors});
}

void report_fat_size(PackRun& run) {
  const VolumeGeometry& g = run.disk.geometry;
  std::uint32_t highest = highest_chained_cluster(run.disk.tree, g.clusterSize);
  std::uint64_t entries = fat_table_entries(g);
  std::uint64_t held = entries > FIRST_DATA_CLUSTER ? entries - FIRST_DATA_CLUSTER : 0;
  report_problem(run, "the FAT is too small for the data (%u clusters used vs %llu max in a FAT of %llu bytes)\n",
                 highest - 1, static_cast<unsigned long long>(held),
                 static_cast<unsigned long long>(std::uint64_t{g.fatSectors} * g.sectorSize));
}

void report_container(PackRun& run) {
  const Disk& disk = run.disk;
  const char* format = format_title(disk.plan.format);
  switch (container_problem(disk.plan, disk.params, disk.geometry)) {
    case ContainerProblem::None:
      break;
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
}

}  // namespace

bool check_root_size(PackRun& run) {
  if (root_fits(run.disk)) return true;
  const Entry& root = run.disk.tree.entries[0];
  const VolumeGeometry& g = run.disk.geometry;
  auto entries = static_cast<std::uint32_t>(root.files.size() + root.subfolders.size());
  std::uint64_t room = std::uint64_t{g.rootSectors} * g.sectorSize;
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
    auto [first, second] = short_name_clash(tree);
    if (first == NO_ENTRY) return true;
    report_problem(run, "%s and %s have the same short name on the disk\n", tree.entries[first].imagePath.c_str(),
                   tree.entries[second].imagePath.c_str());
  } catch (const std::bad_alloc&) {
    explain_no_memory(run, "to compare the short names");
  }
  return false;
}

// Places the clusters, orders the entries as the data area holds them and
// plans the container.
bool lay_out(PackRun& run) {
  if (lay_out_disk(run.disk, run.options.format, run.options.pad)) return true;
  explain_no_memory(run, "to lay out the disk");
  return false;
}

bool check_layout(PackRun& run) {
  switch (layout_refusal(run.disk)) {
    case LayoutRefusal::None:
      return true;
    case LayoutRefusal::TooManyTracks:
      report_track_limit(run);
      break;
    case LayoutRefusal::PastFatReach:
      report_fat_reach(run);
      break;
    case LayoutRefusal::FixedPastTracks:
      report_fixed_reach(run);
      break;
    case LayoutRefusal::PastDiskEnd:
      report_disk_end(run);
      break;
    case LayoutRefusal::FatTooSmall:
      report_fat_size(run);
      break;
    case LayoutRefusal::Container:
      report_container(run);
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
