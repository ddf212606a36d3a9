// The packer's whole run: a file list in, a DCP disk image out.
#pragma once

// Runs the packer with argv[1] as the file list and argv[2] as the image;
// returns the exit status (0 when the image was written, else 1).
int run_packer(int argc, char** argv);
