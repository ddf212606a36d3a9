// The state of one packer run and the steps it is made of, shared by the
// driver's files. Every step after the header line runs only while the run
// flag `good` is true; release_run always runs.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diskmason/front/host_files.h"
#include "diskmason/front/list_reader.h"
#include "diskmason/front/records.h"
#include "diskmason/image/disk_geometry.h"
#include "diskmason/tree/dir_tree.h"
#include "diskmason/tree/index_pool.h"

#if defined(__GNUC__)
#define PACKER_PRINTF(formatArg, firstArg) __attribute__((format(printf, formatArg, firstArg)))
#else
#define PACKER_PRINTF(formatArg, firstArg)
#endif

// The fields of a file line.
enum FileLineField : std::uint32_t {
  HOST_PATH = 0,
  IMAGE_PATH = 1,
  DATE = 2,
  TIME = 3,
  ATTRIBUTES = 4,
  START_CLUSTER = 5,  // optional
};

// Where a node's image path, as the file list wrote it, can be read back:
// string `pathIndex` of the image-path pool, its first `length` bytes.
struct ImageName {
  std::uint32_t pathIndex;
  std::uint32_t length;
};
constexpr std::uint32_t NO_NAME = 0xFFFFFFFF;  // pathIndex of a node not named yet

struct PackerRun {
  const char* listPath;
  const char* imagePath;
  std::FILE* list;
  FileIdentity image;  // the image file, when it exists already
  bool good;
  // The line being read and its fields.
  std::uint8_t line[LIST_LINE_LIMIT + 1];
  FieldSpan fields[HEADER_FIELD_LIMIT];
  std::uint32_t fieldCount;
  // The disk.
  DiskParams params;
  std::uint32_t headerTracks;  // header field 2, the least track count
  DiskGeometry geometry;
  std::uint8_t* boot;
  std::uint32_t bootLength;
  // One FileInfo and one ImageName per tree node, numbered by record_of.
  FileInfo* infos;
  ImageName* names;
  std::uint32_t capacity;
  StringPool hostPaths;
  StringPool imagePaths;
  IndexPool pool;
  DirNode root;
  std::uint32_t lineDateTime;  // of the file line being placed
};

// Field i of the line, its bytes and its decoded number.
const std::uint8_t* field_text(const PackerRun& run, std::uint32_t i);
std::uint32_t field_number(const PackerRun& run, std::uint32_t i);
// Ends field i with a zero byte in the line buffer and returns it as a string.
const char* terminate_field(PackerRun& run, std::uint32_t i);

// Prints "DISKMASON in file list LIST: " and the formatted rest of the line.
void report_problem(const PackerRun& run, const char* format, ...) PACKER_PRINTF(2, 3);
// Prints a whole formatted line.
void report(const char* format, ...) PACKER_PRINTF(1, 2);
// False, with a message, when the stream is the image file itself: the image
// must not overwrite an input.
bool differs_from_image(const PackerRun& run, std::FILE* stream, const char* name);
void report_overwrite(const PackerRun& run, const char* name);

// The header line and the boot file (packer_header.cpp). read_header_line is
// false when the line has too few fields; check_sizes refuses, with a
// message, sizes that later steps would divide by.
bool read_header_line(PackerRun& run);
bool check_sizes(const PackerRun& run);
bool read_boot_file(PackerRun& run);

// The file lines (packer_lines.cpp): the records, path pools, index pool and
// root are made first; then every line is read while the run is good.
bool start_records(PackerRun& run);
void read_file_lines(PackerRun& run);

// Before the layout the root's entries must fit its sectors and no two
// children of a directory may share a short name; lay_out places the
// clusters and measures the disk; after it the data must fit 160 tracks and
// end where the FAT can chain it (packer_checks.cpp).
bool check_root_size(const PackerRun& run);
bool check_short_names(const PackerRun& run, const DirNode* dir);
bool lay_out(PackerRun& run);
bool check_track_limit(const PackerRun& run);
bool check_fat_reach(const PackerRun& run);

// Writes the image file; false, with a message, when the writer failed
// (packer_image.cpp).
bool write_image(PackerRun& run);
