// The file lines: each host file measured, its path kept, its image path
// entered into the tree and its record filled.
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

// Grows the FileInfo and image-name arrays by doubling until record fits.
bool ensure_record(PackerRun& run, std::uint32_t record) {
  if (record < run.capacity) return true;
  std::uint64_t capacity = run.capacity == 0 ? 1 : run.capacity;
  while (capacity <= record) capacity *= 2;
  void* infos = heap_realloc(run.infos, capacity * sizeof(FileInfo));
  if (infos == nullptr) return false;
  run.infos = static_cast<FileInfo*>(infos);
  void* names = heap_realloc(run.names, capacity * sizeof(ImageName));
  if (names == nullptr) return false;
  run.names = static_cast<ImageName*>(names);
  for (std::uint64_t i = run.capacity; i < capacity; ++i) run.names[i] = ImageName{NO_NAME, 0};
  run.capacity = static_cast<std::uint32_t>(capacity);
  return true;
}

// Fills the record of each directory that add_path creates.
bool on_directory_created(void* context, std::uint32_t index) {
  PackerRun& run = *static_cast<PackerRun*>(context);
  std::uint32_t record = record_of(index);
  if (!ensure_record(run, record)) return false;
  run.infos[record] = FileInfo{DIRECTORY_ATTRIBUTE, run.lineDateTime, START_NOT_FIXED, 0, 0};
  run.names[record] = ImageName{NO_NAME, 0};
  return true;
}

// Records the image path of a file and of every directory created for it:
// the path up to the matching "/".
void name_nodes(PackerRun& run, const FileNode* file, std::uint32_t pathIndex, const char* path,
                std::uint32_t length) {
  run.names[record_of(file)] = ImageName{pathIndex, length};
  std::uint32_t depth = 0;
  for (const DirNode* dir = file->parent; dir != nullptr && dir->parent != nullptr;
       dir = dir->parent) {
    ++depth;
  }
  for (const DirNode* dir = file->parent; depth != 0; dir = dir->parent, --depth) {
    ImageName& name = run.names[record_of(dir)];
    if (name.pathIndex != NO_NAME) continue;
    std::uint32_t slashes = 0;
    std::uint32_t at = 0;
    while (at < length && !(path[at] == '/' && ++slashes == depth)) ++at;
    name = ImageName{pathIndex, at};
  }
}

bool append_string(StringPool& pool, const char* text, std::uint32_t length) {
  return string_pool_append(pool, reinterpret_cast<const std::uint8_t*>(text), length);
}

// A host file that cannot be read is reported and its line skipped; one that
// is the image or too large ends the run.
bool accept_host_file(PackerRun& run, HostFileSize host, const char* hostPath) {
  switch (host.state) {
    case HostFileState::Measured:
      return true;
    case HostFileState::CannotOpen:
      report_problem(run, "file %s could not be opened\n", hostPath);
      return false;
    case HostFileState::IsImage:
      report_overwrite(run, hostPath);
      break;
    case HostFileState::TooLarge:
      report_problem(run, "file %s is too large for a disk\n", hostPath);
      break;
  }
  run.good = false;
  return false;
}

// Enters the image path into the tree and fills the file's record.
void place_file(PackerRun& run, const FileInfo& info, const char* imagePath) {
  std::uint32_t imageIndex = run.imagePaths.count;
  std::uint32_t imageLength = run.fields[IMAGE_PATH].length;
  if (!append_string(run.imagePaths, imagePath, imageLength + 1)) {
    run.good = false;
    return;
  }
  run.lineDateTime = info.dateTime;
  FileNode* node = add_path(&run.root, imagePath, run.pool, on_directory_created, &run);
  if (node == nullptr || !ensure_record(run, record_of(node))) {
    run.good = false;
    return;
  }
  run.infos[record_of(node)] = info;
  name_nodes(run, node, imageIndex, imagePath, imageLength);
}

void process_file_line(PackerRun& run) {
  const char* hostPath = terminate_field(run, HOST_PATH);
  HostFileSize host = measure_host_file(hostPath, run.image);
  if (!accept_host_file(run, host, hostPath)) return;
  FileInfo info{};
  info.dateTime = decode_date_time(field_text(run, DATE), run.fields[DATE].length,
                                   field_text(run, TIME), run.fields[TIME].length);
  info.attributes = decode_attributes(field_text(run, ATTRIBUTES), run.fields[ATTRIBUTES].length);
  info.size = host.size;
  info.hostPathIndex = run.hostPaths.count;
  if (!append_string(run.hostPaths, hostPath, run.fields[HOST_PATH].length + 1)) {
    run.good = false;
    return;
  }
  const char* imagePath = terminate_field(run, IMAGE_PATH);
  info.startCluster = START_NOT_FIXED;
  if (run.fieldCount > START_CLUSTER) {
    info.startCluster = static_cast<std::uint16_t>(field_number(run, START_CLUSTER));
  }
  place_file(run, info, imagePath);
}

}  // namespace

bool start_records(PackerRun& run) {
  run.infos = static_cast<FileInfo*>(heap_alloc(FIRST_RECORDS * sizeof(FileInfo)));
  run.names = static_cast<ImageName*>(heap_alloc(FIRST_RECORDS * sizeof(ImageName)));
  bool ok = run.infos != nullptr && run.names != nullptr &&
            string_pool_init(run.hostPaths, FIRST_PATH_BYTES, FIRST_PATHS) &&
            string_pool_init(run.imagePaths, FIRST_PATH_BYTES, FIRST_PATHS) &&
            init(run.pool, FIRST_INDICES) &&
            init_directory(&run.root, ROOT_SUBDIR_SLOTS, ROOT_FILE_SLOTS, run.pool);
  if (!ok) return false;
  run.capacity = FIRST_RECORDS;
  for (std::uint32_t i = 0; i < FIRST_RECORDS; ++i) run.names[i] = ImageName{NO_NAME, 0};
  // The root's record, read for the ".." entries of its subdirectories.
  run.infos[0] = FileInfo{DIRECTORY_ATTRIBUTE, 0, 0, 0, 0};
  return true;
}

void read_file_lines(PackerRun& run) {
  while (run.good && !std::feof(run.list) && !std::ferror(run.list)) {
    std::uint32_t length = LIST_LINE_LIMIT;
    read_list_line(run.list, run.line, &length);
    run.fieldCount = split_fields(run.line, length, run.fields, FILE_FIELD_LIMIT);
    if (run.fieldCount >= MIN_FILE_FIELDS) process_file_line(run);
  }
}
