// The Shift-JIS literal filter: copies a source and replaces every
// $SJIS("...") literal by the Shift-JIS bytes of its text as a byte list.
#pragma once

#include <cstdio>

// Returns true when the whole input was converted without error.
bool filter_sjis_literals(std::FILE* input, std::FILE* output);

// The whole program on its command line (argv[0] is the program); returns the exit status.
int run_bytequill(int argc, char** argv);
