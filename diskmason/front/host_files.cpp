#include "diskmason/front/host_files.h"

#include <sys/stat.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include "diskmason/front/utf8_path.h"
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>

#include "textconv/heap.h"

namespace {

constexpr std::uint64_t SIZE_LIMIT = 0xFFFFFFFF;

HostFileSize not_opened() {
  return HostFileSize{errno == ENOMEM ? HostFileState::NoMemory : HostFileState::CannotOpen, 0};
}

// The size of a file that could be measured (or CannotOpen), TooLarge
// beyond 32 bits.
HostFileSize sized(bool measured, std::uint64_t size) {
  if (!measured) return HostFileSize{HostFileState::CannotOpen, 0};
  if (size > SIZE_LIMIT) return HostFileSize{HostFileState::TooLarge, 0};
  return HostFileSize{HostFileState::Measured, static_cast<std::uint32_t>(size)};
}

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

#if defined(_WIN32)

// Files are told apart by the volume's serial number and the file's index on
// it: two spellings of one path (letter case, "sub\..\") give the same pair.
FileIdentity identity_of_handle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
    return FileIdentity{false, 0, 0};
  }
  return FileIdentity{true, info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

FileIdentity identity_of_stream(std::FILE* stream) {
  return identity_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

#else

// Read only, without waiting for a writer when the path is a FIFO and without
// taking a terminal as the controlling one; reads of regular files ignore
// O_NONBLOCK, so the flags need not be changed after the type check.
constexpr int READ_FLAGS = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

FileIdentity identity_of(const struct stat& info) {
  return FileIdentity{true, static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

#endif

}  // namespace

#if defined(_WIN32)

// The image path is narrow, as the output is opened: the same file fopen finds.
FileIdentity identity_of_path(const char* path) {
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileIdentity{false, 0, 0};
  FileIdentity identity = identity_of_handle(handle);
  CloseHandle(handle);
  return identity;
}

bool is_same_file(std::FILE* stream, const FileIdentity& file) {
  return file.known && same_identity(identity_of_stream(stream), file);
}

HostFileSize measure_host_file(const char* path, const FileIdentity& image, HostFile* kept) {
  std::FILE* file = open_utf8_path(path, "rb");
  if (file == nullptr) return not_opened();
  if (is_same_file(file, image)) {
    std::fclose(file);
    return HostFileSize{HostFileState::IsImage, 0};
  }
  struct _stat64 info;
  bool measured = _fstat64(_fileno(file), &info) == 0 && info.st_size >= 0;
  HostFileSize size = sized(measured, measured ? static_cast<std::uint64_t>(info.st_size) : 0);
  if (size.state == HostFileState::Measured && kept != nullptr) {
    kept->stream = file;
  } else {
    std::fclose(file);
  }
  return size;
}

std::uint32_t host_files_kept_limit() { return static_cast<std::uint32_t>(_getmaxstdio() / 4); }

bool is_open(const HostFile& file) { return file.stream != nullptr; }

bool open_host_file(const char* path, HostFile& file) {
  file.stream = open_utf8_path(path, "rb");
  return file.stream != nullptr;
}

std::uint32_t read_host_file(HostFile& file, std::uint8_t* buffer, std::uint32_t length) {
  return static_cast<std::uint32_t>(std::fread(buffer, 1, length, file.stream));
}

void close_host_file(HostFile& file) { std::fclose(file.stream); }

#else

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
// open, one fstat for type, identity and size; the close waits for the copy
// when the file is kept.
HostFileSize measure_host_file(const char* path, const FileIdentity& image, HostFile* kept) {
  int descriptor = ::open(path, READ_FLAGS);
  if (descriptor < 0) return not_opened();
  struct stat info;
  const bool regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  HostFileSize size{HostFileState::CannotOpen, 0};
  if (regular && same_identity(identity_of(info), image)) {
    size.state = HostFileState::IsImage;
  } else {
    size = sized(regular, regular ? static_cast<std::uint64_t>(info.st_size) : 0);
  }
  if (size.state == HostFileState::Measured && kept != nullptr) {
    kept->descriptor = descriptor;
  } else {
    ::close(descriptor);
  }
  return size;
}

std::uint32_t host_files_kept_limit() {
  constexpr rlim_t MOST = 512;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  return static_cast<std::uint32_t>(limit.rlim_cur == RLIM_INFINITY ? MOST : std::min(MOST, limit.rlim_cur / 4));
}

bool is_open(const HostFile& file) { return file.descriptor >= 0; }

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

#endif

HostFile* kept_place(KeptHostFiles& kept, std::uint32_t index) {
  if (kept.handedOut >= kept.limit || index >= kept.limit * 2) return nullptr;
  if (index >= kept.capacity) {
    std::uint32_t capacity = kept.capacity == 0 ? 64 : kept.capacity;
    while (capacity <= index) capacity *= 2;
    auto* files = static_cast<HostFile*>(heap_realloc(kept.files, std::size_t{capacity} * sizeof(HostFile)));
    if (files == nullptr) return nullptr;
    for (std::uint32_t i = kept.capacity; i < capacity; ++i) files[i] = HostFile{};
    kept.files = files;
    kept.capacity = capacity;
  }
  HostFile& place = kept.files[index];
  if (is_open(place)) close_host_file(place);
  place = HostFile{};
  ++kept.handedOut;
  return &place;
}

HostFile take_kept_file(KeptHostFiles& kept, std::uint32_t index) {
  if (index >= kept.capacity) return HostFile{};
  const HostFile file = kept.files[index];
  kept.files[index] = HostFile{};
  return file;
}

void close_kept_files(KeptHostFiles& kept) {
  for (std::uint32_t i = 0; i < kept.capacity; ++i) {
    if (is_open(kept.files[i])) close_host_file(kept.files[i]);
  }
  heap_free(kept.files);
  kept.files = nullptr;
  kept.capacity = 0;
}
