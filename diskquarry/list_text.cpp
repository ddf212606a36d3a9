// The file list of an extraction, in diskmason's format.
#include <cstdio>

#include "diskmason/model/attributes.h"
#include "diskquarry/extract_plan.h"

namespace {

// A field with blanks goes in double quotes (the spellings hold none).
std::string field(const std::string& text) {
  if (!text.empty() && text.find_first_of(" \t") == std::string::npos) return text;
  return "\"" + text + "\"";
}

std::string image_path(const QuarryRun& run, const ExtractPlan& plan, std::uint32_t entry) {
  const EntryTree& tree = run.volume.tree;
  std::vector<std::uint32_t> line;
  for (std::uint32_t e = entry; e != 0; e = tree.entries[e].parent) line.push_back(e);
  std::string path;
  for (auto e = line.rbegin(); e != line.rend(); ++e) {
    if (!path.empty()) path += '/';
    path += plan.spelled[*e];
  }
  return path;
}

}  // namespace

std::string line_tail(const Entry& e) {
  char letters[sizeof ATTRIBUTE_LETTERS];
  attribute_letters(e.attributes, letters);
  std::uint32_t d = e.dateTime >> 16;
  std::uint32_t t = e.dateTime & 0xFFFF;
  // Every part as stored, so that a date cut to its bits comes back the same.
  char tail[64];
  std::snprintf(tail, sizeof tail, " %u-%u-%u %u:%u:%u %s", 1980 + (d >> 9), d >> 5 & 0xF, d & 0x1F, t >> 11,
                t >> 5 & 0x3F, (t & 0x1F) * 2, letters);
  return tail;
}

std::string list_text(const QuarryRun& run, const ExtractPlan& plan) {
  const DiskParams& p = plan.params;
  char line[256];
  std::snprintf(line, sizeof line, "boot.bin 0x%02X %u %u %u %u %u %u %u %u 0x%02X %u %u %u %u\n", unsigned{p.diskType},
                unsigned{p.headerTracks}, unsigned{p.formatLevel}, unsigned{p.bytesPerSector},
                unsigned{p.sectorsPerCluster}, unsigned{p.reservedSectors}, unsigned{p.fatCount},
                unsigned{p.rootEntries}, unsigned{p.totalSectors}, unsigned{p.mediaByte}, unsigned{p.sectorsPerFat},
                unsigned{p.sectorsPerTrack}, unsigned{p.headCount}, unsigned{p.hiddenSectors});
  std::string text = line;
  for (std::uint32_t entry : plan.lines) {
    const Entry& e = run.volume.tree.entries[entry];
    text += field(host_path(run, plan, entry));
    text += ' ';
    text += field(image_path(run, plan, entry));
    text += line_tail(e);
    if (plan.fixed[entry]) {
      text += ' ';
      text += std::to_string(e.startCluster);
    }
    text += '\n';
  }
  return text;
}
