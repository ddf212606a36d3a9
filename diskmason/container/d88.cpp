#include "diskmason/container/d88.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint64_t sector_record_size(const VolumeGeometry& g) { return D88_SECTOR_HEADER_SIZE + std::uint64_t{g.sectorSize}; }

std::uint64_t track_record_size(const VolumeGeometry& g) { return sector_record_size(g) * g.sectorsPerTrack; }

// The disk's cylinders, from the tracks that totalSectors fills or, when
// the image holds more, from its tracks.
std::uint64_t disk_cylinders(const ContainerPlan& plan, const DiskParams& params, const VolumeGeometry& g) {
  std::uint32_t tracks = std::max(plan.presentTracks, ceil_div(params.totalSectors, g.sectorsPerTrack));
  return ceil_div(tracks, g.headCount);
}

std::uint8_t media_byte(const ContainerPlan& plan, const DiskParams& params, const VolumeGeometry& g) {
  if (std::uint64_t{g.sectorsPerTrack} * g.sectorSize > D88_2DD_TRACK_BYTES) return D88_MEDIA_2HD;
  return disk_cylinders(plan, params, g) > D88_2D_CYLINDERS ? D88_MEDIA_2DD : D88_MEDIA_2D;
}

void put_sector_header(const D88SectorSink& s, std::uint8_t (&header)[D88_SECTOR_HEADER_SIZE]) {
  const VolumeGeometry& g = s.geometry;
  std::uint64_t track = s.sector / g.sectorsPerTrack;
  std::memset(header, 0, sizeof header);  // density, deleted mark, status and reserved bytes
  store_field(header, D88_CYLINDER, static_cast<std::uint32_t>(track / g.headCount));
  store_field(header, D88_HEAD, static_cast<std::uint32_t>(track % g.headCount));
  store_field(header, D88_SECTOR, static_cast<std::uint32_t>(s.sector % g.sectorsPerTrack) + 1);
  store_field(header, D88_SIZE_CODE, s.sizeCode);
  store_field(header, D88_TRACK_SECTORS, g.sectorsPerTrack);
  store_field(header, D88_DATA_SIZE, g.sectorSize);
}

bool write_sectors(void* context, const std::uint8_t* bytes, std::size_t length) {
  auto& s = *static_cast<D88SectorSink*>(context);
  while (length != 0) {
    if (s.filled == 0) {
      std::uint8_t header[D88_SECTOR_HEADER_SIZE];
      put_sector_header(s, header);
      if (!s.out.write(s.out.context, header, sizeof header)) return false;
    }
    std::size_t piece = std::min<std::size_t>(length, s.geometry.sectorSize - s.filled);
    if (!s.out.write(s.out.context, bytes, piece)) return false;
    bytes += piece;
    length -= piece;
    s.filled += static_cast<std::uint32_t>(piece);
    if (s.filled == s.geometry.sectorSize) {
      s.filled = 0;
      ++s.sector;
    }
  }
  return true;
}

}  // namespace

bool d88_size_code(std::uint32_t sectorSize, std::uint8_t* code) {
  for (std::uint8_t n = 0; (128u << n) <= sectorSize; ++n) {
    if ((128u << n) == sectorSize) {
      *code = n;
      return true;
    }
  }
  return false;
}

void plan_d88(ContainerPlan& plan, const VolumeGeometry& g) {
  plan.format = ImageFormat::D88;
  // A file fixed past the track rule's tracks, or a boot area longer than a
  // sector, still lies on a present track.
  std::uint64_t volumeTracks = (plan.volumeSectors + g.sectorsPerTrack - 1) / g.sectorsPerTrack;
  if (volumeTracks > plan.presentTracks) {
    plan.presentTracks = static_cast<std::uint32_t>(std::min<std::uint64_t>(volumeTracks, MAX_TRACKS));
  }
  plan.imageSectors = std::uint64_t{plan.presentTracks} * g.sectorsPerTrack;
}

ContainerProblem d88_problem(const VolumeGeometry& g) {
  std::uint8_t code = 0;
  if (!d88_size_code(g.sectorSize, &code)) return ContainerProblem::SectorSizeNotCoded;
  if (g.headCount == 0) return ContainerProblem::NoHeads;
  if (g.sectorsPerTrack > MAX_SECTOR_NUMBER) return ContainerProblem::SectorNumberTooLarge;
  return ContainerProblem::None;
}

std::uint64_t d88_offset(const VolumeGeometry& g, std::uint64_t sector) {
  return D88_HEADER_SIZE + sector / g.sectorsPerTrack * track_record_size(g) +
         sector % g.sectorsPerTrack * sector_record_size(g) + D88_SECTOR_HEADER_SIZE;
}

void d88_header(const ContainerPlan& plan, const DiskParams& params, const VolumeGeometry& g,
                std::uint8_t (&header)[D88_HEADER_SIZE]) {
  std::memset(header, 0, sizeof header);  // no name, reserved bytes, not write-protected
  store_field(header, D88_MEDIA, media_byte(plan, params, g));
  std::uint64_t size = D88_HEADER_SIZE + plan.presentTracks * track_record_size(g);
  store_field(header, D88_FILE_SIZE, static_cast<std::uint32_t>(size));
  for (std::uint32_t t = 0; t < plan.presentTracks; ++t) {
    DiskField slot{D88_TRACK_OFFSETS.offset + 4 * t, 4};
    store_field(header, slot, static_cast<std::uint32_t>(D88_HEADER_SIZE + t * track_record_size(g)));
  }
}

ByteSink d88_sink(D88SectorSink& sectors) { return ByteSink{write_sectors, &sectors}; }
