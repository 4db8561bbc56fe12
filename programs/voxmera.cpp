// voxmera: reduces and converts packet files.
#include "tools/voxmera.h"

int main(int argc, char** argv) { return voxmera_main(argc, argv); }
