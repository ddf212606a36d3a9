// bytequill and glyphmint as a newcomer meets them: each case ends with the
// design's status and standard output, a word on standard error where
// something surprises, and the output written whole or left as it was.
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

enum class Output { Written, Unchanged };

struct Case {
  const char* what;
  const char* program;
  std::string source;
  std::vector<std::string> args;  // in.asm and out.s are the files of the run
  int status;
  std::string out;  // exactly
  std::string err;  // a fragment, or "" for nothing at all
  Output output;
};

const char* const PREVIOUS = "previous output";

TEST(FilterDefaults, NewcomersCases) {
  const std::vector<std::string> files = {"in.asm", "out.s"};
  const std::string sjisText = "m: db $SJIS(\"\x82\xa0\x82\xa2\")\n";  // あい saved as Shift-JIS
  const Case cases[] = {
      {"a clean source", "bytequill", "m: db $SJIS(\"\xe3\x81\x82\")\n", files, 0, "", "", Output::Written},
      {"a character the table lacks", "bytequill", "m: db $SJIS(\"\xef\xbd\x9e\")\n", files, 0, "",
       "in.asm:1:14: warning: U+FF5E", Output::Written},
      {"a byte-order mark", "bytequill", "\xef\xbb\xbfm: db $SJIS(\"a\")\n", files, 0, "",
       "in.asm:1:1: warning: the source starts with a UTF-8 byte-order mark", Output::Written},
      {"a source saved as Shift-JIS", "bytequill", sjisText + sjisText + sjisText, files, 0, "",
       "reads as Shift-JIS (code page 932)", Output::Written},
      {"a closing quote forgotten", "bytequill", "a: db $SJIS(\"x), 0\nb: db 1 ; \")\n", files, 0, "",
       "in.asm:1:7: warning: this literal holds a line end and ends on line 2", Output::Written},
      {"a literal never closed", "bytequill", "a: db $SJIS(\"x\n", files, 1, "Unclosed SJIS block\n",
       "in.asm:1:7: error: literal not closed", Output::Unchanged},
      {"an option after the file names", "bytequill", "", {"in.asm", "out.s", "-v"}, 1,
       "BYTEQUILL wrong number of parameters\n", "options go before the file names", Output::Unchanged},
      {"a warning under --strict", "bytequill", "m: db $SJIS(\"\xef\xbd\x9e\")\n", {"--strict", "in.asm", "out.s"}, 1,
       "", "U+FF5E", Output::Unchanged},
      {"warnings silenced", "bytequill", "m: db $SJIS(\"\xef\xbd\x9e\")\n", {"-q", "in.asm", "out.s"}, 0, "", "",
       Output::Written},
      {"another literal inside a literal", "glyphmint", "a: db $CJIS(\"x), $CJIS(\"y\")\n", files, 0, "",
       "this literal holds another literal's marker", Output::Written},
      {"a line end inside a literal is glyphmint's own", "glyphmint", "a: db $CJIS(\"x\ny\")\n", files, 0, "", "",
       Output::Written},
      {"an option taken as the third argument", "glyphmint", "a: db $CJIS(\"x\")\n", {"in.asm", "out.s", "-q"}, 0, "",
       "'-q' is taken as the third argument", Output::Written},
      {"a failed first pass", "glyphmint", "a: db $CJIS(\"x\n", files, 1, "Unclosed CJIS block\n",
       "literal not closed", Output::Unchanged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir scratch;
    write_file(scratch.file("in.asm"), c.source);
    write_file(scratch.file("out.s"), PREVIOUS);
    RunResult r = run_program_in(scratch.path(), program_path(c.program), c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.output, c.out);
    if (c.err.empty()) {
      EXPECT_EQ(r.error, "");
    } else {
      EXPECT_NE(r.error.find(c.err), std::string::npos) << r.error;
      EXPECT_EQ(r.error.find(c.err), r.error.rfind(c.err)) << "said more than once\n" << r.error;
    }
    const std::string output = read_file(scratch.file("out.s"));
    EXPECT_EQ(output == PREVIOUS, c.output == Output::Unchanged) << output;
    EXPECT_NE(output.rfind("\xef\xbb\xbf", 0), 0u) << "a byte-order mark in the output";
  }
}

// An output that is standard output takes the messages' place there: the
// design's one-line messages go to standard error.
TEST(FilterDefaults, MessagesLeaveStandardOutputToTheOutput) {
  SKIP_WITHOUT_SHELL();
  ScratchDir scratch;
  write_file(scratch.file("in.asm"), "a: db $SJIS(\"x");
  RunResult r = run_shell("cd '" + scratch.path() + "' && '" + program_path("bytequill") +
                          "' in.asm /dev/stdout 2>err > out.s");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(scratch.file("out.s")), "a: db ");
  EXPECT_EQ(read_file(scratch.file("err")).rfind("Unclosed SJIS block\n", 0), 0u);
}

// "-" names a file like any other: the filters never took it for standard output.
TEST(FilterDefaults, DashIsAFileName) {
  for (const char* program : {"bytequill", "glyphmint"}) {
    ScratchDir scratch;
    write_file(scratch.file("in.asm"), "a: db 1\n");
    RunResult r = run_program_in(scratch.path(), program_path(program), {"in.asm", "-"});
    EXPECT_EQ(r.status, 0) << program;
    EXPECT_EQ(r.output, "") << program;
    EXPECT_NE(read_file(scratch.file("-")).find("a: db 1"), std::string::npos) << program;
  }
}

}  // namespace
