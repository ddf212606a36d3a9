// diskmason FILELIST IMAGE: packs the files of a file list into a DCP disk image.
#include "diskmason/driver/packer.h"

int main(int argc, char** argv) { return run_packer(argc, argv); }
