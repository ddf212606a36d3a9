// Stored names read as Shift-JIS: a second byte of a double-byte character
// is part of it, whatever its value; each field of the 8.3 name on its own.
#include "diskquarry/check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  const char* stored;  // the 11 bytes
  int forbidden;
  int longNameOnly;
  bool leadingSpace;
  bool lowerCase;
};

TEST(ShortNameFaults, ReadAsShiftJis) {
  const NameCase cases[] = {
      {"\x83\x5C      TXT", -1, -1, false, false},        // katakana so: 5Ch second byte
      {"\x83\x7C\x95\x5C    TXT", -1, -1, false, false},  // po and hyou: 7Ch and 5Ch second bytes
      {"\x82\x61      TXT", -1, -1, false, false},        // fullwidth B: 61h second byte is no lower-case letter
      {"\x05OLD    TXT", -1, -1, false, false},           // 05h stands for a first byte E5h
      {"A\\B     TXT", 0x5C, -1, false, false},
      {"A|B     TXT", 0x7C, -1, false, false},
      {"ABCDEFG\x83\x5CXT", 0x5C, -1, false, false},  // a lead byte ending the base does not take the extension's
      {"A+B     TXT", -1, '+', false, false},
      {" AB     TXT", -1, -1, true, false},
      {"Ab      txt", -1, -1, false, true},
  };
  for (const NameCase& c : cases) {
    NameFaults f = short_name_faults(reinterpret_cast<const std::uint8_t*>(c.stored));
    EXPECT_EQ(f.forbidden, c.forbidden) << c.stored;
    EXPECT_EQ(f.longNameOnly, c.longNameOnly) << c.stored;
    EXPECT_EQ(f.leadingSpace, c.leadingSpace) << c.stored;
    EXPECT_EQ(f.lowerCase, c.lowerCase) << c.stored;
  }
}

}  // namespace
