// The options of bytequill and glyphmint as users run them: warnings and
// explanations at their lines and columns on standard error, --quiet and
// --strict, usage errors, --help and --version.
#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/test_support.h"

namespace {

struct Outcome {
  int status;
  std::string out;                // standard output
  std::vector<std::string> err;   // lines of standard error
};

std::string quoted(const std::string& text) { return "'" + text + "'"; }

#ifdef _WIN32
constexpr bool MAKES_LINKS = false;  // symbolic links need privileges there
#else
constexpr bool MAKES_LINKS = true;
#endif

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

// Runs a program in dir, so that its arguments may name files there as they
// are; its standard input fed from `feed` when given (through the POSIX shell).
Outcome run_in(const std::string& dir, const char* program, const std::vector<std::string>& args,
               const std::string& feed = "") {
  if (!feed.empty()) {
    std::string command = "cd ";
    command.append(quoted(dir)).append(" && printf %s ").append(quoted(feed)).append(" | ");
    command.append(quoted(program_path(program)));
    for (const std::string& arg : args) command.append(" ").append(quoted(arg));
    command.append(" 2>stderr.txt");
    RunResult r = run_shell(command);
    return Outcome{r.status, r.output, lines_of(read_file(dir + "/stderr.txt"))};
  }
  RunResult r = run_program_in(dir, program_path(program), args);
  return Outcome{r.status, r.output, lines_of(r.error)};
}

struct Case {
  const char* program;
  std::string source;
  std::vector<std::string> extra;  // arguments after the two paths
  int status;
  std::string messages;  // standard output, the same with and without options
  std::vector<std::string> lines;  // the start of each line on standard error
};

const Case CASES[] = {
    {"bytequill", "a: db $SJIS(\"あ～\")\n", {}, 0, "", {"in.asm:1:17: warning: U+FF5E '～' is not in the Shift-JIS"}},
    {"bytequill", "x\n db $SJIS(\"a\n\xff\xfe\"), $SJIS(\"\xe2\x80\x95\")", {}, 0, "",
     {"in.asm:2:5: warning: this literal holds a line end and ends on line 3", "in.asm:3:1: warning: bytes FF FE are not UTF-8",
      "in.asm:3:14: warning: U+2015 '―' is not"}},
    // The marker of the second line crosses the end of the first input block.
    {"bytequill", std::string(2043, ';') + "\n$SJIS(\"ab\xef\xbf\xa0\")", {}, 0, "", {"in.asm:2:10: warning: U+FFE0"}},
    // Lines of every length up to 36 bytes over many blocks.
    {"bytequill",
     [] {
       std::string text;
       for (int i = 0; i < 3000; ++i) text += std::string(static_cast<std::size_t>(i % 37), ';') + "\n";
       return text;
     }() + "$SJIS(\"\xef\xbf\xa0\")",
     {}, 0, "", {"in.asm:3001:8: warning: U+FFE0"}},
    {"bytequill", "ok: db $SJIS(\"¥‾ｱ漢\\~\")\n", {}, 0, "", {}},
    {"bytequill", "a\n  $SJIS(\"x", {}, 1, "Unclosed SJIS block\n",
     {"in.asm:2:3: error: literal not closed before the end of the input"}},
    {"bytequill", "\n\n $SJIS((\"" + std::string(2046, 'x') + "\"))", {}, 1, "SJIS has too many characters to decode\n",
     {"in.asm:3:2: error: literal too long: its text may hold 2045 bytes"}},
    {"glyphmint", "t: db $CJIS(\"あ\x01{01}{g}{{\")\n", {}, 0, "",
     {"in.asm:1:17: warning: control code 01h is dropped", "in.asm:1:18: warning: control code 01h is dropped",
      "in.asm:1:22: warning: '{' starts no escape"}},
    {"glyphmint", "p: db $CJIS(\"A\tB{09}{{\"), $CJIS(\"{8140}\r\n\")\n", {}, 0, "", {}},
    {"glyphmint", "a\n\tdb $CJIS(\"漢\n～{\")", {"1"}, 0, "",
     {"in.asm:3:1: warning: U+FF5E", "in.asm:3:4: warning: '{' starts no escape"}},
    {"glyphmint", "t: db $CJIS(\"A\")\n", {"2"}, 0, "", {"glyphmint: warning: third argument '2' is not 1"}},
    {"glyphmint", "ok: db $CJIS(\"あ\")\nbad: db $CJIS(\"open", {}, 1, "Unclosed CJIS block\n",
     {"in.asm:2:9: error: literal not closed"}},
};

}  // namespace

// Each case warns and explains at the line and column of the cause; with
// --quiet the same run says nothing on standard error, and the messages,
// status and output stay the same.
TEST(FilterOptions, WarningsAndErrorsAtTheirPlaces) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(std::string(c.program) + ": " + c.source.substr(0, 60));
    ScratchDir scratch;
    write_file(scratch.file("in.asm"), c.source);
    std::vector<std::string> args = {"in.asm", "out.s"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    Outcome warned = run_in(scratch.path(), c.program, args);
    EXPECT_EQ(warned.status, c.status);
    EXPECT_EQ(warned.out, c.messages);
    ASSERT_EQ(warned.err.size(), c.lines.size());
    for (std::size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(warned.err[i].substr(0, c.lines[i].size()), c.lines[i]);
    const std::string output = read_file(scratch.file("out.s"));
    EXPECT_EQ(file_exists(scratch.file("out.s")), c.status == 0);

    args.insert(args.begin(), "--quiet");
    Outcome quiet = run_in(scratch.path(), c.program, args);
    EXPECT_EQ(quiet.status, c.status);
    EXPECT_EQ(quiet.out, c.messages);
    EXPECT_TRUE(quiet.err.empty());
    EXPECT_EQ(read_file(scratch.file("out.s")), output);
  }
}

