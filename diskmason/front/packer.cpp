#include "diskmason/front/packer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "diskmason/front/fields.h"
#include "diskmason/front/list_reader.h"
#include "diskmason/front/records.h"
#include "diskmason/front/utf8_path.h"
#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/dcp_writer.h"
#include "diskmason/image/dir_entries.h"
#include "diskmason/tree/dir_tree.h"
#include "diskmason/tree/index_pool.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint32_t LINE_LIMIT = 512;
constexpr std::uint32_t HEADER_FIELDS = 17;
constexpr std::uint32_t MIN_HEADER_FIELDS = 12;
constexpr std::uint32_t FILE_FIELDS = 7;
constexpr std::uint32_t MIN_FILE_FIELDS = 5;
constexpr std::uint32_t FIRST_RECORDS = 128;
constexpr std::uint8_t DIRECTORY_ATTRIBUTE = 0x10;
constexpr std::uint32_t NO_NAME = 0xFFFFFFFF;

// Where a node's image path, as written in the file list, can be read back:
// string `pathIndex` of the image-path pool, its first `length` bytes.
struct ImageName {
  std::uint32_t pathIndex;
  std::uint32_t length;
};

struct FileIdentity {
  bool known;
  dev_t device;
  ino_t inode;
};

struct Run {
  const char* listPath;
  const char* imagePath;
  std::FILE* list;
  bool good;
  std::uint8_t line[LINE_LIMIT + 1];
  FieldSpan fields[HEADER_FIELDS];
  DiskParams params;
  std::uint32_t trackCount;
  std::uint8_t* boot;
  std::uint32_t bootLength;
  FileInfo* infos;
  ImageName* names;
  std::uint32_t capacity;
  StringPool hostPaths;
  StringPool imagePaths;
  IndexPool pool;
  DirNode root;
  FileIdentity image;
  std::uint32_t lineDateTime;
};

std::uint32_t ceil_div(std::uint32_t a, std::uint32_t b) { return (a + b - 1) / b; }

const std::uint8_t* field_text(const Run& run, std::uint32_t i) {
  return run.line + run.fields[i].offset;
}

std::uint32_t field_number(const Run& run, std::uint32_t i) {
  return decode_number(field_text(run, i), run.fields[i].length);
}

// Ends field i with a zero byte in the line buffer and returns it as a string.
const char* terminate_field(Run& run, std::uint32_t i) {
  run.line[run.fields[i].offset + run.fields[i].length] = 0;
  return reinterpret_cast<const char*>(field_text(run, i));
}

void report(const char* format, const char* a, const char* b = "", const char* c = "") {
  std::printf(format, a, b, c);
  std::fflush(stdout);
}

