#include "textconv/literal_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {


struct ScanResult {
  std::string text;                   // everything handed to on_text, in order
  std::vector<std::string> literals;  // every on_literal text
  bool ok;
  std::string messages;  // standard output of the run
};

void collect_text(void* context, const std::uint8_t* bytes, std::uint32_t length) {
  static_cast<ScanResult*>(context)->text.append(reinterpret_cast<const char*>(bytes), length);
}

void collect_literal(void* context, const std::uint8_t* bytes, std::uint32_t length) {
  static_cast<ScanResult*>(context)->literals.emplace_back(reinterpret_cast<const char*>(bytes),
                                                           length);
}

ScanResult scan(const std::string& input, const char* marker = "$SJIS(",
                const char* word = "SJIS") {
  std::FILE* in = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  ScanResult result;
  LiteralScanner scanner;
  Reporter reporter{"test", false, false, false, 0, stdout, stderr, nullptr, nullptr};
  literal_scanner_init(scanner, in, {marker, word}, {collect_text, &result, collect_literal, &result},
                       InputReport{&reporter, "in"}, false);
  testing::internal::CaptureStdout();
  result.ok = literal_scanner_run(scanner);
  result.messages = testing::internal::GetCapturedStdout();
  std::fclose(in);
  return result;
}

const char TOO_MANY[] = "SJIS has too many characters to decode\n";
const char UNCLOSED[] = "Unclosed SJIS block\n";

struct Case {
  std::string input;
  std::string text;
  std::vector<std::string> literals;
  std::string messages;
};

void check(const Case& c) {
  ScanResult r = scan(c.input);
  EXPECT_EQ(r.text, c.text) << c.input.substr(0, 80);
  EXPECT_EQ(r.literals, c.literals) << c.input.substr(0, 80);
  EXPECT_EQ(r.messages, c.messages) << c.input.substr(0, 80);
  EXPECT_EQ(r.ok, c.messages.empty()) << c.input.substr(0, 80);
}

std::string pad(std::size_t n) { return std::string(n, '.'); }

}  // namespace

TEST(LiteralScanner, FindsLiteralsInOneBlock) {
  const Case cases[] = {
      {"db $SJIS(\"abc\")\n", "db \n", {"abc"}, ""},
      {"", "", {}, ""},
      {"$SJIS( \"x\")", "$SJIS( \"x\")", {}, ""},
      {"$sjis(\"x\")", "$sjis(\"x\")", {}, ""},
      {"$SJIS(x\")", "$SJIS(x\")", {}, ""},
      {"$SJIS(\"a\"b\")", "", {"a\"b"}, ""},
      {"$SJIS(\"a\" b\")", "", {"a\" b"}, ""},
      {"$SJIS(\"a\"\")", "", {"a\""}, ""},
      {"[$SJIS(\"\")]", "[]", {""}, ""},
      {"$$SJIS(\"x\")", "$", {"x"}, ""},
      {"$SJIS($SJIS(\"x\")", "$SJIS($SJIS(\"x\")", {}, ""},
      {"$SJIS((\"a\")b\"))", "", {"a\")b"}, ""},
      {"$SJIS(((\"(\")\")))!", "!", {"(\")"}, ""},
      {"a$SJIS(\"x\"),$SJIS(\"y\")z", "a,z", {"x", "y"}, ""},
      {"end $SJ", "end $SJ", {}, ""},
      {"end $SJIS(((", "end $SJIS(((", {}, ""},
      {"ab $SJIS(\"xyz", "ab ", {}, UNCLOSED},
      {"ab $SJIS(\"xyz\"", "ab ", {}, UNCLOSED},
  };
  for (const Case& c : cases) check(c);
}

TEST(LiteralScanner, FindsLiteralsAcrossBlockBoundaries) {
  const std::string body(100, 'y');
  const Case cases[] = {
      // Block 1 ends in "$SJ".
      {pad(2045) + "$SJIS(\"x\")tail", pad(2045) + "tail", {"x"}, ""},
      // "(" is a block's last byte, the quote the next block's first.
      {pad(2042) + "$SJIS(\"x\")tail", pad(2042) + "tail", {"x"}, ""},
      // Extra "(" on both sides of the boundary.
      {pad(2040) + "$SJIS(((\"x\")))tail", pad(2040) + "tail", {"x"}, ""},
      // The opening quote ends block 1.
      {pad(2041) + "$SJIS(\"" + body + "\")", pad(2041), {body}, ""},
      // A literal spanning blocks.
      {pad(2000) + "$SJIS(\"" + body + "\")t", pad(2000) + "t", {body}, ""},
      // The closing quote ends block 1, its ")" starts block 2.
      {pad(1947) + "$SJIS(\"" + body.substr(0, 93) + "\")t", pad(1947) + "t", {body.substr(0, 93)},
       ""},
      // A quote before a block boundary that is not the closing one.
      {pad(2040) + "$SJIS(\"\"a\")", pad(2040), {"\"a"}, ""},
      // A marker prefix that fails at the boundary stays text.
      {pad(2045) + "$SJx", pad(2045) + "$SJx", {}, ""},
      {pad(2047) + "$", pad(2047) + "$", {}, ""},
  };
  for (const Case& c : cases) check(c);
}

