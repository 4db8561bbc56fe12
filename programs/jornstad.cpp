// jornstad: merges two parameter record files in time order.
#include "tools/jornstad.h"

int main(int argc, char** argv) { return jornstad_main(argc, argv); }
