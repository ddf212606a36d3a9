// BYTEQUILL input-path output-path: replaces every $SJIS("...") literal of an
// assembler source by the Shift-JIS bytes of its text.
#include <cstdio>

#include "bytequill/sjis_filter.h"
#include "textconv/filter_io.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::puts("BYTEQUILL wrong number of parameters");
    std::fflush(stdout);
    return 1;
  }
  std::FILE* input = nullptr;
  std::FILE* output = nullptr;
  if (!open_filter_files("BYTEQUILL", argv[1], argv[2], &input, &output)) return 1;
  bool ok = filter_sjis_literals(input, output);
  if (!close_filter_files("BYTEQUILL", argv[2], input, output)) ok = false;
  return ok ? 0 : 1;
}
