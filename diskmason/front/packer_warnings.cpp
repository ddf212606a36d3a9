// Warnings about input that packs without failing but not as its writer
// most likely meant: odd fields on a line, a header that disagrees with the
// boot file, fixed runs that collide or pass the disk's end.
#include <algorithm>
#include <cstdio>

#include "diskmason/front/fields.h"
#include "diskmason/front/packer_run.h"
#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/disk_format.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint8_t VOLUME_ATTRIBUTE = 0x08;
constexpr std::uint8_t DIRECTORY_ATTRIBUTE = 0x10;
constexpr std::uint32_t RESERVED_FIELD = 6;
constexpr std::uint32_t ROOT_ENTRIES_FIELD = 8;

// A part that a directory entry cannot hold is stored cut to its bits, so
// other systems show another date or none.
void check_date_time_range(PackerRun& run, std::uint32_t field, bool isTime) {
  std::uint32_t value = 0;
  const DateTimePart* part = part_out_of_range(field_text(run, field), run.fields[field].length, isTime, &value);
  if (part != nullptr) {
    warn_at(run.diag, field_place(run, field), "the %s %u is outside %u to %u; the entry's %s will be wrong",
            part->name, value, part->lowest, part->highest, isTime ? "time" : "date");
  }
}

void check_date_time(PackerRun& run) {
  if (!has_date_form(field_text(run, DATE), run.fields[DATE].length)) {
    warn_at(run.diag, field_place(run, DATE), "the date is not year-month-day; stored as 0");
  }
  if (!has_time_form(field_text(run, TIME), run.fields[TIME].length)) {
    warn_at(run.diag, field_place(run, TIME), "the time is not hour:minute:second; stored as 0");
  }
  check_date_time_range(run, DATE, false);
  check_date_time_range(run, TIME, true);
}

void check_attributes(PackerRun& run, std::uint32_t size) {
  const std::uint8_t* text = field_text(run, ATTRIBUTES);
  std::uint32_t length = run.fields[ATTRIBUTES].length;
  std::uint32_t bad = first_unknown_attribute(text, length);
  if (bad < length) {
    warn_at(run.diag, field_place(run, ATTRIBUTES, bad),
            "'%c' is not an attribute letter (R, H, S, V, D, A, I or ?, upper case; - for none); "
            "it is ignored",
            text[bad]);
  }
  std::uint8_t attributes = decode_attributes(text, length);
  if ((attributes & DIRECTORY_ATTRIBUTE) != 0) {
    warn_at(run.diag, field_place(run, ATTRIBUTES),
            "attribute D makes the host file's bytes the entries of a directory; directories "
            "are made from the image paths");
  }
  if ((attributes & VOLUME_ATTRIBUTE) != 0) {
    std::uint32_t clusters = size == 0 ? 1 : ceil_div(size, run.geometry.clusterSize);
    warn_at(run.diag, field_place(run, ATTRIBUTES),
            "attribute V makes this entry the disk's volume label; it still takes %u cluster%s",
            clusters, clusters == 1 ? "" : "s");
  }
}

