// Failing writes through /dev/full: the output file, whose failure must
// turn into status 1 however far the output got, and standard output, whose
// failure must not change the status.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/test_support.h"

namespace {

// /dev/full as the device that refuses every write.
bool have_dev_full() {
  struct stat info;
  return access("/dev/full", W_OK) == 0 && stat("/dev/full", &info) == 0 && S_ISCHR(info.st_mode);
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// A source whose output passes through the output buffer many times over.
std::string large_source(const char* marker) {
  std::string source;
  for (int i = 0; i < 5000; ++i) {
    source += "line" + std::to_string(i) + ": db " + marker +
              "(\"\xe3\x81\x82\xe3\x81\x84\xe3\x81\x82\xe6\xbc\xa2\"), 0\n";
  }
  return source;
}

struct FilterCase {
  const char* program;
  const char* marker;
  const char* extra;  // a third argument, or ""
  const char* message;
};

const FilterCase FILTERS[] = {
    {"bytequill", "$SJIS", "", "BYTEQUILL couldn't write /dev/full\n"},
    {"glyphmint", "$CJIS", "", "GLYPHMINT couldn't write /dev/full\n"},
    {"glyphmint", "$CJIS", "1", "GLYPHMINT couldn't write /dev/full\n"},
};

TEST(WriteFailure, FiltersReportAFullOutputOfAnySize) {
  if (!have_dev_full()) GTEST_SKIP() << "no /dev/full";
  std::string dir = make_temp_dir();
  for (const FilterCase& c : FILTERS) {
    SCOPED_TRACE(std::string(c.program) + " " + c.extra);
    // Output larger than every buffer, and output that fits the first one.
    for (const std::string& source : {large_source(c.marker), std::string("x: db ") + c.marker + "(\"A\")\n"}) {
      write_file(dir + "/in.asm", source);
      std::vector<std::string> args = {dir + "/in.asm", "/dev/full"};
      if (*c.extra != '\0') args.push_back(c.extra);
      RunResult r = run_program(program_path(c.program), args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.output, c.message);
    }
  }
}

// A broken source and a full output: both failures end in status 1.
TEST(WriteFailure, FiltersReportBothAnUnclosedLiteralAndAFullOutput) {
  if (!have_dev_full()) GTEST_SKIP() << "no /dev/full";
  std::string dir = make_temp_dir();
  for (const FilterCase& c : FILTERS) {
    SCOPED_TRACE(std::string(c.program) + " " + c.extra);
    write_file(dir + "/in.asm", large_source(c.marker) + "end: db " + c.marker + "(\"open\n");
    std::vector<std::string> args = {dir + "/in.asm", "/dev/full"};
    if (*c.extra != '\0') args.push_back(c.extra);
    RunResult r = run_program(program_path(c.program), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Unclosed"), std::string::npos) << r.output;
  }
}

// Messages that cannot be printed change no status.
TEST(WriteFailure, FullStandardOutputKeepsTheStatus) {
  if (!have_dev_full()) GTEST_SKIP() << "no /dev/full";
  std::string dir = make_temp_dir();
  for (const FilterCase& c : FILTERS) {
    SCOPED_TRACE(std::string(c.program) + " " + c.extra);
    write_file(dir + "/in.asm", large_source(c.marker));
    std::string run = quoted(program_path(c.program)) + " " + quoted(dir + "/in.asm") + " ";
    std::string tail = std::string(" ") + c.extra + " >/dev/full";
    EXPECT_EQ(run_shell(run + quoted(dir + "/out.asm") + tail).status, 0);
    EXPECT_EQ(run_shell(run + "/dev/full" + tail).status, 1);
    EXPECT_EQ(run_shell(run + quoted(dir + "/no/such/folder/out.asm") + tail).status, 1);
  }
  write_file(dir + "/boot.bin", std::string(512, '\0'));
  write_file(dir + "/a.txt", "a\n");
  write_file(dir + "/disk.lst", dir + "/boot.bin 0 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n" + dir +
                                    "/a.txt A.TXT 2020-1-1 0:0:0 A\n");
  std::string pack = quoted(program_path("diskmason")) + " " + quoted(dir + "/disk.lst") + " ";
  EXPECT_EQ(run_shell(pack + quoted(dir + "/disk.dcp") + " >/dev/full").status, 0);
  EXPECT_EQ(run_shell(pack + "/dev/full >/dev/full").status, 1);
}

// An image far larger than the output buffer fails on its first write; the
// writer stops and the run says so once.
TEST(WriteFailure, PackerReportsALargeImageThatCannotBeWritten) {
  if (!have_dev_full()) GTEST_SKIP() << "no /dev/full";
  std::string dir = make_temp_dir();
  write_file(dir + "/boot.bin", std::string(3000, '\x90'));
  write_file(dir + "/big.bin", std::string(300000, 'B'));
  std::string list = dir + "/boot.bin 0 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n";
  for (int i = 0; i < 3; ++i) list += dir + "/big.bin D/BIG" + std::to_string(i) + ".BIN 2020-1-1 0:0:0 A\n";
  write_file(dir + "/disk.lst", list);
  RunResult r = run_program(program_path("diskmason"), {dir + "/disk.lst", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + dir + "/disk.lst: image /dev/full could not be written\n");
}

}  // namespace
