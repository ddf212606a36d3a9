// Fuzzes both glyphmint passes (analysis and writing) over in-memory input,
// and the literal expansion and coding on the same bytes. Half of the inputs
// run the passes again with diagnostics on, which must change no output.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "glyphmint/cjis_filter.h"
#include "glyphmint/cjis_table.h"

namespace {

struct Output {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* stream = nullptr;
};

void open_output(Output& out) {
  out.stream = open_memstream(&out.text, &out.size);
  if (out.stream == nullptr) std::abort();
}

// Expansion writes at most 2 bytes per text byte, coding at most 1 + that;
// the exact-size heap buffers let the address checker see any overrun.
void check_literal_coding(const uint8_t* data, size_t size, const CjisTable& table) {
  uint32_t length = size > 2048 ? 2048 : static_cast<uint32_t>(size);
  std::vector<uint8_t> units(2 * size_t{length} + 1);
  uint32_t n = expand_cjis_literal(data, length, units.data(), sjis_table.codes, sjis_table.trie);
  if (n > 2 * length || n % 2 != 0) std::abort();
  std::vector<uint8_t> coded(1 + size_t{n});
  uint32_t c = encode_cjis_literal(units.data(), n, table, coded.data());
  if (c > 1 + n || c == 0) std::abort();
  // Coding through the table's index gives the same bytes.
  static CjisIndex index;
  index_cjis_table(table, index);
  std::vector<uint8_t> indexed(1 + size_t{n});
  if (encode_cjis_literal(units.data(), n, index, indexed.data()) != c || std::memcmp(indexed.data(), coded.data(), c) != 0)
    std::abort();
}

// Both passes again with diagnostics on (the analysis pass reporting, as the
// program does) and the writing pass alone reporting: results and the
// one-pass output must be those of the quiet runs.
void check_with_diagnostics(const uint8_t* data, size_t size, bool analysed, const Output& plain) {
  QuietReport quiet;
  start_quiet_report(quiet);
  CjisTable table;
  table.count = 0;
  std::FILE* in = open_input(data, size);
  if (build_cjis_table(in, table, quiet.report, true) != analysed) std::abort();
  std::fclose(in);

  in = open_input(data, size);
  Output out;
  open_output(out);
  CjisTable empty;
  empty.count = 0;
  bool written = write_cjis_output(in, out.stream, empty, false, quiet.report, true);
  std::fclose(out.stream);
  std::fclose(in);
  if (written != analysed || out.size != plain.size || (plain.size && std::memcmp(out.text, plain.text, plain.size) != 0))
    std::abort();
  if (!contains(data, size, "$CJIS(") && quiet.reporter.warnings != 0) std::abort();
  std::free(out.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool literalFree = !contains(data, size, "$CJIS(");
  QuietReport silent;
  start_quiet_report(silent);

  // Both passes, as the program runs them.
  CjisTable table;
  table.count = 0;
  std::FILE* in = open_input(data, size);
  bool analysed = build_cjis_table(in, table, silent.report, false);
  if (literalFree && (!analysed || table.count != 0)) std::abort();
  if (analysed && table.count > CJIS_TABLE_LIMIT) std::abort();
  if (analysed) {
    if (std::fseek(in, 0, SEEK_SET) != 0) std::abort();
    Output out;
    open_output(out);
    bool written = write_cjis_output(in, out.stream, table, true, silent.report, false);
    std::fclose(out.stream);
    // The writing pass fails only where the analysis pass would have.
    if (!written) std::abort();
    if (out.size < 6 || std::memcmp(out.text, "dw ", 3) != 0) std::abort();
    if (literalFree) {
      if (out.size != 6 + size || std::memcmp(out.text, "dw 2\n\n", 6) != 0 ||
          (size != 0 && std::memcmp(out.text + 6, data, size) != 0))
        std::abort();
    }
    std::free(out.text);
  }
  std::fclose(in);

  // The writing pass alone (third argument "1"): no table, same text.
  in = open_input(data, size);
  Output plain;
  open_output(plain);
  CjisTable empty;
  empty.count = 0;
  bool written = write_cjis_output(in, plain.stream, empty, false, silent.report, false);
  std::fclose(plain.stream);
  std::fclose(in);
  if (written != analysed) std::abort();
  if (plain.size < 6 || std::memcmp(plain.text, "dw 2\n\n", 6) != 0) std::abort();
  if (literalFree && (plain.size != 6 + size || (size != 0 && std::memcmp(plain.text + 6, data, size) != 0)))
    std::abort();

  check_literal_coding(data, size, analysed ? table : empty);
  if (with_diagnostics(data, size)) check_with_diagnostics(data, size, analysed, plain);
  std::free(plain.text);
  return 0;
}
