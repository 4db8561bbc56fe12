// qorvends: checks a range of page texts in one run.
#include "compiler/qorvends.h"

int main(int argc, char** argv) { return qorvends_main(argc, argv); }
