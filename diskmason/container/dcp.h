// The DCP image format: a 162-byte header (the disk type byte from the file
// list, one flag per track saying the image holds it, and a flag for all
// 160), then the volume's sectors from sector 0, as far as the data goes
// or, padded, to the end of the last present track.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diskmason/container/container.h"

constexpr std::uint32_t DCP_HEADER_SIZE = 162;

// The track rule, which every format follows: the header's track count
// raised to the tracks the data needs.
ContainerPlan plan_dcp(const DiskParams& params, const VolumeGeometry& geometry, std::uint32_t endCluster,
                       bool pad);

// The header: the disk type, the present tracks' flags and the all-present flag.
void dcp_header(const ContainerPlan& plan, std::uint8_t diskType, std::uint8_t (&header)[DCP_HEADER_SIZE]);
