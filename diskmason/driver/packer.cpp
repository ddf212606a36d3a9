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
#include "textconv/whole_output.h"

namespace {

enum PackerOption : std::uint32_t { PAD_OPTION, FORMAT_OPTION, DEPFILE_OPTION, MAP_OPTION, DIRECTORY_OPTION };

constexpr ProgramOption PACKER_OPTIONS[] = {
    {"--pad", nullptr, nullptr, "write the whole disk, its free sectors filled with E5h"},
    {"--format", nullptr, "FORMAT", "write the image as dcp (the default), raw or d88"},
    {"--depfile", nullptr, "PATH", "write the image's dependencies for make to PATH"},
    {"--map", nullptr, "PATH", "write where everything lies on the disk to PATH (- for standard output)"},
    {"--directory", "-C", "DIR", "read the boot file and the host files from DIR"},
};

constexpr ProgramInfo PACKER_INFO{
    "diskmason", "FILELIST IMAGE", "Packs the files of a file list into a floppy disk image (DCP, raw or D88).",
    PACKER_OPTIONS, static_cast<std::uint32_t>(std::size(PACKER_OPTIONS))};

constexpr const char* OUTPUT_NAMES[OUTPUT_KINDS] = {"image", "map", "dependency file"};

const char* plural(std::uint32_t n) { return n == 1 ? "" : "s"; }

// A host file that could not be opened, a number that does not decode or
// a list in Shift-JIS leaves the disk short of what the list says: the run
// reads on, reporting everything, and writes nothing.
bool list_read_whole(PackRun& run) {
  if (run.missingHostFiles == 0 && run.badNumbers == 0 && !run.shiftJisList) return true;
  char what[160] = "";
  std::size_t at = 0;
  if (run.missingHostFiles != 0) {
    at += std::snprintf(what + at, sizeof what - at, ", %u host file%s that could not be opened", run.missingHostFiles,
                        plural(run.missingHostFiles));
  }
  if (run.badNumbers != 0) {
    at += std::snprintf(what + at, sizeof what - at, ", %u number%s that do%s not decode", run.badNumbers,
                        plural(run.badNumbers), run.badNumbers == 1 ? "es" : "");
  }
  if (run.shiftJisList) std::snprintf(what + at, sizeof what - at, ", image paths in Shift-JIS");
  explain_at(run.reporter, list_place(run), "no image written: %s", what + 2);
  return false;
}

// Under --strict a run with warnings writes nothing.
bool passes_strict(PackRun& run) {
  Reporter& r = run.reporter;
  if (!strict_failure(r)) return true;
  explain_at(r, list_place(run), "no image written (--strict): %u warning%s", r.warnings, plural(r.warnings));
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
  if (run.good) run.good = check_layout(run);
  if (run.good) run.good = warn_about_layout(run) && list_read_whole(run) && passes_strict(run);
  if (run.good) run.good = write_outputs(run);
}

struct CloseStream {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};

// A file list that starts with a UTF-8 byte-order mark: the mark is skipped.
void skip_byte_order_mark(PackRun& run) {
  unsigned char mark[3] = {};
  std::size_t got = std::fread(mark, 1, 3, run.list.stream);
  if (got == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
    warn_at(run.reporter, SourcePlace{run.options.listPath, 1, 1},
            "the file list starts with a UTF-8 byte-order mark, which is skipped");
    return;
  }
  std::rewind(run.list.stream);
}

int pack_list(PackRun& run) {
  std::unique_ptr<std::FILE, CloseStream> list(std::fopen(run.options.listPath, "rb"));
  const char* why = list == nullptr ? open_failure_text(run.options.listPath, errno) : nullptr;
  if (list != nullptr && identity_of_stream(list.get()).folder) {
    list.reset();
    why = "it is a folder";
  }
  if (list == nullptr) {
    explain_at(run.reporter, list_place(run), "cannot open the file list: %s", why);
    return 1;
  }
  run.list.stream = list.get();
  run.list.lineEnded = true;
  try {
    if (differs_from_outputs(run, run.list.stream, run.options.listPath)) {
      skip_byte_order_mark(run);
      if (read_header_line(run)) pack(run);
    }
  } catch (const std::bad_alloc&) {
    // The steps catch what they can do without; anything else ends the run.
    explain_no_memory(run, "to pack the disk");
    run.good = false;
  }
  return run.good ? 0 : 1;
}

// Outputs are told apart before anything is written; one that is standard
// output takes the one-line messages' place there. Only the map takes "-"
// for standard output; an image or depfile "-" is a file of that name.
bool outputs_apart(PackRun& run) {
  const char* paths[OUTPUT_KINDS] = {run.options.imagePath, run.options.mapPath, run.options.depfilePath};
  OutputPlace places[OUTPUT_KINDS];
  for (std::uint32_t i = 0; i < OUTPUT_KINDS; ++i) {
    if (paths[i] == nullptr) continue;
    places[i] = output_place(paths[i], i == MAP_OUTPUT);
    run.outputs[i] = places[i].identity;
    if (is_standard_output(paths[i], i == MAP_OUTPUT)) move_messages_to_standard_error(run.reporter);
    for (std::uint32_t j = 0; j < i; ++j) {
      if (paths[j] == nullptr || !same_place(places[i], places[j])) continue;
      report_problem(run, "the %s %s and the %s %s are the same file\n", OUTPUT_NAMES[j], paths[j], OUTPUT_NAMES[i],
                     paths[i]);
      return false;
    }
  }
  return true;
}

// Usage mistakes beyond what the command line parser refuses.
bool check_operands(PackRun& run, int argc, char** argv, int first) {
  int operands = argc > first ? argc - first : 0;
  if (operands == 2) return true;
  bool optionLate = false;
  for (int i = first; i < argc; ++i) optionLate = optionLate || (argv[i][0] == '-' && argv[i][1] != 0);
  explain_at(run.reporter, SourcePlace{nullptr, 0, 0}, "expected 2 arguments, FILELIST and IMAGE; got %d%s", operands,
             optionLate ? " (options go before the file names)" : "");
  return false;
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
  explain_at(run.reporter, field_place(run, i), "'%.*s' is not a number (write 31, 0x1F or 1Fh)",
             static_cast<int>(run.list.fields[i].length), reinterpret_cast<const char*>(field_text(run, i)));
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

bool differs_from_outputs(PackRun& run, const FileIdentity& input, const char* name) {
  const char* paths[OUTPUT_KINDS] = {run.options.imagePath, run.options.mapPath, run.options.depfilePath};
  for (std::uint32_t i = 0; i < OUTPUT_KINDS; ++i) {
    if (paths[i] == nullptr || !same_file(input, run.outputs[i])) continue;
    report_problem(run, "%s %s would overwrite %s\n", i == IMAGE_OUTPUT ? "image" : OUTPUT_NAMES[i], paths[i], name);
    return false;
  }
  return true;
}

bool differs_from_outputs(PackRun& run, std::FILE* stream, const char* name) {
  return differs_from_outputs(run, identity_of_stream(stream), name);
}

std::string input_path(const PackRun& run, const char* listed) {
  const char* dir = run.options.directory;
  bool relative = listed[0] != '/' && listed[0] != '\\';
#if defined(_WIN32)
  relative = relative && !(listed[0] != 0 && listed[1] == ':');
#endif
  if (dir == nullptr || !relative) return listed;
  std::string path(dir);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + listed;
}

void hint_input_folder(PackRun& run, const char* listed, int error) {
  if (error != ENOENT || run.pathHintGiven || run.options.directory != nullptr || input_path(run, listed) != listed ||
      listed[0] == '/') {
    return;
  }
  const char* list = run.options.listPath;
  const char* slash = std::strrchr(list, '/');
  if (slash == nullptr) return;
  std::string folder(list, static_cast<std::size_t>(slash - list) + (slash == list ? 1 : 0));
  if (same_file(identity_of_path(folder.c_str()), identity_of_path("."))) return;
  run.pathHintGiven = true;
  note_at(run.reporter, list_place(run),
          "the boot file and host paths are read relative to the current folder, not the list's folder '%s'; "
          "-C %s reads them from there",
          folder.c_str(), folder.c_str());
}

bool stored_names_readable(PackRun& run) { return is_built(run.reverse) || build_sjis_reverse(run.reverse); }

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
  run.reporter = make_reporter(PACKER_INFO.name, options);
  if (findings != nullptr) run.reporter.findings = findings;
  run.options = PackOptions{nullptr,
                            nullptr,
                            ImageFormat::Dcp,
                            options.given[PAD_OPTION],
                            options.value[DEPFILE_OPTION],
                            options.value[MAP_OPTION],
                            options.value[DIRECTORY_OPTION]};
  const char* format = options.value[FORMAT_OPTION];
  if (format != nullptr && !parse_format_name(format, &run.options.format)) {
    return usage_error(PACKER_INFO, "--format takes dcp, raw or d88, not", format);
  }
  if (!check_operands(run, argc, argv, options.first)) return 1;
  run.options.listPath = argv[options.first];
  run.options.imagePath = argv[options.first + 1];
  try {
    status = outputs_apart(run) ? pack_list(run) : 1;
  } catch (const std::bad_alloc&) {
    explain_no_memory(run, "to pack the disk");
    status = 1;
  }
  finish_report(run.reporter);
  return status;
}