FileIdentity identity_of(std::FILE* stream) {
  struct stat info;
  if (fstat(fileno(stream), &info) != 0) return FileIdentity{false, 0, 0};
  return FileIdentity{true, info.st_dev, info.st_ino};
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

// Refuses a stream that is the image file itself, before the image is truncated.
bool differs_from_image(Run& run, std::FILE* stream, const char* name) {
  if (!same_file(identity_of(stream), run.image)) return true;
  report("DISKMASON in file list %s: image %s would overwrite %s\n", run.listPath, run.imagePath,
         name);
  return false;
}

// Grows the FileInfo and image-name arrays by doubling until record fits.
bool ensure_record(Run& run, std::uint32_t record) {
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
  Run& run = *static_cast<Run*>(context);
  std::uint32_t record = index >> 1;
  if (!ensure_record(run, record)) return false;
  run.infos[record] = FileInfo{DIRECTORY_ATTRIBUTE, run.lineDateTime, START_NOT_FIXED, 0, 0};
  run.names[record] = ImageName{NO_NAME, 0};
  return true;
}

void read_header(Run& run, std::uint32_t count) {
  DiskParams& p = run.params;
  p.diskType = static_cast<std::uint8_t>(field_number(run, 1));
  run.trackCount = field_number(run, 2) & 0xFF;
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
  if (p.formatLevel >= 30 && count >= 15) {
    p.sectorsPerTrack = static_cast<std::uint16_t>(field_number(run, 12));
    p.headCount = static_cast<std::uint16_t>(field_number(run, 13));
    p.hiddenSectors = static_cast<std::uint16_t>(field_number(run, 14));
  }
}

// Sizes every later step divides by; refused with a message when unusable.
bool check_sizes(Run& run) {
  const DiskParams& p = run.params;
  const char* zero = p.bytesPerSector == 0      ? "bytes per sector"
                     : p.sectorsPerCluster == 0 ? "sectors per cluster"
                     : p.sectorsPerTrack == 0   ? "sectors per track"
                                                : nullptr;
  if (zero != nullptr) {
    report("DISKMASON in file list %s: the header gives 0 %s\n", run.listPath, zero);
    return false;
  }
  if (p.bytesPerSector % DIR_ENTRY_SIZE != 0) {
    std::printf("DISKMASON in file list %s: %u bytes per sector is not a multiple of 32\n",
                run.listPath, unsigned{p.bytesPerSector});
    std::fflush(stdout);
    return false;
  }
  return true;
}

bool read_boot_file(Run& run) {
  const char* path = terminate_field(run, 0);
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  bool ok = differs_from_image(run, file, path);
  long length = -1;
  if (ok && std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  ok = ok && length >= 0 && static_cast<unsigned long>(length) <= 0xFFFFFFFFul &&
       std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    run.boot = static_cast<std::uint8_t*>(heap_alloc(length == 0 ? 1 : std::size_t(length)));
    ok = run.boot != nullptr;
  }
  if (ok) {
    run.bootLength = static_cast<std::uint32_t>(std::fread(run.boot, 1, std::size_t(length), file));
  }
  std::fclose(file);
  return ok;
}

// Records the image path of the file at `record` and of every directory
// created for it: the path up to the matching "/".
void name_nodes(Run& run, const FileNode* file, std::uint32_t pathIndex, const char* path,
                std::uint32_t length) {
  run.names[file->index >> 1] = ImageName{pathIndex, length};
  std::uint32_t depth = 0;
  for (const DirNode* dir = file->parent; dir != nullptr && dir->parent != nullptr;
       dir = dir->parent) {
    ++depth;
  }
  for (const DirNode* dir = file->parent; depth != 0; dir = dir->parent, --depth) {
    ImageName& name = run.names[dir->index >> 1];
    if (name.pathIndex != NO_NAME) continue;
    std::uint32_t slashes = 0;
    std::uint32_t at = 0;
    while (at < length && !(path[at] == '/' && ++slashes == depth)) ++at;
    name = ImageName{pathIndex, at};
  }
}

void process_file_line(Run& run, std::uint32_t count) {
  const char* hostPath = terminate_field(run, 0);
  std::FILE* file = open_utf8_path(hostPath, "rb");
  long size = -1;
  if (file != nullptr) {
    if (!differs_from_image(run, file, hostPath)) {
      std::fclose(file);
      run.good = false;
      return;
    }
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    std::fclose(file);
  }
  if (size < 0) {
    report("DISKMASON in file list %s: file %s could not be opened\n", run.listPath, hostPath);
    return;
  }
  if (static_cast<unsigned long>(size) > 0xFFFFFFFFul) {
    report("DISKMASON in file list %s: file %s is too large for a disk\n", run.listPath, hostPath);
    run.good = false;
    return;
  }
  std::uint32_t dateTime = decode_date_time(field_text(run, 2), run.fields[2].length,
                                            field_text(run, 3), run.fields[3].length);
  std::uint8_t attributes = decode_attributes(field_text(run, 4), run.fields[4].length);
  std::uint32_t hostIndex = run.hostPaths.count;
  if (!string_pool_append(run.hostPaths, reinterpret_cast<const std::uint8_t*>(hostPath),
                          run.fields[0].length + 1)) {
    run.good = false;
    return;
  }
  const char* imagePath = terminate_field(run, 1);
  std::uint16_t start = START_NOT_FIXED;
  if (count >= 6) start = static_cast<std::uint16_t>(field_number(run, 5));

  std::uint32_t imageIndex = run.imagePaths.count;
  std::uint32_t imageLength = run.fields[1].length;
  if (!string_pool_append(run.imagePaths, reinterpret_cast<const std::uint8_t*>(imagePath),
                          imageLength + 1)) {
    run.good = false;
    return;
  }
  run.lineDateTime = dateTime;
  FileNode* node = add_path(&run.root, imagePath, run.pool, on_directory_created, &run);
  if (node == nullptr || !ensure_record(run, node->index >> 1)) {
    run.good = false;
    return;
  }
  run.infos[node->index >> 1] =
      FileInfo{attributes, dateTime, start, static_cast<std::uint32_t>(size), hostIndex};
  name_nodes(run, node, imageIndex, imagePath, imageLength);
}

// The image path of a node as the file list wrote it (NUL-terminated copy).
void copy_image_name(const Run& run, const FileNode* node, char* out, std::size_t capacity) {
  const ImageName& name = run.names[node->index >> 1];
  if (name.pathIndex == NO_NAME) {
    out[0] = 0;
    return;
  }
  const char* text =
      reinterpret_cast<const char*>(run.imagePaths.text) + run.imagePaths.spans[name.pathIndex].offset;
  std::size_t length = std::min<std::size_t>(name.length, capacity - 1);
  std::memcpy(out, text, length);
  out[length] = 0;
}

struct ShortName {
  std::uint8_t bytes[11];
  std::uint32_t order;
  const FileNode* node;
};

// The 11 name bytes a node's directory entry will carry.
void short_name_of(const FileNode* node, std::uint8_t* bytes) {
  char base[9];
  char ext[4];
  split_short_name(entry_name(node), base, 8, ext, 3);
  std::uint8_t entry[DIR_ENTRY_SIZE];
  FileInfo none{};
  build_dir_entry(entry, base, ext, none);
  std::memcpy(bytes, entry, 11);
}

// Refuses two children of one directory whose entries would carry the same
// 11-byte name; on the disk one would hide the other.
bool check_short_names(Run& run, const DirNode* dir) {
  std::uint32_t count = dir->fileCount + dir->subdirCount;
  if (count < 2) {
    for (std::uint32_t s = 0; s < dir->subdirCapacity; ++s) {
      if (dir->subdirs[s].nameId != NO_SLOT && !check_short_names(run, &dir->subdirs[s])) return false;
    }
    return true;
  }
  auto* names = static_cast<ShortName*>(heap_alloc(std::size_t{count} * sizeof(ShortName)));
  if (names == nullptr) return false;
  std::uint32_t n = 0;
  auto add = [&](const FileNode* node) {
    if (n == count) return;
    short_name_of(node, names[n].bytes);
    names[n].order = node->index;
    names[n].node = node;
    ++n;
  };
  for (std::uint32_t s = 0; s < dir->subdirCapacity; ++s) {
    if (dir->subdirs[s].nameId != NO_SLOT) add(&dir->subdirs[s]);
  }
  for (std::uint32_t s = 0; s < dir->fileCapacity; ++s) {
    if (dir->files[s].nameId != NO_SLOT) add(&dir->files[s]);
  }
  std::sort(names, names + n, [](const ShortName& a, const ShortName& b) {
    int c = std::memcmp(a.bytes, b.bytes, 11);
    return c != 0 ? c < 0 : a.order < b.order;
  });
  bool ok = true;
  for (std::uint32_t i = 1; ok && i < n; ++i) {
    if (std::memcmp(names[i - 1].bytes, names[i].bytes, 11) != 0) continue;
    char first[LINE_LIMIT + 1];
    char second[LINE_LIMIT + 1];
    copy_image_name(run, names[i - 1].node, first, sizeof first);
    copy_image_name(run, names[i].node, second, sizeof second);
    report("DISKMASON in file list %s: %s and %s have the same short name on the disk\n",
           run.listPath, first, second);
    ok = false;
  }
  heap_free(names);
  for (std::uint32_t s = 0; ok && s < dir->subdirCapacity; ++s) {
    if (dir->subdirs[s].nameId != NO_SLOT) ok = check_short_names(run, &dir->subdirs[s]);
  }
  return ok;
}

// The root's entries and end marker must fit its R sectors.
bool check_root_size(Run& run, std::uint32_t rootSectors) {
  const DiskParams& p = run.params;
  std::uint32_t entries = run.root.fileCount + run.root.subdirCount;
  std::uint64_t needed = (std::uint64_t{entries} + 1) * DIR_ENTRY_SIZE;
  std::uint64_t room = std::uint64_t{rootSectors} * p.bytesPerSector;
  if (needed <= room) return true;
  if (room < DIR_ENTRY_SIZE) {
    // Not even the end marker fits: there is no count of entries to compare with.
    report("DISKMASON in file list %s: the header gives 0 root directory entries\n", run.listPath);
    return false;
  }
  std::printf(
      "DISKMASON in file list %s: too many entries in the root directory (%u vs %u max)\n",
      run.listPath, entries, static_cast<unsigned>(room / DIR_ENTRY_SIZE) - 1);
  std::fflush(stdout);
  return false;
}

// Runs the three allocation passes; returns N, or 0 when memory ran out.
std::uint32_t lay_out(Run& run) {
  auto* map = static_cast<std::uint8_t*>(heap_alloc(CLUSTER_MAP_SIZE));
  if (map == nullptr) return 0;
  std::memset(map, 0, CLUSTER_MAP_SIZE);
  std::uint32_t clusterSize = std::uint32_t{run.params.sectorsPerCluster} * run.params.bytesPerSector;
  mark_fixed_clusters(&run.root, clusterSize, map, run.infos);
  std::uint32_t next = allocate_clusters(&run.root, 2, clusterSize, map, DIRECTORY_PASS, run.infos);
  if (next != 0xFFFFFFFF) {
    next = allocate_clusters(&run.root, next, clusterSize, map, FILE_PASS, run.infos);
  }
  heap_free(map);
  return next == 0xFFFFFFFF ? 0 : next;
}

// Tracks the disk needs; refuses more than DCP_TRACKS.
bool compute_geometry(Run& run, std::uint32_t lastCluster, std::uint32_t rootSectors) {
  DiskParams& p = run.params;
  std::uint32_t sectors = std::uint32_t{p.fatCount} * p.sectorsPerFat + rootSectors +
                          std::uint32_t{p.sectorsPerCluster} * lastCluster + 1;
  std::uint32_t tracks = ceil_div(sectors, p.sectorsPerTrack);
  if (tracks > run.trackCount) run.trackCount = tracks;
  std::uint32_t present = run.trackCount < DCP_TRACKS ? run.trackCount : DCP_TRACKS;
  for (std::uint32_t t = 0; t < DCP_TRACKS; ++t) p.trackPresent[t] = t < present ? 1 : 0;
  p.allTracksPresent = present == DCP_TRACKS ? 1 : 0;
  if (run.trackCount <= DCP_TRACKS) return true;
  std::printf(
      "File list %s has too much data for the DCP format (%u sectors vs %u max with 160 tracks).\n",
      run.listPath, sectors, std::uint32_t{p.sectorsPerTrack} * DCP_TRACKS);
  std::fflush(stdout);
  return false;
}

void on_host_file(void* context, const char* hostPath, HostFileProblem problem) {
  const Run& run = *static_cast<const Run*>(context);
  if (problem == HostFileProblem::CannotOpen) {
    report("DISKMASON in file list %s: file %s could not be opened again to write the image\n",
           run.listPath, hostPath);
  } else {
    report("DISKMASON in file list %s: file %s became shorter after it was measured\n",
           run.listPath, hostPath);
  }
}

bool write_image(Run& run) {
  std::FILE* out = std::fopen(run.imagePath, "wb");
  if (out == nullptr) return false;
  // A larger stream buffer when one can be had: the image goes out in a few
  // big writes instead of one per 4 KB.
  constexpr std::size_t OUTPUT_BUFFER_SIZE = 1 << 16;
  auto* streamBuffer = static_cast<char*>(heap_alloc(OUTPUT_BUFFER_SIZE));
  if (streamBuffer != nullptr) std::setvbuf(out, streamBuffer, _IOFBF, OUTPUT_BUFFER_SIZE);
  std::uint32_t outcome = write_dcp_image(out, run.params, &run.root, run.hostPaths, run.boot,
                                          run.bootLength, run.infos, on_host_file, &run);
  if (std::fclose(out) != 0) outcome |= DCP_WRITE_FAILED;
  heap_free(streamBuffer);
  if ((outcome & DCP_NO_MEMORY) != 0) {
    report("DISKMASON in file list %s: not enough memory to write image %s\n", run.listPath,
           run.imagePath);
  } else if ((outcome & DCP_WRITE_FAILED) != 0) {
    report("DISKMASON in file list %s: image %s could not be written\n", run.listPath,
           run.imagePath);
  }
  return outcome == 0;
}

// Everything after the header: boot file, records, file lines, checks,
// layout, geometry and the image, each step only while the run is good.
void pack(Run& run, std::uint32_t headerFields) {
  read_header(run, headerFields);
  run.good = check_sizes(run) && read_boot_file(run);
  if (run.good) {
    run.infos = static_cast<FileInfo*>(heap_alloc(FIRST_RECORDS * sizeof(FileInfo)));
    run.names = static_cast<ImageName*>(heap_alloc(FIRST_RECORDS * sizeof(ImageName)));
    run.good = run.infos != nullptr && run.names != nullptr &&
               string_pool_init(run.hostPaths, 4096, 128) &&
               string_pool_init(run.imagePaths, 4096, 128) && init(run.pool, 128) &&
               init_directory(&run.root, 8, 64, run.pool);
  }
  if (run.good) {
    run.capacity = FIRST_RECORDS;
    for (std::uint32_t i = 0; i < FIRST_RECORDS; ++i) run.names[i] = ImageName{NO_NAME, 0};
    run.infos[0] = FileInfo{DIRECTORY_ATTRIBUTE, 0, 0, 0, 0};
  }
  while (run.good && !std::feof(run.list) && !std::ferror(run.list)) {
    std::uint32_t length = LINE_LIMIT;
    read_list_line(run.list, run.line, &length);
    std::uint32_t count = split_fields(run.line, length, run.fields, FILE_FIELDS);
    if (count >= MIN_FILE_FIELDS) process_file_line(run, count);
  }
  // Sizes were checked when the run flag was set: no division by 0 below.
  if (!run.good) return;
  const DiskParams& p = run.params;
  std::uint32_t rootSectors = ceil_div(std::uint32_t{p.rootEntries} * DIR_ENTRY_SIZE, p.bytesPerSector);
  run.good = check_root_size(run, rootSectors) && check_short_names(run, &run.root);
  std::uint32_t lastCluster = 0;
  if (run.good) {
    lastCluster = lay_out(run);
    run.good = lastCluster != 0;
  }
  if (run.good) run.good = compute_geometry(run, lastCluster, rootSectors);
  if (run.good && lastCluster > FAT_CHAIN_LIMIT) {
    std::printf(
        "DISKMASON in file list %s: too much data for the FAT (clusters up to %u needed vs %u "
        "max)\n",
        run.listPath, lastCluster - 1, FAT_CHAIN_LIMIT - 1);
    std::fflush(stdout);
    run.good = false;
  }
  if (run.good) run.good = write_image(run);
}

}  // namespace

int run_packer(int argc, char** argv) {
  if (argc != 3) return 1;
  Run run{};
  run.listPath = argv[1];
  run.imagePath = argv[2];
  run.list = std::fopen(run.listPath, "rb");
  if (run.list == nullptr) return 1;

  struct stat imageInfo;
  if (stat(run.imagePath, &imageInfo) == 0) {
    run.image = FileIdentity{true, imageInfo.st_dev, imageInfo.st_ino};
  }
  if (differs_from_image(run, run.list, run.listPath)) {
    std::uint32_t length = LINE_LIMIT;
    read_list_line(run.list, run.line, &length);
    std::uint32_t count = split_fields(run.line, length, run.fields, HEADER_FIELDS);
    if (count >= MIN_HEADER_FIELDS) pack(run, count);
  }

  if (run.root.subdirs != nullptr) remove_node(&run.root, run.pool);
  heap_free(run.pool.links);
  if (run.hostPaths.text != nullptr) string_pool_release(run.hostPaths);
  if (run.imagePaths.text != nullptr) string_pool_release(run.imagePaths);
  heap_free(run.names);
  heap_free(run.infos);
  heap_free(run.boot);
  std::fclose(run.list);
  return run.good ? 0 : 1;
}
