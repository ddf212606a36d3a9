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
  // Set by index_sectors from the volume's boot sector.
  std::uint32_t sectorSize;
  std::uint32_t sectorsPerTrack;
  std::uint32_t headCount;
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

// Locates the sectors for the volume's sector size and tracks, and says
// what does not fit (header flags against the file's size, sectors of the
// wrong size, ...). False when no sector can be located at all.
bool index_sectors(ImageFile& image, std::uint32_t sectorSize, std::uint32_t sectorsPerTrack,
                   std::uint32_t headCount, std::vector<ContainerFinding>& findings);

// Sector k of the volume (sectorSize bytes), or nullptr when the image does
// not hold it: an absent track, or past the end of the file.
const std::uint8_t* read_sector(const ImageFile& image, std::uint64_t sector);

// The format's name as --format writes it: "dcp", "raw", "d88".
const char* format_name(ImageFormat format);
// The format of a --format value; false for an unknown name.
bool parse_format_name(const char* name, ImageFormat* format);
