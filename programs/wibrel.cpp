// wibrel: copies a range of lines of a text file, one in every n.
#include "tools/wibrel.h"

int main(int argc, char** argv) { return wibrel_main(argc, argv); }
