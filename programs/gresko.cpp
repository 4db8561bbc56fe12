// gresko: turns any file into packets.
#include "tools/gresko.h"

int main(int argc, char** argv) { return gresko_main(argc, argv); }
