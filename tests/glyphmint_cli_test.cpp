// glyphmint as users run it: its output, messages and exit status, the
// safety checks on its files, and its output assembled by nasm and read back.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

const std::string WORKED_SOURCE =
    "t1: db $CJIS(\"あいA\")\n"
    "t2: db $CJIS(\"あい\")\n"
    "t3: db $CJIS(\"あ\"),0\n"
    "t4: db $CJIS(\"OK{0d}{0a}\")\n";

struct Workspace {
  ScratchDir scratch;
  std::string dir = scratch.path();
  std::string in = dir + "/in.asm";
  std::string out = dir + "/out.s";

  RunResult glyphmint(const std::vector<std::string>& args) { return run_program(program_path("glyphmint"), args); }
  RunResult convert(const std::string& source, std::vector<std::string> extra = {}) {
    write_file(in, source);
    std::vector<std::string> args = {in, out};
    args.insert(args.end(), extra.begin(), extra.end());
    return glyphmint(args);
  }
};

TEST(GlyphmintCli, WorkedExampleWithAndWithoutTheTable) {
  Workspace r;
  RunResult res = r.convert(WORKED_SOURCE);
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.output, "");
  EXPECT_EQ(read_file(r.out),
            "dw 6\ndb 00h, 41h, 82h, 0a0h\n\n"
            "t1: db 01h, 19h, 82h, 0a2h, 18h\n"
            "t2: db 01h, 19h, 82h, 0a2h\n"
            "t3: db 01h, 19h,0\n"
            "t4: db 02h, 4fh, 4bh, 04h\n");
  const std::string oneStep =
      "dw 2\n\n"
      "t1: db 01h, 82h, 0a0h, 82h, 0a2h, 00h, 41h\n"
      "t2: db 01h, 82h, 0a0h, 82h, 0a2h\n"
      "t3: db 01h, 82h, 0a0h,0\n"
      "t4: db 02h, 4fh, 4bh, 04h\n";
  for (const char* one : {"1", "01"}) {
    EXPECT_EQ(r.convert(WORKED_SOURCE, {one}).status, 0);
    EXPECT_EQ(read_file(r.out), oneStep) << one;
  }
  EXPECT_EQ(r.convert(WORKED_SOURCE, {"2"}).status, 0);
  EXPECT_EQ(read_file(r.out).substr(0, 10), "dw 6\ndb 00");
}

// Characters of plain literals are never counted; text outside literals is copied as it is.
TEST(GlyphmintCli, PlainLiteralsAndNoLiteralsGiveTheEmptyHeader) {
  Workspace r;
  const std::string noLiterals = "start:\tmov ax, 1\r\n\tdb $CJI, \"x\"\n";
  EXPECT_EQ(r.convert(noLiterals).status, 0);
  EXPECT_EQ(read_file(r.out), "dw 2\n\n" + noLiterals);
  EXPECT_EQ(r.convert("db $CJIS(\"AB\tC\"), $CJIS(\"\")\r\n").status, 0);
  EXPECT_EQ(read_file(r.out), "dw 2\n\ndb 02h, 41h, 42h, 09h, 43h, 02h\r\n");
}

TEST(GlyphmintCli, RefusesWrongArgumentCounts) {
  Workspace r;
  write_file(r.in, WORKED_SOURCE);
  for (const auto& args : std::vector<std::vector<std::string>>{{r.in}, {r.in, r.out, "1", "x"}}) {
    RunResult res = r.glyphmint(args);
    EXPECT_EQ(res.status, 1);
    EXPECT_EQ(res.output, "GLYPHMINT wrong number of parameters\n");
    EXPECT_FALSE(file_exists(r.out));
  }
  RunResult res = r.glyphmint({r.dir + "/missing.asm", r.out});
  EXPECT_EQ(res.output, "GLYPHMINT couldn't open " + r.dir + "/missing.asm for reading\n");
  EXPECT_EQ(res.status, 1);
}

