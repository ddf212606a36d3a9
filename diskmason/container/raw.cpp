#include "diskmason/container/raw.h"

void plan_raw(ContainerPlan& plan, const DiskParams& params) {
  plan.format = ImageFormat::Raw;
  plan.imageSectors = params.totalSectors;
}

ContainerProblem raw_problem(const ContainerPlan& plan, const DiskParams& params) {
  return plan.volumeSectors > params.totalSectors ? ContainerProblem::PastTotalSectors : ContainerProblem::None;
}
