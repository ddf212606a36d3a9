// The options of bytequill and glyphmint as users run them: warnings and
// explanations at their lines and columns, --strict, usage errors, --help
// and --version; and runs without options that stay exactly as they were.
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

struct Outcome {
  int status;
  std::string out;  // standard output
  std::string err;  // standard error
};

std::string quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a program in dir with both output streams collected.
Outcome run_in(const std::string& dir, const std::string& program, const std::vector<std::string>& args,
           const std::string& stdinFrom = "") {
  std::string command = "cd ";
  command += quoted(dir);
  command += " && ";
  if (!stdinFrom.empty()) {
    command += "printf %s ";
    command += quoted(stdinFrom);
    command += " | ";
  }
  command += quoted(program_path(program));
  for (const std::string& arg : args) {
    command += ' ';
    command += quoted(arg);
  }
  command += " 2>";
  command += quoted(dir + "/stderr.txt");
  RunResult r = run_shell(command);
  return Outcome{r.status, r.output, read_file(dir + "/stderr.txt")};
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A diagnostic line expected on standard error: how it starts and a key word.
struct Line {
  std::string start;
  std::string word;
};

struct Case {
  const char* program;
  std::string source;
  std::vector<std::string> extra;  // arguments after the two paths
  int status;
  std::string messages;  // standard output, the same with and without options
  std::vector<Line> diagnostics;
};

const std::string PAD(2043, ';');  // puts the next line's marker across the first block's end

const Case CASES[] = {
    {"bytequill", "a: db $SJIS(\"あ～\")\n", {}, 0, "", {{"in.asm:1:17: warning: U+FF5E", "U+301C"}}},
    {"bytequill", "x\n db $SJIS(\"a\n\xff\xfe\"), $SJIS(\"\xe2\x80\x95\")", {}, 0, "",
     {{"in.asm:3:1: warning: bytes FF FE", "not UTF-8"}, {"in.asm:3:14: warning: U+2015", "U+2014"}}},
    {"bytequill", PAD + "\n$SJIS(\"ab\xef\xbf\xa0\")", {}, 0, "", {{"in.asm:2:10: warning: U+FFE0", "U+00A2"}}},
    {"bytequill", "ok: db $SJIS(\"¥‾ｱ漢\\~\")\n", {}, 0, "", {}},
    {"bytequill", "a\n  $SJIS(\"x", {}, 1, "Unclosed SJIS block\n",
     {{"in.asm:2:3: error: literal not closed", "end of the input"}}},
    {"bytequill", "\n\n $SJIS((\"" + std::string(2046, 'x') + "\"))", {}, 1, "SJIS has too many characters to decode\n",
     {{"in.asm:3:2: error: literal too long", "2045 bytes"}}},
    {"glyphmint", "t: db $CJIS(\"あ\x01{01}{g}{{\")\n", {}, 0, "",
     {{"in.asm:1:17: warning: control code 01h", "dropped"},
      {"in.asm:1:18: warning: control code 01h", "dropped"},
      {"in.asm:1:22: warning: '{'", "no escape"}}},
    {"glyphmint", "p: db $CJIS(\"A\tB{09}{{\"), $CJIS(\"{8140}\r\n\")\n", {}, 0, "", {}},
    {"glyphmint", "a\n\tdb $CJIS(\"漢\n～{\")", {"1"}, 0, "",
     {{"in.asm:3:1: warning: U+FF5E", "U+301C"}, {"in.asm:3:4: warning: '{'", "dropped"}}},
    {"glyphmint", "t: db $CJIS(\"A\")\n", {"2"}, 0, "", {{"glyphmint: warning: third argument '2'", "table"}}},
    {"glyphmint", "ok: db $CJIS(\"あ\")\nbad: db $CJIS(\"open", {}, 1, "Unclosed CJIS block\n",
     {{"in.asm:2:9: error: literal not closed", "end"}}},
};

}  // namespace

// Each case runs twice: without options nothing changes (no standard error,
// same messages, status and output); with --verbose the same run also
// explains and warns at the line and column of the cause.
TEST(FilterOptions, WarningsAndErrorsAtTheirPlaces) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(std::string(c.program) + ": " + c.source.substr(0, 60));
    ScratchDir scratch;
    write_file(scratch.file("in.asm"), c.source);
    std::vector<std::string> args = {"in.asm", "out.s"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());

    Outcome quiet = run_in(scratch.path(), c.program, args);
    EXPECT_EQ(quiet.status, c.status);
    EXPECT_EQ(quiet.out, c.messages);
    EXPECT_EQ(quiet.err, "");
    const std::string output = read_file(scratch.file("out.s"));

    args.insert(args.begin(), "--verbose");
    Outcome verbose = run_in(scratch.path(), c.program, args);
    EXPECT_EQ(verbose.status, c.status);
    EXPECT_EQ(verbose.out, c.messages);
    EXPECT_EQ(read_file(scratch.file("out.s")), output);
    std::vector<std::string> lines = lines_of(verbose.err);
    ASSERT_EQ(lines.size(), c.diagnostics.size()) << verbose.err;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind(c.diagnostics[i].start, 0), 0u) << lines[i];
      EXPECT_NE(lines[i].find(c.diagnostics[i].word), std::string::npos) << lines[i];
    }
  }
}

