// The file list's lines, its header line and the boot file the header names.
#include <cerrno>
#include <cstring>
#include <new>

#include "diskmason/driver/pack_run.h"

namespace {

constexpr std::uint32_t MIN_HEADER_FIELDS = 12;

// Field i's number; one that does not decode is reported and kept as
// BAD_NUMBER, cut to the field's width like any other.
std::uint32_t header_number(void* context, std::uint32_t field) {
  return field_number(*static_cast<PackRun*>(context), field);
}

void decode_header(PackRun& run) { run.disk.params = header_params(header_number, &run, run.list.fieldCount); }

// The whole boot file into run.disk.boot; false when it cannot be read.
bool read_boot_bytes(PackRun& run, std::FILE* file) {
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  if (length < 0 || static_cast<unsigned long>(length) > 0xFFFFFFFFul || std::fseek(file, 0, SEEK_SET) != 0) {
    return false;
  }
  try {
    run.disk.boot.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    explain_no_memory(run, "for the boot file");
    return false;
  }
  run.disk.boot.resize(std::fread(run.disk.boot.data(), 1, run.disk.boot.size(), file));
  return true;
}

}  // namespace

void read_next_line(PackRun& run, std::uint32_t fieldLimit) {
  ListCursor& list = run.list;
  if (list.lineEnded) {
    ++list.lineNumber;
    list.columnBase = 0;
  } else {
    list.columnBase += LIST_LINE_LIMIT;
  }
  std::uint32_t length = LIST_LINE_LIMIT;
  list.lineEnded = read_list_line(list.stream, list.line, &length);
  if (length == LIST_LINE_LIMIT && !list.lineEnded && checks_input(run.reporter)) check_line_length(run);
  list.length = length;
  list.fieldCount = split_fields(list.line, length, list.fields, fieldLimit);
  if (checks_input(run.reporter)) check_quotes(run);
}

bool read_header_line(PackRun& run) {
  read_next_line(run, HEADER_FIELD_LIMIT);
  if (run.list.fieldCount < MIN_HEADER_FIELDS) {
    explain_at(run.reporter, line_place(run), "the header line has %u fields; it needs at least %u",
               run.list.fieldCount, MIN_HEADER_FIELDS);
    return false;
  }
  std::memcpy(run.disk.headerFields, run.list.fields, sizeof run.disk.headerFields);
  decode_header(run);
  return true;
}

bool check_sizes(PackRun& run) {
  switch (size_problem(run.disk.params)) {
    case SizeProblem::None:
      return true;
    case SizeProblem::NoSectorSize:
      report_problem(run, "the header gives 0 bytes per sector\n");
      return false;
    case SizeProblem::NoClusterSize:
      report_problem(run, "the header gives 0 sectors per cluster\n");
      return false;
    case SizeProblem::NoTrackSize:
      report_problem(run, "the header gives 0 sectors per track\n");
      return false;
    case SizeProblem::SectorNotWholeEntries:
      report_problem(run, "%u bytes per sector is not a multiple of 32\n", unsigned{run.disk.params.bytesPerSector});
      return false;
  }
  return false;
}

// Reads the boot file (field 0, a narrow path) whole; an empty one is kept.
bool read_boot_file(PackRun& run) {
  const char* listed = terminate_field(run, BOOT_FILE);
  run.disk.bootPath = input_path(run, listed);
  std::FILE* file = std::fopen(run.disk.bootPath.c_str(), "rb");
  const int error = errno;
  if (file != nullptr && identity_of_stream(file).folder) {
    std::fclose(file);
    explain_at(run.reporter, field_place(run, BOOT_FILE), "cannot open the boot file '%s': it is a folder", listed);
    return false;
  }
  if (file == nullptr) {
    explain_at(run.reporter, field_place(run, BOOT_FILE), "cannot open the boot file '%s': %s", listed,
               open_failure_text(run.disk.bootPath.c_str(), error));
    hint_input_folder(run, listed, error);
    return false;
  }
  bool ok = differs_from_outputs(run, file, listed) && read_boot_bytes(run, file);
  std::fclose(file);
  return ok;
}
