// Findings about one input at their places: lines and columns of the input,
// reported through the run's Reporter.
#pragma once

#include <cstdint>

#include "textconv/reporter.h"
#include "textconv/sjis_check.h"

// Line and column of a byte of the input, both from 1; columns in bytes.
struct TextPosition {
  std::uint32_t line;
  std::uint32_t column;
};

// Where findings about one input go: the run's reporter and the input's
// path as the user gave it.
struct InputReport {
  Reporter* reporter;
  const char* path;
};

// Positions of the bytes of one text that begins at start, asked for in
// ascending order of their offsets.
struct PositionCursor {
  const std::uint8_t* text;
  std::uint32_t offset;    // the byte whose position is held
  TextPosition position;
};

PositionCursor position_cursor(const std::uint8_t* text, TextPosition start);

// The position of text[offset]; offset is not below the last one asked for.
TextPosition position_of(PositionCursor& cursor, std::uint32_t offset);

// A warning at a place of the input.
void warn_at_position(const InputReport& report, TextPosition at, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The explanation of a failure at a place of the input.
void explain_at_position(const InputReport& report, TextPosition at, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Warns about one finding of check_sjis_text in text, at its position.
void warn_text_finding(const InputReport& report, PositionCursor& cursor, const TextFinding& finding);

// Warns about every character of text that passes the Shift-JIS conversion
// unconverted (see check_sjis_text); text begins at start in the input.
// Returns the number of such characters and runs.
std::uint32_t warn_unconvertible_text(const InputReport& report, TextPosition start, const std::uint8_t* text,
                                      std::uint32_t length);
