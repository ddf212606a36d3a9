// The Shift-JIS literal filter: copies a source and replaces every
// $SJIS("...") literal by the Shift-JIS bytes of its text as a byte list.
#pragma once

#include <cstdio>

#include "textconv/input_report.h"

// Returns true when the whole input was converted without error; literal
// errors are reported through the report's reporter. With checks, also
// warns about literal text that the table cannot convert and explains
// literal errors, at their lines and columns.
bool filter_sjis_literals(std::FILE* input, std::FILE* output, const InputReport& report, bool checks);

// The whole program on its command line (argv[0] is the program); returns the exit status.
int run_bytequill(int argc, char** argv);
