#include "textconv/literal_scanner.h"

#include <cstring>

namespace {

// Where the scan of one block stands: the next byte to examine and the first
// byte not yet handed on (to on_text or into the literal buffer).
struct Cursor {
  std::uint32_t pos;
  std::uint32_t start;
};

// The line ends among n bytes, 16 at a time: each lane of `lanes` counts
// the ends at its position, for at most 255 rounds before it is summed.
std::uint32_t count_line_ends(const std::uint8_t* p, std::size_t n) {
  using Lanes = std::uint8_t __attribute__((vector_size(16)));
  std::uint32_t ends = 0;
  while (n >= 16) {
    Lanes lanes = {};
    std::size_t rounds = n / 16 < 255 ? n / 16 : 255;
    for (std::size_t r = 0; r < rounds; ++r, p += 16) {
      Lanes bytes;
      std::memcpy(&bytes, p, 16);
      lanes -= reinterpret_cast<Lanes>(bytes == '\n');  // a match is all ones: -1
    }
    for (int i = 0; i < 16; ++i) ends += lanes[i];
    n -= rounds * 16;
  }
  for (std::size_t i = 0; i < n; ++i) ends += p[i] == '\n';
  return ends;
}

// Counts the line ends in the block up to position end. A short stretch
// (up to the next literal) is searched line by line; a long one is counted
// 16 bytes at a time and its last line end found from the end.
void count_lines(LiteralScanner& s, std::uint32_t end) {
  constexpr std::ptrdiff_t SHORT_STRETCH = 256;
  const std::uint64_t from = s.counted - s.blockBase;
  if (end <= from) return;
  const std::uint8_t* p = s.block + from;
  const std::uint8_t* stop = s.block + end;
  s.counted = s.blockBase + end;
  if (stop - p < SHORT_STRETCH) {
    while ((p = static_cast<const std::uint8_t*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p))))) {
      ++p;
      ++s.line;
      s.lineStart = s.blockBase + static_cast<std::uint64_t>(p - s.block);
    }
    return;
  }
  const std::uint32_t ends = count_line_ends(p, static_cast<std::size_t>(stop - p));
  if (ends != 0) {
    s.line += ends;
    const std::uint8_t* last = stop;
    while (last[-1] != '\n') --last;
    s.lineStart = s.blockBase + static_cast<std::uint64_t>(last - s.block);
  }
}

// The place of block[pos]. Bytes between pos and what is already counted
// are held-back marker bytes, which hold no line end.
TextPosition position_in_block(LiteralScanner& s, std::uint32_t pos) {
  count_lines(s, pos);
  return TextPosition{s.line, static_cast<std::uint32_t>(s.blockBase + pos - s.lineStart + 1)};
}

void report_too_many(LiteralScanner& s, const char* why) {
  report_message(*s.report.reporter, "%s has too many characters to decode\n", s.syntax.word);
  s.ok = false;
  if (s.tracking) explain_at_position(s.report, s.markerPosition, "%s", why);
}

void report_literal_too_long(LiteralScanner& s) {
  char why[80] = "";
  std::snprintf(why, sizeof why, "literal too long: its text may hold %u bytes",
                unsigned{BLOCK_SIZE - s.closeLength});
  report_too_many(s, why);
}

void report_unclosed(LiteralScanner& s) {
  report_message(*s.report.reporter, "Unclosed %s block\n", s.syntax.word);
  s.ok = false;
  if (s.tracking) explain_at_position(s.report, s.markerPosition, "literal not closed before the end of the input");
}

void hand_text(const LiteralScanner& s, const std::uint8_t* bytes, std::uint32_t length) {
  s.handlers.onText(s.handlers.textContext, bytes, length);
}

// Position of the first byte c in block[pos, count), or count.
std::uint32_t find_byte(const std::uint8_t* block, std::uint32_t pos, std::uint32_t count,
                        std::uint8_t c) {
  const void* hit = std::memchr(block + pos, c, count - pos);
  return hit ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(hit) - block) : count;
}

// The quote after a complete marker: the text before the marker goes on,
// the marker, its extra "(" and the quote are dropped.
void open_literal(LiteralScanner& s, Cursor& at) {
  const std::uint32_t markerStart = at.pos - s.matched;
  if (markerStart > at.start) hand_text(s, s.block + at.start, markerStart - at.start);
  if (s.tracking) {
    s.markerPosition = position_in_block(s, markerStart);
    s.literalPosition = TextPosition{s.markerPosition.line, s.markerPosition.column + s.matched + 1};
  }
  s.closeLength = s.matched - s.markerLength + 2;
  s.depth = s.closeLength;
  s.inLiteral = true;
  s.matched = 0;
  at.start = at.pos + 1;
}