// A failed analysis pass leaves the output as it was.
TEST(GlyphmintCli, FailedAnalysisLeavesTheOutputAsItWas) {
  const struct {
    std::string source;
    std::string message;
  } cases[] = {
      {"ok: db $CJIS(\"あ\")\nbad: db $CJIS(\"open", "Unclosed CJIS block\n"},
      {"db $CJIS(\"" + std::string(2047, 'x') + "\")\n", "CJIS has too many characters to decode\n"},
      // A marker followed by so many "(" that they fill a whole input block.
      {"db $CJIS" + std::string(2100, '(') + "\"x\"" + std::string(2100, ')') + "\n",
       "CJIS has too many characters to decode\n"},
  };
  for (const auto& c : cases) {
    Workspace r;
    write_file(r.out, "old output");
    RunResult res = r.convert(c.source);
    EXPECT_EQ(res.status, 1);
    EXPECT_EQ(res.output, c.message);
    EXPECT_EQ(read_file(r.out), "old output");
  }
}

// Without the analysis pass the long run of "(" is refused; written to
// standard output, no byte of it is lost.
TEST(GlyphmintCli, LongParenthesisRunLosesNothing) {
  SKIP_WITHOUT_SHELL();  // standard output into a file
  Workspace r;
  const std::string source = "db $CJIS" + std::string(2100, '(') + "\"x\"" + std::string(2100, ')') + "\n";
  write_file(r.in, source);
  RunResult res = run_shell("'" + program_path("glyphmint") + "' '" + r.in + "' /dev/stdout 1 2>'" + r.dir +
                            "/err' >'" + r.out + "'");
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(read_file(r.dir + "/err").rfind("CJIS has too many characters to decode\n", 0), 0u);
  EXPECT_EQ(read_file(r.out), "dw 2\n\n" + source);
}

// Both passes read the same stream: an input that cannot be rewound (a pipe)
// fails without a line on standard output and leaves the output as it was;
// one pass needs no rewind.
TEST(GlyphmintCli, InputThatCannotBeRewoundFailsBeforeWriting) {
  SKIP_WITHOUT_SHELL();  // a pipe as the input
  Workspace r;
  const std::string pipeInto =
      "printf 'a: db $CJIS(\"x\")' | '" + program_path("glyphmint") + "' /dev/stdin '" + r.out + "'";
  write_file(r.out, "old output");
  RunResult res = run_shell(pipeInto);
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(res.output, "");
  EXPECT_EQ(read_file(r.out), "old output");
  res = run_shell(pipeInto + " 1");
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(read_file(r.out), "dw 2\n\na: db 02h, 78h");
}

// The input is never overwritten, and a failing write is reported.
TEST(GlyphmintCli, KeepsTheInputSafeAndReportsWriteFailures) {
  Workspace r;
  write_file(r.in, WORKED_SOURCE);
  std::vector<std::string> spellings = {r.in, r.dir + "/./in.asm"};
#ifndef _WIN32
  ASSERT_EQ(symlink(r.in.c_str(), (r.dir + "/link.s").c_str()), 0);
  spellings.push_back(r.dir + "/link.s");
#endif
  for (const std::string& same : spellings) {
    RunResult res = r.glyphmint({r.in, same});
    EXPECT_EQ(res.status, 1);
    EXPECT_EQ(res.output, "GLYPHMINT won't write over its input " + same + "\n");
    EXPECT_EQ(read_file(r.in), WORKED_SOURCE);
  }
  if (!file_exists("/dev/full")) return;
  RunResult res = r.glyphmint({r.in, "/dev/full"});
  EXPECT_EQ(res.status, 1);
  EXPECT_EQ(res.output, "GLYPHMINT couldn't write /dev/full\n");
}

// Every double-byte value used three times is a candidate: far more than
// 10000 of them still give a full table of the most used ones.
TEST(GlyphmintCli, AllDoubleByteValuesAsCandidates) {
  Workspace r;
  std::string source;
  for (int pass = 0; pass < 3; ++pass) {
    for (std::uint32_t v = 0x8000; v <= 0xFFFF; v += 256) {
      source += "db $CJIS(\"";
      for (std::uint32_t w = v; w < v + 256; ++w) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "{%04x}", static_cast<unsigned>(w));
        source += escape;
      }
      source += "\")\n";
    }
  }
  source += "db $CJIS(\"{ffff}\")\n";
  RunResult res = r.convert(source);
  EXPECT_EQ(res.status, 0) << res.output;
  const std::string out = read_file(r.out);
  EXPECT_EQ(out.substr(0, 40), "dw 338\ndb 0ffh, 0ffh, 80h, 00h, 80h, 01h");
  const std::size_t headerEnd = out.find("\n\n");
  EXPECT_EQ(out.substr(headerEnd - 9, 11), "80h, 0a6h\n\n");
  EXPECT_EQ(out.substr(out.size() - 12), "db 01h, 18h\n");
}

