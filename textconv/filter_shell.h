// The command line shared by the source filters (bytequill, glyphmint):
// PROGRAM [OPTIONS] input-path output-path [optional arguments]. The shell
// reads the options, checks the arguments, opens both files safely, runs the
// filter, and puts the output in place only when the run succeeds.
#pragma once

#include <cstdio>

#include "textconv/command_line.h"
#include "textconv/input_report.h"

// What a filter works on in one run.
struct FilterRun {
  std::FILE* input;
  std::FILE* output;
  int extraCount;  // optional arguments after the two paths
  char* const* extra;
  InputReport report;  // where findings about the input go
  bool checksText;     // findings are shown or counted: check the text and track places
};

// One filter program.
struct FilterCommand {
  const char* name;  // in capitals; the first word of its messages
  int maxExtra;      // optional arguments it accepts after the two paths
  bool (*filter)(const FilterRun& run);  // true when nothing failed
  ProgramInfo program;  // what --help and usage errors say
};

// Runs the filter on its command line (argv[0] is the program). Returns the
// exit status: 0 when every step succeeded, 1 after a one-line message (the
// filter prints its own) or, under --strict, after any warning; 0 after
// --help or --version and 2 after a usage error.
int run_filter(const FilterCommand& command, int argc, char** argv);
