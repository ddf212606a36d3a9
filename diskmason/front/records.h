// Records the packer driver hands to the layout: the disk parameters, one
// FileInfo per tree node, and the pool of host paths.
#pragma once

#include <cstdint>

constexpr std::uint32_t DCP_TRACKS = 160;
constexpr std::uint16_t START_NOT_FIXED = 0xFFFF;

// The disk as the file-list header describes it, with the DCP header flags.
struct DiskParams {
  std::uint8_t diskType;
  std::uint8_t trackPresent[DCP_TRACKS];
  std::uint8_t allTracksPresent;
  std::uint8_t formatLevel;
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

// One record per tree node; record number = node index >> 1, 0 is the root.
struct FileInfo {
  std::uint8_t attributes;
  std::uint32_t dateTime;      // FAT time in bits 0-15, FAT date in bits 16-31
  std::uint16_t startCluster;  // START_NOT_FIXED: the allocation chooses
  std::uint32_t size;
  std::uint32_t hostPathIndex;
};

struct StringSpan {
  std::uint32_t offset;
  std::uint32_t length;
};

// Byte strings stored back to back in one buffer, numbered in append order.
struct StringPool {
  std::uint8_t* text;
  StringSpan* spans;
  std::uint32_t count;
  std::uint32_t used;
  std::uint32_t spanCapacity;
  std::uint32_t textCapacity;
};

// Allocates both buffers; on failure releases the pool and returns false.
bool string_pool_init(StringPool& pool, std::uint32_t textCapacity, std::uint32_t spanCapacity);
// Appends a string as number `count`, growing buffers by doubling (text from
// 256 bytes, spans from 16 when empty). On a failed growth, or a size beyond
// 32 bits, returns false and leaves every stored string as it was.
bool string_pool_append(StringPool& pool, const std::uint8_t* bytes, std::uint32_t length);
// Frees both buffers and zeroes every field.
void string_pool_release(StringPool& pool);
