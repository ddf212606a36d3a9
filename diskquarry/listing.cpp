// The listing of a disk (one line per entry, folder by folder) and its map
// (diskmason's layout map, from what the image holds).
#include <cerrno>
#include <cstring>

#include "diskmason/container/disk_map.h"
#include "diskmason/driver/utf8_path.h"
#include "diskmason/model/attributes.h"
#include "diskmason/volume/layout.h"
#include "diskquarry/quarry_run.h"
#include "textconv/whole_output.h"

namespace {

void put_escaped_byte(std::string& out, std::uint8_t b) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{b});
  out += escaped;
}

// One entry's line: path (its folder's, then its name), size, date, time,
// attributes, start cluster and the clusters of its chain.
void put_entry_line(const QuarryRun& run, const std::string& folder, std::uint32_t entry, std::FILE* out) {
  const Entry& e = run.volume.tree.entries[entry];
  char letters[sizeof ATTRIBUTE_LETTERS];
  attribute_letters(e.attributes, letters);
  std::uint32_t d = e.dateTime >> 16;
  std::uint32_t t = e.dateTime & 0xFFFF;
  std::fprintf(out, "%s%s%s\t%u\t%04u-%02u-%02u\t%02u:%02u:%02u\t%s\t%u\t%u\n", folder.c_str(),
               run.shown[entry].c_str(), e.folder ? "/" : "", e.size, 1980 + (d >> 9), d >> 5 & 0xF, d & 0x1F, t >> 11, t >> 5 & 0x3F,
               (t & 0x1F) * 2, letters, unsigned{e.startCluster}, run.volume.chains[entry].length);
}

// The map names each entry by its path, made when its row is written.
std::string map_path(const void* context, std::uint32_t entry) {
  return entry_path(*static_cast<const QuarryRun*>(context), entry);
}

}  // namespace

std::string shown_name(const QuarryRun& run, const std::string& sjis) {
  std::string out;
  const auto* s = reinterpret_cast<const std::uint8_t*>(sjis.data());
  const SjisReverse& reverse = run.reverse;
  for (std::size_t i = 0; i < sjis.size();) {
    std::uint32_t span = 0;
    std::size_t taken = 1;
    if (s[i] >= 0x81 && i + 1 < sjis.size()) span = reverse.spans[s[i] << 8 | s[i + 1]];
    if (span != 0) {
      taken = 2;
    } else {
      span = reverse.spans[s[i]];
    }
    const char* text = reinterpret_cast<const char*>(reverse.bytes.data() + (span >> 4));
    std::size_t length = span & 0xF;
    if (span == 0 || (length == 1 && (static_cast<std::uint8_t>(text[0]) < 0x20 || text[0] == 0x7F || text[0] == '/'))) {
      put_escaped_byte(out, s[i]);
    } else if (length == 1 && text[0] == '\\') {
      out += "\\\\";
    } else {
      out.append(text, length);
    }
    i += taken;
  }
  return out;
}

bool write_listing(QuarryRun& run, std::FILE* out) {
  const EntryTree& tree = run.volume.tree;
  std::vector<std::uint32_t> folders{0};
  while (!folders.empty()) {
    std::uint32_t folder = folders.back();
    folders.pop_back();
    const Entry& dir = tree.entries[folder];
    std::string prefix = folder == 0 ? std::string() : entry_path(run, folder) + "/";
    for (std::uint32_t child : dir.children) put_entry_line(run, prefix, child, out);
    folders.insert(folders.end(), dir.subfolders.rbegin(), dir.subfolders.rend());
  }
  return std::fflush(out) == 0 && !std::ferror(out);
}

namespace {

void explain_map_failure(QuarryRun& run, int error) {
  fail_image(run, "the map %s cannot be written: %s; nothing is replaced", run.options.mapPath,
             error == HELD_OPEN ? "another program holds it open" : std::strerror(error));
}

}  // namespace

bool write_map(QuarryRun& run, WholeOutput& out) {
  const EntryTree& tree = run.volume.tree;
  std::vector<std::uint32_t> order;
  if (!layout_order(tree, order)) {
    fail_image(run, "out of memory for the map");
    return false;
  }
  std::uint32_t tracks = run.image.presentTracks;
  ContainerPlan plan{run.image.format, 0, tracks, tracks, 0, 0};
  int error = 0;
  if (!open_whole_output(out, run.options.mapPath, &error, true)) {
    explain_map_failure(run, error);
    return false;
  }
  DiskMap map{tree, run.volume.geometry, plan, order, run.volume.boot.totalSectors, run.reverse, map_path, &run};
  if (write_disk_map(out.stream, map)) return true;
  abandon_whole_output(out);
  explain_map_failure(run, errno != 0 ? errno : EIO);
  return false;
}

bool place_map(QuarryRun& run, WholeOutput& out) {
  int error = 0;
  if (finish_whole_output(out, &error)) return true;
  explain_map_failure(run, error);
  return false;
}

bool write_map_file(QuarryRun& run) {
  WholeOutput out;
  return write_map(run, out) && place_map(run, out);
}
