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

// Decodes 0x1F, 1Fh or 31 (any number of digits, the value modulo 2^32)
// into *value; false for anything else.
bool parse_number(const std::uint8_t* text, std::uint32_t length, std::uint32_t* value);

// The value a number that does not decode stands for, cut to its field's width.
constexpr std::uint32_t BAD_NUMBER = 0xFFFFFFFF;
