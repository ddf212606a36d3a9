// Telling text written in Shift-JIS (code page 932) from UTF-8, for input
// saved in the wrong encoding: such text passes through the conversion
// byte by byte and comes out as garbage.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or values past U+10FFFF).
bool is_utf8(const std::uint8_t* text, std::size_t length);

// True when the bytes are not UTF-8 but read as Shift-JIS: single bytes
// 00h-7Fh and A1h-DFh, and lead bytes 81h-9Fh or E0h-FCh each followed by
// a trail byte 40h-7Eh or 80h-FCh, at least one byte above 7Fh.
bool reads_as_shift_jis(const std::uint8_t* text, std::size_t length);
