#include "diskmason/driver/host_files.h"

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

#include "diskmason/driver/utf8_path.h"
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <new>

namespace {

constexpr std::uint64_t SIZE_LIMIT = 0xFFFFFFFF;

HostFileSize not_opened() {
  int error = errno;
  return HostFileSize{error == ENOMEM ? HostFileState::NoMemory : HostFileState::CannotOpen, error, 0, {}};
}

// The size of a file that could be measured (or, not regular, CannotOpen
// with EISDIR or EINVAL), TooLarge beyond 32 bits.
HostFileSize sized(bool measured, bool folder, std::uint64_t size, const FileIdentity& identity) {
  if (!measured) return HostFileSize{HostFileState::CannotOpen, folder ? EISDIR : EINVAL, 0, {}};
  if (size > SIZE_LIMIT) return HostFileSize{HostFileState::TooLarge, 0, 0, {}};
  return HostFileSize{HostFileState::Measured, 0, static_cast<std::uint32_t>(size), identity};
}

#if !defined(_WIN32)

// Read only, without waiting for a writer when the path is a FIFO and without
// taking a terminal as the controlling one; reads of regular files ignore
// O_NONBLOCK, so the flags need not be changed after the type check.
constexpr int READ_FLAGS = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

#endif

}  // namespace

#if defined(_WIN32)

HostFileSize measure_host_file(const char* path, HostFile* kept) {
  std::FILE* file = open_utf8_path(path, "rb");
  if (file == nullptr) return not_opened();
  struct _stat64 info;
  bool measured = _fstat64(_fileno(file), &info) == 0 && info.st_size >= 0;
  HostFileSize size = sized(measured, false, measured ? static_cast<std::uint64_t>(info.st_size) : 0,
                            identity_of_stream(file));
  if (size.state == HostFileState::Measured && kept != nullptr) {
    kept->stream = file;
  } else {
    std::fclose(file);
  }
  return size;
}

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

// File names are byte strings here: the UTF-8 path is used as it is. One
// open, one fstat for type, identity and size; the close waits for the copy
// when the file is kept.
HostFileSize measure_host_file(const char* path, HostFile* kept) {
  int descriptor = ::open(path, READ_FLAGS);
  if (descriptor < 0) return not_opened();
  struct stat info;
  const bool known = ::fstat(descriptor, &info) == 0;
  const bool regular = known && S_ISREG(info.st_mode);
  HostFileSize size = sized(regular, known && S_ISDIR(info.st_mode), regular ? static_cast<std::uint64_t>(info.st_size) : 0,
                            known ? identity_of_stat(info) : FileIdentity{});
  if (size.state == HostFileState::Measured && kept != nullptr) {
    kept->descriptor = descriptor;
  } else {
    ::close(descriptor);
  }
  return size;
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

namespace {

// How many host files may stay open: a quarter of what the process may
// hold, at most 512.
std::uint32_t kept_limit() {
#if defined(_WIN32)
  return static_cast<std::uint32_t>(_getmaxstdio() / 4);
#else
  constexpr rlim_t MOST = 512;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  return static_cast<std::uint32_t>(limit.rlim_cur == RLIM_INFINITY ? MOST : std::min(MOST, limit.rlim_cur / 4));
#endif
}

}  // namespace

KeptHostFiles::KeptHostFiles() : limit(kept_limit()) {}

KeptHostFiles::~KeptHostFiles() { close_kept_files(*this); }

bool may_keep(const KeptHostFiles& kept) { return kept.kept < kept.limit; }

void keep_host_file(KeptHostFiles& kept, std::uint32_t entry, HostFile file) {
  if (!is_open(file)) return;
  try {
    if (entry >= kept.files.size()) kept.files.resize(std::size_t{entry} + 1);
    kept.files[entry] = file;
    ++kept.kept;
  } catch (const std::bad_alloc&) {
    close_host_file(file);  // it is opened again to be copied
  }
}

HostFile take_kept_file(KeptHostFiles& kept, std::uint32_t entry) {
  if (entry >= kept.files.size()) return HostFile{};
  const HostFile file = kept.files[entry];
  kept.files[entry] = HostFile{};
  return file;
}

void close_kept_files(KeptHostFiles& kept) {
  for (HostFile& file : kept.files) {
    if (is_open(file)) close_host_file(file);
    file = HostFile{};
  }
  kept.limit = 0;
}
