// The packer's whole run: a file list in, a disk image out.
#pragma once

#include <cstdio>

// Runs the packer on its command line (options, then the file list and the
// image); returns the exit status: 0 when the image was written, 1 when the
// run failed, 2 for a usage error. Explanations and warnings go to
// `findings`, by default standard error.
int run_packer(int argc, char** argv, std::FILE* findings = nullptr);
