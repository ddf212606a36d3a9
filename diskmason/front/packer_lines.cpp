// The file lines: each host file measured, its path kept, its image path
// entered into the tree and its record filled.
#include <cerrno>

#include "diskmason/front/fields.h"
#include "diskmason/front/packer_run.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint32_t MIN_FILE_FIELDS = 5;
constexpr std::uint32_t FIRST_RECORDS = 128;
constexpr std::uint32_t FIRST_PATH_BYTES = 4096;
constexpr std::uint32_t FIRST_PATHS = 128;
constexpr std::uint32_t FIRST_INDICES = 128;
constexpr std::uint32_t ROOT_SUBDIR_SLOTS = 8;
constexpr std::uint32_t ROOT_FILE_SLOTS = 64;
constexpr std::uint8_t DIRECTORY_ATTRIBUTE = 0x10;
constexpr NodeOrigin UNNAMED{NO_NAME, 0, 0, 0};

// Grows the FileInfo and origin arrays by doubling until record fits.
bool ensure_record(PackerRun& run, std::uint32_t record) {
  if (record < run.capacity) return true;
  std::uint64_t capacity = run.capacity == 0 ? 1 : run.capacity;
  while (capacity <= record) capacity *= 2;
  void* infos = heap_realloc(run.infos, capacity * sizeof(FileInfo));
  if (infos != nullptr) run.infos = static_cast<FileInfo*>(infos);
  void* origins = infos == nullptr ? nullptr : heap_realloc(run.origins, capacity * sizeof(NodeOrigin));
  if (origins == nullptr) {
    explain_no_memory(run, "for the records of the file list");
    return false;
  }
  run.origins = static_cast<NodeOrigin*>(origins);
  for (std::uint64_t i = run.capacity; i < capacity; ++i) run.origins[i] = UNNAMED;
  run.capacity = static_cast<std::uint32_t>(capacity);
  return true;
}

// Fills the record of each directory that add_path creates.
bool on_directory_created(void* context, std::uint32_t index) {
  PackerRun& run = *static_cast<PackerRun*>(context);
  std::uint32_t record = record_of(index);
  if (!ensure_record(run, record)) return false;
  run.infos[record] = FileInfo{DIRECTORY_ATTRIBUTE, run.lineDateTime, START_NOT_FIXED, 0, 0};
  run.origins[record] = UNNAMED;
  return true;
}

// Records where the file and every directory first named for it come from
// (a directory's path is the file's up to the matching "/"), and checks the
// components that this line names first.
void name_nodes(PackerRun& run, const FileNode* file, std::uint32_t pathIndex, const char* path,
                std::uint32_t length) {
  std::uint32_t depth = 0;
  for (const DirNode* dir = file->parent; dir != nullptr && dir->parent != nullptr;
       dir = dir->parent) {
    ++depth;
  }
  std::uint32_t start = 0;  // of the component at `level`
  for (std::uint32_t level = 0; level < depth; ++level) {
    const DirNode* dir = file->parent;
    for (std::uint32_t up = level + 1; up < depth; ++up) dir = dir->parent;
    std::uint32_t end = start;
    while (end < length && path[end] != '/') ++end;
    NodeOrigin& origin = run.origins[record_of(dir)];
    if (origin.pathIndex == NO_NAME) {
      origin = NodeOrigin{pathIndex, end, run.lineNumber, 0};
      check_component(run, start, end);
    }
    start = end + 1;
  }
  run.origins[record_of(file)] = NodeOrigin{pathIndex, length, run.lineNumber, 0};
  check_component(run, start, length);
}

bool append_string(PackerRun& run, StringPool& pool, const char* text, std::uint32_t length) {
  if (string_pool_append(pool, reinterpret_cast<const std::uint8_t*>(text), length)) return true;
  explain_no_memory(run, "for the paths of the file list");
  return false;
}

