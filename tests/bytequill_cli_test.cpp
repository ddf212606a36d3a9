// The bytequill program end to end: conversions, messages, exit statuses,
// the protection of the input, write failures and the assembler as client.
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/test_support.h"

namespace {

std::string bytequill() { return program_path("bytequill"); }

#ifdef _WIN32
const char NULL_DEVICE[] = "NUL";
#else
const char NULL_DEVICE[] = "/dev/null";
#endif

struct Fixture {
  ScratchDir scratch;
  std::string dir = scratch.path();
  std::string in = dir + "/in.asm";
  std::string out = dir + "/out.asm";
};

}  // namespace

TEST(BytequillCli, ConvertsASource) {
  Fixture f;
  write_file(f.in,
             "\tdb\t$SJIS(\"あいう\"), 0\n"
             "msg:\tdb\t$SJIS(\"Hello\"),0dh,0ah\r\n"
             "db $SJIS(\"ｱｲｳ\")\n"
             "db $SJIS(\"A漢\")\n"
             "db $SJIS(\"\")\n"
             "db $SJIS((\"(\")\"))\n"
             "db $SJIS(\"\\\xe2\x80\x95\")\n"
             "db $SJIS(\"あ\"), $SJIS(\"い\")\n"
             "; 日本語のコメント $SJ");
  write_file(f.out, std::string(5000, '#'));  // a longer old output is truncated
  RunResult r = run_program(bytequill(), {f.in, f.out});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(read_file(f.out),
            "\tdb\t82h, 0a0h, 82h, 0a2h, 82h, 0a4h, 0\n"
            "msg:\tdb\t48h, 65h, 6ch, 6ch, 6fh,0dh,0ah\r\n"
            "db 0b1h, 0b2h, 0b3h\n"
            "db 41h, 8ah, 0bfh\n"
            "db \n"
            "db 28h, 22h, 29h\n"
            "db 81h, 5fh, 0e2h, 80h, 95h\n"
            "db 82h, 0a0h, 82h, 0a2h\n"
            "; 日本語のコメント $SJ");

  write_file(f.in, "");
  r = run_program(bytequill(), {f.in, f.out});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(file_exists(f.out));
  EXPECT_EQ(read_file(f.out), "");
}

TEST(BytequillCli, RefusesBadCommandLinesAndFiles) {
  Fixture f;
  write_file(f.in, "db $SJIS(\"a\")\n");
  const std::string missing = f.dir + "/missing.asm";
  const std::string badOut = f.dir + "/no/such/dir/out.asm";
  struct Case {
    std::vector<std::string> args;
    std::string output;
  } cases[] = {
      {{}, "BYTEQUILL wrong number of parameters\n"},
      {{f.in}, "BYTEQUILL wrong number of parameters\n"},
      {{f.in, f.out, "extra"}, "BYTEQUILL wrong number of parameters\n"},
      {{missing, f.out}, "BYTEQUILL couldn't open " + missing + " for reading\n"},
      {{f.dir, f.out}, "BYTEQUILL couldn't open " + f.dir + " for reading\n"},
      // The input is checked before the output.
      {{missing, badOut}, "BYTEQUILL couldn't open " + missing + " for reading\n"},
      {{f.in, badOut}, "BYTEQUILL couldn't open " + badOut + " for writing\n"},
      {{f.in, f.dir}, "BYTEQUILL couldn't open " + f.dir + " for writing\n"},
  };
  for (const Case& c : cases) {
    RunResult r = run_program(bytequill(), c.args);
    EXPECT_EQ(r.status, 1) << c.output;
    EXPECT_EQ(r.output, c.output);
    EXPECT_FALSE(file_exists(f.out)) << c.output;
  }
}

TEST(BytequillCli, ReportsLiteralErrors) {
  Fixture f;
  struct Case {
    std::string input;
    std::string output;  // file content
    std::string messages;
    int status;
  } cases[] = {
      {"a: db 1\nb: db $SJIS(\"あい\n", "a: db 1\nb: db ", "Unclosed SJIS block\n", 1},
      {"$SJIS(\"" + std::string(2046, 'A') + "\")", "", "", 0},
      {"$SJIS(\"" + std::string(2047, 'A') + "\")", "AAAAAA\")",
       "SJIS has too many characters to decode\n", 1},
      // A marker with 2042 extra "(" cannot be held in one block: refused,
      // and every byte of it stays in the output.
      {"x: $SJIS(" + std::string(2042, '(') + "\"a\")\n",
       "x: $SJIS(" + std::string(2042, '(') + "\"a\")\n", "SJIS has too many characters to decode\n",
       1},
  };
  for (const Case& c : cases) {
    write_file(f.in, c.input);
    write_file(f.out, "previous");
    RunResult r = run_program(bytequill(), {f.in, f.out});
    EXPECT_EQ(r.status, c.status) << c.messages;
    EXPECT_EQ(r.output, c.messages);
    if (c.status == 0) {
      EXPECT_EQ(read_file(f.out).size(), 2046u * 5 - 2);
      continue;
    }
    // A failed run leaves the output as it was; written to standard output,
    // what it wrote up to the failure shows.
    EXPECT_EQ(read_file(f.out), "previous");
    if (!have_posix_shell()) continue;
    std::string command = "'";
    command.append(bytequill()).append("' '").append(f.in).append("' /dev/stdout 2>/dev/null");
    r = run_shell(command);
    EXPECT_EQ(r.output, c.output);
  }
}

