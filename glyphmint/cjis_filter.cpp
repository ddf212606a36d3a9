#include "glyphmint/cjis_filter.h"

#include <cstring>

#include "textconv/byte_output.h"
#include "textconv/filter_shell.h"
#include "textconv/literal_scanner.h"
#include "textconv/source_checks.h"
#include "textconv/transcoder.h"

namespace {

const LiteralSyntax CJIS_SYNTAX = {"$CJIS(", "CJIS"};

// Room for the coded form of the longest literal: a kind byte and at most 2
// bytes per unit, one unit per text byte at most.
constexpr std::uint32_t CODED_SIZE = 1 + 2 * BLOCK_SIZE;
static_assert(BLOCK_SIZE <= CJIS_LITERAL_UNITS, "a literal's units must fit the counter and the coder");

bool is_hex_digit(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Walks a literal as its expansion reads it, handing the visitor in order:
// segment(start, end) for each run of plain text, escape(at, value) for each
// valid {XX} or {XXXX} at text[at], and dropped_brace(at) for each "{" that
// starts no escape (the byte after it is then plain text, unexamined).
template <typename Visitor>
inline void walk_cjis_literal(const std::uint8_t* text, std::uint32_t length, Visitor& visitor) {
  std::uint32_t s = 0;
  std::uint32_t i = 0;
  while (i < length) {
    const void* brace = std::memchr(text + i, '{', length - i);
    if (brace == nullptr) break;
    i = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(brace) - text);
    visitor.segment(s, i);
    const std::uint32_t digits = count_hex_digits(text + i + 1, length - i - 1, 4);
    const std::uint32_t close = i + 1 + digits;
    if ((digits == 2 || digits == 4) && close < length && text[close] == '}') {
      visitor.escape(i, parse_hex_digits(text + i + 1, digits));
      i = close + 1;
      s = i;
    } else {
      visitor.dropped_brace(i);
      s = i + 1;
      i = i + 2 < length ? i + 2 : length;
    }
  }
  visitor.segment(s, length);
}

// Expansion into 16-bit units: text through utf8_to_sjis16, escapes as raw units.
struct Expansion {
  const std::uint8_t* text;
  std::uint8_t* units;
  std::uint32_t out;
  const std::uint16_t* codes;
  const SjisTrieBlock* trie;

  void segment(std::uint32_t start, std::uint32_t end) {
    out += utf8_to_sjis16(text + start, end - start, units + out, codes, trie);
  }
  void escape(std::uint32_t, std::uint32_t value) {
    units[out++] = static_cast<std::uint8_t>(value >> 8);
    units[out++] = static_cast<std::uint8_t>(value);
  }
  void dropped_brace(std::uint32_t) {}
};

// The same units handed one by one to add(unit), without forming them.
template <typename Add>
struct UnitStream {
  const std::uint8_t* text;
  Add add;

  void segment(std::uint32_t start, std::uint32_t end) { for_each_sjis_unit(text + start, end - start, add); }
  void escape(std::uint32_t, std::uint32_t value) { add(value); }
  void dropped_brace(std::uint32_t) {}
};

template <typename Add>
void stream_cjis_literal(const std::uint8_t* text, std::uint32_t length, Add add) {
  UnitStream<Add> stream{text, add};
  walk_cjis_literal(text, length, stream);
}

// A control code that a literal with double-byte characters drops: below
// 32, except the line ends.
bool is_dropped_control(std::uint32_t unit) { return unit < 0x20 && unit != '\n' && unit != '\r'; }

// The warnings about one literal, in the order of their places: characters
// that the table cannot convert, a "{" that starts no escape and, in a mixed
// literal, each control code that its coding drops.
struct LiteralCheck {
  const InputReport* report;
  const std::uint8_t* text;
  std::uint32_t length;
  bool mixed;
  PositionCursor cursor;
  std::uint32_t segmentStart = 0;
  std::uint32_t segmentEnd = 0;
  std::uint32_t controlAt = 0;  // next conversion step of the segment to look at

  void warn_control(std::uint32_t at, std::uint32_t unit) {
    warn_at_position(*report, position_of(cursor, at),
                     "control code %02Xh is dropped from a literal with double-byte characters", unsigned{unit});
  }

  // Steps through the conversion of the segment up to limit, warning about
  // each control code it gives.
  void controls_before(std::uint32_t limit) {
    if (!mixed) return;
    while (controlAt < limit) {
      std::uint16_t unit = 0;
      const std::uint32_t step = sjis_match(text + controlAt, segmentEnd - controlAt, &unit);
      if (is_dropped_control(unit)) warn_control(controlAt, unit);
      controlAt += step != 0 ? step : 1;
    }
  }

