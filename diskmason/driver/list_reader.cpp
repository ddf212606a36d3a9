#include "diskmason/driver/list_reader.h"

namespace {

constexpr std::uint8_t LINE_FEED = 10;
constexpr std::uint8_t CARRIAGE_RETURN = 13;
constexpr std::uint8_t QUOTE = '"';

bool is_hex_digit(std::uint8_t b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f');
}

bool is_decimal_digit(std::uint8_t b) { return b >= '0' && b <= '9'; }

std::uint32_t hex_digit_value(std::uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  return 0;
}

bool is_hex_digits(const std::uint8_t* text, std::uint32_t length) {
  if (length == 0) return false;
  for (std::uint32_t i = 0; i < length; ++i)
    if (!is_hex_digit(text[i])) return false;
  return true;
}

bool is_decimal_digits(const std::uint8_t* text, std::uint32_t length) {
  if (length == 0) return false;
  for (std::uint32_t i = 0; i < length; ++i)
    if (!is_decimal_digit(text[i])) return false;
  return true;
}

std::uint32_t hex_value(const std::uint8_t* text, std::uint32_t length) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < length; ++i) value = value * 16 + hex_digit_value(text[i]);
  return value;
}

std::uint32_t decimal_value(const std::uint8_t* text, std::uint32_t length) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < length; ++i)
    value = value * 10 + (is_decimal_digit(text[i]) ? text[i] - '0' : 0u);
  return value;
}

}  // namespace

bool read_list_line(std::FILE* stream, std::uint8_t* line, std::uint32_t* length) {
  std::uint32_t limit = *length;
  std::uint32_t stored = 0;
  bool endedByLineFeed = false;
  while (stored < limit) {
    int c = std::getc(stream);
    if (c == EOF) break;
    if (c == LINE_FEED) {
      endedByLineFeed = true;
      break;
    }
    line[stored++] = static_cast<std::uint8_t>(c);
  }
  if (stored < limit) {
    if (stored > 0 && line[stored - 1] == CARRIAGE_RETURN) --stored;
    line[stored] = 0;
  }
  *length = stored;
  return endedByLineFeed;
}

std::uint32_t split_fields(const std::uint8_t* line, std::uint32_t length, FieldSpan* fields,
                           std::uint32_t limit) {
  std::uint32_t found = 0;
  std::uint32_t start = 0;
  bool quoted = false;
  for (std::uint32_t i = 0; i < length && found < limit; ++i) {
    std::uint8_t b = line[i];
    if (quoted) {
      if (b != QUOTE) continue;
      fields[found++] = FieldSpan{start, i - start};  // counted even when empty
      quoted = false;
      start = i + 1;
      continue;
    }
    if (b != ' ' && b != '\t' && b != QUOTE) continue;
    if (i > start) fields[found++] = FieldSpan{start, i - start};
    start = i + 1;
    if (b == QUOTE) quoted = true;
  }
  // An unclosed quoted field is dropped.
  if (found < limit && !quoted && length > start) fields[found++] = FieldSpan{start, length - start};
  return found;
}

bool parse_number(const std::uint8_t* text, std::uint32_t length, std::uint32_t* value) {
  if (length > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
      is_hex_digits(text + 2, length - 2)) {
    *value = hex_value(text + 2, length - 2);
    return true;
  }
  if (length > 1 && (text[length - 1] == 'h' || text[length - 1] == 'H') &&
      is_hex_digits(text, length - 1)) {
    *value = hex_value(text, length - 1);
    return true;
  }
  if (!is_decimal_digits(text, length)) return false;
  *value = decimal_value(text, length);
  return true;
}

