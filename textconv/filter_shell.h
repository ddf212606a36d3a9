// The command line shared by the source filters (bytequill, glyphmint):
// PROGRAM input-path output-path [optional arguments]. The shell checks the
// arguments, opens both files safely, runs the filter and closes the files.
#pragma once

#include <cstdio>

// What a filter works on in one run.
struct FilterRun {
  std::FILE* input;
  std::FILE* output;
  int extraCount;     // optional arguments after the two paths
  char* const* extra;
};

// One filter program.
struct FilterCommand {
  const char* name;  // in capitals; the first word of its messages
  int maxExtra;      // optional arguments it accepts after the two paths
  bool (*filter)(const FilterRun& run);  // true when nothing failed
};

// Runs the filter on its command line (argv[0] is the program). Returns the
// exit status: 0 when every step succeeded, else 1 after a one-line message
// on standard output (the filter prints its own).
int run_filter(const FilterCommand& command, int argc, char** argv);
