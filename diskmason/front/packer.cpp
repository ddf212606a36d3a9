#include "diskmason/front/packer.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <iterator>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "diskmason/front/packer_run.h"
#include "textconv/command_line.h"
#include "textconv/heap.h"

namespace {

enum PackerOption : std::uint32_t { PAD_OPTION, DEPFILE_OPTION, MAP_OPTION };

constexpr ProgramOption PACKER_OPTIONS[] = {
    {"--pad", nullptr, "write the whole disk, its free sectors filled with E5h"},
    {"--depfile", "PATH", "write the image's dependencies for make to PATH"},
    {"--map", "PATH", "write where everything lies on the disk to PATH (- for standard output)"},
};

constexpr ProgramInfo PACKER_INFO{
    "diskmason", "FILELIST IMAGE", "Packs the files of a file list into a DCP floppy disk image.",
    PACKER_OPTIONS, static_cast<std::uint32_t>(std::size(PACKER_OPTIONS))};

// Under --strict a run with warnings, numbers that do not decode or host
// files left out writes no image.
bool passes_strict(PackerRun& run) {
  if (!run.diag.strict) return true;
  if (run.diag.warnings == 0 && run.badNumbers == 0 && run.missingHostFiles == 0) return true;
  explain_at(run.diag, list_place(run),
             "no image written (--strict): %u warnings, %u numbers that do not decode, %u host "
             "files that could not be opened",
             run.diag.warnings, run.badNumbers, run.missingHostFiles);
  return false;
}

// Everything after the header line, each step only while the run is good.
void pack(PackerRun& run) {
  run.good = check_sizes(run) && read_boot_file(run) &&
             plan_geometry(run.params, run.bootLength, run.geometry) && start_records(run);
  if (run.good) warn_about_header(run);
  read_file_lines(run);
  if (run.good) run.good = check_root_size(run) && check_short_names(run, &run.root);
  if (run.good) run.good = lay_out(run);
  if (run.good) {
    run.good = check_track_limit(run) && check_fat_reach(run) && check_fixed_reach(run) &&
               check_disk_end(run) && check_fat_size(run);
  }
  if (run.good) run.good = warn_about_layout(run) && passes_strict(run);
  if (run.good) run.good = write_image(run) && write_map(run) && write_depfile(run);
}

void release_run(PackerRun& run) {
  if (run.root.subdirs != nullptr) remove_node(&run.root, run.pool);
  destroy(run.pool);
  if (run.hostPaths.text != nullptr) string_pool_release(run.hostPaths);
  close_kept_files(run.keptHostFiles);
  if (run.imagePaths.text != nullptr) string_pool_release(run.imagePaths);
  release_sjis_reverse(run.reverse);
  heap_free(run.origins);
  heap_free(run.infos);
  heap_free(run.boot);
  heap_free(run.bootPath);
  std::fclose(run.list);
}

}  // namespace

const std::uint8_t* field_text(const PackerRun& run, std::uint32_t i) {
  return run.line + run.fields[i].offset;
}

std::uint32_t field_number(PackerRun& run, std::uint32_t i) {
  std::uint32_t value = 0;
  if (parse_number(field_text(run, i), run.fields[i].length, &value)) return value;
  ++run.badNumbers;
  return decode_number(field_text(run, i), run.fields[i].length);  // prints the message
}

const char* terminate_field(PackerRun& run, std::uint32_t i) {
  run.line[run.fields[i].offset + run.fields[i].length] = 0;
  return reinterpret_cast<const char*>(field_text(run, i));
}

SourcePlace list_place(const PackerRun& run) { return SourcePlace{run.listPath, 0, 0}; }

SourcePlace line_place(const PackerRun& run) { return SourcePlace{run.listPath, run.lineNumber, 0}; }

SourcePlace field_place(const PackerRun& run, std::uint32_t i, std::uint32_t offset) {
  return SourcePlace{run.listPath, run.lineNumber, run.columnBase + run.fields[i].offset + offset + 1};
}

SourcePlace header_place(const PackerRun& run, std::uint32_t i) {
  return SourcePlace{run.listPath, 1, run.headerFields[i].offset + 1};
}

void explain_no_memory(PackerRun& run, const char* task) {
  explain_at(run.diag, SourcePlace{nullptr, 0, 0}, "out of memory %s", task);
}

void report_problem(const PackerRun& run, const char* format, ...) {
  std::printf("DISKMASON in file list %s: ", run.listPath);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void report_overwrite(const PackerRun& run, const char* name) {
  report_problem(run, "image %s would overwrite %s\n", run.imagePath, name);
}

bool differs_from_image(const PackerRun& run, std::FILE* stream, const char* name) {
  if (!is_same_file(stream, run.image)) return true;
  report_overwrite(run, name);
  return false;
}

int run_packer(int argc, char** argv, std::FILE* messages) {
#if defined(_WIN32)
  // Messages keep their bytes: no "\r" before each "\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  CommandLine options;
  int status = parse_command_line(PACKER_INFO, argc, argv, options);
  if (status >= 0) return status;
  PackerRun run{};
  run.diag = make_diagnostics(PACKER_INFO.name, options.verbose, options.strict);
  run.diag.stream = messages;
  run.pad = options.given[PAD_OPTION];
  run.depfilePath = options.value[DEPFILE_OPTION];
  run.mapPath = options.value[MAP_OPTION];
  int operands = argc > options.first ? argc - options.first : 0;
  if (operands != 2) {
    explain_at(run.diag, SourcePlace{nullptr, 0, 0}, "expected 2 arguments, FILELIST and IMAGE; got %d",
               operands);
    return 1;
  }
  run.listPath = argv[options.first];
  run.imagePath = argv[options.first + 1];
  run.list = std::fopen(run.listPath, "rb");
  if (run.list == nullptr) {
    const char* why = std::strerror(errno);
    explain_at(run.diag, list_place(run), "cannot open the file list: %s", why);
    return 1;
  }
  run.image = identity_of_path(run.imagePath);
  run.lineEnded = true;
  if (differs_from_image(run, run.list, run.listPath) && read_header_line(run)) pack(run);
  release_run(run);
  finish_diagnostics(run.diag);
  return run.good ? 0 : 1;
}
