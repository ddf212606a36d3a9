#include "textconv/input_report.h"

#include <cstdarg>
#include <cstdio>

namespace {

// The text of one diagnostic line, without its place.
struct Message {
  char text[512];
};

Message format_message(const char* format, std::va_list args) {
  Message m;
  std::vsnprintf(m.text, sizeof m.text, format, args);
  return m;
}

SourcePlace place_of(const InputReport& report, TextPosition at) {
  return SourcePlace{report.path, at.line, at.column};
}

struct FindingWarner {
  const InputReport* report;
  PositionCursor cursor;
};

void warn_finding(void* context, const TextFinding& finding) {
  FindingWarner& warner = *static_cast<FindingWarner*>(context);
  warn_text_finding(*warner.report, warner.cursor, finding);
}

}  // namespace

PositionCursor position_cursor(const std::uint8_t* text, TextPosition start) {
  return PositionCursor{text, 0, start};
}

TextPosition position_of(PositionCursor& cursor, std::uint32_t offset) {
  for (; cursor.offset < offset; ++cursor.offset) {
    if (cursor.text[cursor.offset] == '\n') {
      ++cursor.position.line;
      cursor.position.column = 1;
    } else {
      ++cursor.position.column;
    }
  }
  return cursor.position;
}

void warn_at_position(const InputReport& report, TextPosition at, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const Message m = format_message(format, args);
  va_end(args);
  warn_at(*report.reporter, place_of(report, at), "%s", m.text);
}

void explain_at_position(const InputReport& report, TextPosition at, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const Message m = format_message(format, args);
  va_end(args);
  explain_at(*report.reporter, place_of(report, at), "%s", m.text);
}

void warn_text_finding(const InputReport& report, PositionCursor& cursor, const TextFinding& finding) {
  char description[200];
  describe_finding(finding, cursor.text, description, sizeof description);
  warn_at_position(report, position_of(cursor, finding.offset), "%s", description);
}

std::uint32_t warn_unconvertible_text(const InputReport& report, TextPosition start, const std::uint8_t* text,
                                      std::uint32_t length) {
  FindingWarner warner{&report, position_cursor(text, start)};
  return check_sjis_text(text, length, warn_finding, &warner);
}
