// Reading a FAT12 volume back: the boot sector's parameters, every FAT
// copy, and the folders depth first from the root, into the entry model,
// with what the image says about each entry (its directory slot, its chain
// of clusters) and about every slot and cluster. Nothing is judged here
// beyond what reading needs: a checker reads the record and decides.
//
// Every sector comes through a SectorSource, which says when the image does
// not hold it. Chains and folders that cycle are cut, and what the record
// keeps grows with the volume read (slots, clusters), never beyond it.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/model/disk_params.h"
#include "diskmason/model/entry_tree.h"
#include "diskmason/volume/disk_format.h"
#include "diskmason/volume/fat.h"
#include "diskmason/volume/geometry.h"

// Sector k of the volume (the geometry's sector size), or nullptr when the
// image does not hold it.
struct SectorSource {
  const std::uint8_t* (*sector)(const void* context, std::uint64_t k);
  const void* context;
};

// The parameter fields of a boot sector as stored.
struct BootFields {
  std::uint16_t bytesPerSector;
  std::uint8_t sectorsPerCluster;
  std::uint16_t reservedSectors;
  std::uint8_t fatCount;
  std::uint16_t rootEntries;
  std::uint16_t totalSectors;
  std::uint8_t mediaByte;
  std::uint16_t sectorsPerFat;
  std::uint16_t sectorsPerTrack;
  std::uint16_t headCount;
  std::uint16_t hiddenSectors;
};

// Bytes of the boot sector that hold the fields.
constexpr std::uint32_t BOOT_FIELDS_END = end_of(BOOT_HIDDEN_SECTORS);

BootFields read_boot_fields(const std::uint8_t* bootSector);

// The header that would write these fields, at format level 30 (sectors
// per track 0 read as 8, so that tracks can be counted).
DiskParams params_of_boot(const BootFields& boot);

// How a chain of clusters ended.
enum class ChainEnd : std::uint8_t {
  Marker,    // an end marker (FF8h-FFFh)
  NoStart,   // the entry names cluster 0 or 1, or one the FAT does not hold
  Free,      // a free cluster (0)
  Reserved,  // 1 or FF0h-FF6h
  Bad,       // FF7h
  PastFat,   // a cluster number beyond the entries the FAT holds
  Loop,      // back to a cluster of the same chain
  NoFat,     // no FAT copy could be read
};

struct ChainRead {
  std::uint32_t length;     // clusters from the start up to the end
  std::uint32_t fragments;  // runs of consecutive clusters; 1 when contiguous
  ChainEnd end;
};

// What a directory slot holds.
enum class SlotKind : std::uint8_t { Entry, Dot, DotDot, Deleted, LongName, EndMarker };

struct DirSlot {
  std::uint32_t folder;  // the entry of the folder it is in (0: the root)
  std::uint32_t entry;   // the entry it made; NO_ENTRY for the other kinds
  SlotKind kind;
  std::uint8_t bytes[DIR_ENTRY_SIZE];
};

// Something reading met that the record cannot show in place.
enum class ReadProblem : std::uint8_t {
  FatCopyUnreadable,  // `other`: the copy
  SectorMissing,      // a sector of the entry's folder (or of the root) is not in the image
  FolderLoop,         // the entry's folder clusters were read as a folder already
  CrossLink,          // `cluster` is in the chains of `other` and of `entry`
};

struct VolumeProblem {
  ReadProblem kind;
  std::uint32_t entry;
  std::uint32_t cluster;
  std::uint32_t other;
};

struct VolumeRead {
  BootFields boot;
  std::uint32_t bootSectors;  // where the FAT copies were taken to start
  VolumeGeometry geometry;
  // Each copy's 12-bit entries (empty: the copy could not be read whole);
  // fat is the first whole copy's, or empty.
  std::vector<std::vector<std::uint16_t>> fatCopies;
  const std::vector<std::uint16_t>* fat;
  // Entries 0 and up: the tree with each folder's children in disk order.
  EntryTree tree;
  std::vector<std::uint32_t> slotOf;  // by entry: its slot; NO_ENTRY for the root
  std::vector<ChainRead> chains;      // by entry
  std::vector<DirSlot> slots;         // every slot read, folder after folder
  std::vector<std::uint32_t> owner;   // by cluster: the first entry whose chain holds it, or NO_ENTRY
  std::vector<VolumeProblem> problems;
};

enum class VolumeOpened : std::uint8_t { Read, NoBootSector, UnusableSizes, NoMemory };

// Reads the volume whose boot sector is `bootSector` (BOOT_FIELDS_END bytes
// at least) from `sectors`. The FAT copies are taken to start at sector
// bootSectors (0: the reserved sectors, at least 1).
VolumeOpened read_volume(const std::uint8_t* bootSector, const SectorSource& sectors, std::uint32_t bootSectors,
                         VolumeRead& out);

// True when the FAT entry of a cluster continues the chain.
constexpr bool is_next_cluster(std::uint32_t value) { return value >= FIRST_DATA_CLUSTER && value < FAT_CHAIN_LIMIT; }

// Copies up to `limit` bytes of an entry's clusters, in chain order, to
// put; without a chain (the FAT marks its start cluster free, or holds no
// entry for it) its clusters are read one after the other from the start.
// Stops at a sector the image does not hold. Returns the bytes copied.
using PutBytes = bool (*)(void* context, const std::uint8_t* bytes, std::size_t length);
std::uint64_t copy_entry_bytes(const VolumeRead& volume, const SectorSource& sectors, std::uint32_t entry,
                               std::uint64_t limit, PutBytes put, void* context);
