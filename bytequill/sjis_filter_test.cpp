#include "bytequill/sjis_filter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FilterResult {
  std::string output;
  bool ok;
  std::string messages;
};

FilterResult filter(const std::string& input) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  FilterResult r;
  Reporter reporter{"bytequill", false, false, false, 0, stdout, stderr, nullptr, nullptr};
  testing::internal::CaptureStdout();
  r.ok = filter_sjis_literals(in, out, InputReport{&reporter, "in"}, false);
  r.messages = testing::internal::GetCapturedStdout();
  std::rewind(out);
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, out)) > 0) r.output.append(chunk, got);
  std::fclose(in);
  std::fclose(out);
  return r;
}

}  // namespace

TEST(SjisFilter, ConvertsTheWorkedExamples) {
  struct Case {
    const char* input;
    const char* output;
  } cases[] = {
      {"\tdb\t$SJIS(\"あいう\"), 0\n", "\tdb\t82h, 0a0h, 82h, 0a2h, 82h, 0a4h, 0\n"},
      {"msg:\tdb\t$SJIS(\"Hello\"),0dh,0ah\r\n", "msg:\tdb\t48h, 65h, 6ch, 6ch, 6fh,0dh,0ah\r\n"},
      {"db $SJIS(\"ｱｲｳ\")", "db 0b1h, 0b2h, 0b3h"},
      {"db $SJIS(\"A漢\")", "db 41h, 8ah, 0bfh"},
      {"db $SJIS(\"\")", "db "},
      {"db $SJIS((\"(\")\"))", "db 28h, 22h, 29h"},
      {"db $SJIS(\"\\\")", "db 81h, 5fh"},
      {"db $SJIS(\"\xe2\x80\x95\")", "db 0e2h, 80h, 95h"},
      {"db $SJIS(\"あ\"), $SJIS(\"い\")", "db 82h, 0a0h, 82h, 0a2h"},
      {"; ¥ 漢字 $SJIS ( )\n", "; ¥ 漢字 $SJIS ( )\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    FilterResult r = filter(c.input);
    EXPECT_EQ(r.output, c.output) << c.input;
    EXPECT_TRUE(r.ok) << c.input;
    EXPECT_EQ(r.messages, "") << c.input;
  }
}

TEST(SjisFilter, KeepsLongOutputInOrder) {
  // Many literals and plain lines: the output crosses many buffer fills.
  std::string input, expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string label = std::to_string(i);
    input.append("l").append(label).append(": db $SJIS(\"かな漢字ｶﾅ\"), 0\n");
    expected.append("l").append(label).append(": db 82h, 0a9h, 82h, 0c8h, 8ah, 0bfh, 8eh, 9ah, 0b6h, 0c5h, 0\n");
  }
  FilterResult r = filter(input);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.output, expected);
}

TEST(SjisFilter, LongestLiteralConvertsToTheFullConversionArea) {
  // 2046 backslashes give 4092 bytes, the most one literal can give.
  std::string text(2046, '\\');
  FilterResult r = filter("$SJIS(\"" + text + "\")");
  EXPECT_TRUE(r.ok);
  std::string expected = "81h, 5fh";
  for (int i = 1; i < 2046; ++i) expected += ", 81h, 5fh";
  EXPECT_EQ(r.output, expected);
}
