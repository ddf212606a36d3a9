// Writing a laid-out FAT12 volume as its sectors in order from sector 0: the
// boot area (the boot file with the header's parameters written over its
// first sector), the FAT copies, the root folder, then every entry at its
// clusters. A container puts the sectors where its format wants them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "diskmason/model/disk_params.h"
#include "diskmason/model/entry_tree.h"
#include "diskmason/volume/geometry.h"

// Where the volume's bytes go, whole sectors at a time, in order. write
// returns false when the bytes could not be written; the writer then stops.
struct ByteSink {
  bool (*write)(void* context, const std::uint8_t* bytes, std::size_t length);
  void* context;
};

enum class FileOpened : std::uint8_t { Open, Missing, NoMemory };

// The content of the files, one at a time: open, read to the end, close.
// A file that cannot be opened (Missing) or gives fewer bytes than its size
// is told to `missed`, with `shortened` true for the second; its clusters
// are filled.
struct FileSource {
  FileOpened (*open)(void* context, std::uint32_t entry);
  // Up to length bytes; fewer only at the end of the file or on an error.
  std::uint32_t (*read)(void* context, std::uint8_t* buffer, std::uint32_t length);
  void (*close)(void* context);
  void (*missed)(void* context, std::uint32_t entry, bool shortened);
  void* context;
};

// Everything a volume is made of.
struct Volume {
  const DiskParams& params;
  const VolumeGeometry& geometry;
  const EntryTree& tree;
  const std::vector<std::uint32_t>& order;  // layout_order of the tree
  const std::uint8_t* boot;
  std::uint32_t bootLength;
};

// Outcome bits of write_volume; 0 means the whole volume was written.
constexpr std::uint32_t VOLUME_NO_MEMORY = 1;     // a buffer could not be had
constexpr std::uint32_t VOLUME_WRITE_FAILED = 2;  // the sink refused bytes
constexpr std::uint32_t VOLUME_FILE_FAILED = 4;   // a file was missing or short

struct VolumeWritten {
  std::uint32_t outcome;
  std::uint64_t sectors;  // sectors written: up to the end of the last entry
};

VolumeWritten write_volume(const Volume& volume, ByteSink& sink, FileSource& files);

// The sectors write_volume writes: up to the end of the last entry it
// writes (an entry that starts inside an earlier one is left out), at least
// the system areas. A container that must hold every sector asks this first.
std::uint64_t volume_sectors(const VolumeGeometry& geometry, const EntryTree& tree,
                             const std::vector<std::uint32_t>& order);

// Writes `sectors` sectors of `byte` to the sink; false when it refused them.
bool write_filled_sectors(ByteSink& sink, std::uint64_t sectors, std::uint32_t sectorSize, std::uint8_t byte);
