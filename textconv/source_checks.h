// Checks of a filter's source that look past single characters: a literal
// probably left open (its text runs over a line end, or holds another
// literal's marker), and a source saved in Shift-JIS instead of UTF-8.
#pragma once

#include <cstdint>

#include "textconv/input_report.h"

struct LiteralScanner;

struct SourceChecks {
  const InputReport* report;
  bool lineEndsOpen;  // a line end inside a literal means it was left open
  bool shiftJisSaid;  // the one warning about a Shift-JIS source was given
};

// Warns at the literal's marker when its text holds a line end (where that
// means it was left open) or the marker of another literal.
void check_literal_closing(SourceChecks& checks, const LiteralScanner& scanner, const std::uint8_t* text,
                           std::uint32_t length);

// True when the literal's text is not UTF-8 but reads as Shift-JIS: the
// source then gets one warning, with the command that converts it, in place
// of a warning for each character (the caller gives those only when false).
bool literal_reads_as_shift_jis(SourceChecks& checks, const LiteralScanner& scanner, const std::uint8_t* text,
                                std::uint32_t length);

// Warns that the source's byte-order mark was left out of the output.
void warn_byte_order_mark(const InputReport& report);
