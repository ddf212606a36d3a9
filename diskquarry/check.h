// diskquarry --check: an image checked as a FAT checker checks a FAT12
// volume, read-only. The container first (what its format says against the
// file), then the boot sector's parameters against the layout they make,
// then the volume read: the FAT copies, every chain, the sizes, clusters
// nothing reaches, and the directory entries.
//
// Each finding is one line, an error (the volume loses or corrupts data, or
// cannot be read as it stands) or a warning (something other systems cope
// with). The steps hand each finding to a sink as it is made, so that
// nothing grows with their number; every loop is bounded by the FAT and the
// slots the reader recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diskmason/container/image_reader.h"
#include "diskmason/volume/volume_reader.h"
#include "textconv/reporter.h"

struct QuarryRun;

// Takes each finding: an error, else a warning, and its text.
struct CheckSink {
  void (*put)(void* context, bool error, const std::string& text);
  void* context;
};

// An entry's path as findings name it.
struct EntryNamer {
  std::string (*name)(void* context, std::uint32_t entry);
  void* context;
};

// The layout that the boot sector's parameters make, as the checks use it.
struct CheckedLayout {
  bool readable;              // the volume can be read at all
  std::uint32_t lastCluster;  // the last whole cluster within the total sectors (1: none)
};

// Checks the container and the boot sector's parameters and indexes the
// image's sectors. False, with the findings that say why, when no volume
// can be read from the image.
bool check_image_and_boot(ImageFile& image, std::vector<ContainerFinding>& found, CheckSink& sink,
                          CheckedLayout& layout);

// Checks the volume read from the image: the FAT copies, the chains and the
// entries (check_volume.cpp and check_entries.cpp).
void check_allocation(const VolumeRead& volume, const SectorSource& sectors, const CheckedLayout& layout,
                      const EntryNamer& namer, CheckSink& sink);
void check_entries(const VolumeRead& volume, const EntryNamer& namer, CheckSink& sink);

// What a stored 8.3 name holds that it should not, its bytes read as
// Shift-JIS (the second byte of a double-byte character is part of it,
// whatever its value).
struct NameFaults {
  int forbidden;     // the first byte no short name may hold, or -1
  int longNameOnly;  // the first byte that only long names may hold, or -1
  bool leadingSpace;
  bool lowerCase;
};
NameFaults short_name_faults(const std::uint8_t* shortName);

// diskquarry --check over the image loaded into run: the findings to
// standard output; returns the exit status (1 on an error, or under
// --strict on a warning).
int check_image(QuarryRun& run);

// A finding's text made printf-style, and a finding about an entry ("PATH:
// text"; the root folder by that name), in check_run.cpp.
std::string finding_text(const char* format, ...) TK_PRINTF(1, 2);
void put_entry_finding(CheckSink& sink, const EntryNamer& namer, std::uint32_t entry, bool error,
                       const std::string& text);
