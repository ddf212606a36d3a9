// diskquarry --check: the steps of check.h over the image loaded into a
// run, each finding printed as it is made ("IMAGE: error: text" or
// "IMAGE: warning: text" on standard output, through the run's Reporter).
#include <cstdarg>
#include <cstdio>

#include "diskquarry/check.h"
#include "diskquarry/quarry_run.h"

namespace {

struct CheckTally {
  QuarryRun* run;
  std::uint32_t errors;
  std::uint32_t warnings;
};

void print_finding(void* context, bool error, const std::string& text) {
  auto* tally = static_cast<CheckTally*>(context);
  ++(error ? tally->errors : tally->warnings);
  report_message(tally->run->reporter, "%s: %s: %s\n", tally->run->options.imagePath, error ? "error" : "warning",
                 text.c_str());
}

// The entry's path as the listing shows it, a folder's ending in "/"; made
// only for the entries a finding names.
std::string path_of(void* context, std::uint32_t entry) {
  const QuarryRun& run = *static_cast<const QuarryRun*>(context);
  const EntryTree& tree = run.volume.tree;
  std::vector<std::uint32_t> line;
  for (std::uint32_t e = entry; e != 0 && e < tree.entries.size(); e = tree.entries[e].parent) line.push_back(e);
  std::string path;
  for (auto e = line.rbegin(); e != line.rend(); ++e) {
    path += shown_name(run, tree.entries[*e].name);
    if (tree.entries[*e].folder) path += '/';
  }
  return path;
}

// Reads the volume and runs its checks; false when memory ran out.
bool check_volume(QuarryRun& run, const CheckedLayout& layout, CheckSink& sink) {
  const std::uint8_t* boot = boot_sector_bytes(run.image, BOOT_FIELDS_END);
  VolumeOpened opened = read_volume(boot, image_sectors(run), 0, run.volume);
  if (opened == VolumeOpened::NoMemory || (opened == VolumeOpened::Read && !build_name_table(run))) {
    fail_image(run, "out of memory reading the volume");
    return false;
  }
  if (opened != VolumeOpened::Read) return true;
  EntryNamer namer{path_of, &run};
  check_allocation(run.volume, image_sectors(run), layout, namer, sink);
  check_entries(run.volume, namer, sink);
  return true;
}

}  // namespace

std::string finding_text(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (length < 0) return std::string();
  if (static_cast<std::size_t>(length) < sizeof text) return std::string(text, static_cast<std::size_t>(length));
  std::string longer(static_cast<std::size_t>(length) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(longer.data(), longer.size(), format, args);
  va_end(args);
  longer.pop_back();
  return longer;
}

void put_entry_finding(CheckSink& sink, const EntryNamer& namer, std::uint32_t entry, bool error,
                       const std::string& text) {
  std::string subject = entry == 0 ? std::string("the root folder") : namer.name(namer.context, entry);
  sink.put(sink.context, error, subject + ": " + text);
}

int check_image(QuarryRun& run) {
  ImageFormat format =
      run.options.formatGiven ? run.options.format : recognise_format(run.bytes.data(), run.bytes.size());
  run.image = open_image_file(format, run.bytes.data(), run.bytes.size());
  note_image(run, "checked as a %s image of %llu bytes", format_name(format),
             static_cast<unsigned long long>(run.bytes.size()));
  CheckTally tally{&run, 0, 0};
  CheckSink sink{print_finding, &tally};
  CheckedLayout layout;
  if (check_image_and_boot(run.image, run.containerFindings, sink, layout) && !check_volume(run, layout, sink)) {
    return 1;
  }
  return tally.errors != 0 || (run.reporter.strict && tally.warnings != 0) ? 1 : 0;
}
