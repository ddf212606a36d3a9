#include "diskmason/container/container.h"

#include "diskmason/container/dcp.h"
#include "diskmason/volume/disk_format.h"

namespace {

bool write_to_stream(void* context, const std::uint8_t* bytes, std::size_t length) {
  auto* out = static_cast<std::FILE*>(context);
  return std::fwrite(bytes, 1, length, out) == length;
}

}  // namespace

ContainerPlan plan_container(ImageFormat format, const DiskParams& params, const VolumeGeometry& geometry,
                             std::uint32_t endCluster, bool pad) {
  switch (format) {
    case ImageFormat::Dcp:
    case ImageFormat::Raw:
      break;
  }
  return plan_dcp(params, geometry, endCluster, pad);
}

std::uint64_t sector_limit(const ContainerPlan&, const VolumeGeometry& geometry) {
  return std::uint64_t{geometry.sectorsPerTrack} * MAX_TRACKS;
}

std::uint64_t image_offset(const ContainerPlan&, const VolumeGeometry& geometry, std::uint64_t sector) {
  return DCP_HEADER_SIZE + sector * geometry.sectorSize;
}

std::uint32_t write_container(std::FILE* out, const ContainerPlan& plan, const DiskParams& params,
                              const Volume& volume, FileSource& files) {
  ByteSink sink{write_to_stream, out};
  return write_container(sink, plan, params, volume, files);
}

std::uint32_t write_container(ByteSink& sink, const ContainerPlan& plan, const DiskParams& params,
                              const Volume& volume, FileSource& files) {
  std::uint8_t header[DCP_HEADER_SIZE];
  dcp_header(plan, params.diskType, header);
  if (!sink.write(sink.context, header, sizeof header)) return VOLUME_WRITE_FAILED;
  VolumeWritten written = write_volume(volume, sink, files);
  if ((written.outcome & (VOLUME_NO_MEMORY | VOLUME_WRITE_FAILED)) == 0 && written.sectors < plan.imageSectors &&
      !write_filled_sectors(sink, plan.imageSectors - written.sectors, volume.geometry.sectorSize, FILL_BYTE)) {
    written.outcome |= VOLUME_WRITE_FAILED;
  }
  return written.outcome;
}
