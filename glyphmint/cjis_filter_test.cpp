#include "glyphmint/cjis_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace {

const std::uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

std::vector<std::uint8_t> expand(const std::string& text) {
  std::vector<std::uint8_t> units(2 * text.size());
  units.resize(expand_cjis_literal(bytes_of(text), static_cast<std::uint32_t>(text.size()), units.data(),
                                   sjis_table.codes, sjis_table.trie));
  return units;
}

// Units of a text without escapes or multi-byte characters: 00 b each.
std::vector<std::uint8_t> ascii_units(const std::string& text) {
  std::vector<std::uint8_t> units;
  for (char c : text) units.insert(units.end(), {0, static_cast<std::uint8_t>(c)});
  return units;
}


TEST(CjisFilter, ParsesTheDecimalArgument) {
  const struct {
    const char* text;
    std::uint32_t value;
  } cases[] = {{"1", 1}, {"01", 1}, {"0", 0}, {"2", 2}, {"4294967297", 1}, {"", 0xFFFFFFFF},
               {"x", 0xFFFFFFFF}, {"1x", 0xFFFFFFFF}, {"-1", 0xFFFFFFFF}, {" 1", 0xFFFFFFFF}};
  for (const auto& c : cases) EXPECT_EQ(parse_decimal_arg(c.text), c.value) << c.text;
}

TEST(CjisFilter, CountsAndParsesHexDigits) {
  EXPECT_EQ(count_hex_digits(bytes_of("09afAFg"), 7, 10), 6u);
  EXPECT_EQ(count_hex_digits(bytes_of("12345"), 5, 4), 4u);
  EXPECT_EQ(count_hex_digits(bytes_of("12345"), 2, 4), 2u);
  EXPECT_EQ(count_hex_digits(bytes_of("}"), 1, 4), 0u);
  EXPECT_EQ(parse_hex_digits(bytes_of("8140"), 4), 0x8140u);
  EXPECT_EQ(parse_hex_digits(bytes_of("aF"), 2), 0xAFu);
}

TEST(CjisFilter, ExpandsBraceEscapes) {
  using V = std::vector<std::uint8_t>;
  EXPECT_EQ(expand("{8140}"), (V{0x81, 0x40}));
  EXPECT_EQ(expand("a{41}b"), ascii_units("aAb"));
  EXPECT_EQ(expand("{0d}{0A}"), (V{0, 0x0D, 0, 0x0A}));
  EXPECT_EQ(expand("あ{82a0}"), (V{0x82, 0xA0, 0x82, 0xA0}));
  // Not escapes: the "{" is dropped and what follows is text.
  EXPECT_EQ(expand("{4}"), ascii_units("4}"));
  EXPECT_EQ(expand("{414}"), ascii_units("414}"));
  EXPECT_EQ(expand("{4142x}"), ascii_units("4142x}"));
  EXPECT_EQ(expand("{g1}"), ascii_units("g1}"));
  EXPECT_EQ(expand("{41"), ascii_units("41"));
  EXPECT_EQ(expand("{{41}"), ascii_units("{41}"));
  EXPECT_EQ(expand("ab{"), ascii_units("ab"));
  EXPECT_EQ(expand("{"), V{});
  EXPECT_EQ(expand(""), V{});
}

}  // namespace
