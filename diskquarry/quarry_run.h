// One run of diskquarry and the steps it is made of: load the image file,
// recognise its format, read its volume, then list it, map it or extract
// it. Library code: every message goes through the run's Reporter.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "diskmason/container/image_reader.h"
#include "diskmason/volume/volume_reader.h"
#include "diskquarry/host_tree.h"
#include "diskquarry/image_file.h"
#include "textconv/reporter.h"
#include "textconv/sjis_reverse.h"

struct WholeOutput;

struct QuarryOptions {
  const char* imagePath;
  const char* mapPath;     // --map ("-": standard output), or nullptr
  const char* extractDir;  // --extract, or nullptr
  bool formatGiven;        // --format overrides recognition
  ImageFormat format;
};

struct QuarryRun {
  QuarryOptions options;
  Reporter reporter;
  ImageFileBytes file;                 // the whole image file
  std::span<const std::uint8_t> bytes;  // its bytes
  ImageFile image;
  std::vector<ContainerFinding> containerFindings;
  VolumeRead volume;
  SjisReverse reverse;
  std::vector<std::string> shown;  // by entry: its name as listings show it (no path: see entry_path)
};

// A warning about the image ("IMAGE: warning: ..."), and a note under --verbose.
void warn_image(QuarryRun& run, const char* format, ...) TK_PRINTF(2, 3);
void note_image(QuarryRun& run, const char* format, ...) TK_PRINTF(2, 3);
// Why the run failed ("IMAGE: error: ..."), shown unless --quiet.
void fail_image(QuarryRun& run, const char* format, ...) TK_PRINTF(2, 3);

// The pieces of an entry's bytes, up to `limit`, as they lie in the image
// (adjacent ones joined, nothing copied); returns their length.
std::uint64_t entry_pieces(const QuarryRun& run, std::uint32_t entry, std::uint64_t limit,
                           std::vector<BytePiece>& pieces);

// The reverse of the conversion table for the names of the volume read:
// the whole table, or where every name is of ASCII bytes that read as
// themselves, just those; false when memory ran out.
bool build_name_table(QuarryRun& run);

// The image's sectors as the volume reader takes them.
SectorSource image_sectors(const QuarryRun& run);

// Reads the volume again with the FAT copies after `bootSectors` sectors;
// false, with a message, when it cannot be read.
bool read_image_volume(QuarryRun& run, std::uint32_t bootSectors);

// A stored name (its Shift-JIS bytes) as listings show it: UTF-8, a byte
// without a character as \xNN, a backslash as \\, control bytes as \xNN.
std::string shown_name(const QuarryRun& run, const std::string& sjis);

// The entry's path as listings show it ("DOCS/A.TXT"), made from its
// folders' names when asked. No path is kept: memory follows the image's
// entries, not their depth times their number.
std::string entry_path(const QuarryRun& run, std::uint32_t entry);

// The listing and the map (listing.cpp); false when the output failed. The
// map is replaced whole or not at all: write_map writes it to its
// temporary (or to standard output for "-"), place_map puts it in place,
// each false with a message; write_map_file does both.
bool write_listing(QuarryRun& run, std::FILE* out);
bool write_map(QuarryRun& run, WholeOutput& out);
bool place_map(QuarryRun& run, WholeOutput& out);
bool write_map_file(QuarryRun& run);

// --extract DIR (extract.cpp), with --map beside it written only when the
// files are and put in place with them: returns the exit status.
int extract_image(QuarryRun& run);
