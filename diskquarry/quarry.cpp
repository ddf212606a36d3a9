#include "diskquarry/quarry.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "diskmason/driver/utf8_path.h"
#include "diskquarry/check.h"
#include "diskquarry/quarry_run.h"
#include "textconv/command_line.h"
#include "textconv/file_identity.h"

namespace {

enum QuarryOption : std::uint32_t { MAP_OPTION, EXTRACT_OPTION, FORMAT_OPTION, CHECK_OPTION };

constexpr ProgramOption QUARRY_OPTIONS[] = {
    {"--map", nullptr, "PATH", "write where everything lies on the disk to PATH (- for standard output)"},
    {"--extract", nullptr, "DIR", "write the disk's files, its boot area and the file list that rebuilds it into DIR"},
    {"--format", nullptr, "FORMAT", "read the image as dcp, raw or d88, whatever its content shows"},
    {"--check", nullptr, nullptr, "check the image and its volume"},
};

constexpr ProgramInfo QUARRY_INFO{"diskquarry", "IMAGE",
                                  "Lists, checks, maps or extracts the files of a FAT12 floppy disk image.",
                                  QUARRY_OPTIONS, static_cast<std::uint32_t>(std::size(QUARRY_OPTIONS))};

// Images larger than this are not read: no floppy image comes near it.
constexpr std::size_t IMAGE_SIZE_LIMIT = std::size_t{1} << 28;

struct CloseStream {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};

bool load_image(QuarryRun& run) {
  switch (load_image_file(run.options.imagePath, IMAGE_SIZE_LIMIT, run.file)) {
    case FileLoaded::Loaded:
      run.bytes = std::span<const std::uint8_t>(run.file.data, run.file.size);
      return true;
    case FileLoaded::CannotOpen:
      fail_image(run, "cannot open the image: %s", std::strerror(errno));
      return false;
    case FileLoaded::CannotRead:
      fail_image(run, "cannot read the image: %s", std::strerror(errno));
      return false;
    case FileLoaded::TooLarge:
      break;
  }
  fail_image(run, "the file is larger than %llu bytes: no disk image", static_cast<unsigned long long>(IMAGE_SIZE_LIMIT));
  return false;
}

// The image's format, its boot sector, its sectors located and its volume read.
bool open_volume(QuarryRun& run) {
  if (!load_image(run)) return false;
  ImageFormat format = run.options.formatGiven ? run.options.format : recognise_format(run.bytes.data(), run.bytes.size());
  run.image = open_image_file(format, run.bytes.data(), run.bytes.size());
  note_image(run, "read as a %s image of %llu bytes", format_name(format),
             static_cast<unsigned long long>(run.bytes.size()));
  const std::uint8_t* boot = boot_sector_bytes(run.image, BOOT_FIELDS_END);
  if (boot == nullptr) {
    fail_image(run, "the image is too short to hold a boot sector");
    return false;
  }
  BootFields fields = read_boot_fields(boot);
  if (fields.bytesPerSector == 0 || fields.bytesPerSector % DIR_ENTRY_SIZE != 0 || fields.sectorsPerCluster == 0 ||
      !index_sectors(run.image, fields.bytesPerSector, fields.sectorsPerTrack, fields.headCount,
                     run.containerFindings)) {
    fail_image(run, "the boot sector gives %u bytes per sector and %u sectors per cluster: no FAT12 volume",
               unsigned{fields.bytesPerSector}, unsigned{fields.sectorsPerCluster});
    return false;
  }
  return read_image_volume(run, 0);
}

int run_mode(QuarryRun& run, const CommandLine& cl) {
  if (cl.given[CHECK_OPTION]) return load_image(run) ? check_image(run) : 1;
  if (!open_volume(run)) return 1;
  if (run.options.extractDir != nullptr) return extract_image(run);
  bool ok = run.options.mapPath != nullptr ? write_map_file(run) : write_listing(run, stdout);
  return ok ? 0 : 1;
}

// The options that do not go together (usage errors, status 2), and the
// operand: without exactly one the run fails (status 1), as the other
// programs do with a wrong count of file names.
int check_usage(Reporter& reporter, const CommandLine& cl, int argc, char** argv, QuarryOptions& options) {
  if (cl.given[FORMAT_OPTION] && !parse_format_name(cl.value[FORMAT_OPTION], &options.format)) {
    return usage_error(QUARRY_INFO, "--format takes dcp, raw or d88, not", cl.value[FORMAT_OPTION]);
  }
  options.formatGiven = cl.given[FORMAT_OPTION];
  options.mapPath = cl.value[MAP_OPTION];
  options.extractDir = cl.value[EXTRACT_OPTION];
  if (options.extractDir != nullptr && options.mapPath != nullptr && std::strcmp(options.mapPath, "-") == 0) {
    return usage_error(QUARRY_INFO, "--extract prints its command line on standard output, so it refuses",
                       "--map -");
  }
  if (cl.given[CHECK_OPTION] && (options.extractDir != nullptr || options.mapPath != nullptr)) {
    return usage_error(QUARRY_INFO, "--check goes without --map and --extract, not with",
                       options.extractDir != nullptr ? "--extract" : "--map");
  }
  const int operands = argc - cl.first;
  if (operands != 1) {
    explain_at(reporter, SourcePlace{nullptr, 0, 0}, "expected 1 argument, IMAGE; got %d", operands);
    return 1;
  }
  options.imagePath = argv[cl.first];
  return -1;
}

}  // namespace