// ---- The output as a real target sees it: assembled by nasm, read back ----

// UTF-8 of a character from U+0800 to U+FFFF.
std::string utf8_of(std::uint32_t cp) {
  return {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
          static_cast<char>(0x80 | (cp & 0x3F))};
}

// Turns one coded literal back into Shift-JIS bytes, line ends as "\n".
std::string decode_literal(const std::uint8_t* p, std::size_t length, const std::vector<std::uint16_t>& table) {
  std::string sjis;
  auto put = [&](std::uint16_t u) {
    if (u > 0xFF) sjis += static_cast<char>(u >> 8);
    sjis += static_cast<char>(u & 0xFF);
  };
  EXPECT_TRUE(length >= 1 && (p[0] == 1 || p[0] == 2));
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t b = p[i];
    if (b == 4) {
      sjis += '\n';
    } else if (p[0] == 2) {
      sjis += static_cast<char>(b);
    } else if (b >= 0x18 && b <= 0x7F) {
      put(table.at(b - 24));
    } else if (b >= 0xA0 && b <= 0xDF) {
      put(table.at(b - 56));
    } else if (b == 0) {
      sjis += static_cast<char>(p[++i]);
    } else {
      sjis += static_cast<char>(b);
      sjis += static_cast<char>(p[++i]);
    }
  }
  return sjis;
}

TEST(GlyphmintCli, AssembledOutputDecodesBackToTheText) {
  REQUIRE_TOOL("nasm");
  REQUIRE_TOOL("iconv");
  std::vector<std::string> texts = {"こんにちは、世界！", "ＣＪＩＳ表示テスト：漢字とかな", "Plain ASCII, no table",
                                    "ｱｲｳｴｵ ﾀﾁﾂﾃﾄ ﾊﾞﾊﾟ 半角", "二行目\nです"};
  // Enough different kana, each used three times, to fill the table past
  // position 104 and to leave some characters outside it.
  for (int round = 0; round < 3; ++round) {
    for (std::uint32_t first : {0x3041u, 0x30A1u}) {
      std::string text = "kana " + std::to_string(round) + ": ";
      for (std::uint32_t cp = first; cp < first + 83; ++cp) text += utf8_of(cp);
      texts.push_back(text);
    }
  }
  std::string source = "; literals, each after its byte length\n";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string text = texts[i];
    if (i == 4) text = "二行目{0d}{0a}です";  // the line end written as escapes
    const std::string n = std::to_string(i);
    source += "\tdw\tend" + n + " - lit" + n + "\nlit" + n + ":\tdb\t$CJIS(\"" + text + "\")\nend" + n + ":\n";
  }
  Workspace r;
  ASSERT_EQ(r.convert(source).status, 0);
  const std::string bin = r.dir + "/out.bin";
  RunResult nasm = run_shell("nasm -f bin -o '" + bin + "' '" + r.out + "' 2>&1");
  ASSERT_EQ(nasm.status, 0) << nasm.output;

  const std::string image = read_file(bin);
  const auto* p = reinterpret_cast<const std::uint8_t*>(image.data());
  const std::size_t tableSize = p[0] | p[1] << 8;
  ASSERT_GE(tableSize, 2u);
  std::vector<std::uint16_t> table;
  for (std::size_t i = 2; i < tableSize; i += 2) table.push_back(static_cast<std::uint16_t>(p[i] << 8 | p[i + 1]));
  EXPECT_EQ(table.size(), 168u);

  std::string joined;  // all literals in Shift-JIS, "|" between them
  for (std::size_t at = tableSize; at < image.size();) {
    const std::size_t length = p[at] | p[at + 1] << 8;
    ASSERT_LE(at + 2 + length, image.size());
    if (!joined.empty()) joined += '|';
    joined += decode_literal(p + at + 2, length, table);
    at += 2 + length;
  }
  write_file(r.dir + "/decoded.sjis", joined);
  RunResult utf8 = run_shell("iconv -f SHIFT_JISX0213 -t UTF-8 '" + r.dir + "/decoded.sjis'");
  ASSERT_EQ(utf8.status, 0);
  std::string want;
  for (const std::string& t : texts) want += (want.empty() ? "" : "|") + t;
  EXPECT_EQ(utf8.output, want);
}

}  // namespace
