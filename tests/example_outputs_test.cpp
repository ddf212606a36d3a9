// The example project through the three programs, compared byte for byte
// with stored outputs (tests/golden/). The Linux and the Windows programs run
// this same test, so both write the same bytes; a change to the example or to
// what the programs write means new stored outputs, made on Linux with the
// commands of this file.
#include <cstdlib>
#include <string>

#include "tests/test_support.h"

namespace {

std::string source_dir() {
  const char* dir = std::getenv("TK_SOURCE_DIR");
  return dir != nullptr ? dir : "..";
}

std::string example(const std::string& name) { return source_dir() + "/examples/" + name; }
std::string golden(const std::string& name) { return source_dir() + "/tests/golden/" + name; }

// The first offset where two byte strings differ, for a readable failure.
std::size_t first_difference(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  return at;
}

void expect_same_file(const std::string& made, const std::string& stored) {
  std::string bytes = read_file(made);
  std::string expected = read_file(stored);
  ASSERT_FALSE(expected.empty()) << stored;
  EXPECT_EQ(bytes.size(), expected.size()) << made;
  EXPECT_TRUE(bytes == expected) << made << " differs from " << stored << " at byte "
                                 << first_difference(bytes, expected);
}

TEST(ExampleOutputs, ConvertedSourcesAndDiskMatchTheStoredBytes) {
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  RunResult sjis = run_program(program_path("bytequill"), {example("src/hello.asm"), dir.file("hello.s")});
  ASSERT_EQ(sjis.status, 0) << sjis.output;
  expect_same_file(dir.file("hello.s"), golden("hello.s"));
  RunResult cjis = run_program(program_path("glyphmint"), {example("src/menu.asm"), dir.file("menu.s")});
  ASSERT_EQ(cjis.status, 0) << cjis.output;
  expect_same_file(dir.file("menu.s"), golden("menu.s"));

  // The example disk without its assembled programs: boot sector, converted
  // sources and data files, one of them under a Japanese folder and name.
  const std::string stamp = " 2024-04-01 09:00:00 ";
  std::string list;
  auto line = [&](const std::string& host, const std::string& rest) {
    list.append(1, '"').append(host).append("\" ").append(rest).append("\n");
  };
  line(example("boot/boot.bin"), "0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0");
  line(example("data/readme.txt"), "README.TXT" + stamp + "A");
  line(dir.file("hello.s"), "SRC/HELLO.S" + stamp + "A");
  line(dir.file("menu.s"), "SRC/MENU.S" + stamp + "A");
  line(example("data/levels/world1/stage1.dat"), "data/levels/world1/stage1.dat" + stamp + "A");
  line(example("data/levels/world1/stage2.dat"), "data/levels/world1/stage2.dat" + stamp + "RA");
  line(example("data/テキスト/はじめに.txt"), "テキスト/はじめに.txt" + stamp + "A");
  write_file(dir.file("disk.lst"), list);
  RunResult disk = run_program(program_path("diskmason"), {dir.file("disk.lst"), dir.file("disk.dcp")});
  ASSERT_EQ(disk.status, 0) << disk.output;
  EXPECT_EQ(disk.output, "");
  expect_same_file(dir.file("disk.dcp"), golden("disk.dcp"));
}

}  // namespace
