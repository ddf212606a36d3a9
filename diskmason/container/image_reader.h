// Reading an image file back: which format it is, where its volume's boot
// sector lies, and where each sector of the volume lies in the file. The
// whole file is in memory; every offset the image gives is checked against
// its size before use, so any file, damaged or hostile, reads safely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diskmason/container/container.h"

constexpr std::uint64_t NO_OFFSET = ~std::uint64_t{0};

// Where one sector of the volume lies in the file.
struct SectorPlace {
  std::uint64_t sector;
  std::uint64_t offset;
};

// An image file and, once indexed, its sectors.
struct ImageFile {
  ImageFormat format;
  const std::uint8_t* bytes;
  std::size_t size;
  // Set by index_sectors: the volume's sector size, the track geometry the
  // sectors are located by, and the tracks the image holds.
  std::uint32_t sectorSize;
  std::uint32_t sectorsPerTrack;
  std::uint32_t headCount;
  std::uint32_t presentTracks;
  // Where each track's first sector lies (NO_OFFSET: the image does not hold
  // the track); for formats that record every sector, where each lies,
  // sorted by sector (one place for each sector found, so the index is no
  // larger than the file).
  std::vector<std::uint64_t> trackOffsets;
  std::vector<SectorPlace> sectorPlaces;
};

// Something the container says about itself that --check reports.
struct ContainerFinding {
  bool error;  // else a warning
  std::string text;
};

// The format the content shows; a file that shows no other is raw.
ImageFormat recognise_format(const std::uint8_t* bytes, std::size_t size);

// An image of the given format over bytes (which must outlive it).
ImageFile open_image_file(ImageFormat format, const std::uint8_t* bytes, std::size_t size);

// The first `length` bytes of the volume's first sector, where the boot
// sector's parameters are read; nullptr when the image does not hold them.
const std::uint8_t* boot_sector_bytes(const ImageFile& image, std::size_t length);

// Diskmason's track geometry where its file list gives none.
constexpr std::uint32_t DEFAULT_SECTORS_PER_TRACK = 8;
constexpr std::uint32_t DEFAULT_HEAD_COUNT = 2;

// True when a floppy can have the boot sector's track fields: 1 to 255
// sectors a track (sector numbers are one byte) and at most 255 heads. A
// boot area written without them holds the boot file's own bytes there.
bool plausible_track_fields(std::uint32_t sectorsPerTrack, std::uint32_t headCount);

// Locates the sectors for the volume's sector size, and says what does not
// fit (header flags against the file's size, sectors of the wrong size, a
// boot sector whose track fields would locate them elsewhere, ...). The
// tracks are the container's own where it records them (D88), else the
// boot sector's fields where they are plausible, else the defaults. False
// when no sector can be located at all.
bool index_sectors(ImageFile& image, std::uint32_t sectorSize, std::uint32_t bootSectorsPerTrack,
                   std::uint32_t bootHeadCount, std::vector<ContainerFinding>& findings);

// Sector k of the volume (sectorSize bytes), or nullptr when the image does
// not hold it: an absent track, or past the end of the file.
const std::uint8_t* read_sector(const ImageFile& image, std::uint64_t sector);

// The format's name as --format writes it: "dcp", "raw", "d88".
const char* format_name(ImageFormat format);
// The format of a --format value; false for an unknown name.
bool parse_format_name(const char* name, ImageFormat* format);
