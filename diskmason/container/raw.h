// The raw image format: the volume's sectors from sector 0 up to the disk's
// total sectors, nothing before, between or after them: what FAT tools and
// many emulators read as a plain sector image.
#pragma once

#include "diskmason/container/container.h"

// Makes the track rule's plan raw: the image holds exactly totalSectors.
void plan_raw(ContainerPlan& plan, const DiskParams& params);

// PastTotalSectors when the volume does not end within totalSectors.
ContainerProblem raw_problem(const ContainerPlan& plan, const DiskParams& params);
