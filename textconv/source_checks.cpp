#include "textconv/source_checks.h"

#include <algorithm>
#include <cstring>

#include "textconv/encoding_guess.h"
#include "textconv/literal_scanner.h"

namespace {

bool holds_marker(const std::uint8_t* text, std::uint32_t length, const char* marker, std::uint32_t markerLength) {
  const std::uint8_t* end = text + length;
  for (const std::uint8_t* p = text; end - p >= markerLength;) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, marker[0], static_cast<std::size_t>(end - p)));
    if (p == nullptr || static_cast<std::uint32_t>(end - p) < markerLength) return false;
    if (std::memcmp(p, marker, markerLength) == 0) return true;
    ++p;
  }
  return false;
}

}  // namespace

void check_literal_closing(SourceChecks& checks, const LiteralScanner& scanner, const std::uint8_t* text,
                           std::uint32_t length) {
  const bool lineEnd = checks.lineEndsOpen && std::memchr(text, '\n', length) != nullptr;
  const bool marker = holds_marker(text, length, scanner.syntax.marker, scanner.markerLength);
  if (!lineEnd && !marker) return;
  const auto lineEnds = static_cast<std::uint32_t>(std::count(text, text + length, '\n'));
  warn_at_position(*checks.report, scanner.markerPosition,
                   "this literal holds %s and ends on line %u: a closing '\")' is probably missing",
                   marker ? "another literal's marker" : "a line end", scanner.literalPosition.line + lineEnds);
}

bool literal_reads_as_shift_jis(SourceChecks& checks, const LiteralScanner& scanner, const std::uint8_t* text,
                                std::uint32_t length) {
  if (!reads_as_shift_jis(text, length)) return false;
  if (!checks.shiftJisSaid) {
    checks.shiftJisSaid = true;
    warn_at_position(*checks.report, scanner.literalPosition,
                     "the source is not UTF-8 but reads as Shift-JIS (code page 932), and its literals pass "
                     "through unconverted; convert it: iconv -f CP932 -t UTF-8 %s > utf8.asm",
                     checks.report->path);
  }
  return true;
}

void warn_byte_order_mark(const InputReport& report) {
  warn_at_position(report, TextPosition{1, 1}, "the source starts with a UTF-8 byte-order mark, which is left out of the output");
}
