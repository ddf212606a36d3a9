// Host files as the packer sees them: which file a path or stream names (so
// that the image never overwrites one of its inputs), how long it is, and
// reading it again to copy it into the image.
#pragma once

#include <cstdint>
#include <cstdio>

// A file's identity on the host (device and inode; on Windows the volume
// serial number and the file index); `known` is false when it could not be
// found out (for a path: no such file yet).
struct FileIdentity {
  bool known;
  std::uint64_t device;
  std::uint64_t inode;
};

FileIdentity identity_of_path(const char* path);

// True when the open stream is known to be the file `file` identifies.
bool is_same_file(std::FILE* stream, const FileIdentity& file);

// NoMemory: the host ran out of memory opening it (errno ENOMEM), which says
// nothing about the file.
enum class HostFileState : std::uint8_t { Measured, CannotOpen, IsImage, TooLarge, NoMemory };

struct HostFileSize {
  HostFileState state;
  std::uint32_t size;  // bytes, when Measured
};

// Opens the regular host file at its UTF-8 path and measures it; IsImage
// when it is the file `image` identifies, TooLarge beyond 32 bits of size.
HostFileSize measure_host_file(const char* path, const FileIdentity& image);

// A host file open for reading: a descriptor, or on Windows a stream opened
// by its UTF-16 path.
struct HostFile {
#if defined(_WIN32)
  std::FILE* stream;
#else
  int descriptor;
#endif
};

// Opens a host file that measure_host_file accepted, to copy it; false when
// it cannot be opened, errno ENOMEM when memory ran out. Neither open blocks
// on a FIFO.
bool open_host_file(const char* path, HostFile& file);
// Reads up to `length` bytes; fewer only at the file's end or on an error.
std::uint32_t read_host_file(HostFile& file, std::uint8_t* buffer, std::uint32_t length);
void close_host_file(HostFile& file);
