// The attribute byte of a directory entry and the letters a file list
// writes it with: R H S V D A I ? for bits 0x01 to 0x80, "-" for none.
#pragma once

#include <cstdint>

constexpr std::uint8_t READ_ONLY_ATTRIBUTE = 0x01;
constexpr std::uint8_t HIDDEN_ATTRIBUTE = 0x02;
constexpr std::uint8_t SYSTEM_ATTRIBUTE = 0x04;  // such entries come first in their folder
constexpr std::uint8_t VOLUME_ATTRIBUTE = 0x08;
constexpr std::uint8_t DIRECTORY_ATTRIBUTE = 0x10;
constexpr std::uint8_t ARCHIVE_ATTRIBUTE = 0x20;

// The letter of bit i is ATTRIBUTE_LETTERS[i].
constexpr char ATTRIBUTE_LETTERS[] = "RHSVDAI?";

// Sets the bit of every attribute letter (upper case only); other bytes add nothing.
std::uint8_t decode_attributes(const std::uint8_t* text, std::uint32_t length);

// Position of the first byte that is neither an attribute letter nor "-";
// length when there is none.
std::uint32_t first_unknown_attribute(const std::uint8_t* text, std::uint32_t length);

// The letters of the set bits in bit order, "-" for none, zero-terminated.
void attribute_letters(std::uint8_t attributes, char (&out)[sizeof ATTRIBUTE_LETTERS]);
