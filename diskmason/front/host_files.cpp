#include "diskmason/front/host_files.h"

#include <sys/stat.h>

#include "diskmason/front/utf8_path.h"

namespace {

FileIdentity identity_of(const struct stat& info) {
  return FileIdentity{true, static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

FileIdentity identity_of_path(const char* path) {
  struct stat info;
  if (stat(path, &info) != 0) return FileIdentity{false, 0, 0};
  return identity_of(info);
}

bool is_same_file(std::FILE* stream, const FileIdentity& file) {
  struct stat info;
  if (!file.known || fstat(fileno(stream), &info) != 0) return false;
  FileIdentity other = identity_of(info);
  return other.device == file.device && other.inode == file.inode;
}

HostFileSize measure_host_file(const char* path, const FileIdentity& image) {
  std::FILE* file = open_utf8_path(path, "rb");
  if (file == nullptr) return HostFileSize{HostFileState::CannotOpen, 0};
  if (is_same_file(file, image)) {
    std::fclose(file);
    return HostFileSize{HostFileState::IsImage, 0};
  }
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  std::fclose(file);
  if (size < 0) return HostFileSize{HostFileState::CannotOpen, 0};
  if (static_cast<unsigned long>(size) > 0xFFFFFFFFul) return HostFileSize{HostFileState::TooLarge, 0};
  return HostFileSize{HostFileState::Measured, static_cast<std::uint32_t>(size)};
}
