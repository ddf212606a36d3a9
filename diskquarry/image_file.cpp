#include "diskquarry/image_file.h"

#include <cerrno>
#include <cstdio>
#include <new>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "diskmason/driver/utf8_path.h"

ImageFileBytes::~ImageFileBytes() {
#if !defined(_WIN32)
  if (mapped != nullptr) ::munmap(mapped, mappedSize);
#endif
}

namespace {

// The whole file in one read.
FileLoaded read_whole(std::FILE* in, std::size_t limit, ImageFileBytes& out) {
  long size = std::fseek(in, 0, SEEK_END) == 0 ? std::ftell(in) : -1;
  if (size < 0 || std::fseek(in, 0, SEEK_SET) != 0) return FileLoaded::CannotRead;
  if (static_cast<unsigned long>(size) > limit) return FileLoaded::TooLarge;
  try {
    out.read.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return FileLoaded::CannotRead;
  }
  if (size != 0 && std::fread(out.read.data(), 1, out.read.size(), in) != out.read.size()) return FileLoaded::CannotRead;
  out.data = out.read.data();
  out.size = out.read.size();
  return FileLoaded::Loaded;
}

}  // namespace

FileLoaded load_image_file(const char* path, std::size_t limit, ImageFileBytes& out) {
  std::FILE* in = open_utf8_path(path, "rb");
  if (in == nullptr) return FileLoaded::CannotOpen;
  FileLoaded loaded = FileLoaded::Loaded;
#if !defined(_WIN32)
  struct stat info;
  if (::fstat(fileno(in), &info) == 0 && info.st_size > 0 && static_cast<std::uint64_t>(info.st_size) <= limit) {
    auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(in), 0);
    if (mapped != MAP_FAILED) {
      out.mapped = mapped;
      out.mappedSize = size;
      out.data = static_cast<const std::uint8_t*>(mapped);
      out.size = size;
      std::fclose(in);
      return loaded;
    }
  }
#endif
  loaded = read_whole(in, limit, out);
  std::fclose(in);
  return loaded;
}
