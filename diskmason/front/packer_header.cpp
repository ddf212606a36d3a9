// The header line of the file list and the boot file it names.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/image/disk_format.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint32_t MIN_HEADER_FIELDS = 12;
// Fields 12 to 14 (sectors per track, heads, hidden sectors) are read only
// from BOOT_TRACK_FIELDS_LEVEL on, and only when all three are there.
constexpr std::uint32_t TRACK_FIELDS_END = 15;

// Header fields 1 to 14 into DiskParams, each cut to its width; a bad number
// is reported and kept as all-ones cut likewise.
void decode_header(PackerRun& run) {
  DiskParams& p = run.params;
  p.diskType = static_cast<std::uint8_t>(field_number(run, 1));
  run.headerTracks = field_number(run, 2) & 0xFF;
  p.formatLevel = static_cast<std::uint8_t>(field_number(run, 3));
  p.bytesPerSector = static_cast<std::uint16_t>(field_number(run, 4));
  p.sectorsPerCluster = static_cast<std::uint8_t>(field_number(run, 5));
  p.reservedSectors = static_cast<std::uint16_t>(field_number(run, 6));
  p.fatCount = static_cast<std::uint8_t>(field_number(run, 7));
  p.rootEntries = static_cast<std::uint16_t>(field_number(run, 8));
  p.totalSectors = static_cast<std::uint16_t>(field_number(run, 9));
  p.mediaByte = static_cast<std::uint8_t>(field_number(run, 10));
  p.sectorsPerFat = static_cast<std::uint16_t>(field_number(run, 11) & 0xFF);
  p.sectorsPerTrack = 8;
  p.headCount = 2;
  p.hiddenSectors = 0;
  if (p.formatLevel >= BOOT_TRACK_FIELDS_LEVEL && run.fieldCount >= TRACK_FIELDS_END) {
    p.sectorsPerTrack = static_cast<std::uint16_t>(field_number(run, 12));
    p.headCount = static_cast<std::uint16_t>(field_number(run, 13));
    p.hiddenSectors = static_cast<std::uint16_t>(field_number(run, 14));
  }
}

// Says why the boot file cannot be opened, and that a byte-order mark
// before the header became part of its name.
void explain_boot_failure(PackerRun& run, const char* path, const char* why) {
  static constexpr char BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";
  bool marked = std::strncmp(path, BYTE_ORDER_MARK, 3) == 0 && run.fields[0].offset == 0;
  explain_at(run.diag, line_place(run), "cannot open the boot file '%s': %s%s", path, why,
             marked ? " (the file list starts with a byte-order mark, which became part of the "
                      "name; save the list without it)"
                    : "");
}

// The boot file's path outlives the header line only for the dependency file.
bool keep_boot_path(PackerRun& run, const char* path) {
  std::size_t length = std::strlen(path) + 1;
  run.bootPath = static_cast<char*>(heap_alloc(length));
  if (run.bootPath == nullptr) {
    explain_no_memory(run, "for the boot file's path");
    return false;
  }
  std::memcpy(run.bootPath, path, length);
  return true;
}

}  // namespace

bool read_header_line(PackerRun& run) {
  read_next_line(run, HEADER_FIELD_LIMIT);
  if (run.fieldCount < MIN_HEADER_FIELDS) {
    explain_at(run.diag, line_place(run), "the header line has %u fields; it needs at least %u",
               run.fieldCount, MIN_HEADER_FIELDS);
    return false;
  }
  for (std::uint32_t i = 0; i < run.fieldCount; ++i) run.headerFields[i] = run.fields[i];
  decode_header(run);
  return true;
}

bool check_sizes(const PackerRun& run) {
  switch (size_problem(run.params)) {
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
      report_problem(run, "%u bytes per sector is not a multiple of 32\n",
                     unsigned{run.params.bytesPerSector});
      return false;
  }
  return false;
}

// Reads the boot file (field 0, a narrow path) whole; an empty one is kept
// with length 0.
bool read_boot_file(PackerRun& run) {
  const char* path = terminate_field(run, 0);
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    explain_boot_failure(run, path, std::strerror(errno));
    return false;
  }
  bool ok = differs_from_image(run, file, path);
  long length = -1;
  if (ok && std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  ok = ok && length >= 0 && static_cast<unsigned long>(length) <= 0xFFFFFFFFul &&
       std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    run.boot = static_cast<std::uint8_t*>(heap_alloc(length == 0 ? 1 : std::size_t(length)));
    ok = run.boot != nullptr;
    if (!ok) explain_no_memory(run, "for the boot file");
  }
  if (ok) {
    run.bootLength = static_cast<std::uint32_t>(std::fread(run.boot, 1, std::size_t(length), file));
  }
  if (ok && run.depfilePath != nullptr) ok = keep_boot_path(run, path);
  std::fclose(file);
  return ok;
}
