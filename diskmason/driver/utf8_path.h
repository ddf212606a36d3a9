// Opening host files named by UTF-8 paths.
#pragma once

#include <cstdint>
#include <cstdio>

// Converts UTF-8 bytes to UTF-16 units (no terminator); returns the unit
// count, at most one unit per byte. Malformed input is dropped, never fatal.
std::uint32_t utf8_to_utf16(const std::uint8_t* bytes, std::uint32_t length, std::uint16_t* dst);

// Opens a regular file by its zero-terminated UTF-8 path, the mode cut to
// its first 127 bytes; nullptr when it cannot be opened or is not a regular
// file (a directory, a device, a FIFO), errno ENOMEM when memory ran out.
std::FILE* open_utf8_path(const char* path, const char* mode);
