// Reverse engineering any page file: every record kind, cut records,
// unknown tags and fields full of bytes are written as text without
// reading or writing past a field, with one of the writer's codes, and
// every line of the text keeps its shape.
#include <cstring>

#include "core/pagetext.h"
#include "core/symtab.h"
#include "fuzz/fuzz_support.h"

static uint32_t g_table_blocks;   // pool blocks of the keyword table

// Each line: at most three tabs, a keyword, CR LF, no line end inside.
static void check_lines(const char* name) {
    FILE* f = fopen(name, "rb");
    if (!f) abort();
    static char line[4096];
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        if (n < 2 || line[n - 1] != '\n' || line[n - 2] != '\r') abort();
        if (memchr(line, '\r', n - 2) || strspn(line, "\t") > 3) abort();
    }
    fclose(f);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (!symtab_built()) {
        if (InitSymTab() != 0) abort();
        g_table_blocks = qobmem.mem_alloc_cnt;
    }
    fuzz_write("PAGE0010.BIN", data, size);
    int in = page_file_open_read("PAGE0010.BIN");
    int out = zyr_fopen("PAGE0010.TXT", "w", 1024);
    if (in < 0 || out < 0) abort();
    int rc = pagetext_write(in, out);
    if (rc > 0 || rc < PT_PACKET_FAILED || rc == PT_NOT_READY || rc == PT_SYSTEM_FAILED) abort();
    zyr_fclose(in);
    zyr_fclose(out);
    check_lines("PAGE0010.TXT");
    pagetext_reset();
    files_reset();
    diagnostics_reset();
    if (qobmem.mem_alloc_cnt != g_table_blocks) {
        fprintf(stderr, "pool blocks left: %u\n", qobmem.mem_alloc_cnt - g_table_blocks);
        abort();
    }
    return 0;
}
