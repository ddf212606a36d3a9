// The command line shared by the three programs: options first, then the
// program's positional arguments. An argument before the first positional one
// is an option when it starts with "--" or is exactly "-h", "-v" or "-q"; "--" ends
// the options; anything else (a file named "-x" included) is positional.
#pragma once

#include <cstdint>

// One option of a program beyond the common --help, --version, --verbose,
// --quiet and --strict.
struct ProgramOption {
  const char* name;       // long form, "--pad"
  const char* valueName;  // "PATH" when the option takes a value, else nullptr
  const char* help;       // one line for --help
};

constexpr std::uint32_t MAX_PROGRAM_OPTIONS = 8;

// What --help, --version and usage errors say about a program.
struct ProgramInfo {
  const char* name;        // "diskmason"
  const char* operands;    // "FILELIST IMAGE"
  const char* summary;     // one line: what the program does
  const ProgramOption* options;  // the program's own options
  std::uint32_t optionCount;     // at most MAX_PROGRAM_OPTIONS
};

struct CommandLine {
  bool verbose;   // --verbose, -v (also set by --strict)
  bool quiet;     // --quiet, -q; of --quiet and --verbose the later one given counts
  bool strict;    // --strict
  bool given[MAX_PROGRAM_OPTIONS];          // program option i was given
  const char* value[MAX_PROGRAM_OPTIONS];   // its value, when it takes one
  int first;      // index in argv of the first positional argument
};

// The project version, as "major.minor.patch".
const char* toolkit_version();

// Reads the options of argv into cl. Returns -1 when the program goes on with
// the positional arguments argv[cl.first..argc); else the exit status: 0
// after --help or --version (printed on standard output), 2 after a usage
// error (one line on standard error naming the option, and the usage).
// A value is given as "--name VALUE" or "--name=VALUE".
int parse_command_line(const ProgramInfo& program, int argc, char** argv, CommandLine& cl);
