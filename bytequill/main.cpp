// bytequill INPUT OUTPUT: replaces every $SJIS("...") literal of an
// assembler source by the Shift-JIS bytes of its text.
#include "bytequill/sjis_filter.h"

int main(int argc, char** argv) { return run_bytequill(argc, argv); }