  static void unconvertible(void* context, const TextFinding& found) {
    LiteralCheck& check = *static_cast<LiteralCheck*>(context);
    TextFinding inLiteral = found;
    inLiteral.offset += check.segmentStart;
    check.controls_before(inLiteral.offset);
    warn_text_finding(*check.report, check.cursor, inLiteral);
  }

  void segment(std::uint32_t start, std::uint32_t end) {
    segmentStart = start;
    segmentEnd = end;
    controlAt = start;
    check_sjis_text(text + start, end - start, unconvertible, this);
    controls_before(end);
  }
  void escape(std::uint32_t at, std::uint32_t value) {
    if (mixed && is_dropped_control(value)) warn_control(at, value);
  }
  void dropped_brace(std::uint32_t at) {
    if (at + 1 < length && text[at + 1] == '{') return;  // "{{" is how a "{" is written
    warn_at_position(*report, position_of(cursor, at), "'{' starts no escape ({XX} or {XXXX}) and is dropped");
  }
};

// Warns about one literal, mixed when its units hold a double-byte character.
void check_literal(const InputReport& report, TextPosition at, const std::uint8_t* text, std::uint32_t length,
                   bool mixed) {
  LiteralCheck check{&report, text, length, mixed, position_cursor(text, at)};
  walk_cjis_literal(text, length, check);
}

// The literal handlers of the two passes. The first pass that runs warns
// about the literals (checks set), the other does not repeat it.
// Each literal's units are counted or coded as they are converted; none are
// kept.
struct AnalysisPass {
  CjisUsage* usage;
  const InputReport* report;
  bool checks;
  SourceChecks source;
  const LiteralScanner* scanner;
  std::uint16_t singles[CJIS_LITERAL_UNITS];
};

struct WritingPass {
  CjisIndex index;  // of the table
  FilterOutput* output;
  const InputReport* report;
  bool checks;
  SourceChecks source;
  const LiteralScanner* scanner;
  std::uint16_t singles[CJIS_LITERAL_UNITS];
  std::uint8_t coded[CODED_SIZE];
};

// A unit that a literal's warnings are about: a control code other than a
// line end, or a single byte above 7Fh (a byte the conversion may have
// passed through). A literal without one, and without a "{", needs no
// closer look.
inline bool is_notable(std::uint32_t unit) {
  return (unit < 0x20 && unit != '\n' && unit != '\r') || unit - 0x80u < 0x80u;
}

// The checks of one literal in the pass that checks: a literal left open,
// a source in Shift-JIS, and (when anything in it is notable) each character.
void check_text(SourceChecks& source, const LiteralScanner& scanner, const std::uint8_t* text, std::uint32_t length,
                bool mixed, bool notable) {
  check_literal_closing(source, scanner, text, length);
  if (!notable && std::memchr(text, '{', length) == nullptr) return;
  if (literal_reads_as_shift_jis(source, scanner, text, length)) return;
  check_literal(*source.report, scanner.literalPosition, text, length, mixed);
}

void count_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  AnalysisPass& pass = *static_cast<AnalysisPass*>(context);
  CjisLiteralCount count = start_cjis_count(*pass.usage, pass.singles);
  if (!pass.checks) {
    stream_cjis_literal(text, length, [&count](std::uint32_t unit) { count_cjis_unit(count, unit); });
    return;
  }
  bool notable = false;
  stream_cjis_literal(text, length, [&count, &notable](std::uint32_t unit) {
    count_cjis_unit(count, unit);
    notable |= is_notable(unit);
  });
  check_text(pass.source, *pass.scanner, text, length, count.mixed, notable);
}

void write_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  WritingPass& pass = *static_cast<WritingPass*>(context);
  CjisLiteralCoder coder = start_cjis_coding(pass.index, pass.coded, pass.singles);
  bool notable = false;
  if (pass.checks) {
    stream_cjis_literal(text, length, [&coder, &notable](std::uint32_t unit) {
      code_cjis_unit(coder, unit);
      notable |= is_notable(unit);
    });
  } else {
    stream_cjis_literal(text, length, [&coder](std::uint32_t unit) { code_cjis_unit(coder, unit); });
  }
  output_byte_list(*pass.output, pass.coded, finish_cjis_coding(coder));
  if (pass.checks) check_text(pass.source, *pass.scanner, text, length, coder.mixed, notable);
}

