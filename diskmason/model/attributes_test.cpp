#include "diskmason/model/attributes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::uint8_t* bytes(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }
std::uint32_t length(const char* s) { return static_cast<std::uint32_t>(std::strlen(s)); }

TEST(Attributes, UpperCaseLettersOnly) {
  struct Case {
    const char* text;
    std::uint8_t bits;
    std::uint32_t firstUnknown;
  } cases[] = {
      {"A", 0x20, 1},        {"RHS", 0x07, 3},          {"rhs", 0, 0},         {"-", 0, 1},
      {"AA", 0x20, 2},       {"D?I", 0xD0, 3},          {"V", 0x08, 1},        {"", 0, 0},
      {"RHSVDAI?", 0xFF, 8}, {"R x\xFFH", 0x03, 1},     {"-R-", 0x01, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode_attributes(bytes(c.text), length(c.text)), c.bits) << c.text;
    EXPECT_EQ(first_unknown_attribute(bytes(c.text), length(c.text)), c.firstUnknown) << c.text;
  }
}

}  // namespace
