#include "diskquarry/spelling.h"

#include <gtest/gtest.h>

#include "textconv/sjis_reverse.h"

namespace {

class Spelling : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(build_sjis_reverse(reverse_)); }
  SjisReverse reverse_;
};

// The least spelling after the previous one: the stored name where it sorts
// right, else lower case, bytes past a full field, or a final dot.
TEST_F(Spelling, LeastSpellingThatSortsAfterThePreviousOne) {
  struct Case {
    const char* stored;  // 11 bytes
    const char* previous;
    const char* spelling;  // nullptr: none
  } cases[] = {
      {"README  TXT", "", "README.TXT"},
      {"B       TXT", "A.TXT", "B.TXT"},
      {"B       TXT", "C.TXT", "b.TXT"},
      {"BC      TXT", "Bd.TXT", "bC.TXT"},
      {"ABCDEFGHTXT", "ABCDEFGH.TXT", "ABCDEFGH.TXT!"},
      {"ABCDEFGHTXT", "ABCDEFGH.txt", "ABCDEFGH.txt!"},
      {"NAME       ", "NAME", "NAME."},
      {"A       TXT", "b", nullptr},
      {"\x05\x40      TXT", "", "\xE5\x40.TXT"},
      {"ABCDEFG\x83   ", "", "ABCDEFG\x83\x40"},
  };
  for (const Case& c : cases) {
    std::string spelling;
    bool found = spell_after(reverse_, reinterpret_cast<const std::uint8_t*>(c.stored), c.previous, spelling);
    EXPECT_EQ(found, c.spelling != nullptr) << c.stored;
    if (found && c.spelling != nullptr) {
      EXPECT_EQ(spelling, c.spelling) << c.stored;
    }
  }
}

// diskquarry reads names of these bytes without the whole table: each must
// be its own character there.
TEST_F(Spelling, AsciiBytesButYenAndOverlineReadAsThemselves) {
  for (std::uint32_t b = 1; b < 0x80; ++b) {
    if (b == 0x5C || b == 0x7E) continue;
    std::uint32_t span = reverse_.spans[b];
    ASSERT_EQ(span & 0xF, 1u) << b;
    EXPECT_EQ(reverse_.bytes[span >> 4], b);
  }
}

TEST_F(Spelling, Utf8ThatConvertsBackOrNone) {
  std::string utf8;
  EXPECT_TRUE(sjis_spelling_to_utf8(reverse_, "\x83\x5C\x81\x5F.TXT", utf8));
  EXPECT_EQ(utf8, "\xE3\x82\xBD\\.TXT");  // ソ and the backslash
  EXPECT_FALSE(sjis_spelling_to_utf8(reverse_, "A\x80", utf8));
  EXPECT_FALSE(sjis_spelling_to_utf8(reverse_, "ABCDEFG\x83", utf8));
}

}  // namespace
