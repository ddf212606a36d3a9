#include "textconv/sjis_reverse.h"

#include <gtest/gtest.h>

#include <string>

#include "textconv/transcoder.h"

namespace {

class SjisReverseTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(build_sjis_reverse(reverse_)); }

  std::string utf8(const std::string& sjis, std::size_t capacity = 64) {
    std::string out(capacity, '?');
    std::size_t n = sjis_to_utf8(reverse_, reinterpret_cast<const std::uint8_t*>(sjis.data()),
                                 sjis.size(), out.data(), capacity);
    EXPECT_EQ(out[n], '\0');
    return out.substr(0, n);
  }

  SjisReverse reverse_{};
};

// Every code of the table reads back as a sequence that converts to it.
TEST_F(SjisReverseTest, EveryCodeRoundTrips) {
  for (std::uint32_t i = 0; i < SJIS_CODE_COUNT; ++i) {
    std::uint16_t code = sjis_table.codes[i];
    if (code == 0) continue;
    std::string sjis;
    if (code > 0xFF) sjis += static_cast<char>(code >> 8);
    sjis += static_cast<char>(code & 0xFF);
    std::string text = utf8(sjis);
    std::uint8_t back[16];
    std::uint32_t n = utf8_to_sjis(reinterpret_cast<const std::uint8_t*>(text.data()),
                                   static_cast<std::uint32_t>(text.size()), back, sjis_table.codes,
                                   sjis_table.trie);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(back), n), sjis) << std::hex << code;
  }
}

TEST_F(SjisReverseTest, NamesAsADiskStoresThem) {
  struct Case {
    std::string sjis;
    std::string utf8;
  } cases[] = {
      {"README.TXT", "README.TXT"},
      {"\x83\x66\x81\x5B\x83\x5E", "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF"},  // データ
      {"\xB6\xC5", "\xEF\xBD\xB6\xEF\xBE\x85"},                                // half-width ｶﾅ
      {"\x5C\x7E", "\xC2\xA5\xE2\x80\xBE"},                                    // yen sign, overline
      {"AB\x83", "AB\\x83"},              // a lead byte cut off at the end
      {"\x80\xFD\x01", "\\x80\\xFD\x01"},  // bytes no code starts with
  };
  for (const Case& c : cases) EXPECT_EQ(utf8(c.sjis), c.utf8);
}

TEST_F(SjisReverseTest, OutputIsCutAtAWholeCharacter) {
  EXPECT_EQ(utf8("AB\x83\x66", 5), "AB");
  EXPECT_EQ(utf8("A\x80", 5), "A");
  EXPECT_EQ(utf8("A\x80", 6), "A\\x80");
}

}  // namespace
