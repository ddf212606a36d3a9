// One run of the packer and the steps it is made of: read the file list's
// header and boot file, read the file lines into the tree (measuring each
// host file), check and lay out the disk, write the image, the map and the
// dependency file. Every step after the header line runs only while the
// run is good.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diskmason/container/container.h"
#include "diskmason/driver/disk_rules.h"
#include "diskmason/driver/host_files.h"
#include "diskmason/driver/list_reader.h"
#include "diskmason/model/disk_params.h"
#include "diskmason/model/entry_tree.h"
#include "diskmason/volume/geometry.h"
#include "textconv/file_identity.h"
#include "textconv/reporter.h"
#include "textconv/sjis_reverse.h"

// The fields of a file line.
enum FileLineField : std::uint32_t {
  HOST_PATH = 0,
  IMAGE_PATH = 1,
  DATE = 2,
  TIME = 3,
  ATTRIBUTES = 4,
  START_CLUSTER = 5,  // optional
};

// What the command line asks for.
struct PackOptions {
  const char* listPath;
  const char* imagePath;
  ImageFormat format;       // --format, dcp by default
  bool pad;                 // write every sector of the present tracks
  const char* depfilePath;  // --depfile, or nullptr
  const char* mapPath;      // --map ("-": standard output), or nullptr
  const char* directory;    // -C: where the boot file and host paths are read, or nullptr
};

// The outputs a run may write, and what they are before it writes them.
enum OutputKind : std::uint32_t { IMAGE_OUTPUT, MAP_OUTPUT, DEPFILE_OUTPUT, OUTPUT_KINDS };

// The file list, read a line at a time. A line longer than the buffer is
// read in pieces; columnBase counts the bytes of its earlier pieces.
struct ListCursor {
  std::FILE* stream;
  std::uint8_t line[LIST_LINE_LIMIT + 1];
  FieldSpan fields[HEADER_FIELD_LIMIT];
  std::uint32_t fieldCount;
  std::uint32_t length;  // bytes of the piece read
  std::uint32_t lineNumber;
  std::uint32_t columnBase;
  bool lineEnded;  // the last piece read ended its line
};

struct PackRun {
  PackOptions options;
  Reporter reporter;
  ListCursor list;
  FileIdentity outputs[OUTPUT_KINDS];  // each output's file, when it exists already
  Disk disk;
  KeptHostFiles hostFiles;
  // What makes the run fail once the list is read, though it reads on.
  std::uint32_t badNumbers;
  std::uint32_t missingHostFiles;
  bool shiftJisList;  // image paths that read as Shift-JIS, not UTF-8
  bool pathHintGiven;
  SjisReverse reverse;  // built when a stored name is first shown
  bool good;
};

// Field i of the current line: its bytes, its decoded number (one that does
// not decode is reported, counted and taken as BAD_NUMBER), and its text
// ended with a zero byte in the line buffer.
const std::uint8_t* field_text(const PackRun& run, std::uint32_t i);
std::uint32_t field_number(PackRun& run, std::uint32_t i);
const char* terminate_field(PackRun& run, std::uint32_t i);

// Places for findings: the list itself, the current line, byte `offset` of
// field i of the current line, field i of the header line.
SourcePlace list_place(const PackRun& run);
SourcePlace line_place(const PackRun& run);
SourcePlace field_place(const PackRun& run, std::uint32_t i, std::uint32_t offset = 0);
SourcePlace header_place(const PackRun& run, std::uint32_t i);

// "DISKMASON in file list LIST: " and the formatted rest of the line, on
// standard output.
void report_problem(PackRun& run, const char* format, ...) TK_PRINTF(2, 3);
// Explains a failure to get memory for `task`.
void explain_no_memory(PackRun& run, const char* task);
// False, with a message, when the stream is one of the outputs: no output
// may overwrite an input.
bool differs_from_outputs(PackRun& run, std::FILE* stream, const char* name);
bool differs_from_outputs(PackRun& run, const FileIdentity& input, const char* name);
// The path a boot or host path of the list is read from: under -C DIR a
// relative one is taken from DIR.
std::string input_path(const PackRun& run, const char* listed);
// After a boot or host file that does not exist, once: the hint that these
// paths are read from the current folder, and -C to read them from another.
void hint_input_folder(PackRun& run, const char* listed, int error);
// The stored 8.3 name of an entry in UTF-8; empty when the reverse of the
// conversion table cannot be had.
void show_stored_name(PackRun& run, const std::uint8_t* shortName, char* out, std::size_t capacity);
bool stored_names_readable(PackRun& run);

// The header line and the boot file (list_header.cpp). read_header_line is
// false when the line has too few fields; check_sizes refuses, with a
// message, sizes that later steps would divide by.
void read_next_line(PackRun& run, std::uint32_t fieldLimit);
bool read_header_line(PackRun& run);
bool check_sizes(PackRun& run);
bool read_boot_file(PackRun& run);

// The file lines, each while the run is good (list_lines.cpp).
void read_file_lines(PackRun& run);

// Warnings about what a file line says (line_warnings.cpp): a line longer
// than the buffer, a line read as a file line although it starts with "#",
// odd fields of an accepted line, the names of the entries it made.
void check_line_length(PackRun& run);
void check_note_line(PackRun& run);
// A line of fewer than 5 fields is skipped: one that looks like a file line
// (its first field names a file, or its third is a date) is warned about,
// as is a quote left open on any line.
void check_skipped_line(PackRun& run);
void check_quotes(PackRun& run);
// An image path that is not UTF-8 but reads as Shift-JIS fails the run:
// upper-casing would garble its names. Said once per list.
void check_path_encoding(PackRun& run);
void check_file_fields(PackRun& run, std::uint32_t size);
void check_new_names(PackRun& run, std::uint32_t first, std::uint32_t end);
// A header whose reserved sectors differ from the boot area; after the
// layout, fixed runs that overlap or pass totalSectors and a root fuller
// than the header's count (false when memory ran out).
void warn_about_header(PackRun& run);
bool warn_about_layout(PackRun& run);

// The checks and the layout (disk_checks.cpp), each reporting the rule of
// disk_rules.h it finds broken: before the layout the root's entries must
// fit its sectors and no two entries of a folder may share a short name;
// lay_out places the clusters, orders the entries and plans the container;
// check_layout then refuses what layout_refusal finds.
bool check_root_size(PackRun& run);
bool check_short_names(PackRun& run);
bool lay_out(PackRun& run);
bool check_layout(PackRun& run);

// Writes every output asked for, each to a temporary replaced whole once all
// are written, the image last; false, with a message, when one cannot be
// (write_outputs.cpp). write_depfile_rule writes the dependency file's rule
// (depfile.cpp).
bool write_outputs(PackRun& run);
bool write_depfile_rule(const PackRun& run, std::FILE* out);
