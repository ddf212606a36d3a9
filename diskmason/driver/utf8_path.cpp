#include "diskmason/driver/utf8_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <new>
#include <vector>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Bytes of the mode that are used; the rest is cut off.
constexpr std::size_t MODE_LIMIT = 127;

void write_code_point(std::uint32_t codePoint, std::uint16_t* dst, std::uint32_t* count) {
  if (codePoint <= 0xFFFF) {
    dst[(*count)++] = static_cast<std::uint16_t>(codePoint);
    return;
  }
  dst[(*count)++] = static_cast<std::uint16_t>(0xD7C0 + (codePoint >> 10));
  dst[(*count)++] = static_cast<std::uint16_t>(0xDC00 + (codePoint & 0x3FF));
}

#ifdef _WIN32

// Opens through the platform's UTF-16 file names.
std::FILE* open_platform(const char* path, const char* mode, std::size_t modeLength) {
  static_assert(sizeof(wchar_t) == sizeof(std::uint16_t), "UTF-16 wide characters");
  std::uint16_t wideMode[MODE_LIMIT + 1];
  std::uint32_t units =
      utf8_to_utf16(reinterpret_cast<const std::uint8_t*>(mode), static_cast<std::uint32_t>(modeLength), wideMode);
  wideMode[units] = 0;
  std::size_t length = std::strlen(path);
  if (static_cast<std::uint64_t>(length) >= 0xFFFFFFFFu) return nullptr;
  std::vector<std::uint16_t> widePath;
  try {
    widePath.resize(length + 1);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return nullptr;
  }
  units = utf8_to_utf16(reinterpret_cast<const std::uint8_t*>(path), static_cast<std::uint32_t>(length), widePath.data());
  widePath[units] = 0;
  std::FILE* stream =
      _wfopen(reinterpret_cast<const wchar_t*>(widePath.data()), reinterpret_cast<const wchar_t*>(wideMode));
  if (stream == nullptr) return nullptr;
  struct _stat64 info;
  if (_fstat64(_fileno(stream), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(stream);
    errno = EACCES;
    return nullptr;
  }
  return stream;
}

#else

// File names are byte strings here: the UTF-8 path is used as it is. The
// descriptor is opened without blocking (a FIFO would wait for a writer) and
// checked to be a regular file before the stream is made; regular files
// ignore O_NONBLOCK, so it stays set.
std::FILE* open_platform(const char* path, const char* mode, std::size_t) {
  bool update = std::strchr(mode, '+') != nullptr;
  int flags = 0;
  switch (mode[0]) {
    case 'r': flags = update ? O_RDWR : O_RDONLY; break;
    case 'w': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
    case 'a': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    default: return nullptr;
  }
  if (mode[0] != 'r' && std::strchr(mode, 'x') != nullptr) flags |= O_EXCL;
  int fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd, mode);
  if (stream == nullptr) ::close(fd);
  return stream;
}

#endif

}  // namespace

std::uint32_t utf8_to_utf16(const std::uint8_t* bytes, std::uint32_t length, std::uint16_t* dst) {
  std::uint32_t count = 0;
  std::uint32_t codePoint = 0;
  std::uint32_t expected = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint8_t b = bytes[i];
    if (b <= 0x7F) {
      dst[count++] = b;
      expected = 0;
    } else if (b <= 0xBF) {
      codePoint = (codePoint << 6) | (b & 0x3F);
      if (expected == 1) write_code_point(codePoint, dst, &count);
      if (expected != 0) --expected;
    } else if (b <= 0xDF) {
      expected = 1;
      codePoint = b & 0x1F;
    } else if (b <= 0xEF) {
      expected = 2;
      codePoint = b & 0x0F;
    } else if (b <= 0xF7) {
      expected = 3;
      codePoint = b & 0x07;
    } else {
      expected = 0;
    }
  }
  return count;
}

std::FILE* open_utf8_path(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  char cutMode[MODE_LIMIT + 1];
  std::size_t modeLength = 0;
  while (modeLength < MODE_LIMIT && mode[modeLength] != 0) ++modeLength;
  std::memcpy(cutMode, mode, modeLength);
  cutMode[modeLength] = 0;
  return open_platform(path, cutMode, modeLength);
}
