#include "textconv/reporter.h"

#include <cstdarg>

namespace {

void print_place(const Reporter& r, const SourcePlace& place) {
  if (place.file == nullptr) {
    std::fprintf(r.findings, "%s: ", r.program);
    return;
  }
  std::fprintf(r.findings, "%s:", place.file);
  if (place.line != 0) std::fprintf(r.findings, "%u:", unsigned{place.line});
  if (place.line != 0 && place.column != 0) std::fprintf(r.findings, "%u:", unsigned{place.column});
  std::fputc(' ', r.findings);
}

void print_finding(const Reporter& r, const SourcePlace& place, const char* kind, const char* format,
                   std::va_list args) {
  print_place(r, place);
  std::fprintf(r.findings, "%s: ", kind);
  std::vfprintf(r.findings, format, args);
  std::fputc('\n', r.findings);
}

}  // namespace

Reporter make_reporter(const char* program, bool verbose, bool strict) {
  return Reporter{program, verbose || strict, strict, 0, stdout, stderr, nullptr, nullptr, verbose || strict};
}

void report_message(Reporter& r, const char* format, ...) {
  if (r.beforeMessage != nullptr) r.beforeMessage(r.hookContext);
  std::va_list args;
  va_start(args, format);
  std::vfprintf(r.messages, format, args);
  va_end(args);
  std::fflush(r.messages);
}

void report_message_about(Reporter& r, const char* lead, const char* subject, const char* format, std::va_list args) {
  if (r.beforeMessage != nullptr) r.beforeMessage(r.hookContext);
  std::fprintf(r.messages, "%s %s: ", lead, subject);
  std::vfprintf(r.messages, format, args);
  std::fflush(r.messages);
}

void report_message_bytes(Reporter& r, const char* prefix, const std::uint8_t* bytes, std::size_t length,
                          const char* suffix) {
  if (r.beforeMessage != nullptr) r.beforeMessage(r.hookContext);
  std::fputs(prefix, r.messages);
  if (length != 0) std::fwrite(bytes, 1, length, r.messages);
  std::fputs(suffix, r.messages);
  std::fflush(r.messages);
}

void warn_at(Reporter& r, const SourcePlace& place, const char* format, ...) {
  ++r.warnings;
  if (!r.showFindings || r.warnings > WARNING_LIMIT) return;
  std::va_list args;
  va_start(args, format);
  print_finding(r, place, "warning", format, args);
  va_end(args);
}

void note_at(Reporter& r, const SourcePlace& place, const char* format, ...) {
  if (!r.showNotes) return;
  std::va_list args;
  va_start(args, format);
  print_finding(r, place, "note", format, args);
  va_end(args);
}

void explain_at(Reporter& r, const SourcePlace& place, const char* format, ...) {
  if (!r.showFindings) return;
  std::va_list args;
  va_start(args, format);
  print_finding(r, place, "error", format, args);
  va_end(args);
}

void finish_report(Reporter& r) {
  if (!r.showFindings || r.warnings <= WARNING_LIMIT) return;
  std::fprintf(r.findings, "%s: note: %u more warnings not shown\n", r.program,
               unsigned{r.warnings - WARNING_LIMIT});
}
