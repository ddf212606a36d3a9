#include "bytequill/sjis_filter.h"

#include "textconv/byte_output.h"
#include "textconv/filter_shell.h"
#include "textconv/literal_scanner.h"
#include "textconv/transcoder.h"

namespace {

const LiteralSyntax SJIS_SYNTAX = {"$SJIS(", "SJIS"};

// Where the literals go, the conversion area of one literal, and where
// warnings about their text go.
struct SjisLiterals {
  FilterOutput* output;
  const InputReport* report;
  bool checks;
  const LiteralScanner* scanner;
  std::uint8_t converted[2 * BLOCK_SIZE];
};

void convert_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  SjisLiterals& literals = *static_cast<SjisLiterals*>(context);
  const std::uint32_t count = utf8_to_sjis(text, length, literals.converted, sjis_table.codes, sjis_table.trie);
  output_byte_list(*literals.output, literals.converted, count);
  if (literals.checks) warn_unconvertible_text(*literals.report, literals.scanner->literalPosition, text, length);
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
  LiteralScanner scanner;
  literals.scanner = &scanner;
  literal_scanner_init(scanner, input, SJIS_SYNTAX, {copy_text, &out, convert_literal, &literals}, report, checks);
  const OutputBeforeMessages hook(*report.reporter, out);
  const bool ok = literal_scanner_run(scanner);
  flush_output(out);
  return ok;
}

int run_bytequill(int argc, char** argv) { return run_filter(BYTEQUILL, argc, argv); }
