// The image a file list rebuilds, made in memory as diskmason makes it: the
// list's lines read back into a tree, diskmason's own header decoding,
// refusals and layout, and its volume and container writers with the
// extracted bytes.
#include <algorithm>
#include <cstring>
#include <new>

#include "diskmason/driver/disk_rules.h"
#include "diskmason/driver/list_reader.h"
#include "diskmason/model/attributes.h"
#include "diskmason/model/date_time.h"
#include "diskquarry/extract_plan.h"

namespace {

struct Rebuild {
  const QuarryRun& run;
  const ExtractPlan& plan;
  Disk disk;
  std::vector<std::uint32_t> source;  // by rebuilt entry: the entry read from the image
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

std::uint32_t header_number(void* context, std::uint32_t field) {
  return static_cast<const Line*>(context)->number(field);
}

// One file line into the tree; false with the reason when it is refused.
bool add_line(Rebuild& r, const Line& l, std::uint32_t entry, std::uint32_t lineNumber, std::string* why) {
  const FieldSpan* f = l.fields;
  std::uint32_t dateTime = decode_date_time(l.text + f[2].offset, f[2].length, l.text + f[3].offset, f[3].length);
  EntryTree& tree = r.disk.tree;
  PlaceResult placed = add_path(tree, l.text + f[1].offset, f[1].length, dateTime, lineNumber);
  if (placed.outcome != PlaceOutcome::Placed) {
    *why = "line " + std::to_string(lineNumber) + " could not be placed";
    return false;
  }
  Entry& e = tree.entries[placed.file];
  e.attributes = decode_attributes(l.text + f[4].offset, f[4].length);
  e.dateTime = dateTime;
  e.size = r.plan.size[entry];
  e.startCluster = l.count > 5 ? static_cast<std::uint16_t>(l.number(5)) : START_NOT_FIXED;
  e.fixed = e.startCluster != START_NOT_FIXED;
  r.source.resize(tree.entries.size(), NO_ENTRY);
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
    if (length >= LIST_LINE_LIMIT) {
      *why = "line " + std::to_string(lineNumber + 1) + " is longer than a file list allows";
      return false;
    }
    l.count = split_fields(l.text, length, l.fields, lineNumber == 0 ? HEADER_FIELD_LIMIT : FILE_FIELD_LIMIT);
    if (lineNumber == 0) {
      r.disk.params = header_params(header_number, &l, l.count);
      if (!start_tree(r.disk.tree)) throw std::bad_alloc();
      r.disk.tree.entries.reserve(r.run.volume.tree.entries.size());
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

// diskmason's refusals after the list is read, in its order, and its layout.
bool layout_accepted(Rebuild& r, std::string* why) {
  Disk& disk = r.disk;
  if (!root_fits(disk)) {
    *why = "the root folder does not fit its sectors";
  } else if (short_name_clash(disk.tree).first != NO_ENTRY) {
    *why = "two entries of a folder have the same short name";
  } else if (!lay_out_disk(disk, r.plan.format, r.plan.pad)) {
    throw std::bad_alloc();
  }
  if (!why->empty()) return false;
  switch (layout_refusal(disk)) {
    case LayoutRefusal::None:
      return true;
    case LayoutRefusal::TooManyTracks:
      *why = "the disk needs more than 160 tracks";
      break;
    case LayoutRefusal::PastFatReach:
      *why = "the data reaches past what the FAT can chain";
      break;
    case LayoutRefusal::FixedPastTracks:
      *why = "a fixed file ends past the 160 tracks";
      break;
    case LayoutRefusal::PastDiskEnd:
      *why = "the data runs past the end of the disk";
      break;
    case LayoutRefusal::FatTooSmall:
      *why = "the FAT is too small for the data";
      break;
    case LayoutRefusal::Container:
      *why = "the format cannot hold the disk";
      break;
  }
  return false;
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
  Rebuild r{run, plan, {}, {}, {}, 0, 0};
  why->clear();
  rebuilt = Rebuilt{true, 0, 0};
  if (!read_list(r, listText, why)) return false;
  Disk& disk = r.disk;
  if (size_problem(disk.params) != SizeProblem::None ||
      !plan_geometry(disk.params, static_cast<std::uint32_t>(plan.boot.size()), disk.geometry)) {
    *why = "the header's sizes are refused";
    return false;
  }
  if (!layout_accepted(r, why)) return false;
  Volume volume{disk.params, disk.geometry, disk.tree, disk.order, plan.boot.data(),
                static_cast<std::uint32_t>(plan.boot.size())};
  FileSource files{open_file, read_file, close_file, missed_file, &r};
  Comparison comparison{run.bytes, rebuilt};
  ByteSink sink{compare_bytes, &comparison};
  std::uint32_t outcome = write_container(sink, disk.plan, disk.params, volume, files);
  if ((outcome & VOLUME_NO_MEMORY) != 0) throw std::bad_alloc();
  if (rebuilt.same && rebuilt.size != run.bytes.size()) {
    rebuilt.same = false;
    rebuilt.firstDifference = rebuilt.size;
  }
  return true;
}
