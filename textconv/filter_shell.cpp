#include "textconv/filter_shell.h"

#include "textconv/diagnostics.h"
#include "textconv/file_identity.h"
#include "textconv/filter_io.h"

namespace {

// Under --strict, an output that warnings or a failure make unfit must not
// look up to date to a build tool: it goes.
void discard_output(Diagnostics& diagnostics, const char* path, const OutputFile& file, bool failed) {
  const SourcePlace program{nullptr, 0, 0};
  char cause[64];
  if (failed) {
    std::snprintf(cause, sizeof cause, "the run failed");
  } else {
    std::snprintf(cause, sizeof cause, "%u warning%s with --strict", unsigned{diagnostics.warnings},
                  diagnostics.warnings == 1 ? "" : "s");
  }
  if (remove_output_file(path, file)) {
    explain_at(diagnostics, program, "%s; removed %s", cause, path);
  } else {
    explain_at(diagnostics, program, "%s; %s is not a regular file of its own and is left in place", cause, path);
  }
}

}  // namespace

int run_filter(const FilterCommand& command, int argc, char** argv) {
  use_binary_standard_streams();
  CommandLine options;
  const int status = parse_command_line(command.program, argc, argv, options);
  if (status >= 0) return status;
  Diagnostics diagnostics = make_diagnostics(command.program.name, options.verbose, options.strict);
  const bool verbose = options.verbose || options.strict;
  Diagnostics* explain = verbose ? &diagnostics : nullptr;

  const int count = argc - options.first;
  char** args = argv + options.first;
  if (count < 2 || count > 2 + command.maxExtra) {
    std::printf("%s wrong number of parameters\n", command.name);
    std::fflush(stdout);
    explain_at(diagnostics, SourcePlace{nullptr, 0, 0}, "%d argument%s given; usage: %s [OPTIONS] %s", count,
               count == 1 ? "" : "s", command.program.name, command.program.operands);
    return 1;
  }
  const char* inputPath = args[0];
  const char* outputPath = args[1];
  const InputReport report{&diagnostics, inputPath};
  FilterRun run{nullptr, nullptr, count - 2, args + 2, verbose ? &report : nullptr};
  if (!open_filter_files(command.name, inputPath, outputPath, &run.input, &run.output, explain)) return 1;
  const OutputFile outputFile = identify_output(run.output);
  const bool ok = command.filter(run);
  const bool closed = close_filter_files(command.name, outputPath, run.input, run.output, explain);
  finish_diagnostics(diagnostics);
  const bool failed = !ok || !closed;
  if (options.strict && (failed || strict_failure(diagnostics))) {
    discard_output(diagnostics, outputPath, outputFile, failed);
    return 1;
  }
  return failed ? 1 : 0;
}
