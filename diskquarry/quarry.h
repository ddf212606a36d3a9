// diskquarry's whole run: an image file in; its listing, its map, or its
// files and the file list that rebuilds it out.
#pragma once

#include <cstdio>

// Runs diskquarry on its command line (options, then the image); returns
// the exit status: 0 on success, 1 when the run failed (or, under
// --strict, warned), 2 for a usage error. Warnings, explanations and notes
// go to `findings`.
int run_quarry(int argc, char** argv, std::FILE* findings = stderr);
