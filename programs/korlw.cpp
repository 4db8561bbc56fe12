// korlw: the windowed page compiler. With arguments it writes the text of
// one page from its page file and ends, without a window or a display.
#include "compiler/korlw.h"
#include "platform/qt/korlw_window.h"

int main(int argc, char** argv) {
    if (argc < 2) return korlw_run_window(argc, argv);
    int rc = korlw_start() == 0 ? korlw_argument_mode(argc - 1, argv + 1) : 1;
    korlw_exit();
    return rc;
}
