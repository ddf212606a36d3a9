// What an extraction decides before it writes the file list: the header,
// the spelling and host name of every entry, which files the list fixes at
// their start cluster and the order of the lines; and the rebuild of the
// image from that list, in memory, to compare with the image read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diskmason/container/container.h"
#include "diskmason/model/disk_params.h"
#include "diskquarry/quarry_run.h"

// Counts of what the list cannot say, each warned about once.
struct Unsayable {
  std::uint32_t unspelled;    // names without a spelling that converts back
  std::uint32_t unordered;    // names no spelling sorts where the disk has them
  std::uint32_t folderDates;  // folders whose date no file line under them has
  std::uint32_t emptyFolders;
  std::uint32_t misplacedFolders;  // folders not where placement puts them
  std::uint32_t tooDeep;           // files and folders whose lines would be too long
  std::string firstUnspelled, firstUnordered, firstFolderDate, firstEmptyFolder, firstMisplaced, firstTooDeep;
};

struct ExtractPlan {
  DiskParams params;  // the header; the boot file is boot.bin
  bool pad;
  ImageFormat format;
  std::vector<std::uint8_t> boot;      // the boot area, as boot.bin
  std::vector<std::string> spelled;    // by entry: its name as the list writes it, UTF-8
  std::vector<bool> listed;            // by entry: a file on a line of the list, or a folder a line makes
  std::vector<std::string> hostName;   // by entry: its safe name in its host folder
  std::vector<std::uint32_t> size;     // by entry: the bytes extracted
  std::vector<bool> fixed;             // by entry: the line gives its start cluster
  std::vector<std::uint32_t> lines;    // the files in list order
  Unsayable unsayable;
};

// An entry's host path relative to DIR ("files/DOCS/A.TXT", a volume label
// "labels/NAME"; the root "files"), made from its folders' host names when
// asked.
std::string host_path(const QuarryRun& run, const ExtractPlan& plan, std::uint32_t entry);

// Spells every entry's name so that each folder sorts as the disk holds it
// (spelled, listed for files with a spelling).
void spell_names(QuarryRun& run, ExtractPlan& plan);

// Decides the fixed start clusters and the line order from where the
// image's entries lie and the folders' dates (placement.cpp).
void plan_lines(const QuarryRun& run, ExtractPlan& plan);

// The file list's text.
std::string list_text(const QuarryRun& run, const ExtractPlan& plan);

// The bytes of an entry's line after its two paths: its date, time and
// attributes (the start cluster of a fixed file follows them).
std::string line_tail(const Entry& e);

// How the image a file list rebuilds compares with the image read.
struct Rebuilt {
  bool same;
  std::uint64_t size;             // bytes, counted up to one past the image read
  std::uint64_t firstDifference;  // offset of the first byte that differs
};

// Rebuilds the image of a file list as the volume and container writers
// make it from the extracted bytes, comparing each byte with the image read
// as it comes (rebuild.cpp); false when diskmason would refuse the list,
// with the reason in *why.
bool rebuild_image(const QuarryRun& run, const ExtractPlan& plan, const std::string& listText, Rebuilt& rebuilt,
                   std::string* why);
