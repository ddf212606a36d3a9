// The filters' 2048-byte output buffer: pass-through copying, assembler byte
// lists ("82h, 0a0h, 41h") and the one-byte step of the marker matcher.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr std::uint32_t BLOCK_SIZE = 2048;

// Copies length bytes into the buffer, writing it to the stream each time it
// becomes full. Returns the new fill count.
std::uint32_t write_through(const std::uint8_t* src, std::uint32_t length, std::uint8_t* buffer,
                            std::uint32_t fill, std::FILE* stream);

// Appends the bytes as an assembler byte list; the text of one byte is never
// split across two writes. Returns the new fill count.
std::uint32_t write_byte_list(const std::uint8_t* bytes, std::uint32_t count, std::uint8_t* buffer,
                              std::uint32_t fill, std::FILE* stream);

// One Knuth-Morris-Pratt step over a zero-terminated marker; call only while
// state is below the marker length. Returns the new state.
std::uint32_t marker_step(const char* marker, const std::uint8_t* failure, std::uint32_t state,
                          std::uint8_t byte);