// Outside a literal: follows the marker, and opens a literal at the quote
// after it. A complete marker followed by anything else is plain text.
void step_outside(LiteralScanner& s, Cursor& at) {
  if (s.matched == 0) {
    // Only the marker's first byte can start a match: skip to it.
    at.pos = find_byte(s.block, at.pos, s.blockCount, static_cast<std::uint8_t>(s.syntax.marker[0]));
    if (at.pos == s.blockCount) return;
  }
  const std::uint8_t c = s.block[at.pos];
  if (s.matched < s.markerLength) {
    s.matched = marker_step(s.syntax.marker, s.failure, s.matched, c);
  } else if (c == '"') {
    open_literal(s, at);
  } else if (c == '(') {
    ++s.matched;
  } else {
    s.matched = 0;
  }
  ++at.pos;
}

// In the quoted text only a double quote matters.
void step_quoted(LiteralScanner& s, Cursor& at) {
  at.pos = find_byte(s.block, at.pos, s.blockCount, '"');
  if (at.pos == s.blockCount) return;
  --s.depth;
  ++at.pos;
}

// The literal's last ")" is at at.pos: its text, without the closing
// sequence, goes to on_literal unless the literal is too long.
void close_literal(LiteralScanner& s, Cursor& at) {
  const std::uint32_t length = at.pos + 1 - at.start;
  const std::uint8_t* bytes = s.block + at.start;
  if (s.literalFill + length > BLOCK_SIZE) {
    report_literal_too_long(s);
  } else if (s.literalFill == 0) {
    // The whole literal lies in this block: hand it on in place.
    s.handlers.onLiteral(s.handlers.literalContext, bytes, length - s.closeLength);
    at.start = at.pos + 1;
  } else {
    std::memcpy(s.literal + s.literalFill, bytes, length);
    s.handlers.onLiteral(s.handlers.literalContext, s.literal, s.literalFill + length - s.closeLength);
    at.start = at.pos + 1;
  }
  s.literalFill = 0;
  s.inLiteral = false;
  s.matched = 0;
}

// After a quote in a literal: ")" counts down to the literal's end, another
// quote may begin the closing sequence, any other byte is text again.
void step_closing(LiteralScanner& s, Cursor& at) {
  const std::uint8_t c = s.block[at.pos];
  if (c == ')') {
    if (--s.depth == 0) close_literal(s, at);
  } else if (c == '"') {
    s.depth = s.closeLength - 1;
  } else {
    s.depth = s.closeLength;
  }
  ++at.pos;
}

// Scans the block from the first byte after the held-back marker bytes
// while no error has occurred; returns the first byte not yet handed on.
std::uint32_t scan_block(LiteralScanner& s, std::uint32_t held) {
  Cursor at{held, 0};
  while (s.ok && at.pos < s.blockCount) {
    if (!s.inLiteral) {
      step_outside(s, at);
    } else if (s.depth == s.closeLength) {
      step_quoted(s, at);
    } else {
      step_closing(s, at);
    }
  }
  return at.start;
}

// Reads the next block behind the held-back marker bytes at its front;
// false at the end of the input. The block is filled as one read of
// BLOCK_SIZE - matched bytes would fill it.
bool read_block(LiteralScanner& s) {
  std::uint32_t start = static_cast<std::uint32_t>(s.block - s.read);
  if (s.readCount - start < BLOCK_SIZE && !s.inputEnded) {
    // Too little is left behind the block: move it to the front and read on.
    const std::uint32_t kept = s.readCount - start;
    std::memmove(s.read, s.block, kept);
    const std::size_t got = std::fread(s.read + kept, 1, SCAN_INPUT_SIZE, s.input);
    s.inputEnded = got < SCAN_INPUT_SIZE;
    s.readCount = kept + static_cast<std::uint32_t>(got);
    s.block = s.read;
    start = 0;
  }
  const std::uint32_t available = s.readCount - start - s.matched;
  if (available == 0) return false;
  const std::uint32_t room = BLOCK_SIZE - s.matched;
  s.blockCount = s.matched + (available < room ? available : room);
  return true;
}

