// Everything a run tells its user passes through one Reporter, which decides
// what is shown and where: the program's one-line messages go to standard
// output, always; explanations of failures and warnings about suspect input
// go to standard error in the form editors and build logs read
// ("FILE:LINE:COLUMN: warning: text", lines and columns from 1, columns in
// bytes; "PROGRAM: error: text" where no file is concerned).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define TK_PRINTF(formatArg, firstArg) __attribute__((format(printf, formatArg, firstArg)))
#else
#define TK_PRINTF(formatArg, firstArg)
#endif

// Warnings shown in one run; the rest are only counted.
constexpr std::uint32_t WARNING_LIMIT = 50;

// Where a finding lies: file, line and column from 1; 0 leaves a part out,
// and no file names the program instead.
struct SourcePlace {
  const char* file;
  std::uint32_t line;
  std::uint32_t column;
};

// Called before a one-line message with its context, so that what the run
// has written to the same stream so far lands before the message.
using MessageHook = void (*)(void* context);

struct Reporter {
  const char* program;     // "diskmason"
  bool showFindings;       // explanations and warnings are printed
  bool strict;             // any warning fails the run
  std::uint32_t warnings;  // reported so far, shown or not
  std::FILE* messages;     // the one-line messages
  std::FILE* findings;     // explanations and warnings
  MessageHook beforeMessage;
  void* hookContext;
  bool showNotes;  // notes (what a run did and why) are printed
};

// A reporter for the program's options: findings shown under --verbose or
// --strict, on standard error.
Reporter make_reporter(const char* program, bool verbose, bool strict);

// One of the program's one-line messages (the format ends with its line
// end), flushed at once.
void report_message(Reporter& r, const char* format, ...) TK_PRINTF(2, 3);

// A one-line message about something: "LEAD SUBJECT: " and the formatted rest.
void report_message_about(Reporter& r, const char* lead, const char* subject, const char* format, std::va_list args);

// A one-line message made of a prefix, bytes exactly as they are (a zero
// byte included) and a suffix.
void report_message_bytes(Reporter& r, const char* prefix, const std::uint8_t* bytes, std::size_t length,
                          const char* suffix);

// A warning about suspect input: always counted, shown while fewer than
// WARNING_LIMIT have been.
void warn_at(Reporter& r, const SourcePlace& place, const char* format, ...) TK_PRINTF(3, 4);

// A note on what the run did or found, printed only when showNotes is set.
void note_at(Reporter& r, const SourcePlace& place, const char* format, ...) TK_PRINTF(3, 4);

// Why a run failed, where the one-line message (if any) does not say.
void explain_at(Reporter& r, const SourcePlace& place, const char* format, ...) TK_PRINTF(3, 4);

// Ends the run's findings: one line with the count of warnings not shown.
void finish_report(Reporter& r);

// True when findings are shown: work whose only use is a finding (tracking
// lines and columns, checking names) can be skipped otherwise.
inline bool shows_findings(const Reporter& r) { return r.showFindings; }

// True when --strict turns the warnings of this run into a failure.
inline bool strict_failure(const Reporter& r) { return r.strict && r.warnings != 0; }
