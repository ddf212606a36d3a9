#include "bytequill/sjis_filter.h"

#include "textconv/byte_output.h"
#include "textconv/filter_shell.h"
#include "textconv/literal_scanner.h"
#include "textconv/source_checks.h"
#include "textconv/transcoder.h"

namespace {

const LiteralSyntax SJIS_SYNTAX = {"$SJIS(", "SJIS"};

// Where the literals go, the conversion area of one literal, and where
// warnings about their text go.
struct SjisLiterals {
  FilterOutput* output;
  const InputReport* report;
  bool checks;
  SourceChecks source;
  const LiteralScanner* scanner;
  // For the summary of --verbose.
  std::uint64_t literals;
  std::uint64_t characters;
  std::uint64_t unconverted;
  std::uint8_t converted[2 * BLOCK_SIZE];
};

// Characters of UTF-8 text: the bytes that start one.
std::uint32_t utf8_characters(const std::uint8_t* text, std::uint32_t length) {
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; i < length; ++i) n += (text[i] & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

// Converts a literal; when its text is checked, the conversion notes whether
// any character may have stayed unconverted, and only then is it looked at
// character by character.
void convert_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  SjisLiterals& literals = *static_cast<SjisLiterals*>(context);
  if (!literals.checks) {
    const std::uint32_t count = utf8_to_sjis(text, length, literals.converted, sjis_table.codes, sjis_table.trie);
    output_byte_list(*literals.output, literals.converted, count);
    return;
  }
  bool maybeUnconverted = false;
  const std::uint32_t count = utf8_to_sjis_noting(text, length, literals.converted, &maybeUnconverted);
  output_byte_list(*literals.output, literals.converted, count);
  const LiteralScanner& scanner = *literals.scanner;
  check_literal_closing(literals.source, scanner, text, length);
  std::uint32_t unconverted = 0;
  if (maybeUnconverted && !literal_reads_as_shift_jis(literals.source, scanner, text, length)) {
    unconverted = warn_unconvertible_text(*literals.report, scanner.literalPosition, text, length);
  }
  if (!literals.report->reporter->showNotes) return;
  ++literals.literals;
  literals.characters += utf8_characters(text, length);
  literals.unconverted += unconverted;
}

bool filter_files(const FilterRun& run) {
  return filter_sjis_literals(run.input, run.output, run.report, run.checksText);
}

const FilterCommand BYTEQUILL = {
    "BYTEQUILL", 0, filter_files,
    {"bytequill", "INPUT OUTPUT", "Replace the $SJIS(\"...\") literals of an assembler source by Shift-JIS byte lists.",
     nullptr, 0}};

}  // namespace

bool filter_sjis_literals(std::FILE* input, std::FILE* output, const InputReport& report, bool checks) {
  FilterOutput out;
  start_output(out, output);
  SjisLiterals literals;
  literals.output = &out;
  literals.report = &report;
  literals.checks = checks;
  literals.source = SourceChecks{&report, true, false};
  literals.literals = 0;
  literals.characters = 0;
  literals.unconverted = 0;
  LiteralScanner scanner;
  literals.scanner = &scanner;
  literal_scanner_init(scanner, input, SJIS_SYNTAX, {copy_text, &out, convert_literal, &literals}, report, checks);
  const OutputBeforeMessages hook(*report.reporter, out);
  const bool ok = literal_scanner_run(scanner);
  flush_output(out);
  if (checks && scanner.byteOrderMark) warn_byte_order_mark(report);
  summary_at(*report.reporter, SourcePlace{report.path, 0, 0},
             "%llu literal%s, %llu characters converted, %llu left as UTF-8",
             static_cast<unsigned long long>(literals.literals), literals.literals == 1 ? "" : "s",
             static_cast<unsigned long long>(literals.characters - literals.unconverted),
             static_cast<unsigned long long>(literals.unconverted));
  return ok;
}

int run_bytequill(int argc, char** argv) { return run_filter(BYTEQUILL, argc, argv); }
