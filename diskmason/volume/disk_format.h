// Byte layouts of the FAT12 volume: the parameter fields of the boot sector
// and the 32-byte directory entry. Every offset is named once here, and the
// checks below keep each layout without gaps.
#pragma once

#include <cstdint>

#include "diskmason/model/short_name.h"

// A little-endian field of an on-disk record: where it starts and how many
// bytes it takes.
struct DiskField {
  std::uint32_t offset;
  std::uint32_t width;
};

constexpr std::uint32_t end_of(DiskField field) { return field.offset + field.width; }

// Writes the low `width` bytes of value at the field, low byte first.
inline void store_field(std::uint8_t* record, DiskField field, std::uint32_t value) {
  for (std::uint32_t i = 0; i < field.width; ++i) record[field.offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Reads the field back.
inline std::uint32_t load_field(const std::uint8_t* record, DiskField field) {
  std::uint32_t value = 0;
  for (std::uint32_t i = field.width; i-- > 0;) value = value << 8 | record[field.offset + i];
  return value;
}

// The parameter fields written over the boot file's first sector. The three
// track fields are written only from BOOT_TRACK_FIELDS_LEVEL on.
constexpr DiskField BOOT_BYTES_PER_SECTOR{11, 2};
constexpr DiskField BOOT_SECTORS_PER_CLUSTER{13, 1};
constexpr DiskField BOOT_RESERVED_SECTORS{14, 2};
constexpr DiskField BOOT_FAT_COUNT{16, 1};
constexpr DiskField BOOT_ROOT_ENTRIES{17, 2};
constexpr DiskField BOOT_TOTAL_SECTORS{19, 2};
constexpr DiskField BOOT_MEDIA_BYTE{21, 1};
constexpr DiskField BOOT_SECTORS_PER_FAT{22, 2};
constexpr DiskField BOOT_SECTORS_PER_TRACK{24, 2};
constexpr DiskField BOOT_HEAD_COUNT{26, 2};
constexpr DiskField BOOT_HIDDEN_SECTORS{28, 2};
static_assert(end_of(BOOT_BYTES_PER_SECTOR) == BOOT_SECTORS_PER_CLUSTER.offset);
static_assert(end_of(BOOT_SECTORS_PER_CLUSTER) == BOOT_RESERVED_SECTORS.offset);
static_assert(end_of(BOOT_RESERVED_SECTORS) == BOOT_FAT_COUNT.offset);
static_assert(end_of(BOOT_FAT_COUNT) == BOOT_ROOT_ENTRIES.offset);
static_assert(end_of(BOOT_ROOT_ENTRIES) == BOOT_TOTAL_SECTORS.offset);
static_assert(end_of(BOOT_TOTAL_SECTORS) == BOOT_MEDIA_BYTE.offset);
static_assert(end_of(BOOT_MEDIA_BYTE) == BOOT_SECTORS_PER_FAT.offset);
static_assert(end_of(BOOT_SECTORS_PER_FAT) == BOOT_SECTORS_PER_TRACK.offset);
static_assert(end_of(BOOT_SECTORS_PER_TRACK) == BOOT_HEAD_COUNT.offset);
static_assert(end_of(BOOT_HEAD_COUNT) == BOOT_HIDDEN_SECTORS.offset);

// A directory entry. The name fields are space-padded bytes; the time sits in
// the low half of the date-and-time field, the date in the high half.
constexpr DiskField ENTRY_BASE_NAME{0, SHORT_BASE_SIZE};
constexpr DiskField ENTRY_EXTENSION{8, SHORT_EXTENSION_SIZE};
constexpr DiskField ENTRY_ATTRIBUTES{11, 1};
constexpr DiskField ENTRY_RESERVED{12, 10};  // zero
constexpr DiskField ENTRY_DATE_TIME{22, 4};
constexpr DiskField ENTRY_START_CLUSTER{26, 2};
constexpr DiskField ENTRY_FILE_SIZE{28, 4};
constexpr std::uint32_t DIR_ENTRY_SIZE = 32;
static_assert(ENTRY_BASE_NAME.offset == 0 && end_of(ENTRY_BASE_NAME) == ENTRY_EXTENSION.offset);
static_assert(end_of(ENTRY_EXTENSION) == SHORT_NAME_SIZE && SHORT_NAME_SIZE == ENTRY_ATTRIBUTES.offset);
static_assert(end_of(ENTRY_ATTRIBUTES) == ENTRY_RESERVED.offset);
static_assert(end_of(ENTRY_RESERVED) == ENTRY_DATE_TIME.offset);
static_assert(end_of(ENTRY_DATE_TIME) == ENTRY_START_CLUSTER.offset);
static_assert(end_of(ENTRY_START_CLUSTER) == ENTRY_FILE_SIZE.offset);
static_assert(end_of(ENTRY_FILE_SIZE) == DIR_ENTRY_SIZE);

// Fills the rest of clusters, the clusters between placed entries, the
// free sectors of a padded image and, behind a first byte 0x00, the empty
// directory slots.
constexpr std::uint8_t FILL_BYTE = 0xE5;
