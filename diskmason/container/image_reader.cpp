#include "diskmason/container/image_reader.h"

#include <algorithm>
#include <cstring>

#include "diskmason/container/d88_reader.h"
#include "diskmason/container/dcp.h"

namespace {

constexpr std::uint32_t DCP_FLAGS_AT = 1;
constexpr std::uint32_t DCP_ALL_FLAG_AT = 161;
constexpr std::uint32_t BOOT_SECTOR_SIZE_AT = 11;  // bytes per sector in the boot sector

bool looks_like_dcp(const std::uint8_t* bytes, std::size_t size) {
  if (size < DCP_HEADER_SIZE + 32) return false;
  std::uint32_t present = 0;
  for (std::uint32_t t = 0; t < MAX_TRACKS; ++t) {
    std::uint8_t flag = bytes[DCP_FLAGS_AT + t];
    if (flag > 1) return false;
    present += flag;
  }
  if (bytes[DCP_ALL_FLAG_AT] != (present == MAX_TRACKS ? 1 : 0)) return false;
  // The volume's boot sector follows: its sector size is a multiple of 32.
  std::uint32_t sectorSize = bytes[DCP_HEADER_SIZE + BOOT_SECTOR_SIZE_AT] |
                             bytes[DCP_HEADER_SIZE + BOOT_SECTOR_SIZE_AT + 1] << 8;
  return sectorSize != 0 && sectorSize % 32 == 0;
}

// Where the volume's first byte lies.
std::uint64_t volume_start(const ImageFile& image) { return image.format == ImageFormat::Dcp ? DCP_HEADER_SIZE : 0; }

// Track t of a DCP image lies after every present track before it.
void index_dcp_tracks(ImageFile& image, std::vector<ContainerFinding>& findings) {
  const std::uint64_t trackBytes = std::uint64_t{image.sectorsPerTrack} * image.sectorSize;
  std::uint64_t at = DCP_HEADER_SIZE;
  image.trackOffsets.assign(MAX_TRACKS, NO_OFFSET);
  image.presentTracks = 0;
  for (std::uint32_t t = 0; t < MAX_TRACKS; ++t) {
    if (image.bytes[DCP_FLAGS_AT + t] == 0) continue;
    image.trackOffsets[t] = at;
    at += trackBytes;
    ++image.presentTracks;
  }
  if (image.size > at) {
    findings.push_back({false, std::to_string(image.size - at) + " bytes past the last track the header flags"});
  }
  // Data fixed past the tracks the header counts follows them directly:
  // when the flags are a prefix, the sectors past it are where the file
  // holds them.
  std::uint32_t prefix = 0;
  while (prefix < MAX_TRACKS && image.bytes[DCP_FLAGS_AT + prefix] == 1) ++prefix;
  bool isPrefix = true;
  for (std::uint32_t t = prefix; t < MAX_TRACKS; ++t) isPrefix = isPrefix && image.bytes[DCP_FLAGS_AT + t] == 0;
  for (std::uint32_t t = prefix; isPrefix && t < MAX_TRACKS && at < image.size; ++t, at += trackBytes) {
    image.trackOffsets[t] = at;
  }
}

std::uint64_t ceil_div_64(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

// The sectors that the geometries (s1, h1) and (s2, h2) locate alike: those
// before the first track, or cylinder, where they part.
std::uint64_t sectors_alike(std::uint32_t s1, std::uint32_t h1, std::uint32_t s2, std::uint32_t h2) {
  if (s1 != s2) return std::min(s1, s2);
  if (h1 == h2) return NO_OFFSET;  // every sector
  return std::uint64_t{std::max(1u, std::min(h1, h2))} * s1;  // the first track, whatever the heads
}

// The tracks as the records give them; a warning where the boot sector's
// plausible fields would locate a sector the image holds elsewhere.
bool index_d88(ImageFile& image, bool bootPlausible, std::vector<ContainerFinding>& findings) {
  D88TrackShape shape = d88_track_shape(image.bytes, image.size);
  std::uint32_t bootPerTrack = image.sectorsPerTrack;
  std::uint32_t bootHeads = image.headCount;
  if (shape.sectorsPerTrack != 0) {
    image.sectorsPerTrack = shape.sectorsPerTrack;
    image.headCount = shape.headCount;
  }
  image.presentTracks = shape.presentTracks;
  if (image.headCount == 0) {
    findings.push_back({true, "the boot sector gives 0 heads: no sector of a D88 image can be placed"});
    return false;
  }
  index_d88_sectors(image, findings);
  std::uint64_t held = image.sectorPlaces.empty() ? 0 : image.sectorPlaces.back().sector + 1;
  if (bootPlausible && held > sectors_alike(bootPerTrack, bootHeads, image.sectorsPerTrack, image.headCount)) {
    findings.push_back({false, "the boot sector gives " + std::to_string(bootPerTrack) + " sectors a track and " +
                                   std::to_string(bootHeads) + " heads, the image's tracks hold " +
                                   std::to_string(image.sectorsPerTrack) + " and " + std::to_string(image.headCount) +
                                   ": a system that goes by the boot sector reads other sectors"});
  }
  return true;
}

}  // namespace

// A D88 header's size field must equal the file's size, which neither a
// DCP header (flags of 0 and 1) nor a boot sector matches by chance; so it
// is tried first.
ImageFormat recognise_format(const std::uint8_t* bytes, std::size_t size) {
  if (looks_like_d88(bytes, size)) return ImageFormat::D88;
  if (looks_like_dcp(bytes, size)) return ImageFormat::Dcp;
  return ImageFormat::Raw;
}

ImageFile open_image_file(ImageFormat format, const std::uint8_t* bytes, std::size_t size) {
  return ImageFile{format, bytes, size, 0, 0, 0, 0, {}, {}};
}

bool plausible_track_fields(std::uint32_t sectorsPerTrack, std::uint32_t headCount) {
  return sectorsPerTrack >= 1 && sectorsPerTrack <= MAX_SECTOR_NUMBER && headCount <= MAX_SECTOR_NUMBER;
}

const std::uint8_t* boot_sector_bytes(const ImageFile& image, std::size_t length) {
  if (image.format == ImageFormat::D88) return d88_first_sector(image.bytes, image.size, length);
  std::uint64_t start = volume_start(image);
  if (start > image.size || image.size - start < length) return nullptr;
  return image.bytes + start;
}

bool index_sectors(ImageFile& image, std::uint32_t sectorSize, std::uint32_t bootSectorsPerTrack,
                   std::uint32_t bootHeadCount, std::vector<ContainerFinding>& findings) {
  if (sectorSize == 0) return false;
  bool plausible = plausible_track_fields(bootSectorsPerTrack, bootHeadCount);
  image.sectorSize = sectorSize;
  image.sectorsPerTrack = plausible ? bootSectorsPerTrack : DEFAULT_SECTORS_PER_TRACK;
  image.headCount = plausible ? bootHeadCount : DEFAULT_HEAD_COUNT;
  image.trackOffsets.clear();
  image.sectorPlaces.clear();
  switch (image.format) {
    case ImageFormat::Dcp:
      index_dcp_tracks(image, findings);
      break;
    case ImageFormat::Raw:
      image.presentTracks =
          static_cast<std::uint32_t>(ceil_div_64(image.size, std::uint64_t{image.sectorsPerTrack} * sectorSize));
      break;
    case ImageFormat::D88:
      return index_d88(image, plausible, findings);
  }
  return true;
}

const std::uint8_t* read_sector(const ImageFile& image, std::uint64_t sector) {
  if (image.sectorSize == 0) return nullptr;
  std::uint64_t offset = NO_OFFSET;
  switch (image.format) {
    case ImageFormat::Raw:
      offset = sector * image.sectorSize;
      break;
    case ImageFormat::Dcp: {
      std::uint64_t track = sector / image.sectorsPerTrack;
      if (track >= image.trackOffsets.size() || image.trackOffsets[track] == NO_OFFSET) return nullptr;
      offset = image.trackOffsets[track] + sector % image.sectorsPerTrack * image.sectorSize;
      break;
    }
    case ImageFormat::D88: {
      auto place = std::lower_bound(image.sectorPlaces.begin(), image.sectorPlaces.end(), sector,
                                    [](const SectorPlace& p, std::uint64_t s) { return p.sector < s; });
      if (place == image.sectorPlaces.end() || place->sector != sector) return nullptr;
      offset = place->offset;
      break;
    }
  }
  if (offset == NO_OFFSET || offset > image.size || image.size - offset < image.sectorSize) return nullptr;
  return image.bytes + offset;
}

const char* format_name(ImageFormat format) {
  switch (format) {
    case ImageFormat::Dcp:
      return "dcp";
    case ImageFormat::Raw:
      return "raw";
    case ImageFormat::D88:
      return "d88";
  }
  return "dcp";
}

bool parse_format_name(const char* name, ImageFormat* format) {
  for (ImageFormat f : {ImageFormat::Dcp, ImageFormat::Raw, ImageFormat::D88}) {
    if (std::strcmp(name, format_name(f)) == 0) {
      *format = f;
      return true;
    }
  }
  return false;
}
