#include "diskmason/model/date_time.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::uint32_t date_time(const std::string& date, const std::string& time) {
  return decode_date_time(reinterpret_cast<const std::uint8_t*>(date.data()), static_cast<std::uint32_t>(date.size()),
                          reinterpret_cast<const std::uint8_t*>(time.data()), static_cast<std::uint32_t>(time.size()));
}

TEST(DecodeDateTime, PacksFatDateAndTime) {
  struct Case {
    const char* date;
    const char* time;
    std::uint32_t packed;
  } cases[] = {
      {"2020-01-15", "12:34:56", 0x502F645C},
      {"2020-1-5", "9:5:0", (40u << 25) | (1u << 21) | (5u << 16) | (9u << 11) | (5u << 5)},
      {"1980-13-32", "24:60:61", 0x01A0C79E},  // each part cut to its bits
      {"1979-1-1", "0:0:0", (127u << 25) | (1u << 21) | (1u << 16)},
      {"99-1-1", "0:0:0", (39u << 25) | (1u << 21) | (1u << 16)},
      {"2108-1-1", "0:0:0", (1u << 21) | (1u << 16)},
      {"1980-01-01", "00:00:01", 0x00210000},  // seconds in steps of two
      {"0002020-001-0015", "012:034:056", 0x502F645C},
  };
  for (const Case& c : cases) EXPECT_EQ(date_time(c.date, c.time), c.packed) << c.date << " " << c.time;
}

TEST(DecodeDateTime, MalformedFieldsGiveZero) {
  struct Case {
    const char* date;
    const char* time;
  } cases[] = {
      {"2020-01-15", "12:30"},      {"2020-01", "12:30:00"},    {"2020-01-15-1", "12:30:00"},
      {"2020-01-15", "12:30:00:1"}, {"", "12:30:00"},           {"2020-01-15", ""},
      {"-", "12:30:00"},            {"2020-01-", "12:30:00"},   {"2020--15", "12:30:00"},
      {"-01-15", "12:30:00"},       {"2020-01-15", "12::00"},   {"2020-01-15", "12:30:"},
      {"2020-0x-15", "12:30:00"},   {"2020-01-15", "12:30:0 "}, {"2020-01-15", ":30:00"},
      {"2O20-01-15", "12:30:00"},   {"2020:01:15", "12-30-00"},
  };
  for (const Case& c : cases) EXPECT_EQ(date_time(c.date, c.time), 0u) << c.date << " " << c.time;
}

}  // namespace
