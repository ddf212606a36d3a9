// The image a file list rebuilds, made in memory as diskmason makes it: the
// list's lines read back into a tree, the same refusals, the same layout,
// and the volume and container writers with the extracted bytes.
#include <algorithm>
#include <cstring>
#include <new>

#include "diskmason/driver/list_reader.h"
#include "diskmason/model/attributes.h"
#include "diskmason/model/date_time.h"
#include "diskmason/volume/allocation.h"
#include "diskmason/volume/fat.h"
#include "diskmason/volume/layout.h"
#include "diskquarry/extract_plan.h"

namespace {

struct Rebuild {
  const QuarryRun& run;
  const ExtractPlan& plan;
  DiskParams params;
  VolumeGeometry geometry;
  EntryTree tree;
  std::vector<std::uint32_t> source;  // by rebuilt entry: the entry read from the image
  std::uint32_t endCluster;
  // The file being copied: its pieces in the image, the next one to copy.
  std::vector<BytePiece> pieces;
  std::size_t piece;
  std::size_t at;
};

struct Line {
  const std::uint8_t* text;
  FieldSpan fields[HEADER_FIELD_LIMIT];
  std::uint32_t count;
  std::uint32_t number(std::uint32_t i) const {
    std::uint32_t value = BAD_NUMBER;
    parse_number(text + fields[i].offset, fields[i].length, &value);
    return value;
  }
};

void read_header(Rebuild& r, const Line& h) {
  DiskParams& p = r.params;
  p = DiskParams{static_cast<std::uint8_t>(h.number(1)), static_cast<std::uint8_t>(h.number(2)),
                 static_cast<std::uint8_t>(h.number(3)), static_cast<std::uint16_t>(h.number(4)),
                 static_cast<std::uint8_t>(h.number(5)), static_cast<std::uint16_t>(h.number(6)),
                 static_cast<std::uint8_t>(h.number(7)), static_cast<std::uint16_t>(h.number(8)),
                 static_cast<std::uint16_t>(h.number(9)), static_cast<std::uint8_t>(h.number(10)),
                 static_cast<std::uint16_t>(h.number(11) & 0xFF), 8, 2, 0};
  if (p.formatLevel >= BOOT_TRACK_FIELDS_LEVEL && h.count >= 15) {
    p.sectorsPerTrack = static_cast<std::uint16_t>(h.number(12));
    p.headCount = static_cast<std::uint16_t>(h.number(13));
    p.hiddenSectors = static_cast<std::uint16_t>(h.number(14));
  }
}

// One file line into the tree; false with the reason when it is refused.
bool add_line(Rebuild& r, const Line& l, std::uint32_t entry, std::uint32_t lineNumber, std::string* why) {
  const FieldSpan* f = l.fields;
  std::uint32_t dateTime = decode_date_time(l.text + f[2].offset, f[2].length, l.text + f[3].offset, f[3].length);
  PlaceResult placed = add_path(r.tree, l.text + f[1].offset, f[1].length, dateTime, lineNumber);
  if (placed.outcome != PlaceOutcome::Placed) {
    *why = "line " + std::to_string(lineNumber) + " could not be placed";
    return false;
  }
  Entry& e = r.tree.entries[placed.file];
  e.attributes = decode_attributes(l.text + f[4].offset, f[4].length);
  e.dateTime = dateTime;
  e.size = r.plan.size[entry];
  e.startCluster = l.count > 5 ? static_cast<std::uint16_t>(l.number(5)) : START_NOT_FIXED;
  r.source.resize(r.tree.entries.size(), NO_ENTRY);
  r.source[placed.file] = entry;
  return true;
}

bool read_list(Rebuild& r, const std::string& text, std::string* why) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  std::size_t at = 0;
  std::uint32_t lineNumber = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    Line l{bytes + at, {}, 0};
    auto length = static_cast<std::uint32_t>(end - at);
    if (length > LIST_LINE_LIMIT) {
      *why = "line " + std::to_string(lineNumber + 1) + " is longer than a file list allows";
      return false;
    }
    l.count = split_fields(l.text, length, l.fields, lineNumber == 0 ? HEADER_FIELD_LIMIT : FILE_FIELD_LIMIT);
    if (lineNumber == 0) {
      read_header(r, l);
      if (!start_tree(r.tree)) throw std::bad_alloc();
      r.tree.entries.reserve(r.run.volume.tree.entries.size());
      r.source.reserve(r.run.volume.tree.entries.size());
    } else if (l.count < 5 || !add_line(r, l, r.plan.lines[lineNumber - 1], lineNumber + 1, why)) {
      if (l.count < 5) *why = "a line lost its fields";
      return false;
    }
    ++lineNumber;
    at = end + 1;
  }
  return true;
}

