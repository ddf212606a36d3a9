#include "diskmason/container/container.h"

#include "diskmason/container/d88.h"
#include "diskmason/container/dcp.h"
#include "diskmason/container/raw.h"
#include "diskmason/volume/disk_format.h"

namespace {

bool write_to_stream(void* context, const std::uint8_t* bytes, std::size_t length) {
  auto* out = static_cast<std::FILE*>(context);
  return std::fwrite(bytes, 1, length, out) == length;
}

// The volume, then fill up to the plan's sectors.
std::uint32_t write_sectors(ByteSink& sink, const ContainerPlan& plan, const Volume& volume, FileSource& files) {
  VolumeWritten written = write_volume(volume, sink, files);
  if ((written.outcome & (VOLUME_NO_MEMORY | VOLUME_WRITE_FAILED)) == 0 && written.sectors < plan.imageSectors &&
      !write_filled_sectors(sink, plan.imageSectors - written.sectors, volume.geometry.sectorSize, FILL_BYTE)) {
    written.outcome |= VOLUME_WRITE_FAILED;
  }
  return written.outcome;
}

}  // namespace

ContainerPlan plan_container(ImageFormat format, const DiskParams& params, const VolumeGeometry& geometry,
                             std::uint32_t endCluster, std::uint64_t volumeSectors, bool pad) {
  ContainerPlan plan = plan_dcp(params, geometry, endCluster, pad);
  plan.volumeSectors = volumeSectors;
  switch (format) {
    case ImageFormat::Dcp:
      break;
    case ImageFormat::Raw:
      plan_raw(plan, params);
      break;
    case ImageFormat::D88:
      plan_d88(plan, geometry);
      break;
  }
  return plan;
}

ContainerProblem container_problem(const ContainerPlan& plan, const DiskParams& params,
                                   const VolumeGeometry& geometry) {
  // The track rule leaves out a boot area longer than a sector, which these
  // formats must hold too.
  if (plan.format != ImageFormat::Dcp && plan.volumeSectors > sector_limit(plan, geometry)) {
    return ContainerProblem::PastTracks;
  }
  switch (plan.format) {
    case ImageFormat::Dcp:
      break;
    case ImageFormat::Raw:
      return raw_problem(plan, params);
    case ImageFormat::D88:
      return d88_problem(geometry);
  }
  return ContainerProblem::None;
}

const char* format_title(ImageFormat format) {
  switch (format) {
    case ImageFormat::Dcp:
      return "DCP";
    case ImageFormat::Raw:
      return "raw";
    case ImageFormat::D88:
      return "D88";
  }
  return "DCP";
}

std::uint64_t sector_limit(const ContainerPlan&, const VolumeGeometry& geometry) {
  return std::uint64_t{geometry.sectorsPerTrack} * MAX_TRACKS;
}

std::uint64_t image_offset(const ContainerPlan& plan, const VolumeGeometry& geometry, std::uint64_t sector) {
  switch (plan.format) {
    case ImageFormat::Dcp:
      break;
    case ImageFormat::Raw:
      return sector * geometry.sectorSize;
    case ImageFormat::D88:
      return d88_offset(geometry, sector);
  }
  return DCP_HEADER_SIZE + sector * geometry.sectorSize;
}

std::uint32_t write_container(std::FILE* out, const ContainerPlan& plan, const DiskParams& params,
                              const Volume& volume, FileSource& files) {
  ByteSink stream{write_to_stream, out};
  return write_container(stream, plan, params, volume, files);
}

std::uint32_t write_container(ByteSink& stream, const ContainerPlan& plan, const DiskParams& params,
                              const Volume& volume, FileSource& files) {
  switch (plan.format) {
    case ImageFormat::Dcp: {
      std::uint8_t header[DCP_HEADER_SIZE];
      dcp_header(plan, params.diskType, header);
      if (!stream.write(stream.context, header, sizeof header)) return VOLUME_WRITE_FAILED;
      break;
    }
    case ImageFormat::Raw:
      break;
    case ImageFormat::D88: {
      std::uint8_t header[D88_HEADER_SIZE];
      d88_header(plan, params, volume.geometry, header);
      if (!stream.write(stream.context, header, sizeof header)) return VOLUME_WRITE_FAILED;
      D88SectorSink sectors{stream, volume.geometry, 0, 0, 0};
      d88_size_code(volume.geometry.sectorSize, &sectors.sizeCode);
      ByteSink sink = d88_sink(sectors);
      return write_sectors(sink, plan, volume, files);
    }
  }
  return write_sectors(stream, plan, volume, files);
}