void check_start_cluster(PackerRun& run) {
  std::uint32_t start = 0;
  if (run.fieldCount <= START_CLUSTER ||
      !parse_number(field_text(run, START_CLUSTER), run.fields[START_CLUSTER].length, &start)) {
    return;
  }
  start &= 0xFFFF;
  if (start < FIRST_DATA_CLUSTER) {
    warn_at(run.diag, field_place(run, START_CLUSTER),
            "start cluster %u lies before the data area (cluster 2): the file's data is left out "
            "of the image",
            start);
  }
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

// A fixed file, for the checks of the runs after the layout.
struct FixedRun {
  const FileNode* node;
  std::uint32_t start;
  std::uint32_t end;  // just after the run
};

void collect_fixed(const PackerRun& run, const DirNode* dir, FixedRun* runs, std::uint32_t& n) {
  for (const FileNode& file : files_of(dir)) {
    const NodeOrigin& origin = run.origins[record_of(&file)];
    std::uint32_t start = run.infos[record_of(&file)].startCluster;
    if (origin.startColumn == 0 || start < FIRST_DATA_CLUSTER) continue;
    std::uint32_t clusters = node_cluster_count(&file, run.infos, run.geometry.clusterSize);
    runs[n++] = FixedRun{&file, start, start + clusters};
  }
  for (const DirNode& sub : subdirs_of(dir)) collect_fixed(run, &sub, runs, n);
}

std::uint32_t count_files(const DirNode* dir) {
  std::uint32_t n = dir->fileCount;
  for (const DirNode& sub : subdirs_of(dir)) n += count_files(&sub);
  return n;
}

SourcePlace start_place(const PackerRun& run, const FileNode* node) {
  const NodeOrigin& origin = run.origins[record_of(node)];
  return SourcePlace{run.listPath, origin.line, origin.startColumn};
}

// Runs that overlap an earlier one (in disk order) lose their data; runs
// past totalSectors lie outside the volume that other systems see.
void check_fixed_runs(PackerRun& run, FixedRun* runs, std::uint32_t n) {
  // By start, and in list order among equal starts (each file has its own line).
  std::sort(runs, runs + n, [&run](const FixedRun& a, const FixedRun& b) {
    if (a.start != b.start) return a.start < b.start;
    return run.origins[record_of(a.node)].line < run.origins[record_of(b.node)].line;
  });
  const DiskGeometry& g = run.geometry;
  const FixedRun* reach = nullptr;  // the run that reaches furthest so far
  for (std::uint32_t i = 0; i < n; ++i) {
    const FixedRun& r = runs[i];
    if (reach != nullptr && r.start < reach->end) {
      char mine[48];
      char theirs[48];
      warn_at(run.diag, start_place(run, r.node), "this file's run (%s) overlaps the run of line %u (%s): one file's data is lost",
              describe_run(r.start, r.end, mine, sizeof mine), run.origins[record_of(reach->node)].line,
              describe_run(reach->start, reach->end, theirs, sizeof theirs));
    }
    if (reach == nullptr || r.end > reach->end) reach = &r;
    std::uint64_t endSector = cluster_sector(g, r.end);
    if (endSector > run.params.totalSectors) {
      warn_at(run.diag, start_place(run, r.node),
              "the run ends at sector %llu, past the disk's %u total sectors",
              static_cast<unsigned long long>(endSector), unsigned{run.params.totalSectors});
    }
  }
}

}  // namespace

void check_line_length(PackerRun& run) {
  int next = std::getc(run.list);
  if (next == EOF) return;
  std::ungetc(next, run.list);
  if (next == '\n' || next == '\r' || run.columnBase != 0) return;
  warn_at(run.diag, SourcePlace{run.listPath, run.lineNumber, LIST_LINE_LIMIT + 1},
          "the line is longer than %u bytes; the rest is read as a line of its own",
          LIST_LINE_LIMIT);
}

void check_note_line(PackerRun& run) {
  if (run.fields[HOST_PATH].length == 0 || field_text(run, HOST_PATH)[0] != '#') return;
  warn_at(run.diag, field_place(run, HOST_PATH),
          "a line of 5 or more fields is a file line even when it starts with '#': there are no "
          "comments; only lines of fewer than 5 fields are skipped");
}

void check_file_fields(PackerRun& run, std::uint32_t size) {
  check_date_time(run);
  check_attributes(run, size);
  check_start_cluster(run);
}

void warn_about_header(PackerRun& run) {
  const DiskGeometry& g = run.geometry;
  if (run.params.reservedSectors == g.bootSectors) return;
  warn_at(run.diag, header_place(run, RESERVED_FIELD),
          "header field 6 gives %u reserved sectors, but the boot area takes %u (the boot file "
          "has %u bytes): other systems look for the FAT at sector %u, this disk has it at "
          "sector %u",
          unsigned{run.params.reservedSectors}, g.bootSectors, run.bootLength,
          unsigned{run.params.reservedSectors}, g.fatStart);
}

bool warn_about_layout(PackerRun& run) {
  if (!run.diag.verbose) return true;
  std::uint32_t rootEntries = run.root.fileCount + run.root.subdirCount;
  if (rootEntries >= run.params.rootEntries) {
    warn_at(run.diag, header_place(run, ROOT_ENTRIES_FIELD),
            "the root directory holds %u entries, but %u root entries leave room for %u and the "
            "end marker: systems that read only that many miss the rest",
            rootEntries, unsigned{run.params.rootEntries}, run.params.rootEntries - 1u);
  }
  std::uint32_t files = count_files(&run.root);
  auto* runs = static_cast<FixedRun*>(heap_alloc((std::size_t{files} + 1) * sizeof(FixedRun)));
  if (runs == nullptr) {
    explain_no_memory(run, "to check the fixed start clusters");
    return false;
  }
  std::uint32_t n = 0;
  collect_fixed(run, &run.root, runs, n);
  check_fixed_runs(run, runs, n);
  heap_free(runs);
  return true;
}