TEST(BytequillCli, NeverWritesOverItsInput) {
  Fixture f;
  const std::string source = "db $SJIS(\"あ\")\n";
  write_file(f.in, source);
  ASSERT_TRUE(std::filesystem::create_directory(f.dir + "/sub"));
  std::vector<std::string> spellings = {f.in, f.dir + "/sub/../in.asm"};
#ifndef _WIN32
  ASSERT_EQ(symlink(f.in.c_str(), (f.dir + "/link.asm").c_str()), 0);
  ASSERT_EQ(link(f.in.c_str(), (f.dir + "/hard.asm").c_str()), 0);
  spellings.push_back(f.dir + "/link.asm");
  spellings.push_back(f.dir + "/hard.asm");
#endif
  for (const std::string& out : spellings) {
    RunResult r = run_program(bytequill(), {f.in, out});
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.output, "BYTEQUILL won't write over its input " + out + "\n");
    EXPECT_EQ(read_file(f.in), source) << out;
  }
#ifndef _WIN32
  // Reading through the link and writing the file itself is refused too.
  RunResult linked = run_program(bytequill(), {f.dir + "/link.asm", f.in});
  EXPECT_EQ(linked.status, 1);
  EXPECT_EQ(read_file(f.in), source);
#endif
  // A device is no source to protect.
  RunResult r = run_program(bytequill(), {NULL_DEVICE, NULL_DEVICE});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");
}

TEST(BytequillCli, ReportsFailedWrites) {
  SKIP_WITHOUT_SHELL();  // a full device and a pipe that closes early
  Fixture f;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "db $SJIS(\"漢字\"), 0 ; line\n";
  write_file(f.in, big);

  RunResult r = run_program(bytequill(), {f.in, "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "BYTEQUILL couldn't write /dev/full\n");

  // A reader that stops early: the output is a pipe whose far end closes.
  r = run_shell("cd '" + f.dir + "' && { '" + bytequill() +
                "' in.asm /dev/fd/3 3>&1 >msg.txt; echo $? >status.txt; } | head -c 10 >/dev/null");
  EXPECT_EQ(read_file(f.dir + "/status.txt"), "1\n");
  EXPECT_EQ(read_file(f.dir + "/msg.txt"), "BYTEQUILL couldn't write /dev/fd/3\n");
}

// Output to standard output: the one-line messages leave it to the output
// and go to standard error.
TEST(BytequillCli, MessagesFollowTheOutputBeforeThem) {
  SKIP_WITHOUT_SHELL();
  Fixture f;
  std::string text;
  while (text.size() < 300000) text.append("\tdb 1, 2, 3 ; ").append(std::to_string(text.size())).append("\n");
  write_file(f.in, text + "x: db $SJIS(\"open");
  std::string command = "'";
  command.append(bytequill()).append("' '").append(f.in).append("' /dev/stdout 2>'").append(f.dir).append("/err' | cat");
  RunResult r = run_shell(command);
  EXPECT_EQ(r.status, 0);  // the status of cat
  // The output is standard output: the message goes to standard error.
  EXPECT_EQ(r.output, text + "x: db ");
  EXPECT_EQ(read_file(f.dir + "/err").rfind("Unclosed SJIS block\n", 0), 0u);
}

TEST(BytequillCli, OutputAssemblesToTheShiftJisText) {
  REQUIRE_TOOL("nasm");
  REQUIRE_TOOL("iconv");
  Fixture f;
  const std::string text = "こんにちは、世界！ｶﾀｶﾅと漢字。か゚";
  write_file(f.in,
             "; 日本語のメッセージ\n"
             "\torg 0\n"
             "greeting:\tdb\t$SJIS(\"" + text + "\")\n"
             "tail:\tdb\t$SJIS(\"終\")\n");
  RunResult r = run_program(bytequill(), {f.in, f.out});
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string bin = f.dir + "/out.bin";
  RunResult as = run_shell("nasm -f bin -o '" + bin + "' '" + f.out + "' 2>&1");
  ASSERT_EQ(as.status, 0) << as.output;
  RunResult decoded = run_shell("iconv -f SHIFT_JISX0213 -t UTF-8 '" + bin + "'");
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.output, text + "終");
}