bool short_names_differ(const EntryTree& tree) {
  for (const Entry& folder : tree.entries) {
    std::vector<std::uint32_t> children(folder.subfolders);
    children.insert(children.end(), folder.files.begin(), folder.files.end());
    std::sort(children.begin(), children.end(), [&tree](std::uint32_t a, std::uint32_t b) {
      return std::memcmp(tree.entries[a].shortName, tree.entries[b].shortName, SHORT_NAME_SIZE) < 0;
    });
    for (std::size_t i = 1; i < children.size(); ++i) {
      if (std::memcmp(tree.entries[children[i - 1]].shortName, tree.entries[children[i]].shortName, SHORT_NAME_SIZE) == 0) return false;
    }
  }
  return true;
}

bool fixed_within_tracks(const Rebuild& r, const ContainerPlan& plan) {
  std::uint64_t limit = sector_limit(plan, r.geometry);
  for (std::uint32_t i = 1; i < r.tree.entries.size(); ++i) {
    const Entry& e = r.tree.entries[i];
    if (e.folder || !r.plan.fixed[r.source[i]] || e.startCluster < FIRST_DATA_CLUSTER) continue;
    std::uint64_t end = e.startCluster + std::uint64_t{cluster_count(r.tree, i, r.geometry.clusterSize)};
    if (cluster_sector(r.geometry, end) > limit) return false;
  }
  return true;
}

// diskmason's refusals after the list is read, in its order.
bool layout_accepted(Rebuild& r, ContainerPlan& plan, std::vector<std::uint32_t>& order, std::string* why) {
  const VolumeGeometry& g = r.geometry;
  const Entry& root = r.tree.entries[0];
  std::uint64_t rootNeeds = (root.files.size() + root.subfolders.size() + 1) * std::uint64_t{DIR_ENTRY_SIZE};
  if (rootNeeds > std::uint64_t{g.rootSectors} * g.sectorSize) *why = "the root folder does not fit its sectors";
  if (why->empty() && !short_names_differ(r.tree)) *why = "two entries of a folder have the same short name";
  if (!why->empty()) return false;
  r.endCluster = place_clusters(r.tree, g.clusterSize);
  if (r.endCluster == 0 || !layout_order(r.tree, order)) throw std::bad_alloc();
  plan = plan_container(r.plan.format, r.params, g, r.endCluster, volume_sectors(g, r.tree, order), r.plan.pad);
  std::uint64_t tableBytes = std::min<std::uint64_t>(std::uint64_t{g.fatSectors} * g.sectorSize, PACKED_FAT_SIZE);
  std::uint32_t highest = highest_chained_cluster(r.tree, g.clusterSize);
  if (!fits_tracks(plan)) *why = "the disk needs more than 160 tracks";
  else if (container_problem(plan, r.params, g) != ContainerProblem::None) *why = "the format cannot hold the disk";
  else if (r.endCluster > FAT_CHAIN_LIMIT) *why = "the data reaches past what the FAT can chain";
  else if (!fixed_within_tracks(r, plan)) *why = "a fixed file ends past the 160 tracks";
  else if (r.endCluster != FIRST_DATA_CLUSTER && cluster_sector(g, r.endCluster) > r.params.totalSectors) *why = "the data runs past the end of the disk";
  else if (highest >= FIRST_DATA_CLUSTER && highest >= tableBytes * 2 / 3) *why = "the FAT is too small for the data";
  return why->empty();
}

