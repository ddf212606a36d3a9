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
#include "textconv/diagnostics.h"
#include "textconv/sjis_reverse.h"

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

// Where a node comes from in the file list: its image path as the list
// wrote it (string `pathIndex` of the image-path pool, its first `length`
// bytes), the line that first named it and, for a file the list fixes, the
// column of its start cluster.
struct NodeOrigin {
  std::uint32_t pathIndex;
  std::uint32_t length;
  std::uint32_t line;
  std::uint32_t startColumn;  // 0: placed automatically
};
constexpr std::uint32_t NO_NAME = 0xFFFFFFFF;  // pathIndex of a node not named yet

struct PackerRun {
  const char* listPath;
  const char* imagePath;
  std::FILE* list;
  FileIdentity image;  // the image file, when it exists already
  bool good;
  bool pad;  // write every sector of the present tracks
  const char* depfilePath;  // --depfile, or nullptr
  const char* mapPath;      // --map ("-": standard output), or nullptr
  char* bootPath;           // a copy of header field 0, kept for the depfile
  Diagnostics diag;
  // The line being read, its place in the list and its fields. A line
  // longer than the buffer is read in pieces; columnBase counts the bytes
  // of its earlier pieces.
  std::uint8_t line[LIST_LINE_LIMIT + 1];
  FieldSpan fields[HEADER_FIELD_LIMIT];
  std::uint32_t fieldCount;
  std::uint32_t lineNumber;
  std::uint32_t columnBase;
  bool lineEnded;  // the last piece read ended its line
  FieldSpan headerFields[HEADER_FIELD_LIMIT];
  // What --strict counts besides warnings.
  std::uint32_t badNumbers;
  std::uint32_t missingHostFiles;
  // The disk.
  DiskParams params;
  std::uint32_t headerTracks;  // header field 2, the least track count
  DiskGeometry geometry;
  std::uint8_t* boot;
  std::uint32_t bootLength;
  // One FileInfo and one NodeOrigin per tree node, numbered by record_of.
  FileInfo* infos;
  NodeOrigin* origins;
  std::uint32_t capacity;
  StringPool hostPaths;
  KeptHostFiles keptHostFiles;  // measured host files still open, by host path index
  StringPool imagePaths;
  IndexPool pool;
  DirNode root;
  std::uint32_t lineDateTime;  // of the file line being placed
  SjisReverse reverse;         // built when a warning first shows a stored name
};

// Field i of the line, its bytes and its decoded number (a number that does
// not decode is reported, counted and taken as all-ones).
const std::uint8_t* field_text(const PackerRun& run, std::uint32_t i);
std::uint32_t field_number(PackerRun& run, std::uint32_t i);
// Ends field i with a zero byte in the line buffer and returns it as a string.
const char* terminate_field(PackerRun& run, std::uint32_t i);

// Places for diagnostics: the list itself, the line being read, byte
// `offset` of field i of that line, field i of the header line.
SourcePlace list_place(const PackerRun& run);
SourcePlace line_place(const PackerRun& run);
SourcePlace field_place(const PackerRun& run, std::uint32_t i, std::uint32_t offset = 0);
SourcePlace header_place(const PackerRun& run, std::uint32_t i);
// Explains, under --verbose, a failure to get memory for `task`.
void explain_no_memory(PackerRun& run, const char* task);

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
// read_next_line reads the next line, or the next piece of a long one, and
// splits it into at most fieldLimit fields.
bool start_records(PackerRun& run);
void read_file_lines(PackerRun& run);
void read_next_line(PackerRun& run, std::uint32_t fieldLimit);

// The image path of a node as the list wrote it, cut to capacity - 1 bytes;
// empty for a node not named yet.
void image_name_of(const PackerRun& run, const FileNode* node, char* out, std::size_t capacity);
// Explains why add_path refused the image path of the current line
// (packer_explain.cpp).
void explain_unplaced(PackerRun& run, const char* path);

// Warnings under --verbose (packer_warnings.cpp): a line longer than the
// buffer, a line read as a file line although it starts with "#", odd
// fields of an accepted file line, a header whose reserved sectors differ
// from the boot area; after the layout, fixed runs that overlap or pass
// totalSectors and a root fuller than the header's count. warn_about_layout
// is false when memory ran out.
void check_line_length(PackerRun& run);
void check_note_line(PackerRun& run);
void check_file_fields(PackerRun& run, std::uint32_t size);
void warn_about_header(PackerRun& run);
bool warn_about_layout(PackerRun& run);

// Warnings about component [start, end) of the current line's image path
// (packer_names.cpp). stored_names_readable builds, once, the reverse of the
// conversion table that shows stored names in UTF-8.
void check_component(PackerRun& run, std::uint32_t start, std::uint32_t end);
bool stored_names_readable(PackerRun& run);

// Before the layout the root's entries must fit its sectors and no two
// children of a directory may share a short name; lay_out places the
// clusters and measures the disk. After it, in this order: the data must
// fit 160 tracks and end where the FAT can chain it; no file fixed by the
// list may end past the 160 tracks; automatically placed data must end
// within totalSectors; the FAT copy must hold an entry for every cluster
// chained (packer_checks.cpp).
bool check_root_size(const PackerRun& run);
bool check_short_names(PackerRun& run, const DirNode* dir);
bool lay_out(PackerRun& run);
bool check_track_limit(PackerRun& run);
bool check_fat_reach(const PackerRun& run);
bool check_fixed_reach(const PackerRun& run);
bool check_disk_end(const PackerRun& run);
bool check_fat_size(const PackerRun& run);

// Writes the image file; false, with a message, when the writer failed
// (packer_image.cpp).
bool write_image(PackerRun& run);

// After the image, as asked: the dependency file (packer_depfile.cpp) and
// the layout map (packer_map.cpp); false, with a message, when one cannot
// be written.
bool write_depfile(PackerRun& run);
bool write_map(PackerRun& run);

// A node's stored 8.3 name as "BASE.EXT" in UTF-8 (packer_names.cpp); empty
// when the reverse of the conversion table cannot be had.
void show_short_name(PackerRun& run, const std::uint8_t* shortName, char* out, std::size_t capacity);
