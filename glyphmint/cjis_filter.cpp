#include "glyphmint/cjis_filter.h"

#include "textconv/byte_output.h"
#include "textconv/filter_shell.h"
#include "textconv/literal_scanner.h"
#include "textconv/transcoder.h"

namespace {

const std::uint8_t CJIS_FAILURE[6] = {0, 0, 0, 0, 0, 0};
const LiteralSyntax CJIS_SYNTAX = {"$CJIS(", CJIS_FAILURE, "CJIS"};

// Room for the units of the longest literal (2 per text byte).
constexpr std::uint32_t UNITS_SIZE = 2 * BLOCK_SIZE;
// Room for its coded form: a kind byte and at most 2 bytes per unit.
constexpr std::uint32_t CODED_SIZE = 1 + UNITS_SIZE;

bool is_hex_digit(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

struct AnalysisPass {
  CjisUsage* usage;
  std::uint8_t units[UNITS_SIZE];
};

struct WritingPass {
  const CjisTable* table;
  FilterOutput* output;
  std::uint8_t units[UNITS_SIZE];
  std::uint8_t coded[CODED_SIZE];
};

void count_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  AnalysisPass& pass = *static_cast<AnalysisPass*>(context);
  const std::uint32_t unitBytes = expand_cjis_literal(text, length, pass.units, sjis_table.codes, sjis_table.trie);
  count_cjis_usage(*pass.usage, pass.units, unitBytes);
}

void write_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  WritingPass& pass = *static_cast<WritingPass*>(context);
  const std::uint32_t unitBytes = expand_cjis_literal(text, length, pass.units, sjis_table.codes, sjis_table.trie);
  const std::uint32_t codedLength = encode_cjis_literal(pass.units, unitBytes, *pass.table, pass.coded);
  output_byte_list(*pass.output, pass.coded, codedLength);
}

// Both passes over one input: the table (unless the optional argument is
// "1"), a rewind, then the output.
bool run_passes(const FilterRun& run) {
  const bool wanted = run.extraCount == 0 || parse_decimal_arg(run.extra[0]) != 1;
  CjisTable table;
  table.count = 0;
  if (wanted) {
    if (!build_cjis_table(run.input, table)) return false;
    // The writing pass reads the same stream again from its start.
    if (std::fseek(run.input, 0, SEEK_SET) != 0) return false;
  }
  return write_cjis_output(run.input, run.output, table, wanted);
}

const FilterCommand GLYPHMINT = {"GLYPHMINT", 1, run_passes};

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
  std::uint32_t out = 0;
  std::uint32_t s = 0;
  std::uint32_t i = 0;
  while (i < length) {
    if (text[i] != '{') {
      ++i;
      continue;
    }
    out += utf8_to_sjis16(text + s, i - s, units + out, sjis_code_table, sjis_trie);
    const std::uint32_t digits = count_hex_digits(text + i + 1, length - i - 1, 4);
    const std::uint32_t close = i + 1 + digits;
    if ((digits == 2 || digits == 4) && close < length && text[close] == '}') {
      const std::uint32_t value = parse_hex_digits(text + i + 1, digits);
      units[out++] = static_cast<std::uint8_t>(value >> 8);
      units[out++] = static_cast<std::uint8_t>(value);
      i = close + 1;
      s = i;
    } else {
      // Not an escape: the "{" goes and the byte after it is plain text.
      s = i + 1;
      i = i + 2 < length ? i + 2 : length;
    }
  }
  out += utf8_to_sjis16(text + s, length - s, units + out, sjis_code_table, sjis_trie);
  return out;
}

bool build_cjis_table(std::FILE* input, CjisTable& table) {
  CjisUsage usage;
  if (!create_cjis_usage(usage)) return false;
  AnalysisPass pass;
  pass.usage = &usage;
  LiteralScanner scanner;
  literal_scanner_init(scanner, input, CJIS_SYNTAX, {drop_text, nullptr, count_literal, &pass});
  const bool ok = literal_scanner_run(scanner);
  if (ok) select_cjis_table(usage, CJIS_TABLE_LIMIT, table);
  destroy_cjis_usage(usage);
  return ok;
}

bool write_cjis_output(std::FILE* input, std::FILE* output, const CjisTable& table, bool wanted) {
  FilterOutput out;
  start_output(out, output);
  write_cjis_table(table, wanted, out);
  WritingPass pass;
  pass.table = &table;
  pass.output = &out;
  LiteralScanner scanner;
  literal_scanner_init(scanner, input, CJIS_SYNTAX, {copy_text, &out, write_literal, &pass});
  const bool ok = literal_scanner_run(scanner);
  flush_output(out);
  return ok;
}

int run_glyphmint(int argc, char** argv) { return run_filter(GLYPHMINT, argc, argv); }