FileOpened open_file(void* context, std::uint32_t entry) {
  auto& r = *static_cast<Rebuild*>(context);
  std::uint32_t source = r.source[entry];
  entry_pieces(r.run, source, r.plan.size[source], r.pieces);
  r.piece = 0;
  r.at = 0;
  return FileOpened::Open;
}

std::uint32_t read_file(void* context, std::uint8_t* buffer, std::uint32_t length) {
  auto& r = *static_cast<Rebuild*>(context);
  std::uint32_t done = 0;
  while (done < length && r.piece < r.pieces.size()) {
    const BytePiece& p = r.pieces[r.piece];
    std::size_t n = std::min<std::size_t>(length - done, p.length - r.at);
    std::memcpy(buffer + done, p.bytes + r.at, n);
    done += static_cast<std::uint32_t>(n);
    r.at += n;
    if (r.at == p.length) {
      ++r.piece;
      r.at = 0;
    }
  }
  return done;
}

void close_file(void*) {}
void missed_file(void*, std::uint32_t, bool) {}

// Compares the rebuilt bytes with the image read as they come, keeping
// nothing; stops once the rebuilt image is longer (a wrong guess may ask
// for gigabytes of fill).
struct Comparison {
  std::span<const std::uint8_t> image;
  Rebuilt& rebuilt;
};

bool compare_bytes(void* context, const std::uint8_t* bytes, std::size_t length) {
  auto* c = static_cast<Comparison*>(context);
  Rebuilt& r = c->rebuilt;
  auto at = static_cast<std::size_t>(r.size);
  std::size_t common = at < c->image.size() ? std::min(length, c->image.size() - at) : 0;
  if (r.same && std::memcmp(bytes, c->image.data() + at, common) != 0) {
    r.same = false;
    r.firstDifference = at + static_cast<std::size_t>(std::mismatch(bytes, bytes + common, c->image.data() + at).first - bytes);
  }
  if (common < length) {
    if (r.same) r.firstDifference = c->image.size();
    r.same = false;
    r.size = c->image.size() + 1;
    return false;
  }
  r.size += length;
  return true;
}

}  // namespace

bool rebuild_image(const QuarryRun& run, const ExtractPlan& plan, const std::string& listText, Rebuilt& rebuilt,
                   std::string* why) {
  Rebuild r{run, plan, {}, {}, {}, {}, 0, {}, 0, 0};
  why->clear();
  rebuilt = Rebuilt{true, 0, 0};
  if (!read_list(r, listText, why)) return false;
  if (size_problem(r.params) != SizeProblem::None ||
      !plan_geometry(r.params, static_cast<std::uint32_t>(plan.boot.size()), r.geometry)) {
    *why = "the header's sizes are refused";
    return false;
  }
  ContainerPlan container{};
  std::vector<std::uint32_t> order;
  if (!layout_accepted(r, container, order, why)) return false;
  Volume volume{r.params, r.geometry, r.tree, order, plan.boot.data(), static_cast<std::uint32_t>(plan.boot.size())};
  FileSource files{open_file, read_file, close_file, missed_file, &r};
  Comparison comparison{run.bytes, rebuilt};
  ByteSink sink{compare_bytes, &comparison};
  std::uint32_t outcome = write_container(sink, container, r.params, volume, files);
  if ((outcome & VOLUME_NO_MEMORY) != 0) throw std::bad_alloc();
  if (rebuilt.same && rebuilt.size != run.bytes.size()) {
    rebuilt.same = false;
    rebuilt.firstDifference = rebuilt.size;
  }
  return true;
}
