// The image file around a volume. A container decides which tracks the
// image holds, where each sector of the volume lies in the file and what
// comes before and between the sectors; the volume's bytes are the same in
// every container. Each format is one file (dcp.cpp, raw.cpp, d88.cpp); the
// functions here switch on the format.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diskmason/model/disk_params.h"
#include "diskmason/volume/geometry.h"
#include "diskmason/volume/volume_writer.h"

enum class ImageFormat : std::uint8_t { Dcp, Raw, D88 };

// Every format holds at most this many tracks.
constexpr std::uint32_t MAX_TRACKS = 160;

// What the container makes of one disk.
struct ContainerPlan {
  ImageFormat format;
  std::uint32_t sectorsNeeded;  // what the track rule counts
  std::uint32_t trackCount;     // the header's track count raised to the data's
  std::uint32_t presentTracks;  // the tracks the image holds: the track count, at most MAX_TRACKS (D88:
                                // raised to every track the volume reaches)
  std::uint64_t imageSectors;   // sectors the image holds at least (a padded image); 0: it ends with the data
  std::uint64_t volumeSectors;  // the sectors write_volume writes
};

// The container of a disk whose automatically placed data ends before
// cluster endCluster and whose volume takes volumeSectors sectors. With pad
// the image holds every sector of its tracks, and asks for the tracks that
// totalSectors fill.
ContainerPlan plan_container(ImageFormat format, const DiskParams& params, const VolumeGeometry& geometry,
                             std::uint32_t endCluster, std::uint64_t volumeSectors, bool pad);

// Why a format cannot hold a disk that fits its tracks, in the order checked.
enum class ContainerProblem : std::uint8_t {
  None,
  PastTracks,            // raw, D88: the volume's sectors run past MAX_TRACKS
  PastTotalSectors,      // raw: the volume's sectors run past totalSectors
  SectorSizeNotCoded,    // D88: bytes per sector not 128 << N
  NoHeads,               // D88: 0 heads, so no cylinder and head for a track
  SectorNumberTooLarge,  // D88: more sectors a track than MAX_SECTOR_NUMBER
};

// The largest sector number of a format that records one byte for it.
constexpr std::uint32_t MAX_SECTOR_NUMBER = 255;

ContainerProblem container_problem(const ContainerPlan& plan, const DiskParams& params,
                                   const VolumeGeometry& geometry);

// The format's name in messages: "DCP", "raw", "D88".
const char* format_title(ImageFormat format);

// True when the disk fits the format's MAX_TRACKS.
inline bool fits_tracks(const ContainerPlan& plan) { return plan.trackCount <= MAX_TRACKS; }

// The sectors the format can hold.
std::uint64_t sector_limit(const ContainerPlan& plan, const VolumeGeometry& geometry);

// Where sector k of the volume lies in the image file.
std::uint64_t image_offset(const ContainerPlan& plan, const VolumeGeometry& geometry, std::uint64_t sector);

// Writes the whole image to out: what the format puts first, the volume,
// and fill up to plan.imageSectors, for a plan that fits_tracks and has no
// container_problem. Returns write_volume's outcome bits.
std::uint32_t write_container(std::FILE* out, const ContainerPlan& plan, const DiskParams& params,
                              const Volume& volume, FileSource& files);
// The same through a sink, for an image made in memory.
std::uint32_t write_container(ByteSink& sink, const ContainerPlan& plan, const DiskParams& params,
                              const Volume& volume, FileSource& files);
