// Opening and closing the files of a source filter (bytequill, glyphmint),
// with the checks that keep a user's source safe.
#pragma once

#include <cstdint>
#include <cstdio>

struct Diagnostics;

// Opens input_path for reading and output_path for writing. Prints the
// program's one-line message and returns false when the input cannot be
// opened (a folder counts as unopenable), when the output names the same file
// as the input (checked before anything is truncated) or when the output
// cannot be opened. On false nothing is left open. Also makes a closed pipe
// show up as a failed write instead of ending the process.
// With diagnostics, each failure is also explained on standard error.
bool open_filter_files(const char* program, const char* input_path, const char* output_path,
                       std::FILE** input, std::FILE** output, Diagnostics* diagnostics = nullptr);

// Closes the output and then the input. Returns false, after printing
// "<PROGRAM> couldn't write <path>", when any write to the output failed, or
// after "<PROGRAM> couldn't read its input" when reading the input failed.
bool close_filter_files(const char* program, const char* output_path, std::FILE* input,
                        std::FILE* output, Diagnostics* diagnostics = nullptr);

// The file an output stream writes to.
struct OutputFile {
  bool regular;  // a regular file (not a device, pipe or socket)
  std::uint64_t device;  // on Windows the volume serial number
  std::uint64_t inode;   // on Windows the file index
};

OutputFile identify_output(std::FILE* output);

// Removes the output at path when path itself (not a link to it) still names
// that regular file. Returns true when it was removed.
bool remove_output_file(const char* path, const OutputFile& file);