// glyphmint reads its input twice: from a pipe the run fails, and --verbose says why.
TEST(FilterOptions, GlyphmintExplainsAnInputThatCannotBeReadTwice) {
  SKIP_WITHOUT_SHELL();  // a pipe as the input
  ScratchDir scratch;
  Outcome r = run_in(scratch.path(), "glyphmint", {"/dev/stdin", "out.s"}, "a: db $CJIS(\"x\")");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(r.err.size(), 1u);
  EXPECT_EQ(r.err[0].rfind("/dev/stdin: error: cannot be read a second time (a pipe?)", 0), 0u) << r.err[0];
  EXPECT_NE(r.err[0].find("give a file"), std::string::npos);
}

// --strict: a warning or a failure fails the run and the output before it
// stays; a clean run replaces it. Through a symbolic link, the file it names
// is replaced and the link stays.
TEST(FilterOptions, StrictLeavesThePreviousOutput) {
  ScratchDir scratch;
  const struct {
    const char* program;
    const char* source;
    const char* output;
    int status;
  } cases[] = {
      {"bytequill", "db $SJIS(\"～\")\n", "out.s", 1}, {"bytequill", "db $SJIS(\"open\n", "out.s", 1},
      {"bytequill", "db $SJIS(\"〜\")\n", "out.s", 0},   {"glyphmint", "db $CJIS(\"{x}\")\n", "out.s", 1},
      {"glyphmint", "db $CJIS(\"{0a}\")\n", "out.s", 0}, {"bytequill", "db $SJIS(\"～\")\n", "link.s", 1},
      {"bytequill", "db $SJIS(\"〜\")\n", "link.s", 0},
  };
#ifndef _WIN32
  ASSERT_EQ(symlink("target.s", scratch.file("link.s").c_str()), 0);
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    if (!MAKES_LINKS && std::string(c.output) == "link.s") continue;
    write_file(scratch.file("in.asm"), c.source);
    write_file(scratch.file(c.output), "previous");
    Outcome r = run_in(scratch.path(), c.program, {"--strict", "in.asm", c.output});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(read_file(scratch.file(c.output)) == "previous", c.status != 0);
  }
  if (MAKES_LINKS) {
    EXPECT_NE(read_file(scratch.file("target.s")).find("81h"), std::string::npos);
    EXPECT_EQ(read_file(scratch.file("link.s")), read_file(scratch.file("target.s")));
  }
}

TEST(FilterOptions, UsageErrorsAndFileNamesThatLookLikeOptions) {
  ScratchDir scratch;
  write_file(scratch.file("-x"), "db $SJIS(\"A\"), $CJIS(\"A\")\n");
  for (const char* program : {"bytequill", "glyphmint"}) {
    SCOPED_TRACE(program);
    for (const char* option : {"--bogus", "--verbose=1"}) {
      Outcome r = run_in(scratch.path(), program, {option, "-x", "out.s"});
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.out, "");
      ASSERT_EQ(r.err.size(), 1u);
      EXPECT_EQ(r.err[0], std::string(program) + ": unknown option '" + option + "'; usage: " + program +
                              (program[0] == 'b' ? " [OPTIONS] INPUT OUTPUT" : " [OPTIONS] INPUT OUTPUT [1]"));
      EXPECT_FALSE(file_exists(scratch.file("out.s")));
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-x", "out.s"}, {"-v", "--", "-x", "out.s"}}) {
      EXPECT_EQ(run_in(scratch.path(), program, args).status, 0);
      EXPECT_NE(read_file(scratch.file("out.s")).find("41h"), std::string::npos);
      std::remove(scratch.file("out.s").c_str());
    }
  }
  // After the paths an option is a positional argument, as it always was;
  // standard error says where options go.
  Outcome late = run_in(scratch.path(), "bytequill", {"-x", "out.s", "-v"});
  EXPECT_EQ(late.out, "BYTEQUILL wrong number of parameters\n");
  ASSERT_EQ(late.err.size(), 1u);
  EXPECT_NE(late.err[0].find("options go before the file names"), std::string::npos);
  late = run_in(scratch.path(), "glyphmint", {"-x", "out.s", "-v"});
  EXPECT_EQ(late.status, 0);
  ASSERT_EQ(late.err.size(), 1u);
  EXPECT_NE(late.err[0].find("'-v' is taken as the third argument; options go before the file names"), std::string::npos);
}

TEST(FilterOptions, HelpAndVersion) {
  ScratchDir scratch;
  for (const char* program : {"bytequill", "glyphmint"}) {
    for (const char* help : {"--help", "-h"}) {
      Outcome r = run_in(scratch.path(), program, {help, "in.asm"});
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out.rfind("usage: " + std::string(program) + " [OPTIONS] INPUT OUTPUT", 0), 0u) << r.out;
      EXPECT_NE(r.out.find("--strict"), std::string::npos);
      EXPECT_NE(r.out.find(std::string(program) + "(1)"), std::string::npos);
    }
    Outcome r = run_in(scratch.path(), program, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(program) + " " TK_PROJECT_VERSION "\n");
  }
}
