#include "textconv/diagnostics.h"

#include <cstdarg>

namespace {

void print_place(const Diagnostics& d, const SourcePlace& place) {
  if (place.file == nullptr) {
    std::fprintf(d.stream, "%s: ", d.program);
    return;
  }
  std::fprintf(d.stream, "%s:", place.file);
  if (place.line != 0) std::fprintf(d.stream, "%u:", unsigned{place.line});
  if (place.line != 0 && place.column != 0) std::fprintf(d.stream, "%u:", unsigned{place.column});
  std::fputc(' ', d.stream);
}

void print_line(const Diagnostics& d, const SourcePlace& place, const char* kind,
                const char* format, std::va_list args) {
  print_place(d, place);
  std::fprintf(d.stream, "%s: ", kind);
  std::vfprintf(d.stream, format, args);
  std::fputc('\n', d.stream);
}

}  // namespace

Diagnostics make_diagnostics(const char* program, bool verbose, bool strict) {
  return Diagnostics{program, verbose || strict, strict, 0, stderr};
}

void warn_at(Diagnostics& d, const SourcePlace& place, const char* format, ...) {
  ++d.warnings;
  if (!d.verbose || d.warnings > WARNING_LIMIT) return;
  std::va_list args;
  va_start(args, format);
  print_line(d, place, "warning", format, args);
  va_end(args);
}

void explain_at(Diagnostics& d, const SourcePlace& place, const char* format, ...) {
  if (!d.verbose) return;
  std::va_list args;
  va_start(args, format);
  print_line(d, place, "error", format, args);
  va_end(args);
}

void finish_diagnostics(Diagnostics& d) {
  if (!d.verbose || d.warnings <= WARNING_LIMIT) return;
  std::fprintf(d.stream, "%s: note: %u more warnings not shown\n", d.program,
               unsigned{d.warnings - WARNING_LIMIT});
}