TEST(FilterOptions, PrintsFiftyWarningsAndCountsTheRest) {
  ScratchDir scratch;
  std::string source;
  for (int i = 0; i < 60; ++i) source += "db $SJIS(\"～\")\n";
  write_file(scratch.file("in.asm"), source);
  Outcome r = run_in(scratch.path(), "bytequill", {"-v", "in.asm", "out.s"});
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> lines = lines_of(r.err);
  ASSERT_EQ(lines.size(), 51u);
  EXPECT_EQ(lines[49].rfind("in.asm:50:11: warning:", 0), 0u);
  EXPECT_EQ(lines[50], "bytequill: note: 10 more warnings not shown");
}

// glyphmint reads its input twice: from a pipe the run fails, and --verbose says why.
TEST(FilterOptions, GlyphmintExplainsAnInputThatCannotBeReadTwice) {
  ScratchDir scratch;
  Outcome r = run_in(scratch.path(), "glyphmint", {"-v", "/dev/stdin", "out.s"}, "a: db $CJIS(\"x\")");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(scratch.file("out.s")), "");
  ASSERT_EQ(lines_of(r.err).size(), 1u) << r.err;
  EXPECT_EQ(r.err.rfind("/dev/stdin: error: cannot be read a second time", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("give a file"), std::string::npos);
}

// --strict: a warning or a failure fails the run and takes the output away;
// a clean run keeps it, and what is not a file of its own is never removed.
TEST(FilterOptions, StrictRemovesAnUnfitOutput) {
  ScratchDir scratch;
  struct StrictCase {
    const char* program;
    std::string source;
    int status;
    bool kept;
  } cases[] = {
      {"bytequill", "db $SJIS(\"～\")\n", 1, false},
      {"bytequill", "db $SJIS(\"open\n", 1, false},
      {"bytequill", "db $SJIS(\"〜\")\n", 0, true},
      {"glyphmint", "db $CJIS(\"{x}\")\n", 1, false},
      {"glyphmint", "db $CJIS(\"{0d}{0a}\")\n", 0, true},
  };
  for (const StrictCase& c : cases) {
    SCOPED_TRACE(c.source);
    write_file(scratch.file("in.asm"), c.source);
    Outcome r = run_in(scratch.path(), c.program, {"--strict", "in.asm", "out.s"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(exists(scratch.file("out.s")), c.kept);
    if (!c.kept) {
      EXPECT_NE(r.err.find("removed out.s"), std::string::npos) << r.err;
    }
  }
  // Through a link the output is left alone, the link and what it names.
  write_file(scratch.file("in.asm"), "db $SJIS(\"～\")\n");
  write_file(scratch.file("target.s"), "");
  ASSERT_EQ(symlink("target.s", scratch.file("link.s").c_str()), 0);
  Outcome r = run_in(scratch.path(), "bytequill", {"--strict", "in.asm", "link.s"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(exists(scratch.file("link.s")));
  EXPECT_NE(read_file(scratch.file("target.s")), "");
}

TEST(FilterOptions, UsageErrorsAndFileNamesThatLookLikeOptions) {
  ScratchDir scratch;
  write_file(scratch.file("-x"), "db $SJIS(\"A\"), $CJIS(\"A\")\n");
  for (const char* program : {"bytequill", "glyphmint"}) {
    SCOPED_TRACE(program);
    for (const std::string option : {"--bogus", "--verbose=1", "--strict=yes"}) {
      Outcome r = run_in(scratch.path(), program, {option, "-x", "out.s"});
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.out, "");
      ASSERT_EQ(lines_of(r.err).size(), 1u) << r.err;
      EXPECT_NE(r.err.find("'" + option + "'"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("usage: " + std::string(program)), std::string::npos) << r.err;
      EXPECT_FALSE(exists(scratch.file("out.s")));
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-x", "out.s"}, {"--", "-x", "out.s"}, {"-v", "--", "-x", "out.s"}}) {
      Outcome r = run_in(scratch.path(), program, args);
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_EQ(r.err, "");
      EXPECT_NE(read_file(scratch.file("out.s")).find("41h"), std::string::npos);
      unlink(scratch.file("out.s").c_str());
    }
  }
  // An option after the paths is a positional argument, as before.
  Outcome r = run_in(scratch.path(), "bytequill", {"-x", "out.s", "-v"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "BYTEQUILL wrong number of parameters\n");
}

TEST(FilterOptions, HelpAndVersion) {
  ScratchDir scratch;
  for (const char* program : {"bytequill", "glyphmint"}) {
    SCOPED_TRACE(program);
    for (const char* help : {"--help", "-h"}) {
      Outcome r = run_in(scratch.path(), program, {help, "ignored.asm"});
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.out.rfind("usage: " + std::string(program) + " [OPTIONS] INPUT OUTPUT", 0), 0u) << r.out;
      for (const char* option : {"--verbose", "--strict", "--version"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
      }
      EXPECT_NE(r.out.find(std::string(program) + "(1)"), std::string::npos);
    }
    Outcome r = run_in(scratch.path(), program, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex(std::string(program) + " [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
  }
}
