#include "bytequill/sjis_filter.h"

#include "textconv/byte_output.h"
#include "textconv/literal_scanner.h"
#include "textconv/transcoder.h"

namespace {

const char SJIS_MARKER[] = "$SJIS(";
const std::uint8_t SJIS_FAILURE[6] = {0, 0, 0, 0, 0, 0};

// The filter's output buffer and the conversion area of one literal.
struct SjisFilter {
  std::FILE* output;
  std::uint32_t fill;
  std::uint8_t buffer[BLOCK_SIZE];
  std::uint8_t converted[2 * BLOCK_SIZE];
};

void copy_text(void* context, const std::uint8_t* bytes, std::uint32_t length) {
  SjisFilter& f = *static_cast<SjisFilter*>(context);
  f.fill = write_through(bytes, length, f.buffer, f.fill, f.output);
}

void convert_literal(void* context, const std::uint8_t* text, std::uint32_t length) {
  SjisFilter& f = *static_cast<SjisFilter*>(context);
  std::uint32_t count = utf8_to_sjis(text, length, f.converted, sjis_table.codes, sjis_table.trie);
  f.fill = write_byte_list(f.converted, count, f.buffer, f.fill, f.output);
}

}  // namespace

bool filter_sjis_literals(std::FILE* input, std::FILE* output) {
  SjisFilter filter;
  filter.output = output;
  filter.fill = 0;
  LiteralScanner scanner;
  literal_scanner_init(scanner, input, SJIS_MARKER, SJIS_FAILURE, "SJIS", copy_text,
                       convert_literal, &filter);
  bool ok = literal_scanner_run(scanner);
  if (filter.fill > 0) std::fwrite(filter.buffer, 1, filter.fill, output);
  return ok;
}
