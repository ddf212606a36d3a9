#include "textconv/filter_shell.h"

#include "textconv/filter_io.h"

int run_filter(const FilterCommand& command, int argc, char** argv) {
  if (argc < 3 || argc > 3 + command.maxExtra) {
    std::printf("%s wrong number of parameters\n", command.name);
    std::fflush(stdout);
    return 1;
  }
  const char* inputPath = argv[1];
  const char* outputPath = argv[2];
  FilterRun run{nullptr, nullptr, argc - 3, argv + 3};
  if (!open_filter_files(command.name, inputPath, outputPath, &run.input, &run.output)) return 1;
  const bool ok = command.filter(run);
  const bool closed = close_filter_files(command.name, outputPath, run.input, run.output);
  return ok && closed ? 0 : 1;
}
