// Which file a path or an open file is, however its path is spelled (links,
// "..", letter case on Windows): the device and inode numbers, or on Windows
// the volume serial number and the file index. The programs compare
// identities so that no output is ever written over one of its inputs.
#pragma once

#include <cstdint>
#include <cstdio>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

struct FileIdentity {
  bool known;    // the system could tell what the file is
  bool indexed;  // volume and index are known (a file on a disk)
  bool regular;  // a regular file (not a folder, device, pipe or socket)
  bool folder;
  std::uint64_t volume;
  std::uint64_t index;
};

// The file at path; the link itself, not what it points to, unless
// followLinks. Unknown when there is no such file.
FileIdentity identity_of_path(const char* path, bool followLinks = true);
FileIdentity identity_of_stream(std::FILE* stream);
FileIdentity identity_of_descriptor(int descriptor);
#if !defined(_WIN32)
// From a stat the caller made already (one system call for size and identity).
FileIdentity identity_of_stat(const struct stat& st);
#endif

// True when both are known to be one file.
bool same_file(const FileIdentity& a, const FileIdentity& b);

// True when both are one regular file: writing to a device or a pipe that
// is also read destroys nothing.
bool same_regular_file(const FileIdentity& a, const FileIdentity& b);

// Why path could not be opened with error: "it is a folder" for a folder
// (which Windows refuses as "Permission denied"), else the system's words.
const char* open_failure_text(const char* path, int error);

// Standard output and standard error keep their bytes (no line end becomes
// CR LF on Windows).
void use_binary_standard_streams();
