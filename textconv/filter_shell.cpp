#include "textconv/filter_shell.h"

#include <cstring>

#include "textconv/filter_io.h"
#include "textconv/file_identity.h"

namespace {

const SourcePlace PROGRAM_PLACE{nullptr, 0, 0};

// True when an argument after the input looks like an option that came too late.
bool looks_like_option(const char* arg) { return arg[0] == '-' && arg[1] != 0; }

// The one-line message and the explanation of a file that cannot be opened.
bool report_open(Reporter& r, const FilterCommand& command, const char* inputPath, const char* outputPath,
                 const FilterOpened& opened) {
  switch (opened.problem) {
    case FilterOpenProblem::None:
      return true;
    case FilterOpenProblem::InputUnreadable:
      report_message(r, "%s couldn't open %s for reading\n", command.name, inputPath);
      explain_at(r, SourcePlace{inputPath, 0, 0}, "cannot open for reading: %s", opened.why);
      break;
    case FilterOpenProblem::OutputIsInput:
      report_message(r, "%s won't write over its input %s\n", command.name, outputPath);
      explain_at(r, SourcePlace{outputPath, 0, 0}, "the output is the input file; writing would destroy it");
      break;
    case FilterOpenProblem::OutputUnwritable:
      report_message(r, "%s couldn't open %s for writing\n", command.name, outputPath);
      explain_at(r, SourcePlace{outputPath, 0, 0}, "cannot open for writing: %s", opened.why);
      break;
  }
  return false;
}

// A wrong number of arguments, or an option after the file names.
bool check_arguments(Reporter& r, const FilterCommand& command, int count, char** args) {
  bool late = false;
  for (int i = 2; i < count; ++i) late = late || looks_like_option(args[i]);
  if (count >= 2 && count <= 2 + command.maxExtra) {
    // A third argument is the filter's own (glyphmint's 1): an option there
    // is taken as one, as it always was.
    if (late) {
      warn_at(r, PROGRAM_PLACE, "'%s' is taken as the third argument; options go before the file names",
              args[2]);
    }
    return true;
  }
  report_message(r, "%s wrong number of parameters\n", command.name);
  explain_at(r, PROGRAM_PLACE, "%d argument%s given; usage: %s [OPTIONS] %s%s", count, count == 1 ? "" : "s",
             command.program.name, command.program.operands, late ? " (options go before the file names)" : "");
  return false;
}

}  // namespace

int run_filter(const FilterCommand& command, int argc, char** argv) {
  use_binary_standard_streams();
  CommandLine options;
  const int status = parse_command_line(command.program, argc, argv, options);
  if (status >= 0) return status;
  Reporter reporter = make_reporter(command.program.name, options);
  const int count = argc - options.first;
  char** args = argv + options.first;
  if (!check_arguments(reporter, command, count, args)) return 1;
  const char* inputPath = args[0];
  const char* outputPath = args[1];
  // The one-line messages leave standard output to an output written there.
  if (is_standard_output(outputPath)) move_messages_to_standard_error(reporter);
  FilterFiles files;
  if (!report_open(reporter, command, inputPath, outputPath, open_filter_files(inputPath, outputPath, files))) return 1;
  FilterRun run{files.input, files.output.stream, count - 2, args + 2, InputReport{&reporter, inputPath},
                checks_input(reporter)};
  const bool ok = command.filter(run);
  const bool keep = ok && !strict_failure(reporter);
  const FilterClosed closed = close_filter_files(files, keep);
  if (!closed.written) {
    report_message(reporter, "%s couldn't write %s\n", command.name, outputPath);
    explain_at(reporter, SourcePlace{outputPath, 0, 0}, "writing failed: %s; nothing is replaced",
               closed.cause != nullptr ? closed.cause : "unknown cause");
  }
  if (!closed.read) {
    report_message(reporter, "%s couldn't read its input\n", command.name);
    explain_at(reporter, PROGRAM_PLACE, "reading the input failed");
  }
  finish_report(reporter);
  if (ok && !keep) {
    explain_at(reporter, PROGRAM_PLACE, "%u warning%s with --strict; %s is left as it was", reporter.warnings,
               reporter.warnings == 1 ? "" : "s", outputPath);
  }
  return keep && closed.written && closed.read ? 0 : 1;
}
