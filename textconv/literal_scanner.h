// Block-wise scanner for literals of the form MARKER "text" ) in a byte
// stream, such as $SJIS("...") and $CJIS("..."). Extra "(" after the marker
// lengthen the closing sequence by one ")" each.
#pragma once

#include <cstdint>
#include <cstdio>

#include "textconv/byte_output.h"
#include "textconv/input_report.h"

// What one filter looks for: its marker and the word its messages name.
struct LiteralSyntax {
  const char* marker;  // e.g. "$SJIS(", at most MAX_MARKER_LENGTH bytes
  const char* word;    // "SJIS" or "CJIS", first word of the messages
};

constexpr std::uint32_t MAX_MARKER_LENGTH = 16;

// Receives bytes outside literals, in input order.
using TextHandler = void (*)(void* context, const std::uint8_t* bytes, std::uint32_t length);
// Receives the text of one complete literal (at most BLOCK_SIZE - 2 bytes).
using LiteralHandler = void (*)(void* context, const std::uint8_t* text, std::uint32_t length);

// Where the scanner hands what it reads; each handler has its own context.
struct ScanHandlers {
  TextHandler onText;
  void* textContext;
  LiteralHandler onLiteral;
  void* literalContext;
};

// A text handler that drops the text.
void drop_text(void* context, const std::uint8_t* bytes, std::uint32_t length);

// The scanner reads its input in pieces of this size; its blocks are
// windows into what it has read.
constexpr std::uint32_t SCAN_INPUT_SIZE = 128 * 1024;

struct LiteralScanner {
  // Configuration, fixed for one run.
  std::FILE* input;
  LiteralSyntax syntax;
  std::uint32_t markerLength;
  std::uint8_t failure[MAX_MARKER_LENGTH];  // where a partial match goes on after a mismatch
  ScanHandlers handlers;
  // State.
  const std::uint8_t* block;  // BLOCK_SIZE bytes at most, in read
  std::uint32_t blockCount;
  std::uint32_t matched;  // marker bytes matched, then one more per extra "("
  bool inLiteral;
  std::uint32_t closeLength;  // the closing quote and its ")"
  std::uint32_t depth;        // closeLength in the quoted text, counting down after a quote
  std::uint8_t literal[BLOCK_SIZE];
  std::uint32_t literalFill;
  bool ok;
  // What was read: readCount bytes, of which those before the block are done.
  std::uint32_t readCount;
  bool inputEnded;  // a read came short: the input has no more
  bool byteOrderMark;  // the input began with a UTF-8 byte-order mark, which was skipped
  std::uint8_t read[BLOCK_SIZE + SCAN_INPUT_SIZE];  // room for a block's rest and a piece
  // Where its messages go, and places, tracked only while tracking: the
  // line ends counted so far and the literal being read.
  InputReport report;
  bool tracking;
  std::uint64_t blockBase;  // input offset of block[0]
  std::uint64_t counted;    // input offset up to which line ends are counted
  std::uint64_t lineStart;  // input offset of the first byte of the current line
  std::uint32_t line;
  TextPosition markerPosition;   // the "$" of the literal's marker
  TextPosition literalPosition;  // the first byte of its text
};

// Sets up a scanner over input (opened for binary reading). Its messages go
// to the report's reporter; when tracking, the scanner also tracks where its
// literals lie (literalPosition is the place of the text handed to
// on_literal) and explains its errors there.
void literal_scanner_init(LiteralScanner& scanner, std::FILE* input, const LiteralSyntax& syntax,
                          const ScanHandlers& handlers, const InputReport& report, bool tracking);

// Scans to the end of the input, a UTF-8 byte-order mark at its start left
// out (byteOrderMark tells). Returns true when no literal was too long and
// none was left open; each of those is reported as it is found.
bool literal_scanner_run(LiteralScanner& scanner);

// The Knuth-Morris-Pratt failure table of a zero-terminated marker: after a
// mismatch at position i, the match goes on at failure[i].
void marker_failures(const char* marker, std::uint32_t length, std::uint8_t* failure);

// One Knuth-Morris-Pratt step over a zero-terminated marker; call only while
// state is below the marker length. Returns the new state.
std::uint32_t marker_step(const char* marker, const std::uint8_t* failure, std::uint32_t state,
                          std::uint8_t byte);
