// hulven: turns gresko packets back into the file.
#include "tools/hulven.h"

int main(int argc, char** argv) { return hulven_main(argc, argv); }
