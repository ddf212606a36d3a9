// The custom character literal filter: an analysis pass that chooses the
// CJIS table from the $CJIS("...") literals of a source, and a writing pass
// that writes the table and the source with every literal coded in CJIS.
#pragma once

#include <cstdint>
#include <cstdio>

#include "glyphmint/cjis_table.h"
#include "textconv/input_report.h"
#include "textconv/sjis_table.h"

// Value of a non-empty all-digit text (modulo 2^32), else 0xFFFFFFFF.
std::uint32_t parse_decimal_arg(const char* text);

// Number of leading hexadecimal digits among the first min(length, limit) bytes.
std::uint32_t count_hex_digits(const std::uint8_t* text, std::uint32_t length, std::uint32_t limit);

// Value of length hexadecimal digits (not checked).
std::uint32_t parse_hex_digits(const std::uint8_t* text, std::uint32_t length);

// Expands a literal text into 16-bit units: UTF-8 through utf8_to_sjis16, and
// the brace escapes {XX} and {XXXX} as raw units; a "{" that starts no escape
// is dropped and the byte after it is taken as text. Returns the byte length
// written to units (at most 2 per text byte).
std::uint32_t expand_cjis_literal(const std::uint8_t* text, std::uint32_t length, std::uint8_t* units,
                                  const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie);

// The analysis pass: reads the whole input and fills the table. Returns false,
// reported, when the counters cannot be allocated or a literal is too long or
// unclosed. With checks, also warns about the literals and explains literal
// errors at their places.
bool build_cjis_table(std::FILE* input, CjisTable& table, const InputReport& report, bool checks);

// The writing pass: the table header, then the input with every literal
// coded. Returns false, reported, when a literal is too long or unclosed.
// With checks it warns and explains as the analysis pass does.
bool write_cjis_output(std::FILE* input, std::FILE* output, const CjisTable& table, bool wanted,
                       const InputReport& report, bool checks);

// The whole program on its command line (argv[0] is the program); returns the exit status.
int run_glyphmint(int argc, char** argv);
