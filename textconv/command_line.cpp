#include "textconv/command_line.h"

#include <cstdio>
#include <cstring>

#ifndef TK_VERSION
#define TK_VERSION "0.0.0"
#endif

namespace {

constexpr int GO_ON = -1;
constexpr int USAGE_ERROR = 2;

// The common options, as --help lists them.
struct CommonOption {
  const char* name;
  const char* shortName;
  const char* help;
};

constexpr CommonOption COMMON_OPTIONS[] = {
    {"--help", "-h", "show this help and exit"},
    {"--version", nullptr, "show the program's version and exit"},
    {"--verbose", "-v", "explain failures and warn about suspect input on standard error"},
    {"--quiet", "-q", "no warnings or explanations (a later --verbose turns them on again)"},
    {"--strict", nullptr, "as --verbose, and any warning makes the run fail (status 1)"},
};

void print_usage_line(const ProgramInfo& program, std::FILE* stream) {
  std::fprintf(stream, "usage: %s [OPTIONS] %s\n", program.name, program.operands);
}

void print_help(const ProgramInfo& program) {
  print_usage_line(program, stdout);
  std::printf("%s\n\nOptions:\n", program.summary);
  for (const CommonOption& o : COMMON_OPTIONS) {
    char left[40];
    std::snprintf(left, sizeof left, "%s%s%s", o.shortName ? o.shortName : "",
                  o.shortName ? ", " : "    ", o.name);
    std::printf("  %-22s %s\n", left, o.help);
  }
  for (std::uint32_t i = 0; i < program.optionCount; ++i) {
    const ProgramOption& o = program.options[i];
    char left[40];
    std::snprintf(left, sizeof left, "    %s%s%s", o.name, o.valueName ? " " : "",
                  o.valueName ? o.valueName : "");
    std::printf("  %-22s %s\n", left, o.help);
  }
  std::printf("  %-22s %s\n", "    --", "end of options: every later argument is positional");
  std::printf("\nSee the manual page %s(1).\n", program.name);
}

int usage_error(const ProgramInfo& program, const char* what, const char* option) {
  std::fprintf(stderr, "%s: %s '%s'; ", program.name, what, option);
  print_usage_line(program, stderr);
  return USAGE_ERROR;
}

bool is_option(const char* arg) {
  return std::strncmp(arg, "--", 2) == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-v") == 0 ||
         std::strcmp(arg, "-q") == 0;
}

// Length of the option's name: up to "=" when a value is attached.
std::size_t name_length(const char* arg) {
  const char* equals = std::strchr(arg, '=');
  return equals ? static_cast<std::size_t>(equals - arg) : std::strlen(arg);
}

bool same_name(const char* arg, std::size_t length, const char* name) {
  return std::strlen(name) == length && std::strncmp(arg, name, length) == 0;
}

// Handles one common option; returns GO_ON, an exit status, or 1 when the
// argument is not a common option.
int common_option(const ProgramInfo& program, const char* arg, CommandLine& cl) {
  if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
    print_help(program);
    return 0;
  }
  if (std::strcmp(arg, "--version") == 0) {
    std::printf("%s %s\n", program.name, toolkit_version());
    return 0;
  }
  if (std::strcmp(arg, "--verbose") == 0 || std::strcmp(arg, "-v") == 0) {
    cl.verbose = true;
    cl.quiet = false;
    return GO_ON;
  }
  if (std::strcmp(arg, "--quiet") == 0 || std::strcmp(arg, "-q") == 0) {
    cl.quiet = true;
    cl.verbose = false;
    return GO_ON;
  }
  if (std::strcmp(arg, "--strict") == 0) {
    cl.strict = true;
    cl.verbose = true;
    return GO_ON;
  }
  return 1;
}

// Handles one of the program's own options at argv[*at]; may take the next
// argument as its value.
int program_option(const ProgramInfo& program, int argc, char** argv, int* at, CommandLine& cl) {
  const char* arg = argv[*at];
  std::size_t length = name_length(arg);
  for (std::uint32_t i = 0; i < program.optionCount && i < MAX_PROGRAM_OPTIONS; ++i) {
    const ProgramOption& o = program.options[i];
    if (!same_name(arg, length, o.name)) continue;
    if (o.valueName == nullptr) {
      if (arg[length] == '=') return usage_error(program, "option takes no value", arg);
      cl.given[i] = true;
      return GO_ON;
    }
    if (arg[length] == '=') {
      cl.value[i] = arg + length + 1;
    } else if (*at + 1 < argc) {
      cl.value[i] = argv[++*at];
    } else {
      return usage_error(program, "option needs a value", arg);
    }
    cl.given[i] = true;
    return GO_ON;
  }
  return usage_error(program, "unknown option", arg);
}

}  // namespace

const char* toolkit_version() { return TK_VERSION; }

int parse_command_line(const ProgramInfo& program, int argc, char** argv, CommandLine& cl) {
  cl = CommandLine{};
  int at = 1;
  for (; at < argc && is_option(argv[at]); ++at) {
    if (std::strcmp(argv[at], "--") == 0) {
      ++at;
      break;
    }
    int outcome = common_option(program, argv[at], cl);
    if (outcome == 1) outcome = program_option(program, argc, argv, &at, cl);
    if (outcome != GO_ON) return outcome;
  }
  cl.first = at;
  return GO_ON;
}
