// The packed date and time of a directory entry: FAT time in the low 16
// bits, FAT date in the high 16, decoded from a file list's
// year-month-day and hour:minute:second.
#pragma once

#include <cstdint>

// Packs the date and time; 0 when either does not have that form. Parts
// out of range are cut to their bits (a year before 1980 wraps).
std::uint32_t decode_date_time(const std::uint8_t* date, std::uint32_t dateLength, const std::uint8_t* time,
                               std::uint32_t timeLength);

// True when the text is three runs of decimal digits joined by "-" (a date)
// or ":" (a time), the form decode_date_time needs.
bool has_date_form(const std::uint8_t* text, std::uint32_t length);
bool has_time_form(const std::uint8_t* text, std::uint32_t length);

// A part of a date or time and the values a directory entry can hold.
struct DateTimePart {
  const char* name;
  std::uint32_t lowest;
  std::uint32_t highest;
};

// What a date or, with isTime, a time field holds, found in one reading:
// whether it has the form decode_date_time needs; the first part outside
// its range (year, month, day or hour, minute, second) with its value, or
// nullptr; and for a date of the right form whose parts are in range, the
// days of its month when its day is past them (2024-02-30 gives 29), else 0.
struct DateTimeReading {
  bool form;
  const DateTimePart* outOfRange;
  std::uint32_t value;
  std::uint32_t monthDays;
};

DateTimeReading read_date_time(const std::uint8_t* text, std::uint32_t length, bool isTime);
