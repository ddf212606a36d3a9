#include "textconv/filter_io.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tests/test_support.h"

namespace {

// A stream for reading whose file takes only writes: its reads fail.
std::FILE* unreadable_input(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  std::FILE* writeOnly = std::fopen(path.c_str(), "wb");
#ifdef _WIN32
  _dup2(_fileno(writeOnly), _fileno(in));
#else
  dup2(fileno(writeOnly), fileno(in));
#endif
  std::fclose(writeOnly);
  return in;
}

}  // namespace

// Failures that only show when the files are closed: output that a stream
// did not take (refused at once, or kept until the close fills a device),
// and an input that could not be read.
TEST(FilterIo, CloseReportsFailedWritesAndReads) {
  ScratchDir scratch;
  const std::string file = scratch.file("file");
  write_file(file, "text");
  struct Output {
    const char* path;
    const char* mode;
  } outputs[] = {{file.c_str(), "rb"}, {"/dev/full", "wb"}};
  for (const Output& o : outputs) {
    std::FILE* out = std::fopen(o.path, o.mode);
    if (out == nullptr) continue;  // no /dev/full here
    std::fputs("text", out);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(close_filter_files("TOOL", o.path, std::fopen(file.c_str(), "rb"), out));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("TOOL couldn't write ") + o.path + "\n");
  }

  std::FILE* unreadable = unreadable_input(file);
  char byte;
  EXPECT_EQ(std::fread(&byte, 1, 1, unreadable), 0u);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(close_filter_files("TOOL", "out", unreadable, std::fopen(scratch.file("out").c_str(), "wb")));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TOOL couldn't read its input\n");
}
