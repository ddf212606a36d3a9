#include "textconv/filter_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

// Failures that only show when the files are closed.
TEST(FilterIo, CloseReportsFailedWritesAndReads) {
  std::FILE* in = std::tmpfile();
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::fputs("text", full);  // stays buffered until the close
  testing::internal::CaptureStdout();
  EXPECT_FALSE(close_filter_files("TOOL", "/dev/full", in, full));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TOOL couldn't write /dev/full\n");

  // An input stream that cannot be read (opened for writing only).
  std::FILE* unreadable = std::tmpfile();
  std::FILE* writeOnly = fdopen(dup(fileno(unreadable)), "wb");
  char byte;
  EXPECT_EQ(std::fread(&byte, 1, 1, writeOnly), 0u);
  std::FILE* out = std::tmpfile();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(close_filter_files("TOOL", "out", writeOnly, out));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TOOL couldn't read its input\n");
  std::fclose(unreadable);
}
