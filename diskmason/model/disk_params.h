// The disk as the header line of a file list describes it.
#pragma once

#include <cstdint>

// The fields of the header line, counted from 0.
enum HeaderField : std::uint32_t {
  BOOT_FILE = 0,
  DISK_TYPE = 1,
  TRACK_COUNT = 2,
  FORMAT_LEVEL = 3,
  BYTES_PER_SECTOR = 4,
  SECTORS_PER_CLUSTER = 5,
  RESERVED_SECTORS = 6,
  FAT_COUNT = 7,
  ROOT_ENTRIES = 8,
  TOTAL_SECTORS = 9,
  MEDIA_BYTE = 10,
  SECTORS_PER_FAT = 11,
  SECTORS_PER_TRACK = 12,  // fields 12 to 14 are read from BOOT_TRACK_FIELDS_LEVEL on
  HEAD_COUNT = 13,
  HIDDEN_SECTORS = 14,
};

// From this format level on the header's fields 12 to 14 are read and the
// boot sector carries them.
constexpr std::uint32_t BOOT_TRACK_FIELDS_LEVEL = 30;

// Each value is the header's number cut to the field's width.
struct DiskParams {
  std::uint8_t diskType;      // the first byte of a DCP image; no meaning of its own
  std::uint8_t headerTracks;  // the least track count of the image
  std::uint8_t formatLevel;
  std::uint16_t bytesPerSector;
  std::uint8_t sectorsPerCluster;
  std::uint16_t reservedSectors;
  std::uint8_t fatCount;
  std::uint16_t rootEntries;
  std::uint16_t totalSectors;
  std::uint8_t mediaByte;
  std::uint16_t sectorsPerFat;  // the header's low 8 bits
  std::uint16_t sectorsPerTrack;
  std::uint16_t headCount;
  std::uint16_t hiddenSectors;
};