int run_quarry(int argc, char** argv, std::FILE* findings) {
  use_binary_standard_streams();
  CommandLine cl;
  int status = parse_command_line(QUARRY_INFO, argc, argv, cl);
  if (status >= 0) return status;
  auto run = std::make_unique<QuarryRun>();
  run->reporter = make_reporter(QUARRY_INFO.name, cl);
  run->reporter.findings = findings;
  status = check_usage(run->reporter, cl, argc, argv, run->options);
  if (status >= 0) return status;
  try {
    status = run_mode(*run, cl);
  } catch (const std::bad_alloc&) {
    fail_image(*run, "out of memory");
    status = 1;
  }
  if (status == 0 && strict_failure(run->reporter)) status = 1;
  finish_report(run->reporter);
  return status;
}

namespace {

using Finding = void (*)(Reporter&, const SourcePlace&, const char*, ...);

// One finding about the image, its text formatted first.
void report_about_image(QuarryRun& run, Finding finding, const char* format, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  finding(run.reporter, SourcePlace{run.options.imagePath, 0, 0}, "%s", text);
}

}  // namespace

void warn_image(QuarryRun& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_about_image(run, warn_at, format, args);
  va_end(args);
}

void note_image(QuarryRun& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_about_image(run, summary_at, format, args);
  va_end(args);
}

void fail_image(QuarryRun& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_about_image(run, explain_at, format, args);
  va_end(args);
}

namespace {

// True when a stored name holds a byte that does not read as itself: one
// of a double-byte character or a katakana, 5Ch (the yen sign) or 7Eh (the
// overline).
bool names_beyond_ascii(const EntryTree& tree) {
  for (const Entry& e : tree.entries) {
    for (char c : e.name) {
      auto b = static_cast<unsigned char>(c);
      if (b >= 0x80 || b == 0x5C || b == 0x7E) return true;
    }
  }
  return false;
}

// The reverse of the table for the bytes 01h to 7Fh but 5Ch and 7Eh, each
// its own character, as the whole table has them: enough for names of such
// bytes alone, without the walk of the whole table.
bool build_ascii_reverse(SjisReverse& reverse) try {
  reverse.spans.assign(0x10000, 0);
  reverse.bytes.assign(0x80, 0);
  for (std::uint32_t b = 0; b < 0x80; ++b) {
    reverse.bytes[b] = static_cast<std::uint8_t>(b);
    if (b != 0 && b != 0x5C && b != 0x7E) reverse.spans[b] = b << 4 | 1;
  }
  return true;
} catch (const std::bad_alloc&) {
  reverse = SjisReverse{};
  return false;
}

const std::uint8_t* sector_of_image(const void* context, std::uint64_t k) {
  return read_sector(*static_cast<const ImageFile*>(context), k);
}

}  // namespace

bool build_name_table(QuarryRun& run) {
  if (!names_beyond_ascii(run.volume.tree)) return build_ascii_reverse(run.reverse);
  return build_sjis_reverse(run.reverse);
}

SectorSource image_sectors(const QuarryRun& run) { return SectorSource{sector_of_image, &run.image}; }

namespace {

bool add_piece(void* context, const std::uint8_t* bytes, std::size_t length) {
  auto* pieces = static_cast<std::vector<BytePiece>*>(context);
  if (!pieces->empty() && pieces->back().bytes + pieces->back().length == bytes) {
    pieces->back().length += length;
  } else {
    pieces->push_back(BytePiece{bytes, length});
  }
  return true;
}

}  // namespace

std::uint64_t entry_pieces(const QuarryRun& run, std::uint32_t entry, std::uint64_t limit,
                           std::vector<BytePiece>& pieces) {
  pieces.clear();
  return copy_entry_bytes(run.volume, image_sectors(run), entry, limit, add_piece, &pieces);
}

bool read_image_volume(QuarryRun& run, std::uint32_t bootSectors) {
  const std::uint8_t* boot = boot_sector_bytes(run.image, BOOT_FIELDS_END);
  switch (read_volume(boot, image_sectors(run), bootSectors, run.volume)) {
    case VolumeOpened::Read:
      break;
    case VolumeOpened::NoBootSector:
      fail_image(run, "the image is too short to hold a boot sector");
      return false;
    case VolumeOpened::UnusableSizes:
      fail_image(run, "the boot sector's sizes describe no FAT12 volume");
      return false;
    case VolumeOpened::NoMemory:
      fail_image(run, "out of memory reading the volume");
      return false;
  }
  // Tracks as the image's sectors were located by, not as a boot sector
  // written without its track fields says.
  run.volume.geometry.sectorsPerTrack = run.image.sectorsPerTrack;
  run.volume.geometry.headCount = run.image.headCount;
  const EntryTree& tree = run.volume.tree;
  run.reverse = SjisReverse{};
  if (!build_name_table(run)) {
    fail_image(run, "out of memory for the conversion table");
    return false;
  }
  run.shown.assign(tree.entries.size(), std::string());
  for (std::uint32_t i = 1; i < tree.entries.size(); ++i) run.shown[i] = shown_name(run, tree.entries[i].name);
  return true;
}

std::string entry_path(const QuarryRun& run, std::uint32_t entry) {
  const EntryTree& tree = run.volume.tree;
  std::size_t length = 0;
  std::uint32_t depth = 0;
  for (std::uint32_t e = entry; e != 0 && e < tree.entries.size(); e = tree.entries[e].parent, ++depth) {
    length += run.shown[e].size() + 1;
  }
  std::string path(length == 0 ? 0 : length - 1, '/');
  std::size_t end = path.size();
  for (std::uint32_t e = entry; depth-- > 0; e = tree.entries[e].parent) {
    const std::string& name = run.shown[e];
    end -= name.size();
    path.replace(end, name.size(), name);
    if (end != 0) --end;  // the separator before it
  }
  return path;
}
