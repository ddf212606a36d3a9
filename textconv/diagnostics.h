// Explanations and warnings of --verbose, on standard error in the form that
// editors and build logs read: "FILE:LINE:COLUMN: warning: text" (lines and
// columns from 1, columns in bytes), "FILE:LINE: error: text", or
// "PROGRAM: error: text" where no file is concerned.
#pragma once

#include <cstdint>
#include <cstdio>

// Warnings printed in one run; the rest are only counted.
constexpr std::uint32_t WARNING_LIMIT = 50;

struct Diagnostics {
  const char* program;    // "diskmason"
  bool verbose;           // print explanations and warnings
  bool strict;            // any warning fails the run
  std::uint32_t warnings; // warnings reported so far, printed or not
  std::FILE* stream;      // standard error
};

// Where a finding lies: file, line and column from 1; 0 leaves a part out.
struct SourcePlace {
  const char* file;
  std::uint32_t line;
  std::uint32_t column;
};

Diagnostics make_diagnostics(const char* program, bool verbose, bool strict);

// A warning about suspect input; counted always, printed under --verbose
// while fewer than WARNING_LIMIT have been printed.
void warn_at(Diagnostics& d, const SourcePlace& place, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The explanation of a failure; printed under --verbose.
void explain_at(Diagnostics& d, const SourcePlace& place, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Ends the run's diagnostics: one line with the count of warnings not shown.
void finish_diagnostics(Diagnostics& d);

// True when --strict turns the warnings of this run into a failure.
inline bool strict_failure(const Diagnostics& d) { return d.strict && d.warnings != 0; }
