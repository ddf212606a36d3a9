// glyphmint INPUT OUTPUT [1]: codes the $CJIS("...") literals of an assembler
// source with a custom character table chosen for that source.
#include "glyphmint/cjis_filter.h"

int main(int argc, char** argv) { return run_glyphmint(argc, argv); }
