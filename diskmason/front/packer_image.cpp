// Writing the image file and reporting how the writer fared.
#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

#if defined(_WIN32)

std::FILE* open_image(const char* path, bool* regular) {
  *regular = false;
  return std::fopen(path, "wb");
}

bool cut_image(std::FILE*) { return true; }

#else

// Opens the image for writing like "wb", except that an existing image is
// written over in place and cut to its new length by cut_image: rebuilding
// an image then rewrites its blocks, where emptying it first would have the
// file system free every block and allocate it anew (and ext4 write them
// out at close).
std::FILE* open_image(const char* path, bool* regular) {
  int descriptor = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (descriptor < 0) return nullptr;
  struct stat info;
  *regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  std::FILE* out = ::fdopen(descriptor, "wb");
  if (out == nullptr) ::close(descriptor);
  return out;
}

// Cuts a regular image file after the last byte written, whether or not
// every write succeeded; false when that fails.
bool cut_image(std::FILE* out) {
  std::fflush(out);
  int descriptor = fileno(out);
  off_t end = ::lseek(descriptor, 0, SEEK_CUR);
  return end >= 0 && ::ftruncate(descriptor, end) == 0;
}

#endif

}  // namespace

bool write_image(PackerRun& run) {
  bool regular = false;
  std::FILE* out = open_image(run.imagePath, &regular);
  if (out == nullptr) {
    explain_at(run.diag, SourcePlace{run.imagePath, 0, 0}, "cannot open the image for writing: %s",
               std::strerror(errno));
    return false;
  }
  auto* streamBuffer = static_cast<char*>(heap_alloc(OUTPUT_BUFFER_SIZE));
  if (streamBuffer != nullptr) std::setvbuf(out, streamBuffer, _IOFBF, OUTPUT_BUFFER_SIZE);
  std::uint32_t outcome =
      write_dcp_image(out, run.params, run.geometry, &run.root, run.hostPaths, run.boot,
                      run.bootLength, run.infos, on_host_file, &run, &run.keptHostFiles);
  if (regular && !cut_image(out)) outcome |= DCP_WRITE_FAILED;
  if (std::fclose(out) != 0) outcome |= DCP_WRITE_FAILED;
  heap_free(streamBuffer);
  if ((outcome & DCP_NO_MEMORY) != 0) {
    report_problem(run, "not enough memory to write image %s\n", run.imagePath);
  } else if ((outcome & DCP_WRITE_FAILED) != 0) {
    report_problem(run, "image %s could not be written\n", run.imagePath);
  }
  return outcome == 0;
}
