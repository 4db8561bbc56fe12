// limsador: turns a file of number columns into packets.
#include "tools/limsador.h"

int main(int argc, char** argv) { return limsador_main(argc, argv); }
