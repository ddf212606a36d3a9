#include "textconv/filter_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string read_file(const std::string& path) {
  std::string bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes += static_cast<char>(c);
  std::fclose(f);
  return bytes;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

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

TEST(FilterIo, OpensWithoutTruncatingUntilTheOutputIsChecked) {
  char pattern[] = "/tmp/filter_io.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string dir = pattern;
  write_file(dir + "/in", "source");
  write_file(dir + "/out", "old output");
  std::FILE* in = nullptr;
  std::FILE* out = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(open_filter_files("TOOL", (dir + "/in").c_str(), (dir + "/./in").c_str(), &in, &out));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TOOL won't write over its input " + dir + "/./in\n");
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(read_file(dir + "/in"), "source");

  // A longer existing output is truncated, not overwritten in place.
  ASSERT_TRUE(open_filter_files("TOOL", (dir + "/in").c_str(), (dir + "/out").c_str(), &in, &out));
  std::fputs("new", out);
  EXPECT_TRUE(close_filter_files("TOOL", "out", in, out));
  EXPECT_EQ(read_file(dir + "/out"), "new");

  // Devices are not refused even when they are also the input.
  ASSERT_TRUE(open_filter_files("TOOL", "/dev/null", "/dev/null", &in, &out));
  EXPECT_TRUE(close_filter_files("TOOL", "/dev/null", in, out));
  unlink((dir + "/in").c_str());
  unlink((dir + "/out").c_str());
  rmdir(dir.c_str());
}
