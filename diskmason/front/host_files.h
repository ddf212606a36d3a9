// Host files as the packer sees them: which file a path or stream names (so
// that the image never overwrites one of its inputs) and how long it is.
#pragma once

#include <cstdint>
#include <cstdio>

// A file's identity on the host; `known` is false when it could not be found
// out (for a path: no such file yet).
struct FileIdentity {
  bool known;
  std::uint64_t device;
  std::uint64_t inode;
};

FileIdentity identity_of_path(const char* path);

// True when the open stream is known to be the file `file` identifies.
bool is_same_file(std::FILE* stream, const FileIdentity& file);

enum class HostFileState : std::uint8_t { Measured, CannotOpen, IsImage, TooLarge };

struct HostFileSize {
  HostFileState state;
  std::uint32_t size;  // bytes, when Measured
};

// Opens the host file at its UTF-8 path and measures it; IsImage when it is
// the file `image` identifies, TooLarge beyond 32 bits of size.
HostFileSize measure_host_file(const char* path, const FileIdentity& image);
