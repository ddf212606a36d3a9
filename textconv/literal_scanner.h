// Block-wise scanner for literals of the form MARKER "text" ) in a byte
// stream, such as $SJIS("...") and $CJIS("..."). Extra "(" after the marker
// lengthen the closing sequence by one ")" each.
#pragma once

#include <cstdint>
#include <cstdio>

#include "textconv/byte_output.h"

// Receives bytes outside literals (on_text) or one literal's text (on_literal).
using ScanHandler = void (*)(void* context, const std::uint8_t* bytes, std::uint32_t length);

struct LiteralScanner {
  // Configuration, fixed for one run.
  std::FILE* input;
  const char* marker;           // six bytes, e.g. "$SJIS("
  const std::uint8_t* failure;  // marker failure table
  const char* word;             // "SJIS" or "CJIS", first word of the messages
  ScanHandler onText;
  ScanHandler onLiteral;
  void* context;
  // State.
  std::uint8_t block[BLOCK_SIZE];
  std::uint32_t blockCount;
  std::uint32_t matched;
  bool inLiteral;
  std::uint32_t closeLength;
  std::uint32_t depth;
  std::uint8_t literal[BLOCK_SIZE];
  std::uint32_t literalFill;
  bool ok;
};

// Sets up a scanner over input (opened for binary reading).
void literal_scanner_init(LiteralScanner& scanner, std::FILE* input, const char* marker,
                          const std::uint8_t* failure, const char* word, ScanHandler on_text,
                          ScanHandler on_literal, void* context);

// Scans to the end of the input. Returns true when no literal was too long
// and none was left open; the messages go to standard output.
bool literal_scanner_run(LiteralScanner& scanner);
