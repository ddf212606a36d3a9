#include "diskmason/model/short_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ShortName, CutsAtTheLastDotAndReadsBack) {
  struct Case {
    const char* name;
    const char* field;
    const char* text;  // what the stored name reads back as
  } cases[] = {
      {"README.TXT", "README  TXT", "README.TXT"},
      {"LONGFILENAME", "LONGFILE   ", "LONGFILE"},
      {"ARCHIVE.TAR.GZ", "ARCHIVE.GZ ", "ARCHIVE..GZ"},
      {".PROFILE", "        PRO", ".PRO"},
      {"A.", "A          ", "A"},
      {"A.B.", "A.B        ", "A.B"},
      {"ABCDEFG\x82\xa0.TXT", "ABCDEFG\x82TXT", "ABCDEFG\x82.TXT"},  // a double-byte character cut in half
      {"", "           ", ""},
      {"\xE5\xE5.\xE5", "\x05\xE5      \xE5  ", "\xE5\xE5.\xE5"},  // only a leading deleted mark is replaced
  };
  for (const Case& c : cases) {
    std::uint8_t field[SHORT_NAME_SIZE];
    make_short_name(reinterpret_cast<const std::uint8_t*>(c.name), std::strlen(c.name), field);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(field), SHORT_NAME_SIZE), c.field) << c.name;
    std::uint8_t text[SHORT_NAME_SIZE + 1];
    std::uint32_t n = short_name_text(field, text);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), n), c.text) << c.name;
  }
}

TEST(ShortName, FitTellsWhatTheCutDoes) {
  struct Case {
    std::u16string units;  // Shift-JIS units
    bool cut;
    bool cutInsideCharacter;
    bool dotInBase;
    const char* forbidden;  // every character short names may not hold that it holds
  } cases[] = {
      {u"README.TXT", false, false, false, ""},
      {u"LONGFILENAME", true, false, false, ""},
      {u"A.HTML", true, false, false, ""},
      {u"ABCDEFG\x82A0.TXT", true, true, false, ""},
      {u"ABCDEF\x82A0.TXT", false, false, false, ""},  // exactly 8 bytes
      {u"A.BC\x82A0", true, true, false, ""},
      {u"A.B.C", false, false, true, ""},
      {u"A+B;C+", false, false, false, "+;"},
      {u"TAB\t", false, false, false, "\t"},
      {u"\x815F", false, false, false, ""},  // the double-byte backslash is allowed
  };
  for (const Case& c : cases) {
    std::vector<std::uint16_t> units(c.units.begin(), c.units.end());
    ShortNameFit fit = fit_short_name(units.data(), static_cast<std::uint32_t>(units.size()));
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(fit.cut, c.cut);
    EXPECT_EQ(fit.cutInsideCharacter, c.cutInsideCharacter);
    EXPECT_EQ(fit.dotInBase, c.dotInBase);
    std::bitset<128> forbidden;
    for (const char* p = c.forbidden; *p != 0; ++p) forbidden.set(static_cast<unsigned char>(*p));
    EXPECT_EQ(fit.forbidden, forbidden);
  }
}

}  // namespace
