#include "textconv/literal_scanner.h"

#include <cstring>

namespace {

constexpr std::uint32_t MARKER_LENGTH = 6;

void report_too_many(const LiteralScanner& scanner) {
  std::printf("%s has too many characters to decode\n", scanner.word);
  std::fflush(stdout);
}

void report_unclosed(const LiteralScanner& scanner) {
  std::printf("Unclosed %s block\n", scanner.word);
  std::fflush(stdout);
}

// Scans block[from, blockCount) while ok holds; returns the first position
// not yet handed on. Bytes before it went to on_text or into a literal.
std::uint32_t scan_block(LiteralScanner& s, std::uint32_t from, std::uint32_t start) {
  const std::uint8_t* block = s.block;
  const std::uint32_t count = s.blockCount;
  const std::uint8_t first = static_cast<std::uint8_t>(s.marker[0]);
  std::uint32_t pos = from;
  while (s.ok && pos < count) {
    if (!s.inLiteral) {
      if (s.matched == 0) {
        // Only the marker's first byte can start a match: skip to it.
        const void* hit = std::memchr(block + pos, first, count - pos);
        if (!hit) {
          pos = count;
          break;
        }
        pos = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(hit) - block);
      }
      std::uint8_t c = block[pos];
      if (s.matched < MARKER_LENGTH) {
        s.matched = marker_step(s.marker, s.failure, s.matched, c);
      } else if (c == '"') {
        std::uint32_t markerStart = pos - s.matched;
        if (markerStart > start) s.onText(s.context, block + start, markerStart - start);
        s.closeLength = s.matched - MARKER_LENGTH + 2;
        s.depth = s.closeLength;
        s.inLiteral = true;
        s.matched = 0;
        start = pos + 1;
      } else if (c == '(') {
        ++s.matched;
      } else {
        s.matched = 0;
      }
      ++pos;
      continue;
    }
    if (s.depth == s.closeLength) {
      // In the quoted text only a double quote matters.
      const void* hit = std::memchr(block + pos, '"', count - pos);
      if (!hit) {
        pos = count;
        break;
      }
      pos = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(hit) - block);
      --s.depth;
      ++pos;
      continue;
    }
    std::uint8_t c = block[pos];
    if (c == ')') {
      if (--s.depth == 0) {
        std::uint32_t length = pos + 1 - start;
        if (s.literalFill + length > BLOCK_SIZE) {
          report_too_many(s);
          s.ok = false;
        } else if (s.literalFill == 0) {
          // The whole literal lies in this block: hand it on in place.
          s.onLiteral(s.context, block + start, length - s.closeLength);
          start = pos + 1;
        } else {
          std::memcpy(s.literal + s.literalFill, block + start, length);
          s.onLiteral(s.context, s.literal, s.literalFill + length - s.closeLength);
          start = pos + 1;
        }
        s.literalFill = 0;
        s.inLiteral = false;
        s.matched = 0;
      }
    } else if (c == '"') {
      s.depth = s.closeLength - 1;
    } else {
      s.depth = s.closeLength;
    }
    ++pos;
  }
  return start;
}

}  // namespace

void literal_scanner_init(LiteralScanner& scanner, std::FILE* input, const char* marker,
                          const std::uint8_t* failure, const char* word, ScanHandler on_text,
                          ScanHandler on_literal, void* context) {
  scanner.input = input;
  scanner.marker = marker;
  scanner.failure = failure;
  scanner.word = word;
  scanner.onText = on_text;
  scanner.onLiteral = on_literal;
  scanner.context = context;
  scanner.blockCount = 0;
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
  bool full = true;
  while (full) {
    // The held-back marker bytes lie at the block's front; fill the rest.
    std::uint32_t held = s.matched;
    std::size_t got = std::fread(s.block + held, 1, BLOCK_SIZE - held, s.input);
    if (got == 0) break;
    s.blockCount = held + static_cast<std::uint32_t>(got);
    full = s.blockCount == BLOCK_SIZE;

    std::uint32_t start = scan_block(s, held, 0);

    std::uint32_t restEnd = s.blockCount - s.matched;
    if (restEnd > start) {
      std::uint32_t length = restEnd - start;
      if (!s.inLiteral) {
        s.onText(s.context, s.block + start, length);
      } else if (s.literalFill + length <= BLOCK_SIZE) {
        std::memcpy(s.literal + s.literalFill, s.block + start, length);
        s.literalFill += length;
      } else {
        report_too_many(s);
        s.ok = false;
      }
    }

    if (s.matched == BLOCK_SIZE) {
      // A marker with so many extra "(" that it fills the block leaves no
      // room to read on: refuse it, but keep every byte in the text.
      report_too_many(s);
      s.ok = false;
      s.onText(s.context, s.block, BLOCK_SIZE);
      s.matched = 0;
    } else if (s.matched > 0) {
      std::memmove(s.block, s.block + restEnd, s.matched);
    }
  }

  if (s.matched > 0) {
    s.onText(s.context, s.block, s.matched);
    s.matched = 0;
  }
  if (s.inLiteral) {
    report_unclosed(s);
    s.ok = false;
  }
  return s.ok;
}
