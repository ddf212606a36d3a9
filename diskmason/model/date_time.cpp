#include "diskmason/model/date_time.h"

namespace {

bool is_digit(std::uint8_t b) { return b >= '0' && b <= '9'; }

// Position of the first `separator` at or after `from`, or `length`.
std::uint32_t find_separator(const std::uint8_t* text, std::uint32_t length, std::uint32_t from,
                             std::uint8_t separator) {
  for (std::uint32_t i = from; i < length; ++i)
    if (text[i] == separator) return i;
  return length;
}

// The decimal value of a non-empty run of digits (modulo 2^32); false for
// anything else.
bool decimal_part(const std::uint8_t* text, std::uint32_t length, std::uint32_t* value) {
  if (length == 0) return false;
  std::uint32_t v = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (!is_digit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

// Splits "a<sep>b<sep>c" into three decimal values; false unless all three
// parts are non-empty runs of decimal digits.
bool three_parts(const std::uint8_t* text, std::uint32_t length, std::uint8_t separator, std::uint32_t* values) {
  std::uint32_t first = find_separator(text, length, 0, separator);
  std::uint32_t second = first < length ? find_separator(text, length, first + 1, separator) : length;
  if (second >= length || second + 1 >= length) return false;
  const std::uint32_t begin[3] = {0, first + 1, second + 1};
  const std::uint32_t end[3] = {first, second, length};
  for (int i = 0; i < 3; ++i) {
    if (!decimal_part(text + begin[i], end[i] - begin[i], &values[i])) return false;
  }
  return true;
}

}  // namespace

std::uint32_t decode_date_time(const std::uint8_t* date, std::uint32_t dateLength, const std::uint8_t* time,
                               std::uint32_t timeLength) {
  std::uint32_t ymd[3];
  std::uint32_t hms[3];
  if (!three_parts(date, dateLength, '-', ymd) || !three_parts(time, timeLength, ':', hms)) return 0;
  return ((ymd[0] - 1980) << 25) | ((ymd[1] << 21) & 0x01E00000) | ((ymd[2] << 16) & 0x001F0000) |
         ((hms[0] << 11) & 0xF800) | ((hms[1] << 5) & 0x07E0) | ((hms[2] / 2) & 0x1F);
}

bool has_date_form(const std::uint8_t* text, std::uint32_t length) {
  std::uint32_t parts[3];
  return three_parts(text, length, '-', parts);
}

bool has_time_form(const std::uint8_t* text, std::uint32_t length) {
  std::uint32_t parts[3];
  return three_parts(text, length, ':', parts);
}

namespace {

// The first of three parsed parts outside its range, or nullptr.
const DateTimePart* first_out_of_range(const std::uint32_t* values, bool isTime, std::uint32_t* value) {
  static constexpr DateTimePart PARTS[2][3] = {{{"year", 1980, 2107}, {"month", 1, 12}, {"day", 1, 31}},
                                               {{"hour", 0, 23}, {"minute", 0, 59}, {"second", 0, 59}}};
  for (int i = 0; i < 3; ++i) {
    const DateTimePart& part = PARTS[isTime ? 1 : 0][i];
    if (values[i] < part.lowest || values[i] > part.highest) {
      *value = values[i];
      return &part;
    }
  }
  return nullptr;
}

}  // namespace

DateTimeReading read_date_time(const std::uint8_t* text, std::uint32_t length, bool isTime) {
  static constexpr std::uint32_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  DateTimeReading reading{false, nullptr, 0, 0};
  std::uint32_t parts[3];
  reading.form = three_parts(text, length, isTime ? ':' : '-', parts);
  if (!reading.form) return reading;
  reading.outOfRange = first_out_of_range(parts, isTime, &reading.value);
  if (isTime || reading.outOfRange != nullptr) return reading;
  const std::uint32_t year = parts[0];
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const std::uint32_t days = DAYS[parts[1] - 1] + (parts[1] == 2 && leap ? 1 : 0);
  if (parts[2] > days) reading.monthDays = days;
  return reading;
}
