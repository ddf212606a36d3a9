// Reading the packer's file list: lines into a fixed buffer, fields split by
// blanks and double quotes, numbers in decimal or hexadecimal.
#pragma once

#include <cstdint>
#include <cstdio>

// Longest line of a file list, in bytes, and the most fields read from the
// header line and from a file line.
constexpr std::uint32_t LIST_LINE_LIMIT = 512;
constexpr std::uint32_t HEADER_FIELD_LIMIT = 17;
constexpr std::uint32_t FILE_FIELD_LIMIT = 7;

struct FieldSpan {
  std::uint32_t offset;
  std::uint32_t length;
};

// Reads one line of at most *length bytes (the limit) into line, which must
// hold limit + 1 bytes. On return *length is the number of bytes stored.
// Returns true when the line was ended by a line feed.
bool read_list_line(std::FILE* stream, std::uint8_t* line, std::uint32_t* length);

// Splits a line into at most limit fields; returns the number found.
std::uint32_t split_fields(const std::uint8_t* line, std::uint32_t length, FieldSpan* fields,
                           std::uint32_t limit);

// Decodes 0x1F, 1Fh or 31 into *value; false, silently, for anything else.
bool parse_number(const std::uint8_t* text, std::uint32_t length, std::uint32_t* value);
// Decodes 0x1F, 1Fh or 31; prints "Bad number to decode %s\n" and returns
// 0xFFFFFFFF for anything else.
std::uint32_t decode_number(const std::uint8_t* text, std::uint32_t length);

bool is_hex_digits(const std::uint8_t* text, std::uint32_t length);
bool is_decimal_digits(const std::uint8_t* text, std::uint32_t length);
// Values modulo 2^32; the digits are not checked.
std::uint32_t hex_value(const std::uint8_t* text, std::uint32_t length);
std::uint32_t decimal_value(const std::uint8_t* text, std::uint32_t length);