// Both passes over one input: the table (unless the optional argument is
// "1"), a rewind, then the output.
bool run_passes(const FilterRun& run) {
  const bool wanted = run.extraCount == 0 || parse_decimal_arg(run.extra[0]) != 1;
  Reporter& reporter = *run.report.reporter;
  if (run.extraCount != 0 && wanted && run.extra[0][0] != '-') {
    warn_at(reporter, SourcePlace{nullptr, 0, 0}, "third argument '%s' is not 1: the table is built (only 1 skips it)",
            run.extra[0]);
  }
  CjisTable table;
  table.count = 0;
  if (wanted) {
    if (!build_cjis_table(run.input, table, run.report, run.checksText)) return false;
    // The writing pass reads the same stream again from its start.
    if (std::fseek(run.input, 0, SEEK_SET) != 0) {
      explain_at(reporter, SourcePlace{run.report.path, 0, 0},
                 "cannot be read a second time (a pipe?), which the table needs: give a file, or 1 as the third "
                 "argument for no table");
      return false;
    }
  }
  return write_cjis_output(run.input, run.output, table, wanted, run.report, !wanted && run.checksText);
}

const FilterCommand GLYPHMINT = {
    "GLYPHMINT", 1, run_passes,
    {"glyphmint", "INPUT OUTPUT [1]",
     "Code the $CJIS(\"...\") literals of an assembler source with a character table made for it\n"
     "(a third argument 1 writes no table).",
     nullptr, 0}};

}  // namespace

std::uint32_t parse_decimal_arg(const char* text) {
  if (text[0] == '\0') return 0xFFFFFFFF;
  std::uint32_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0xFFFFFFFF;
    value = value * 10 + static_cast<std::uint32_t>(*p - '0');
  }
  return value;
}

std::uint32_t count_hex_digits(const std::uint8_t* text, std::uint32_t length, std::uint32_t limit) {
  const std::uint32_t end = length < limit ? length : limit;
  std::uint32_t n = 0;
  while (n < end && is_hex_digit(text[n])) ++n;
  return n;
}

std::uint32_t parse_hex_digits(const std::uint8_t* text, std::uint32_t length) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint8_t c = text[i];
    const std::uint32_t digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    value = value << 4 | digit;
  }
  return value;
}

std::uint32_t expand_cjis_literal(const std::uint8_t* text, std::uint32_t length, std::uint8_t* units,
                                  const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie) {
  Expansion expansion{text, units, 0, sjis_code_table, sjis_trie};
  walk_cjis_literal(text, length, expansion);
  return expansion.out;
}

bool build_cjis_table(std::FILE* input, CjisTable& table, const InputReport& report, bool checks) {
  CjisUsage usage;
  if (!create_cjis_usage(usage)) {
    report_message(*report.reporter, "Could not allocate memory while making lookup table.\n");
    return false;
  }
  AnalysisPass pass;
  pass.usage = &usage;
  pass.report = &report;
  pass.checks = checks;
  pass.source = SourceChecks{&report, false, false};
  LiteralScanner scanner;
  pass.scanner = &scanner;
  literal_scanner_init(scanner, input, CJIS_SYNTAX, {drop_text, nullptr, count_literal, &pass}, report, checks);
  const bool ok = literal_scanner_run(scanner);
  if (checks && scanner.byteOrderMark) warn_byte_order_mark(report);
  if (!ok) return false;
  const std::uint32_t qualified = select_cjis_table(usage, CJIS_TABLE_LIMIT, table);
  summary_at(*report.reporter, SourcePlace{report.path, 0, 0},
             "a table of %u characters; %u more were used often enough but did not fit", table.count,
             qualified - table.count);
  return true;
}

bool write_cjis_output(std::FILE* input, std::FILE* output, const CjisTable& table, bool wanted,
                       const InputReport& report, bool checks) {
  FilterOutput out;
  start_output(out, output);
  write_cjis_table(table, wanted, out);
  WritingPass pass;
  index_cjis_table(table, pass.index);
  pass.output = &out;
  pass.report = &report;
  pass.checks = checks;
  pass.source = SourceChecks{&report, false, false};
  LiteralScanner scanner;
  pass.scanner = &scanner;
  literal_scanner_init(scanner, input, CJIS_SYNTAX, {copy_text, &out, write_literal, &pass}, report, checks);
  const OutputBeforeMessages hook(*report.reporter, out);
  const bool ok = literal_scanner_run(scanner);
  flush_output(out);
  if (checks && scanner.byteOrderMark) warn_byte_order_mark(report);
  if (!wanted) summary_at(*report.reporter, SourcePlace{report.path, 0, 0}, "no table (third argument 1)");
  return ok;
}

int run_glyphmint(int argc, char** argv) { return run_filter(GLYPHMINT, argc, argv); }
