// The disk a file list describes and the rules it must keep before it is
// written, apart from the messages that say which one it breaks: the packer
// reports each (disk_checks.cpp), and a program that rebuilds an image in
// memory from a list asks the same questions in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "diskmason/container/container.h"
#include "diskmason/driver/list_reader.h"
#include "diskmason/model/disk_params.h"
#include "diskmason/model/entry_tree.h"
#include "diskmason/volume/geometry.h"

// The disk the list describes, and once laid out, where everything lies.
struct Disk {
  FieldSpan headerFields[HEADER_FIELD_LIMIT];
  DiskParams params;
  std::string bootPath;
  std::vector<std::uint8_t> boot;
  VolumeGeometry geometry;
  EntryTree tree;
  std::uint32_t endCluster;  // after the last cluster placed automatically
  ContainerPlan plan;
  std::vector<std::uint32_t> order;  // layout_order of the tree
};

// The header line's fields 1 to 14 as DiskParams, each number cut to its
// field's width. number(context, i) gives field i's number; fields 12 to 14
// are asked for only from BOOT_TRACK_FIELDS_LEVEL on and when the line has
// all three (fieldCount), else the disk has 8 sectors a track and 2 heads.
DiskParams header_params(std::uint32_t (*number)(void* context, std::uint32_t field), void* context,
                         std::uint32_t fieldCount);

// Before the layout: the root's entries and its end marker fit its sectors;
// no two entries of a folder share a short name (the pair, the earlier made
// first; NO_ENTRY twice when there is none). The second may throw
// std::bad_alloc.
bool root_fits(const Disk& disk);
std::pair<std::uint32_t, std::uint32_t> short_name_clash(const EntryTree& tree);

// Places the clusters, orders the entries as the data area holds them and
// plans the container; false when memory ran out.
bool lay_out_disk(Disk& disk, ImageFormat format, bool pad);

// What refuses a laid-out disk, in the order the packer checks.
enum class LayoutRefusal : std::uint8_t {
  None,
  TooManyTracks,    // the data needs more than the format's tracks
  PastFatReach,     // automatically placed data ends where the FAT cannot chain it
  FixedPastTracks,  // a file the list fixes ends past the format's tracks
  PastDiskEnd,      // automatically placed data ends past totalSectors
  FatTooSmall,      // a FAT copy has no entry for a chained cluster
  Container,        // container_problem finds one
};
LayoutRefusal layout_refusal(const Disk& disk);

// The first file, in tree order, that the list fixes at a run ending past
// the container's tracks; NO_ENTRY when there is none.
std::uint32_t fixed_past_tracks(const Disk& disk);

// The 12-bit entries one FAT copy holds.
std::uint64_t fat_table_entries(const VolumeGeometry& geometry);
