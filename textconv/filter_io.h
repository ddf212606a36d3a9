// Opening and closing the files of a source filter (bytequill, glyphmint),
// with the checks that keep a user's source safe: the input is never the
// output (by any path or link), and the output is replaced whole or not at
// all.
#pragma once

#include <cstdio>

#include "textconv/whole_output.h"

// The files of one filter run; what is still open is closed, and an output
// not finished is abandoned, when they go.
struct FilterFiles {
  std::FILE* input = nullptr;
  WholeOutput output;
  FilterFiles() = default;
  FilterFiles(const FilterFiles&) = delete;
  FilterFiles& operator=(const FilterFiles&) = delete;
  ~FilterFiles();
};

enum class FilterOpenProblem { None, InputUnreadable, OutputIsInput, OutputUnwritable };

struct FilterOpened {
  FilterOpenProblem problem;
  const char* why;  // the cause, for InputUnreadable and OutputUnwritable
};

// Opens the input for reading and the output for writing; on a problem
// nothing is left open. A folder is no readable input. Also makes a closed
// pipe show up as a failed write instead of ending the process.
FilterOpened open_filter_files(const char* inputPath, const char* outputPath, FilterFiles& files);

struct FilterClosed {
  bool written;       // every write to the output succeeded and it took its place
  const char* cause;  // why not, when known
  bool read;          // reading the input never failed
};

// Closes the input and finishes the output, or with keep false abandons it.
FilterClosed close_filter_files(FilterFiles& files, bool keep);
