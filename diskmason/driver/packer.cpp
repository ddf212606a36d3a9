#include "diskmason/driver/packer.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "diskmason/container/image_reader.h"
#include "diskmason/driver/pack_run.h"
#include "textconv/command_line.h"

namespace {

enum PackerOption : std::uint32_t { PAD_OPTION, FORMAT_OPTION, DEPFILE_OPTION, MAP_OPTION };

constexpr ProgramOption PACKER_OPTIONS[] = {
    {"--pad", nullptr, "write the whole disk, its free sectors filled with E5h"},
    {"--format", "FORMAT", "write the image as dcp (the default), raw or d88"},
    {"--depfile", "PATH", "write the image's dependencies for make to PATH"},
    {"--map", "PATH", "write where everything lies on the disk to PATH (- for standard output)"},
};

constexpr ProgramInfo PACKER_INFO{
    "diskmason", "FILELIST IMAGE", "Packs the files of a file list into a floppy disk image (DCP, raw or D88).",
    PACKER_OPTIONS, static_cast<std::uint32_t>(std::size(PACKER_OPTIONS))};

// Under --strict a run with warnings, numbers that do not decode or host
// files left out writes no image.
bool passes_strict(PackRun& run) {
  Reporter& r = run.reporter;
  if (!r.strict) return true;
  if (r.warnings == 0 && run.badNumbers == 0 && run.missingHostFiles == 0) return true;
  explain_at(r, list_place(run),
             "no image written (--strict): %u warnings, %u numbers that do not decode, %u host files that "
             "could not be opened",
             r.warnings, run.badNumbers, run.missingHostFiles);
  return false;
}

// Everything after the header line, each step only while the run is good.
void pack(PackRun& run) {
  Disk& disk = run.disk;
  run.good = check_sizes(run) && read_boot_file(run) &&
             plan_geometry(disk.params, static_cast<std::uint32_t>(disk.boot.size()), disk.geometry);
  if (run.good && !start_tree(disk.tree)) {
    explain_no_memory(run, "to start reading the file lines");
    run.good = false;
  }
  if (run.good) warn_about_header(run);
  read_file_lines(run);
  if (run.good) run.good = check_root_size(run) && check_short_names(run) && lay_out(run);
  if (run.good) {
    run.good = check_track_limit(run) && check_fat_reach(run) && check_fixed_reach(run) && check_disk_end(run) &&
               check_fat_size(run) && check_container(run);
  }
  if (run.good) run.good = warn_about_layout(run) && passes_strict(run);
  if (run.good) run.good = write_image(run) && write_map(run) && write_depfile(run);
}

struct CloseStream {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};

int pack_list(PackRun& run) {
  std::unique_ptr<std::FILE, CloseStream> list(std::fopen(run.options.listPath, "rb"));
  if (list == nullptr) {
    const char* why = std::strerror(errno);
    explain_at(run.reporter, list_place(run), "cannot open the file list: %s", why);
    return 1;
  }
  run.list.stream = list.get();
  run.image = identity_of_path(run.options.imagePath);
  run.list.lineEnded = true;
  try {
    if (differs_from_image(run, run.list.stream, run.options.listPath) && read_header_line(run)) pack(run);
  } catch (const std::bad_alloc&) {
    // The steps catch what they can do without; anything else ends the run.
    explain_no_memory(run, "to pack the disk");
    run.good = false;
  }
  return run.good ? 0 : 1;
}

}  // namespace

const std::uint8_t* field_text(const PackRun& run, std::uint32_t i) {
  return run.list.line + run.list.fields[i].offset;
}

std::uint32_t field_number(PackRun& run, std::uint32_t i) {
  std::uint32_t value = 0;
  if (parse_number(field_text(run, i), run.list.fields[i].length, &value)) return value;
  ++run.badNumbers;
  report_message_bytes(run.reporter, "Bad number to decode ", field_text(run, i), run.list.fields[i].length, "\n");
  return BAD_NUMBER;
}

const char* terminate_field(PackRun& run, std::uint32_t i) {
  run.list.line[run.list.fields[i].offset + run.list.fields[i].length] = 0;
  return reinterpret_cast<const char*>(field_text(run, i));
}

SourcePlace list_place(const PackRun& run) { return SourcePlace{run.options.listPath, 0, 0}; }

SourcePlace line_place(const PackRun& run) { return SourcePlace{run.options.listPath, run.list.lineNumber, 0}; }

SourcePlace field_place(const PackRun& run, std::uint32_t i, std::uint32_t offset) {
  return SourcePlace{run.options.listPath, run.list.lineNumber,
                     run.list.columnBase + run.list.fields[i].offset + offset + 1};
}

SourcePlace header_place(const PackRun& run, std::uint32_t i) {
  return SourcePlace{run.options.listPath, 1, run.disk.headerFields[i].offset + 1};
}

void report_problem(PackRun& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_message_about(run.reporter, "DISKMASON in file list", run.options.listPath, format, args);
  va_end(args);
}

void explain_no_memory(PackRun& run, const char* task) {
  explain_at(run.reporter, SourcePlace{nullptr, 0, 0}, "out of memory %s", task);
}

void report_overwrite(PackRun& run, const char* name) {
  report_problem(run, "image %s would overwrite %s\n", run.options.imagePath, name);
}

bool differs_from_image(PackRun& run, std::FILE* stream, const char* name) {
  if (!same_file(identity_of_stream(stream), run.image)) return true;
  report_overwrite(run, name);
  return false;
}

bool stored_names_readable(PackRun& run) {
  return run.reverse.spans != nullptr || build_sjis_reverse(run.reverse);
}

void show_stored_name(PackRun& run, const std::uint8_t* shortName, char* out, std::size_t capacity) {
  out[0] = 0;
  if (stored_names_readable(run)) show_short_name(run.reverse, shortName, out, capacity);
}

int run_packer(int argc, char** argv, std::FILE* findings) {
  use_binary_standard_streams();
  CommandLine options;
  int status = parse_command_line(PACKER_INFO, argc, argv, options);
  if (status >= 0) return status;
  PackRun run{};
  run.reporter = make_reporter(PACKER_INFO.name, options.verbose, options.strict);
  run.reporter.findings = findings;
  run.options = PackOptions{nullptr, nullptr, ImageFormat::Dcp, options.given[PAD_OPTION],
                            options.value[DEPFILE_OPTION], options.value[MAP_OPTION]};
  const char* format = options.value[FORMAT_OPTION];
  if (format != nullptr && !parse_format_name(format, &run.options.format)) {
    return usage_error(PACKER_INFO, "--format takes dcp, raw or d88, not", format);
  }
  int operands = argc > options.first ? argc - options.first : 0;
  if (operands != 2) {
    explain_at(run.reporter, SourcePlace{nullptr, 0, 0}, "expected 2 arguments, FILELIST and IMAGE; got %d",
               operands);
    return 1;
  }
  run.options.listPath = argv[options.first];
  run.options.imagePath = argv[options.first + 1];
  status = pack_list(run);
  release_sjis_reverse(run.reverse);
  finish_report(run.reporter);
  return status;
}
