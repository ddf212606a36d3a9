// Paths through the filters as users give them: names beyond ASCII, which
// are UTF-8 on the command line on Windows as on Linux, and on Windows other
// spellings of the input (letter case, backslashes, "..") that name its file.
#include <filesystem>
#include <string>

#include "tests/test_support.h"

namespace {

struct Filter {
  const char* program;
  const char* name;    // in its messages
  const char* output;  // of the source below
};

const char SOURCE[] = "db $SJIS(\"\xe3\x81\x82\"), $CJIS(\"A\")\n";  // あ

const Filter FILTERS[] = {
    {"bytequill", "BYTEQUILL", "db 82h, 0a0h, $CJIS(\"A\")\n"},
    {"glyphmint", "GLYPHMINT", "dw 2\n\ndb $SJIS(\"\xe3\x81\x82\"), 02h, 41h\n"},
};

}  // namespace

TEST(FilterPaths, NamesBeyondAscii) {
  ScratchDir scratch;
  const std::string in = scratch.file("\xe5\x85\xa5\xe5\x8a\x9b \xc3\xbc.asm");    // 入力 ü.asm
  const std::string out = scratch.file("\xe5\x87\xba\xe5\x8a\x9b \xc3\xbc.s");     // 出力 ü.s
  const std::string missing = scratch.file("\xe7\x84\xa1\xe3\x81\x84.asm");        // 無い.asm
  write_file(in, SOURCE);
  for (const Filter& f : FILTERS) {
    SCOPED_TRACE(f.program);
    RunResult r = run_program(program_path(f.program), {in, out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read_file(out), f.output);
    // A name in a message keeps its bytes.
    r = run_program(program_path(f.program), {missing, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, std::string(f.name) + " couldn't open " + missing + " for reading\n");
  }
}

// Windows names one file by many spellings; the filters know their input
// by the file itself (volume and file index), not by its name.
TEST(FilterPaths, RefusesTheInputUnderAnotherSpelling) {
#ifndef _WIN32
  GTEST_SKIP() << "letter case and backslashes name other files here; links are tested with each program";
#endif
  ScratchDir scratch;
  const std::string in = scratch.file("in.asm");
  write_file(in, SOURCE);
  ASSERT_TRUE(std::filesystem::create_directory(scratch.file("sub")));
  std::string backslashed = scratch.path();
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  for (const std::string& spelling : {scratch.file("IN.Asm"), backslashed + "\\sub\\..\\in.asm"}) {
    for (const Filter& f : FILTERS) {
      SCOPED_TRACE(std::string(f.program) + " " + spelling);
      RunResult r = run_program(program_path(f.program), {in, spelling});
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.output, std::string(f.name) + " won't write over its input " + spelling + "\n");
      EXPECT_EQ(read_file(in), SOURCE);
    }
  }
}
