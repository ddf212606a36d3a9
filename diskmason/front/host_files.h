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

// Opens the regular host file at its UTF-8 path and measures it; IsImage
// when it is the file `image` identifies, TooLarge beyond 32 bits of size.
// A measured file stays open in *kept when kept is given (so that copying
// it needs no second open), else it is closed.
HostFileSize measure_host_file(const char* path, const FileIdentity& image, HostFile* kept = nullptr);

// How many host files may stay open between measuring and copying: a small
// share of the descriptors (streams on Windows) the process may hold.
std::uint32_t host_files_kept_limit();

// Opens a host file that measure_host_file accepted, to copy it; false when
// it cannot be opened, errno ENOMEM when memory ran out. Neither open blocks
// on a FIFO.
bool open_host_file(const char* path, HostFile& file);
// Reads up to `length` bytes; fewer only at the file's end or on an error.
std::uint32_t read_host_file(HostFile& file, std::uint8_t* buffer, std::uint32_t length);
void close_host_file(HostFile& file);

// Host files kept open between measuring and copying, by host path index.
struct KeptHostFiles {
  HostFile* files = nullptr;
  std::uint32_t capacity = 0;
  std::uint32_t handedOut = 0;  // places given out, open or not
  std::uint32_t limit = 0;      // how many may be
};

// The place where host file `index` may stay open, or nullptr when no more
// may (or memory for the place ran out): that file is reopened to be copied.
HostFile* kept_place(KeptHostFiles& kept, std::uint32_t index);
// Takes the file kept open for host file `index` out of its place; a closed
// HostFile when none is kept.
HostFile take_kept_file(KeptHostFiles& kept, std::uint32_t index);
// Closes every file still kept and gives up the places.
void close_kept_files(KeptHostFiles& kept);
