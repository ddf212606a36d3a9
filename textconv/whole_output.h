// An output replaced whole or not at all: the bytes go to a new temporary
// file in the target's folder, which takes the target's name only when the
// run succeeds (a failed run leaves the previous file and no temporary; a
// killed one may leave a temporary, never a half-written target). Targets
// that cannot be replaced so are written directly: standard output (the
// file it writes to, or "-" where the caller gives it that meaning), devices
// and pipes.
#pragma once

#include <cstdio>
#include <string>

#include "textconv/file_identity.h"

struct WholeOutput {
  std::string path;       // as given
  std::string finalPath;  // where it lands: a symbolic link's target
  std::string tempPath;   // the temporary; empty when written directly
  std::FILE* stream = nullptr;
  bool toStandardOutput = false;  // the stream is standard output
  WholeOutput() = default;
  WholeOutput(const WholeOutput&) = delete;
  WholeOutput& operator=(const WholeOutput&) = delete;
  ~WholeOutput();  // abandons an output not finished
};

// Why an output could not be opened or finished: the system's errno, or
// HELD_OPEN when another program holds the target open (Windows).
constexpr int HELD_OPEN = -1;

// True when path names standard output: the file standard output already
// writes to (/dev/stdout, a redirection), or "-" when dashIsStandardOutput.
// Elsewhere "-" is a file of that name, as it always was.
bool is_standard_output(const char* path, bool dashIsStandardOutput = false);

// Opens the output for path; false with *error set. A stream buffer of its
// own is not set: callers choose.
bool open_whole_output(WholeOutput& out, const char* path, int* error, bool dashIsStandardOutput = false);

// Flushes and closes the stream and puts the file in place, keeping the
// permission bits of the file it replaces (a new file gets 0666 less the
// umask); false with *error set when a write, the close or the rename
// failed, and then nothing changed at the target.
bool finish_whole_output(WholeOutput& out, int* error);

// Closes the stream and removes the temporary: the target stays as it was.
void abandon_whole_output(WholeOutput& out);

// Where the output would land, for telling two outputs apart before either
// is written: its final path made absolute (empty for standard output, or
// when memory ran out) and its identity when it exists.
struct OutputPlace {
  std::string absolutePath;
  FileIdentity identity;
};
OutputPlace output_place(const char* path, bool dashIsStandardOutput = false);
bool same_place(const OutputPlace& a, const OutputPlace& b);
