// Writing the image file and reporting how the writer fared.
#include <cerrno>
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/image/dcp_writer.h"
#include "textconv/heap.h"

namespace {

// A larger stream buffer when one can be had: the image goes out in a few
// big writes instead of one per 4 KB.
constexpr std::size_t OUTPUT_BUFFER_SIZE = 1 << 16;

void on_host_file(void* context, const char* hostPath, HostFileProblem problem) {
  const PackerRun& run = *static_cast<const PackerRun*>(context);
  if (problem == HostFileProblem::CannotOpen) {
    report_problem(run, "file %s could not be opened again to write the image\n", hostPath);
  } else {
    report_problem(run, "file %s became shorter after it was measured\n", hostPath);
  }
}

}  // namespace

bool write_image(PackerRun& run) {
  std::FILE* out = std::fopen(run.imagePath, "wb");
  if (out == nullptr) {
    explain_at(run.diag, SourcePlace{run.imagePath, 0, 0}, "cannot open the image for writing: %s",
               std::strerror(errno));
    return false;
  }
  auto* streamBuffer = static_cast<char*>(heap_alloc(OUTPUT_BUFFER_SIZE));
  if (streamBuffer != nullptr) std::setvbuf(out, streamBuffer, _IOFBF, OUTPUT_BUFFER_SIZE);
  std::uint32_t outcome =
      write_dcp_image(out, run.params, run.geometry, &run.root, run.hostPaths, run.boot,
                      run.bootLength, run.infos, on_host_file, &run);
  if (std::fclose(out) != 0) outcome |= DCP_WRITE_FAILED;
  heap_free(streamBuffer);
  if ((outcome & DCP_NO_MEMORY) != 0) {
    report_problem(run, "not enough memory to write image %s\n", run.imagePath);
  } else if ((outcome & DCP_WRITE_FAILED) != 0) {
    report_problem(run, "image %s could not be written\n", run.imagePath);
  }
  return outcome == 0;
}
