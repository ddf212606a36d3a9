#include "textconv/filter_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include "textconv/file_identity.h"

namespace {

// A reader that goes away must show up as a failed write, not end the run
// silently (Windows reports it as a failed write anyway).
void keep_running_when_readers_leave() {
#if !defined(_WIN32)
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace

FilterFiles::~FilterFiles() {
  if (input != nullptr) std::fclose(input);
}

FilterOpened open_filter_files(const char* inputPath, const char* outputPath, FilterFiles& files) {
  keep_running_when_readers_leave();
  files.input = std::fopen(inputPath, "rb");
  const char* why = files.input ? nullptr : open_failure_text(inputPath, errno);
  const FileIdentity inId = files.input ? identity_of_stream(files.input) : FileIdentity{};
  if (files.input && (!inId.known || inId.folder)) {
    std::fclose(files.input);
    files.input = nullptr;
    why = "it is a folder";
  }
  if (!files.input) return FilterOpened{FilterOpenProblem::InputUnreadable, why};
  // Naming the input by any spelling or link is refused before anything is written.
  if (same_regular_file(inId, identity_of_path(outputPath, true))) {
    return FilterOpened{FilterOpenProblem::OutputIsInput, nullptr};
  }
  int error = 0;
  if (!open_whole_output(files.output, outputPath, &error)) {
    return FilterOpened{FilterOpenProblem::OutputUnwritable, std::strerror(error)};
  }
  // The filters gather their output in large pieces themselves; a stream
  // buffer would only split them.
  if (!files.output.toStandardOutput) std::setvbuf(files.output.stream, nullptr, _IONBF, 0);
  return FilterOpened{FilterOpenProblem::None, nullptr};
}

FilterClosed close_filter_files(FilterFiles& files, bool keep) {
  FilterClosed closed{true, nullptr, true};
  closed.read = files.input == nullptr || !std::ferror(files.input);
  if (files.input != nullptr) std::fclose(files.input);
  files.input = nullptr;
  if (!keep) {
    // What was written stays unfinished, but a write that failed is still told.
    closed.written = files.output.stream == nullptr || !std::ferror(files.output.stream);
    if (!closed.written) closed.cause = std::strerror(errno);
    abandon_whole_output(files.output);
    return closed;
  }
  int error = 0;
  closed.written = finish_whole_output(files.output, &error);
  if (!closed.written) closed.cause = error == HELD_OPEN ? "another program holds it open" : std::strerror(error);
  return closed;
}
