#include "diskmason/front/host_files.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr std::uint64_t SIZE_LIMIT = 0xFFFFFFFF;

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

// Read only, without waiting for a writer when the path is a FIFO and without
// taking a terminal as the controlling one; reads of regular files ignore
// O_NONBLOCK, so the flags need not be changed after the type check.
constexpr int READ_FLAGS = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

FileIdentity identity_of(const struct stat& info) {
  return FileIdentity{true, static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

FileIdentity identity_of_path(const char* path) {
  struct stat info;
  if (::stat(path, &info) != 0) return FileIdentity{false, 0, 0};
  return identity_of(info);
}

bool is_same_file(std::FILE* stream, const FileIdentity& file) {
  struct stat info;
  if (!file.known || ::fstat(fileno(stream), &info) != 0) return false;
  return same_identity(identity_of(info), file);
}

// File names are byte strings here: the UTF-8 path is used as it is. One
// open, one fstat for type, identity and size, one close.
HostFileSize measure_host_file(const char* path, const FileIdentity& image) {
  int descriptor = ::open(path, READ_FLAGS);
  if (descriptor < 0) return HostFileSize{HostFileState::CannotOpen, 0};
  struct stat info;
  bool regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  ::close(descriptor);
  if (!regular) return HostFileSize{HostFileState::CannotOpen, 0};
  if (same_identity(identity_of(info), image)) return HostFileSize{HostFileState::IsImage, 0};
  if (static_cast<std::uint64_t>(info.st_size) > SIZE_LIMIT) return HostFileSize{HostFileState::TooLarge, 0};
  return HostFileSize{HostFileState::Measured, static_cast<std::uint32_t>(info.st_size)};
}

// The type was checked when the file was measured. Should the path have
// become something else since, the reads end early (a directory or an empty
// FIFO gives no bytes) and the writer reports a file that shrank.
bool open_host_file(const char* path, HostFile& file) {
  file.descriptor = ::open(path, READ_FLAGS);
  return file.descriptor >= 0;
}

std::uint32_t read_host_file(HostFile& file, std::uint8_t* buffer, std::uint32_t length) {
  std::uint32_t done = 0;
  while (done < length) {
    ssize_t got = ::read(file.descriptor, buffer + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::uint32_t>(got);
  }
  return done;
}

void close_host_file(HostFile& file) { ::close(file.descriptor); }
