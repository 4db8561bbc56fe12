// Compiling any page text: lines and their pieces, includes (the input is
// also on disk as inc.txt, so it may include itself), tokens, every block
// and key, the listing and the page file. The keyword table is built once;
// after each input nothing but its blocks may be left in the pool.
#include "compiler/compile.h"
#include "compiler/report.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "fuzz/fuzz_support.h"

static void quiet(int, const char*) {}
static void no_beep() {}

static uint32_t g_table_blocks;   // pool blocks of the keyword table

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (!symtab_built()) {
        if (InitSymTab() != 0) abort();
        g_table_blocks = qobmem.mem_alloc_cnt;
    }
    compiler_hooks.show = quiet;
    compiler_hooks.beep = no_beep;
    fuzz_write("PAGE0010.TXT", data, size);
    fuzz_write("inc.txt", data, size);
    int rc = compile_page(10);
    if (rc != COMPILE_OK && rc != COMPILE_ERRORS) abort();
    compiler_reset();
    pagefile_reset();
    files_reset();
    diagnostics_reset();
    if (qobmem.mem_alloc_cnt != g_table_blocks) {
        fprintf(stderr, "pool blocks left: %u\n", qobmem.mem_alloc_cnt - g_table_blocks);
        abort();
    }
    return 0;
}
