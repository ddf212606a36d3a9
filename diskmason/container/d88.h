// The D88 image format, the usual container of emulators of Japanese
// computers, little-endian: a 688-byte header (a disk name, the write
// protection, the media byte, the file's size and the offsets of up to 164
// tracks), then each present track as its sectors, each a 16-byte sector
// header (cylinder, head, sector number, size code, ...) and its bytes.
// Every present track is written whole.
#pragma once

#include <cstdint>

#include "diskmason/container/container.h"
#include "diskmason/volume/disk_format.h"

constexpr std::uint32_t D88_HEADER_SIZE = 688;
constexpr std::uint32_t D88_TRACK_SLOTS = 164;
constexpr std::uint32_t D88_SECTOR_HEADER_SIZE = 16;

// The header.
constexpr DiskField D88_DISK_NAME{0, 17};
constexpr DiskField D88_RESERVED{17, 9};
constexpr DiskField D88_WRITE_PROTECT{26, 1};
constexpr DiskField D88_MEDIA{27, 1};
constexpr DiskField D88_FILE_SIZE{28, 4};
constexpr DiskField D88_TRACK_OFFSETS{32, 4 * D88_TRACK_SLOTS};  // 0: the track is absent
static_assert(end_of(D88_DISK_NAME) == D88_RESERVED.offset);
static_assert(end_of(D88_RESERVED) == D88_WRITE_PROTECT.offset);
static_assert(end_of(D88_WRITE_PROTECT) == D88_MEDIA.offset);
static_assert(end_of(D88_MEDIA) == D88_FILE_SIZE.offset);
static_assert(end_of(D88_FILE_SIZE) == D88_TRACK_OFFSETS.offset);
static_assert(end_of(D88_TRACK_OFFSETS) == D88_HEADER_SIZE);

// Media bytes: 2D (up to 42 cylinders), 2DD, 2HD (tracks of more than
// D88_2DD_TRACK_BYTES); other writers also use 1D and 1DD.
constexpr std::uint8_t D88_MEDIA_2D = 0x00;
constexpr std::uint8_t D88_MEDIA_2DD = 0x10;
constexpr std::uint8_t D88_MEDIA_2HD = 0x20;
constexpr std::uint8_t D88_MEDIA_1D = 0x30;
constexpr std::uint8_t D88_MEDIA_1DD = 0x40;
constexpr std::uint32_t D88_2DD_TRACK_BYTES = 6250;
constexpr std::uint32_t D88_2D_CYLINDERS = 42;

// The sector header.
constexpr DiskField D88_CYLINDER{0, 1};
constexpr DiskField D88_HEAD{1, 1};
constexpr DiskField D88_SECTOR{2, 1};  // from 1
constexpr DiskField D88_SIZE_CODE{3, 1};  // N: 128 << N bytes
constexpr DiskField D88_TRACK_SECTORS{4, 2};
constexpr DiskField D88_DENSITY{6, 1};
constexpr DiskField D88_DELETED{7, 1};
constexpr DiskField D88_STATUS{8, 1};
constexpr DiskField D88_SECTOR_RESERVED{9, 5};
constexpr DiskField D88_DATA_SIZE{14, 2};
static_assert(D88_CYLINDER.offset == 0 && end_of(D88_CYLINDER) == D88_HEAD.offset);
static_assert(end_of(D88_HEAD) == D88_SECTOR.offset && end_of(D88_SECTOR) == D88_SIZE_CODE.offset);
static_assert(end_of(D88_SIZE_CODE) == D88_TRACK_SECTORS.offset);
static_assert(end_of(D88_TRACK_SECTORS) == D88_DENSITY.offset && end_of(D88_DENSITY) == D88_DELETED.offset);
static_assert(end_of(D88_DELETED) == D88_STATUS.offset && end_of(D88_STATUS) == D88_SECTOR_RESERVED.offset);
static_assert(end_of(D88_SECTOR_RESERVED) == D88_DATA_SIZE.offset);
static_assert(end_of(D88_DATA_SIZE) == D88_SECTOR_HEADER_SIZE);

// N with 128 << N == sectorSize; false when there is none.
bool d88_size_code(std::uint32_t sectorSize, std::uint8_t* code);

// Makes the track rule's plan D88: the tracks also hold every sector the
// volume writes, and each is written whole.
void plan_d88(ContainerPlan& plan, const VolumeGeometry& geometry);

ContainerProblem d88_problem(const VolumeGeometry& geometry);

std::uint64_t d88_offset(const VolumeGeometry& geometry, std::uint64_t sector);

// The header of the image the plan describes.
void d88_header(const ContainerPlan& plan, const DiskParams& params, const VolumeGeometry& geometry,
                std::uint8_t (&header)[D88_HEADER_SIZE]);

// A sink that puts each sector's header before its bytes, the volume's
// sectors coming in order from sector 0, in pieces of any length.
struct D88SectorSink {
  ByteSink out;
  const VolumeGeometry& geometry;
  std::uint8_t sizeCode;
  std::uint64_t sector;  // the sector the next byte belongs to
  std::uint32_t filled;  // bytes of it written so far
};
ByteSink d88_sink(D88SectorSink& sectors);