// Hands on the block from start up to the held-back marker bytes: outside a
// literal to on_text, inside one into the literal buffer while it fits.
void hand_on_rest(LiteralScanner& s, std::uint32_t start) {
  const std::uint32_t end = s.blockCount - s.matched;
  if (end <= start) return;
  const std::uint32_t length = end - start;
  if (!s.inLiteral) {
    hand_text(s, s.block + start, length);
  } else if (s.literalFill + length <= BLOCK_SIZE) {
    std::memcpy(s.literal + s.literalFill, s.block + start, length);
    s.literalFill += length;
  } else {
    report_literal_too_long(s);
  }
}

// Makes the held-back marker bytes the front of the next block.
void keep_held_back(LiteralScanner& s) {
  if (s.matched == BLOCK_SIZE) {
    // A marker with so many extra "(" that it fills the block leaves no
    // room to read on: refuse it, but keep every byte in the text.
    if (s.tracking) s.markerPosition = position_in_block(s, 0);
    report_too_many(s, "too many '(' after the marker");
    hand_text(s, s.block, BLOCK_SIZE);
    s.matched = 0;
  }
  const std::uint32_t done = s.blockCount - s.matched;
  s.block += done;
  s.blockBase += done;
  s.blockCount = s.matched;
}

// Reads the first piece and skips a UTF-8 byte-order mark at its start: it
// belongs to no text (a mark on Shift-JIS bytes would be read as part of
// the first label).
void skip_byte_order_mark(LiteralScanner& s) {
  const std::size_t got = std::fread(s.read, 1, SCAN_INPUT_SIZE, s.input);
  s.inputEnded = got < SCAN_INPUT_SIZE;
  s.readCount = static_cast<std::uint32_t>(got);
  s.byteOrderMark = got >= 3 && s.read[0] == 0xEF && s.read[1] == 0xBB && s.read[2] == 0xBF;
  if (!s.byteOrderMark) return;
  s.block = s.read + 3;
  s.blockBase = 3;
  s.counted = 3;
  s.lineStart = 3;
}

}  // namespace

void drop_text(void*, const std::uint8_t*, std::uint32_t) {}

void literal_scanner_init(LiteralScanner& scanner, std::FILE* input, const LiteralSyntax& syntax,
                          const ScanHandlers& handlers, const InputReport& report, bool tracking) {
  scanner.input = input;
  scanner.report = report;
  scanner.tracking = tracking;
  scanner.syntax = syntax;
  scanner.markerLength = static_cast<std::uint32_t>(std::strlen(syntax.marker));
  marker_failures(syntax.marker, scanner.markerLength, scanner.failure);
  scanner.handlers = handlers;
  scanner.blockCount = 0;
  scanner.block = scanner.read;
  scanner.readCount = 0;
  scanner.inputEnded = false;
  scanner.matched = 0;
  scanner.inLiteral = false;
  scanner.closeLength = 2;
  scanner.depth = 2;
  scanner.literalFill = 0;
  scanner.ok = true;
}

bool literal_scanner_run(LiteralScanner& s) {
  s.matched = 0;
  s.inLiteral = false;
  s.literalFill = 0;
  s.ok = true;
  s.blockCount = 0;
  s.block = s.read;
  s.readCount = 0;
  s.inputEnded = false;
  s.blockBase = 0;
  s.counted = 0;
  s.lineStart = 0;
  s.line = 1;
  s.markerPosition = TextPosition{1, 1};
  s.literalPosition = TextPosition{1, 1};
  skip_byte_order_mark(s);
  // A block that is not full was the input's last.
  bool more = true;
  while (more && read_block(s)) {
    more = s.blockCount == BLOCK_SIZE;
    hand_on_rest(s, scan_block(s, s.matched));
    if (s.tracking) count_lines(s, s.blockCount);
    keep_held_back(s);
  }
  // A partial or complete marker at the end of the input stays text.
  if (s.matched > 0) {
    hand_text(s, s.block, s.matched);
    s.matched = 0;
  }
  if (s.inLiteral) report_unclosed(s);
  return s.ok;
}

void marker_failures(const char* marker, std::uint32_t length, std::uint8_t* failure) {
  if (length == 0) return;
  failure[0] = 0;
  std::uint32_t k = 0;
  for (std::uint32_t i = 1; i < length; ++i) {
    failure[i] = static_cast<std::uint8_t>(k);  // the longest border of marker[0, i)
    while (k > 0 && marker[i] != marker[k]) k = failure[k];
    if (marker[i] == marker[k]) ++k;
  }
}

std::uint32_t marker_step(const char* marker, const std::uint8_t* failure, std::uint32_t state,
                          std::uint8_t byte) {
  for (;;) {
    if (static_cast<std::uint8_t>(marker[state]) == byte) return state + 1;
    if (state == 0) return 0;
    state = failure[state];
  }
}
