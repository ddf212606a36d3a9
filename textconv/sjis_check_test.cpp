#include "textconv/sjis_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Found {
  TextIssue issue;
  std::uint32_t offset, length, codePoint;
  bool operator==(const Found&) const = default;
};

void collect(void* context, const TextFinding& f) {
  static_cast<std::vector<Found>*>(context)->push_back({f.issue, f.offset, f.length, f.codePoint});
}

std::vector<Found> check(const std::string& text) {
  std::vector<Found> found;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::uint32_t count = check_sjis_text(bytes, static_cast<std::uint32_t>(text.size()), collect, &found);
  EXPECT_EQ(count, found.size());
  return found;
}

std::string describe(const std::string& text) {
  std::vector<Found> found = check(text);
  if (found.size() != 1) return "findings: " + std::to_string(found.size());
  char out[200];
  const Found& f = found[0];
  return describe_finding({f.issue, f.offset, f.length, f.codePoint},
                          reinterpret_cast<const std::uint8_t*>(text.data()), out, sizeof out);
}

constexpr TextIssue U = TextIssue::Unencodable;
constexpr TextIssue B = TextIssue::NotUtf8;

}  // namespace

TEST(SjisCheck, FindsWhatPassesThroughUnconverted) {
  struct Case {
    std::string text;
    std::vector<Found> found;
  } cases[] = {
      {"あA漢ｱ\\~¥‾", {}},
      {"\xe3\x81\x8b\xe3\x82\x9a\t", {}},   // a pair that is one code; ASCII controls are themselves
      {"\xf0\x80\x80\x80", {}},             // the four-byte form of U+0000 is in the table
      {"a～b", {{U, 1, 3, 0xFF5E}}},
      {"\xf0\x9f\x98\x80", {{U, 0, 4, 0x1F600}}},
      {"a\xff\xfe" "b\xe3\x81", {{B, 1, 2, 0}, {B, 4, 2, 0}}},
      {"\xc0\xafあ\xed\xa0\x80", {{B, 0, 2, 0}, {B, 5, 3, 0}}},  // overlong form, surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(check(c.text), c.found) << c.text;
}

TEST(SjisCheck, DescribesFindingsReadably) {
  EXPECT_EQ(describe("\xe2\x80\x95"),
            "U+2015 '―' is not in the Shift-JIS table (its UTF-8 bytes are kept); write U+2014 '—' (815Ch) instead");
  EXPECT_EQ(describe("x\xff"), "byte FF is not UTF-8 (kept as it is)");
  // Characters that would act on a terminal are named by number only.
  EXPECT_EQ(describe("\xc2\x9b"), "U+009B is not in the Shift-JIS table (its UTF-8 bytes are kept)");
  EXPECT_EQ(describe("\xe2\x80\xae"), "U+202E is not in the Shift-JIS table (its UTF-8 bytes are kept)");
}
