// diskquarry IMAGE: lists, maps or extracts the files of a FAT12 disk image.
#include "diskquarry/quarry.h"

int main(int argc, char** argv) { return run_quarry(argc, argv); }
