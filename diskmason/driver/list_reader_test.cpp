#include "diskmason/driver/list_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint32_t LIMIT = 512;

const std::uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}
std::uint32_t size32(const std::string& s) { return static_cast<std::uint32_t>(s.size()); }

struct Line {
  std::string text;
  bool endedByLineFeed;
  bool operator==(const Line&) const = default;
};

// Reads the whole stream line by line as the driver does: until end of file.
std::vector<Line> read_all(const std::string& content) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  std::fwrite(content.data(), 1, content.size(), f);
  std::rewind(f);
  std::vector<Line> lines;
  std::uint8_t buffer[LIMIT + 1];
  while (true) {
    std::uint32_t length = LIMIT;
    buffer[LIMIT] = 0xAA;
    bool ended = read_list_line(f, buffer, &length);
    EXPECT_LE(length, LIMIT);
    if (length < LIMIT) {
      EXPECT_EQ(buffer[length], 0) << "zero byte after a short line";
    } else {
      EXPECT_EQ(buffer[LIMIT], 0xAA) << "nothing stored beyond the limit";
    }
    if (!ended && length == 0 && std::feof(f)) break;
    lines.push_back(Line{std::string(reinterpret_cast<char*>(buffer), length), ended});
    if (std::feof(f)) break;
  }
  std::fclose(f);
  return lines;
}

TEST(ReadListLine, SplitsLinesAtTheLimitAndDropsOnlyAFinalCarriageReturn) {
  std::string long600(600, 'x');
  long600[511] = '\r';
  struct Case {
    const char* what;
    std::string input;
    std::vector<Line> expected;
  } cases[] = {
      {"CR LF", "a b\r\n", {{"a b", true}}},
      {"last line without LF", "one\nlast", {{"one", true}, {"last", false}}},
      {"empty lines", "\n\r\n", {{"", true}, {"", true}}},
      {"only the last CR goes", "a\r\r\n", {{"a\r", true}}},
      {"CR alone inside", "a\rb\n", {{"a\rb", true}}},
      {"bytes 0 and 255 kept", std::string("a\0\xFFz\n", 5), {{std::string("a\0\xFFz", 4), true}}},
      {"exactly 512 then LF", std::string(512, 'y') + "\n", {{std::string(512, 'y'), false}, {"", true}}},
      {"600 bytes", long600 + "\n", {{long600.substr(0, 512), false}, {std::string(88, 'x'), true}}},
      {"CR at the limit is kept", std::string(511, 'z') + "\r\n",
       {{std::string(511, 'z') + "\r", false}, {"", true}}},
  };
  for (const Case& c : cases) EXPECT_EQ(read_all(c.input), c.expected) << c.what;
}

std::vector<std::string> split(const std::string& line, std::uint32_t limit = 7) {
  std::vector<FieldSpan> spans(limit + 1, FieldSpan{0xDEAD, 0xDEAD});
  std::uint32_t n = split_fields(bytes(line), size32(line), spans.data(), limit);
  EXPECT_LE(n, limit);
  EXPECT_EQ(spans[limit].offset, 0xDEADu) << "wrote past the limit";
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < n; ++i) out.push_back(line.substr(spans[i].offset, spans[i].length));
  return out;
}

TEST(SplitFields, BlanksQuotesAndLimit) {
  using V = std::vector<std::string>;
  struct Case {
    std::string line;
    std::uint32_t limit;
    V expected;
  } cases[] = {
      {"a b", 7, {"a", "b"}},
      {"  a  \t b\t ", 7, {"a", "b"}},
      {"", 7, {}},
      {" \t ", 7, {}},
      {"\"my file.txt\" X", 7, {"my file.txt", "X"}},
      {"\"\"", 7, {""}},
      {"a \"\" b", 7, {"a", "", "b"}},
      {"\"q\"abc", 7, {"q", "abc"}},
      {"abc\"q r\"", 7, {"abc", "q r"}},
      {"a b \"unclosed c", 7, {"a", "b"}},
      {"a \"\xFF\" \xE3\x81\x82", 7, {"a", "\xFF", "\xE3\x81\x82"}},
      {"1 2 3 4 5 6 7 8 \"9", 7, {"1", "2", "3", "4", "5", "6", "7"}},
      {"1 2 3", 2, {"1", "2"}},
      {"1 2", 0, {}},
      {"a\"b\"", 1, {"a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(split(c.line, c.limit), c.expected) << c.line;
}

// The value, or BAD_NUMBER when the text does not decode.
std::uint32_t decode(const std::string& s) {
  std::uint32_t value = 0;
  return parse_number(bytes(s), size32(s), &value) ? value : BAD_NUMBER;
}

TEST(ParseNumber, AcceptedForms) {
  struct Case {
    std::string text;
    std::uint32_t value;
  } cases[] = {
      {"0x1F", 31},     {"0X1f", 31},      {"1Fh", 31},         {"1fH", 31},
      {"031", 31},      {"12h", 18},       {"0FFh", 255},       {"FFh", 255},
      {"0", 0},         {"4294967295", 0xFFFFFFFF}, {"4294967297", 1}, {"0x100000001", 1},
      {"0h", 0},        {"00000000000000000000012", 12},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(c.text), c.value) << c.text;
}

TEST(ParseNumber, RefusesEverythingElse) {
  const std::string bad[] = {"1F", "-1", "0x", "h", "0x12h", "1e3", "12 ", "", " 12", std::string("1\0", 2), "\xB0"};
  for (const std::string& text : bad) EXPECT_EQ(decode(text), BAD_NUMBER) << text;
}

}  // namespace