// The scanner reads far ahead of its blocks; a marker, a literal or its
// closing sequence where it reads again is found as anywhere else, and held
// back bytes that are no marker stay text.
TEST(LiteralScanner, FindsLiteralsWhereItReadsAgain) {
  const std::string body = "0123456789\")abcdefghijklmnop";
  const std::string open = std::string("$SJIS(").append(30, '(').append("\"");  // held back until its quote
  const std::string close = std::string("\"").append(31, ')');
  for (std::uint32_t near : {SCAN_INPUT_SIZE - BLOCK_SIZE, SCAN_INPUT_SIZE, 2 * SCAN_INPUT_SIZE + BLOCK_SIZE}) {
    for (std::uint32_t n = near - 80; n < near + 8; ++n) {
      check({pad(n) + open + body + close + "t", pad(n) + "t", {body}, ""});
      // A held-back run that turns out to be no marker is text.
      check({pad(n) + "$SJIS((((((((((((x" + body, pad(n) + "$SJIS((((((((((((x" + body, {}, ""});
    }
  }
}

TEST(LiteralScanner, LimitsLiteralsToOneBlock) {
  const std::string fits(2046, 'x');
  const std::string over(2047, 'x');
  const Case cases[] = {
      {"$SJIS(\"" + fits + "\")", "", {fits}, ""},
      {pad(1000) + "$SJIS(\"" + fits + "\")", pad(1000), {fits}, ""},
      {pad(3000) + "$SJIS(\"" + fits + "\")", pad(3000), {fits}, ""},
      // Too many at the literal's end: the rest of that block goes to the text
      // unconverted, later markers included.
      {"pre $SJIS(\"" + over + "\") $SJIS(\"a\")", "pre " + over.substr(2037) + "\") $SJIS(\"a\")",
       {}, TOO_MANY},
      // The marker is held back across the boundary before the literal opens.
      {pad(2043) + "$SJIS(\"" + over + "\")!", pad(2043) + "xxxxxx\")!", {}, TOO_MANY},
  };
  for (const Case& c : cases) check(c);
}

TEST(LiteralScanner, KeepsCollectingAnOpenLiteralAfterAnError) {
  // Block 1 leaves one literal byte; block 2 does not fit (message), block 3
  // (the last 100 bytes) fits; then the literal is unclosed.
  ScanResult r = scan(pad(2040) + "$SJIS(\"x" + std::string(2048, 'y') + std::string(98, 'z') +
                      "\")");
  EXPECT_EQ(r.text, pad(2040));
  EXPECT_TRUE(r.literals.empty());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.messages, std::string(TOO_MANY) + UNCLOSED);

  // Every block that does not fit repeats the message.
  r = scan("$SJIS(\"" + std::string(7000, 'y') + "\")");
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.messages, std::string(TOO_MANY) + TOO_MANY + TOO_MANY + UNCLOSED);
}

TEST(LiteralScanner, RefusesAMarkerThatFillsTheBlockWithoutLosingIt) {
  for (std::size_t before : {0u, 100u, 2047u}) {
    for (std::size_t extra : {2041u, 2042u, 2500u, 4200u}) {
      std::string input = pad(before) + "$SJIS(" + std::string(extra, '(') + "\"x\")tail";
      ScanResult r = scan(input);
      EXPECT_TRUE(r.literals.empty());
      if (extra == 2041) {
        // 2047 held-back bytes still leave room for the quote: an open literal.
        EXPECT_EQ(r.messages, UNCLOSED);
        continue;
      }
      EXPECT_EQ(r.text, input) << before << " " << extra;
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.messages, TOO_MANY);
    }
  }
}

TEST(LiteralScanner, UsesTheConfiguredMarkerAndWord) {
  ScanResult r = scan("db $CJIS(\"a\"), $SJIS(\"b\"), $CJIS(\"c", "$CJIS(", "CJIS");
  EXPECT_EQ(r.text, "db , $SJIS(\"b\"), ");
  EXPECT_EQ(r.literals, (std::vector<std::string>{"a"}));
  EXPECT_EQ(r.messages, "Unclosed CJIS block\n");
  EXPECT_FALSE(r.ok);
}

TEST(MarkerStep, FollowsTheMatcher) {
  std::uint8_t failure[MAX_MARKER_LENGTH];
  marker_failures("$SJIS(", 6, failure);
  struct Step {
    std::uint32_t state;
    char byte;
    std::uint32_t next;
  } cases[] = {{3, '$', 1}, {3, 'I', 4}, {3, 'x', 0}, {0, '$', 1}, {0, 'S', 0}, {5, '(', 6}};
  for (const Step& c : cases)
    EXPECT_EQ(marker_step("$SJIS(", failure, c.state, static_cast<std::uint8_t>(c.byte)), c.next)
        << c.state << " " << c.byte;

  // A marker with a proper prefix that is also a suffix falls back through
  // its failure table: "aab" after "aa" and another "a" still has "aa".
  marker_failures("aab", 3, failure);
  EXPECT_EQ(std::vector<std::uint8_t>(failure, failure + 3), (std::vector<std::uint8_t>{0, 0, 1}));
  EXPECT_EQ(marker_step("aab", failure, 2, 'a'), 2u);
  EXPECT_EQ(marker_step("aab", failure, 2, 'b'), 3u);
  EXPECT_EQ(marker_step("aab", failure, 2, 'x'), 0u);
}

// The marker's length and table come from the marker itself: a shorter one
// and one that overlaps itself scan as well as the six-byte ones.
TEST(LiteralScanner, MarkersOfAnyLength) {
  ScanResult r = scan("x $AB(\"t\") $AB((\"u\")) $A$AB(\"v\")", "$AB(", "AB");
  EXPECT_EQ(r.text, "x   $A");
  EXPECT_EQ(r.literals, (std::vector<std::string>{"t", "u", "v"}));
  r = scan("aaab\"w\")", "aab", "A");
  EXPECT_EQ(r.text, "a");
  EXPECT_EQ(r.literals, (std::vector<std::string>{"w"}));
}
