#include "textconv/filter_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tests/test_support.h"

namespace {

// Makes the input's reads fail: its descriptor then names a file opened for writing only.
void make_unreadable(std::FILE* in, const std::string& path) {
  std::FILE* writeOnly = std::fopen(path.c_str(), "ab");
#ifdef _WIN32
  _dup2(_fileno(writeOnly), _fileno(in));
#else
  dup2(fileno(writeOnly), fileno(in));
#endif
  std::fclose(writeOnly);
}

// Nothing but the given names in the folder: no temporary is left behind.
std::size_t entries_in(const std::string& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace

// The output takes its place only when finished: abandoned, the file before
// stays and no temporary remains; finished, it is replaced whole.
TEST(FilterIo, OutputsReplacedWholeOrNotAtAll) {
  ScratchDir scratch;
  write_file(scratch.file("in"), "text");
  write_file(scratch.file("out"), "before");
  for (bool keep : {false, true}) {
    FilterFiles files;
    ASSERT_EQ(open_filter_files(scratch.file("in").c_str(), scratch.file("out").c_str(), files).problem,
              FilterOpenProblem::None);
    std::fputs("after", files.output.stream);
    EXPECT_EQ(read_file(scratch.file("out")), "before");
    FilterClosed closed = close_filter_files(files, keep);
    EXPECT_TRUE(closed.written && closed.read);
    EXPECT_EQ(read_file(scratch.file("out")), keep ? "after" : "before");
    EXPECT_EQ(entries_in(scratch.path()), 2u);
  }
  FilterFiles same;
  EXPECT_EQ(open_filter_files(scratch.file("in").c_str(), scratch.file("in").c_str(), same).problem,
            FilterOpenProblem::OutputIsInput);
}

// Failures that only show when the files are closed: output that a device
// refused, and an input that could not be read.
TEST(FilterIo, CloseReportsFailedWritesAndReads) {
  ScratchDir scratch;
  const std::string file = scratch.file("file");
  write_file(file, "text");
  if (file_exists("/dev/full")) {
    FilterFiles files;
    ASSERT_EQ(open_filter_files(file.c_str(), "/dev/full", files).problem, FilterOpenProblem::None);
    std::fputs("text", files.output.stream);
    FilterClosed closed = close_filter_files(files, true);
    EXPECT_FALSE(closed.written);
    EXPECT_NE(closed.cause, nullptr);
  }
  FilterFiles files;
  ASSERT_EQ(open_filter_files(file.c_str(), scratch.file("out").c_str(), files).problem, FilterOpenProblem::None);
  make_unreadable(files.input, file);
  char byte;
  EXPECT_EQ(std::fread(&byte, 1, 1, files.input), 0u);
  FilterClosed closed = close_filter_files(files, true);
  EXPECT_FALSE(closed.read);
}
