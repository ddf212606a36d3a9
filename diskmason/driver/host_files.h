// The host files a file list names: measuring each one (refusing the image
// itself), keeping it open until its bytes are copied, and reading it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "textconv/file_identity.h"

// NoMemory: the host ran out of memory opening it (errno ENOMEM), which says
// nothing about the file.
enum class HostFileState : std::uint8_t { Measured, CannotOpen, TooLarge, NoMemory };

struct HostFileSize {
  HostFileState state;
  int error;              // errno, when CannotOpen
  std::uint32_t size;     // bytes, when Measured
  FileIdentity identity;  // when Measured
};

// A host file open for reading: a descriptor, or on Windows a stream opened
// by its UTF-16 path.
struct HostFile {
#if defined(_WIN32)
  std::FILE* stream = nullptr;
#else
  int descriptor = -1;
#endif
};

bool is_open(const HostFile& file);

// Opens the regular host file at its UTF-8 path and measures it; TooLarge
// beyond 32 bits of size. A measured file stays open in *kept when kept is
// given (so that copying it needs no second open), else it is closed.
HostFileSize measure_host_file(const char* path, HostFile* kept = nullptr);

// Opens a host file that measure_host_file accepted, to copy it; false when
// it cannot be opened, errno ENOMEM when memory ran out. Neither open blocks
// on a FIFO.
bool open_host_file(const char* path, HostFile& file);
// Reads up to `length` bytes; fewer only at the file's end or on an error.
std::uint32_t read_host_file(HostFile& file, std::uint8_t* buffer, std::uint32_t length);
void close_host_file(HostFile& file);

// Host files kept open between measuring and copying, by entry number: a
// small share of the descriptors (streams on Windows) the process may hold,
// so each file takes one open instead of two.
struct KeptHostFiles {
  std::vector<HostFile> files;  // by entry number
  std::uint32_t kept = 0;
  std::uint32_t limit = 0;
  KeptHostFiles();
  ~KeptHostFiles();
  KeptHostFiles(const KeptHostFiles&) = delete;
  KeptHostFiles& operator=(const KeptHostFiles&) = delete;
};

// True while one more host file may stay open.
bool may_keep(const KeptHostFiles& kept);
// Keeps an open file for `entry` (or closes it when memory ran out).
void keep_host_file(KeptHostFiles& kept, std::uint32_t entry, HostFile file);
// Takes the file kept open for `entry` out of its place; a closed HostFile
// when none is kept.
HostFile take_kept_file(KeptHostFiles& kept, std::uint32_t entry);
// Closes every file still kept; no more are kept from then on.
void close_kept_files(KeptHostFiles& kept);
