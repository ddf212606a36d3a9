// The file lines: each host file measured, its image path entered into the
// tree and its entry filled.
#include <cerrno>
#include <cstring>

#include "diskmason/driver/pack_run.h"
#include "diskmason/model/attributes.h"
#include "diskmason/model/date_time.h"

namespace {

constexpr std::uint32_t MIN_FILE_FIELDS = 5;

// A host file that cannot be read is reported and its line skipped (the run
// reads on, and then fails); one that is an output or too large, or memory
// that ran out, ends the run.
bool accept_host_file(PackRun& run, const HostFileSize& host, const char* hostPath) {
  switch (host.state) {
    case HostFileState::Measured:
      if (differs_from_outputs(run, host.identity, hostPath)) return true;
      break;
    case HostFileState::CannotOpen:
      report_problem(run, "file %s could not be opened\n", hostPath);
      explain_at(run.reporter, field_place(run, HOST_PATH), "cannot open host file '%s': %s", hostPath,
                 host.error == EISDIR  ? "it is a folder"
                 : host.error == EINVAL ? "it is not a regular file"
                                        : std::strerror(host.error));
      hint_input_folder(run, hostPath, host.error);
      ++run.missingHostFiles;
      return false;
    case HostFileState::TooLarge:
      report_problem(run, "file %s is too large for a disk\n", hostPath);
      break;
    case HostFileState::NoMemory:
      explain_no_memory(run, "to open a host file");
      break;
  }
  run.good = false;
  return false;
}

// Why an image path could not be placed.
void explain_unplaced(PackRun& run, const char* path, const PlaceResult& placed) {
  const EntryTree& tree = run.disk.tree;
  const Entry* clash = placed.clash != NO_ENTRY ? &tree.entries[placed.clash] : nullptr;
  Reporter& r = run.reporter;
  SourcePlace at = line_place(run);
  switch (placed.outcome) {
    case PlaceOutcome::Placed:
      return;
    case PlaceOutcome::EmptyComponent:
      explain_at(r, at, "image path '%s' has an empty component", path);
      return;
    case PlaceOutcome::ZeroByte:
      explain_at(r, at, "image path '%s' has a character that converts to a zero byte", path);
      return;
    case PlaceOutcome::PlacedAlready:
      explain_at(r, at, "image path '%s' was placed already by line %u", path, clash->line);
      return;
    case PlaceOutcome::CaseOnly:
      explain_at(r, at, "image path '%s' differs only in letter case from '%s' of line %u", path,
                 clash->imagePath.c_str(), clash->line);
      return;
    case PlaceOutcome::FileWhereFolder:
      explain_at(r, at, "image path '%s' names a file where line %u made the directory '%s'", path, clash->line,
                 clash->imagePath.c_str());
      return;
    case PlaceOutcome::FolderWhereFile:
      explain_at(r, at, "image path '%s' needs '%.*s' as a directory, but line %u made it a file ('%s')", path,
                 static_cast<int>(placed.folderEnd), path, clash->line, clash->imagePath.c_str());
      return;
    case PlaceOutcome::NameTooLong:
    case PlaceOutcome::FolderFull:
    case PlaceOutcome::NoMemory:
      break;
  }
  explain_at(r, at, "image path '%s' could not be placed: out of memory, or too many entries in one directory",
             path);
}

// Enters the image path into the tree and fills the file's entry.
void place_file(PackRun& run, Entry facts, HostFile measured) {
  const char* imagePath = terminate_field(run, IMAGE_PATH);
  PlaceResult placed = add_path(run.disk.tree, reinterpret_cast<const std::uint8_t*>(imagePath),
                                run.list.fields[IMAGE_PATH].length, facts.dateTime, run.list.lineNumber);
  if (placed.outcome != PlaceOutcome::Placed) {
    if (is_open(measured)) close_host_file(measured);
    explain_unplaced(run, imagePath, placed);
    run.good = false;
    return;
  }
  Entry& file = run.disk.tree.entries[placed.file];
  file.attributes = facts.attributes;
  file.dateTime = facts.dateTime;
  file.startCluster = facts.startCluster;
  file.size = facts.size;
  file.hostPath = std::move(facts.hostPath);
  file.fixed = facts.startCluster != START_NOT_FIXED;
  if (file.fixed) file.startColumn = field_place(run, START_CLUSTER).column;
  keep_host_file(run.hostFiles, placed.file, measured);
  if (checks_input(run.reporter)) check_new_names(run, placed.firstCreated, placed.file);
}

// Measures the host file, keeping it open when it may stay so; a file that
// cannot be opened because the kept ones took the descriptors is measured
// again after they are closed.
HostFileSize measure(PackRun& run, const char* path, HostFile& measured) {
  HostFileSize host = measure_host_file(path, may_keep(run.hostFiles) ? &measured : nullptr);
  if (host.state == HostFileState::CannotOpen && (host.error == EMFILE || host.error == ENFILE)) {
    close_kept_files(run.hostFiles);
    host = measure_host_file(path);
  }
  return host;
}

void process_file_line(PackRun& run) {
  if (checks_input(run.reporter)) check_note_line(run);
  const char* hostPath = terminate_field(run, HOST_PATH);
  std::string path = input_path(run, hostPath);
  HostFile measured;
  HostFileSize host = measure(run, path.c_str(), measured);
  if (!accept_host_file(run, host, hostPath)) {
    if (is_open(measured)) close_host_file(measured);
    return;
  }
  Entry facts{};
  facts.dateTime = decode_date_time(field_text(run, DATE), run.list.fields[DATE].length, field_text(run, TIME),
                                    run.list.fields[TIME].length);
  facts.attributes = decode_attributes(field_text(run, ATTRIBUTES), run.list.fields[ATTRIBUTES].length);
  facts.size = host.size;
  facts.hostPath = std::move(path);
  facts.startCluster = START_NOT_FIXED;
  if (run.list.fieldCount > START_CLUSTER) {
    facts.startCluster = static_cast<std::uint16_t>(field_number(run, START_CLUSTER));
  }
  check_path_encoding(run);
  place_file(run, std::move(facts), measured);
  if (run.good && checks_input(run.reporter)) check_file_fields(run, host.size);
}

}  // namespace

void read_file_lines(PackRun& run) {
  while (run.good && !std::feof(run.list.stream) && !std::ferror(run.list.stream)) {
    read_next_line(run, FILE_FIELD_LIMIT);
    if (run.list.fieldCount >= MIN_FILE_FIELDS) {
      process_file_line(run);
    } else if (checks_input(run.reporter)) {
      check_skipped_line(run);
    }
  }
}