// A host file that cannot be read is reported and its line skipped; one that
// is the image or too large, or memory that ran out, ends the run.
bool accept_host_file(PackerRun& run, HostFileSize host, const char* hostPath) {
  switch (host.state) {
    case HostFileState::Measured:
      return true;
    case HostFileState::CannotOpen:
      report_problem(run, "file %s could not be opened\n", hostPath);
      ++run.missingHostFiles;
      return false;
    case HostFileState::IsImage:
      report_overwrite(run, hostPath);
      break;
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

// Enters the image path into the tree and fills the file's record.
void place_file(PackerRun& run, const FileInfo& info, const char* imagePath) {
  std::uint32_t imageIndex = run.imagePaths.count;
  std::uint32_t imageLength = run.fields[IMAGE_PATH].length;
  if (!append_string(run, run.imagePaths, imagePath, imageLength + 1)) {
    run.good = false;
    return;
  }
  run.lineDateTime = info.dateTime;
  FileNode* node = add_path(&run.root, imagePath, run.pool, on_directory_created, &run);
  if (node == nullptr) explain_unplaced(run, imagePath);
  if (node == nullptr || !ensure_record(run, record_of(node))) {
    run.good = false;
    return;
  }
  run.infos[record_of(node)] = info;
  name_nodes(run, node, imageIndex, imagePath, imageLength);
  if (info.startCluster != START_NOT_FIXED) {
    run.origins[record_of(node)].startColumn = field_place(run, START_CLUSTER).column;
  }
}

void process_file_line(PackerRun& run) {
  if (run.diag.verbose) check_note_line(run);
  const char* hostPath = terminate_field(run, HOST_PATH);
  HostFileSize host = measure_host_file(hostPath, run.image, kept_place(run.keptHostFiles, run.hostPaths.count));
  if (host.state == HostFileState::CannotOpen && (errno == EMFILE || errno == ENFILE)) {
    // The files kept open took the descriptors the process may have.
    close_kept_files(run.keptHostFiles);
    run.keptHostFiles.limit = 0;
    host = measure_host_file(hostPath, run.image);
  }
  if (!accept_host_file(run, host, hostPath)) return;
  FileInfo info{};
  info.dateTime = decode_date_time(field_text(run, DATE), run.fields[DATE].length,
                                   field_text(run, TIME), run.fields[TIME].length);
  info.attributes = decode_attributes(field_text(run, ATTRIBUTES), run.fields[ATTRIBUTES].length);
  info.size = host.size;
  info.hostPathIndex = run.hostPaths.count;
  if (!append_string(run, run.hostPaths, hostPath, run.fields[HOST_PATH].length + 1)) {
    run.good = false;
    return;
  }
  const char* imagePath = terminate_field(run, IMAGE_PATH);
  info.startCluster = START_NOT_FIXED;
  if (run.fieldCount > START_CLUSTER) {
    info.startCluster = static_cast<std::uint16_t>(field_number(run, START_CLUSTER));
  }
  place_file(run, info, imagePath);
  if (run.good && run.diag.verbose) check_file_fields(run, host.size);
}

}  // namespace

void read_next_line(PackerRun& run, std::uint32_t fieldLimit) {
  if (run.lineEnded) {
    ++run.lineNumber;
    run.columnBase = 0;
  } else {
    run.columnBase += LIST_LINE_LIMIT;
  }
  std::uint32_t length = LIST_LINE_LIMIT;
  run.lineEnded = read_list_line(run.list, run.line, &length);
  if (length == LIST_LINE_LIMIT && !run.lineEnded && run.diag.verbose) check_line_length(run);
  run.fieldCount = split_fields(run.line, length, run.fields, fieldLimit);
}

bool start_records(PackerRun& run) {
  run.infos = static_cast<FileInfo*>(heap_alloc(FIRST_RECORDS * sizeof(FileInfo)));
  run.origins = static_cast<NodeOrigin*>(heap_alloc(FIRST_RECORDS * sizeof(NodeOrigin)));
  bool ok = run.infos != nullptr && run.origins != nullptr &&
            string_pool_init(run.hostPaths, FIRST_PATH_BYTES, FIRST_PATHS) &&
            string_pool_init(run.imagePaths, FIRST_PATH_BYTES, FIRST_PATHS) &&
            init(run.pool, FIRST_INDICES) &&
            init_directory(&run.root, ROOT_SUBDIR_SLOTS, ROOT_FILE_SLOTS, run.pool);
  run.keptHostFiles.limit = host_files_kept_limit();
  if (!ok) {
    explain_no_memory(run, "to start reading the file lines");
    return false;
  }
  run.capacity = FIRST_RECORDS;
  for (std::uint32_t i = 0; i < FIRST_RECORDS; ++i) run.origins[i] = UNNAMED;
  // The root's record, read for the ".." entries of its subdirectories.
  run.infos[0] = FileInfo{DIRECTORY_ATTRIBUTE, 0, 0, 0, 0};
  return true;
}

void read_file_lines(PackerRun& run) {
  while (run.good && !std::feof(run.list) && !std::ferror(run.list)) {
    read_next_line(run, FILE_FIELD_LIMIT);
    if (run.fieldCount >= MIN_FILE_FIELDS) process_file_line(run);
  }
}
