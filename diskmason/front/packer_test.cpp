#include "diskmason/front/packer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "textconv/heap.h"

namespace {

class Packer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  std::string path(const std::string& name) const { return scratch_.file(name); }
  std::string image() const { return path("disk.dcp"); }

  void write(const std::string& name, const std::string& bytes) { write_file(path(name), bytes); }

  // A list with nested directories and enough files to grow every array.
  void write_list(int files) {
    write("boot.bin", std::string(512, '\0'));
    std::string list = path("boot.bin") + " 0 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n";
    for (int i = 0; i < files; ++i) {
      // Appended piece by piece: GCC 12 at -O3 warns wrongly about
      // "literal" + std::string temporaries.
      std::string host = std::string("h").append(std::to_string(i));
      write(host, std::string(static_cast<std::size_t>(i % 5) * 300, 'x'));
      list += path(host);
      list += i % 3 == 0 ? " " : i % 3 == 1 ? " sub/" : " sub/deeper/d";
      if (i % 3 == 2) list.append(std::to_string(i % 7)).append("/");
      list.append("F").append(std::to_string(i)).append(".BIN 2021-2-3 4:5:6 A\n");
    }
    write("disk.lst", list);
  }

  int run(std::string* output = nullptr, std::vector<std::string> options = {}) {
    std::string list = path("disk.lst");
    std::string out = image();
    std::vector<char*> argv = {const_cast<char*>("diskmason")};
    for (std::string& option : options) argv.push_back(option.data());
    argv.push_back(list.data());
    argv.push_back(out.data());
#if defined(_WIN32)
    std::FILE* messages = std::fopen("NUL", "w");
#else
    std::FILE* messages = std::fopen("/dev/null", "w");
#endif
    testing::internal::CaptureStdout();
    int status = run_packer(static_cast<int>(argv.size()), argv.data(), messages);
    if (messages != nullptr) std::fclose(messages);
    std::string printed = testing::internal::GetCapturedStdout();
    if (output != nullptr) *output = printed;
    return status;
  }

  ScratchDir scratch_;
};

TEST_F(Packer, ManyRecordsGrowTheArrays) {
  write_list(300);
  std::string output;
  EXPECT_EQ(run(&output), 0);
  EXPECT_EQ(output, "");
  EXPECT_GT(read_file(image()).size(), 11426u);
}

// Every allocation of a run may fail: the run then ends with status 1 and
// releases everything (the sanitizer build checks for leaks).
TEST_F(Packer, EveryFailedAllocationEndsTheRunCleanly) {
  write_list(140);
  heap_fail_at(0);
  ASSERT_EQ(run(), 0);
  std::uint64_t total = heap_allocations_seen();
  std::string reference = read_file(image());
  ASSERT_GT(total, 10u);
  bool writerReported = false;
  for (std::uint64_t n = 1; n <= total; ++n) {
    heap_fail_at(n);
    std::string output;
    int status = run(&output);
    heap_fail_at(0);
    if (status == 0) {
      // A failure that the run can absorb (a pool growth retried later)
      // must not change the image.
      EXPECT_EQ(output, "") << n;
      EXPECT_EQ(read_file(image()), reference) << n;
      continue;
    }
    EXPECT_EQ(status, 1) << n;
    if (output.find("not enough memory to write image") != std::string::npos) writerReported = true;
  }
  EXPECT_TRUE(writerReported);
}

// The same with the options that allocate more: the warnings' name table,
// the map and the dependency file.
TEST_F(Packer, FailedAllocationsWithEveryOutputEndCleanly) {
  write_list(40);
  std::vector<std::string> options = {"--verbose", "--pad", "--map", path("map.tsv"), "--depfile",
                                      path("disk.d")};
  write("warned.bin", "w");
  std::string list = read_file(path("disk.lst")) + path("warned.bin") + " LongFileName.txt 2021-2-3 4:5:6 a\n";
  write("disk.lst", list);
  heap_fail_at(0);
  ASSERT_EQ(run(nullptr, options), 0);
  std::uint64_t total = heap_allocations_seen();
  for (std::uint64_t n = 1; n <= total; ++n) {
    heap_fail_at(n);
    int status = run(nullptr, options);
    heap_fail_at(0);
    EXPECT_TRUE(status == 0 || status == 1) << n;
  }
}

}  // namespace
