// navulo: expands the error file zyrerr.txt into readable text.
#include "tools/navulo.h"

int main(int argc, char** argv) { return navulo_main(argc, argv); }
