// Writing the image file and the layout map, and saying how it went.
#include <cerrno>
#include <cstring>
#include <memory>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "diskmason/container/disk_map.h"
#include "diskmason/driver/pack_run.h"
#include "diskmason/volume/volume_writer.h"

namespace {

// A larger stream buffer: the image goes out in a few big writes instead
// of one per 4 KB.
constexpr std::size_t OUTPUT_BUFFER_SIZE = 1 << 16;

// The host files as the volume writer reads them: the one kept open since
// it was measured, else opened again by its path.
struct HostFileSource {
  PackRun& run;
  HostFile open;
};

FileOpened open_entry(void* context, std::uint32_t entry) {
  auto& s = *static_cast<HostFileSource*>(context);
  s.open = take_kept_file(s.run.hostFiles, entry);
  if (is_open(s.open) || open_host_file(s.run.disk.tree.entries[entry].hostPath.c_str(), s.open)) {
    return FileOpened::Open;
  }
  // Memory that ran out says nothing about the file; the writer stops.
  return errno == ENOMEM ? FileOpened::NoMemory : FileOpened::Missing;
}

std::uint32_t read_entry(void* context, std::uint8_t* buffer, std::uint32_t length) {
  return read_host_file(static_cast<HostFileSource*>(context)->open, buffer, length);
}

void close_entry(void* context) {
  auto& s = *static_cast<HostFileSource*>(context);
  close_host_file(s.open);
  s.open = HostFile{};
}

void missed_entry(void* context, std::uint32_t entry, bool shortened) {
  auto& s = *static_cast<HostFileSource*>(context);
  const char* path = s.run.disk.tree.entries[entry].hostPath.c_str();
  if (shortened) {
    report_problem(s.run, "file %s became shorter after it was measured\n", path);
  } else {
    report_problem(s.run, "file %s could not be opened again to write the image\n", path);
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
// file system free every block and allocate it anew.
std::FILE* open_image(const char* path, bool* regular) {
  int descriptor = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (descriptor < 0) return nullptr;
  struct stat info;
  *regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  std::FILE* out = ::fdopen(descriptor, "wb");
  if (out == nullptr) ::close(descriptor);
  return out;
}

// Cuts a regular image file after the last byte written; false when that fails.
bool cut_image(std::FILE* out) {
  std::fflush(out);
  int descriptor = fileno(out);
  off_t end = ::lseek(descriptor, 0, SEEK_CUR);
  return end >= 0 && ::ftruncate(descriptor, end) == 0;
}

#endif

}  // namespace

bool write_image(PackRun& run) {
  const char* path = run.options.imagePath;
  bool regular = false;
  std::FILE* out = open_image(path, &regular);
  if (out == nullptr) {
    explain_at(run.reporter, SourcePlace{path, 0, 0}, "cannot open the image for writing: %s", std::strerror(errno));
    return false;
  }
  std::unique_ptr<char[]> streamBuffer(new (std::nothrow) char[OUTPUT_BUFFER_SIZE]);
  if (streamBuffer != nullptr) std::setvbuf(out, streamBuffer.get(), _IOFBF, OUTPUT_BUFFER_SIZE);
  const Disk& disk = run.disk;
  Volume volume{disk.params, disk.geometry, disk.tree, disk.order, disk.boot.data(),
                static_cast<std::uint32_t>(disk.boot.size())};
  HostFileSource source{run, HostFile{}};
  FileSource files{open_entry, read_entry, close_entry, missed_entry, &source};
  std::uint32_t outcome = write_container(out, disk.plan, disk.params, volume, files);
  if (regular && !cut_image(out)) outcome |= VOLUME_WRITE_FAILED;
  if (std::fclose(out) != 0) outcome |= VOLUME_WRITE_FAILED;
  if ((outcome & VOLUME_NO_MEMORY) != 0) {
    report_problem(run, "not enough memory to write image %s\n", path);
  } else if ((outcome & VOLUME_WRITE_FAILED) != 0) {
    report_problem(run, "image %s could not be written\n", path);
  }
  return outcome == 0;
}

bool write_map(PackRun& run) {
  const char* path = run.options.mapPath;
  if (path == nullptr) return true;
  bool toStdout = std::strcmp(path, "-") == 0;
  bool ok = stored_names_readable(run);
  if (!ok) explain_no_memory(run, "for the map");
  std::FILE* out = !ok ? nullptr : toStdout ? stdout : std::fopen(path, "wb");
  ok = out != nullptr;
  if (ok) {
    const Disk& disk = run.disk;
    ok = write_disk_map(out, DiskMap{disk.tree, disk.geometry, disk.plan, disk.order, disk.params.totalSectors,
                                     run.reverse});
    if (!toStdout && std::fclose(out) != 0) ok = false;
  }
  if (!ok) report_problem(run, "map %s could not be written\n", path);
  return ok;
}
