// Fuzzes the $SJIS filter (scanner, transcoder, byte-list writer) over
// in-memory input, and the transcoder's output bounds on the same bytes. Half
// of the inputs run again with diagnostics on, which must change no output.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bytequill/sjis_filter.h"
#include "fuzz/fuzz_input.h"
#include "textconv/transcoder.h"

namespace {

void check_transcoder(const uint8_t* data, size_t size) {
  uint32_t length = static_cast<uint32_t>(size);
  std::vector<uint8_t> out(2 * size + 2);
  uint32_t n = utf8_to_sjis(data, length, out.data(), sjis_table.codes, sjis_table.trie);
  if (n > 2 * length) std::abort();
  uint32_t n16 = utf8_to_sjis16(data, length, out.data(), sjis_table.codes, sjis_table.trie);
  if (n16 % 2 != 0 || n16 > 2 * length) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check_transcoder(data, size);

  FILE* in = open_input(data, size);
  char* outText = nullptr;
  size_t outSize = 0;
  FILE* out = open_memstream(&outText, &outSize);
  if (!out) std::abort();
  QuietReport silent;
  start_quiet_report(silent);
  bool ok = filter_sjis_literals(in, out, silent.report, false);
  std::fclose(out);
  std::fclose(in);

  // Without a marker the output is the input, and the run succeeds.
  const bool literalFree = !contains(data, size, "$SJIS(");
  if (literalFree) {
    if (!ok || outSize != size || (size && std::memcmp(outText, data, size) != 0)) std::abort();
  }

  // With diagnostics on, the same output and result; no literal, no warning.
  if (with_diagnostics(data, size)) {
    QuietReport quiet;
    start_quiet_report(quiet);
    in = open_input(data, size);
    char* reportedText = nullptr;
    size_t reportedSize = 0;
    out = open_memstream(&reportedText, &reportedSize);
    if (!out) std::abort();
    bool reportedOk = filter_sjis_literals(in, out, quiet.report, true);
    std::fclose(out);
    std::fclose(in);
    if (reportedOk != ok || reportedSize != outSize || (outSize && std::memcmp(reportedText, outText, outSize) != 0))
      std::abort();
    if (literalFree && quiet.reporter.warnings != 0) std::abort();
    std::free(reportedText);
  }
  std::free(outText);
  return 0;
}
