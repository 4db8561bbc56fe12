// The top level of a page: blocks at indentation 0, each top-level block
// one record of the page file; and the compile-page operation around it
// with its files, messages and result.
#include "compiler/compile.h"

#include <cstdio>
#include <cstring>

#include "compiler/blocks.h"
#include "compiler/lexer.h"
#include "compiler/portblocks.h"
#include "compiler/report.h"
#include "compiler/sysblocks.h"
#include "compiler/values.h"
#include "core/diagnostics.h"
#include "core/files.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "platform/sys.h"

constexpr int PAGE_WRITE_BUFFER = 2048;
constexpr int PATH_CAP = 300;

static int g_bin = -1;   // page file of the page being compiled

void compiler_reset() {
    g_bin = -1;
    lexer_reset();
    values_reset();
    blocks_reset();
    portblocks_reset();
    sysblocks_reset();
    report_reset();
}

void compiler_batch(bool on) { cmp.batch = on; }

static void write_record(uint32_t tag, const void* body) {
    if (page_write_record(g_bin, tag, body) < 0) cmp_error("Page file record could not be written");
}

// A block with an error names its last error line to the error reporter.
static void log_last_error() {
    if (cmp.block_error) zyr_err(12, 1, "Last error on line >1", cmp.last_error_line, 0, 0);
}

static void valueport_top() {
    valueport_before();
    parse_block(&kValuePortBlock, 0);
    if (!cmp.block_error) {
        const PortRecord* r = valueport_record();
        write_record(TAG_PORT, r);
        cmp.ports_written++;
        if (r->port_flags & PF_ENABLE) cmp.ports_enabled++;
    }
    log_last_error();
}

static void packet_top() {
    packet_before();
    parse_block(&kPacketBlock, 0);
    packet_after();
    write_record(TAG_PACKET, packet_record());
    log_last_error();
}

static void system_top() {
    parse_block(&kSystemBlock, 0);
    write_record(TAG_SYSTEM, system_record());
}

// One line at the top level: a block specifier at indentation 0. Each block
// starts with a clear error flag, so a stray line before it cannot drop it.
static void top_level_line(const SrcLine* line) {
    if (line->indent != 0) {
        cmp_error("Indentation Wrong. Check spacing/tabs (set to 8 ?)");
        return;
    }
    const Token* t = &line->tok[0];
    int kind = t->cls == TC_WORD ? t->kind : 0;
    if (kind != TOK_VALUEPORT && kind != TOK_PACKET && kind != TOK_SYSTEM) {
        cmp_error("Block specifier must be [valueport],[packet] or [system]");
        return;
    }
    cmp.block_error = false;
    if (kind == TOK_VALUEPORT)
        valueport_top();
    else if (kind == TOK_PACKET)
        packet_top();
    else
        system_top();
    cmp.block_error = false;
}

int compile_text(int page, int txt_slot, int bin_slot) {
    cmp_page_start(page);
    sysblocks_page_start();
    blocks_reset();
    g_bin = bin_slot;
    lex_begin(txt_slot);
    while (const SrcLine* line = lex_next()) top_level_line(line);
    lex_end();
    g_bin = -1;
    return cmp.page_error ? COMPILE_ERRORS : COMPILE_OK;
}

// ---- the compile-page operation ------------------------------------------------

static void open_failed(const char* name, const char* fmt) {
    zyr_err(14, 2, name, 0, 0, 0);
    cmp_show(LVL_ERROR, fmt, name);
    cmp_beep();
}

// Parses, closes, and keeps the page file only when the page had no error.
static int compile_open_files(int page, int txt, int bin, const char* bin_path) {
    int rc = compile_text(page, txt, bin);
    if (zyr_fclose(bin) != 0) {
        cmp_error("Page file %s could not be written", bin_path);
        rc = COMPILE_ERRORS;
    }
    if (rc == COMPILE_ERRORS) remove(bin_path);
    return rc;
}

int compile_page_files(int page, const char* txt_path, const char* bin_path, const char* lst_path) {
    int txt = zyr_fopen(txt_path, "r", INCLUDE_BUFFER);
    if (txt < 0) {
        open_failed(txt_path, "Unable to open input page file %s. Compilation aborted");
        return COMPILE_NO_TEXT;
    }
    int bin = zyr_fopen(bin_path, "w", PAGE_WRITE_BUFFER);
    if (bin < 0) {
        zyr_fclose(txt);
        open_failed(bin_path, "Unable to open output compiled page file %s. Compilation aborted");
        return COMPILE_NO_PAGE;
    }
    int lst = zyr_fopen(lst_path, "w", CMP_LISTING_BUFFER);
    if (lst < 0) {
        zyr_fclose(txt);
        zyr_fclose(bin);
        remove(bin_path);
        open_failed(lst_path, "Unable to open output page listing file %s. Compilation aborted");
        return COMPILE_NO_LISTING;
    }
    cmp_show(LVL_PLAIN, "Processing page file %s. Output to file %s.", txt_path, lst_path);
    cmp_show(LVL_PLAIN, "All error messages echoed to the output file and display");
    cmp.listing = lst;
    int rc = compile_open_files(page, txt, bin, bin_path);
    cmp.listing = -1;
    zyr_fclose(lst);
    zyr_fclose(txt);
    if (cmp.errors == 0 && cmp.warnings == 0) {
        cmp_show(LVL_PLAIN, "KORL: All page files checked ok");
    } else {
        cmp_show(LVL_ERROR, "!! KORL: encountered %d warnings and %d errors !!", cmp.warnings, cmp.errors);
        cmp_beep();
    }
    return rc;
}

int compile_page(int page) {
    char cwd[PATH_CAP], name[32], found[PATH_CAP], txt[2 * PATH_CAP], bin[32], lst[32];
    if (plat_cwd(cwd, sizeof cwd) != 0) strcpy(cwd, ".");
    if (page_file_path("", page, "TXT", name, sizeof name) != 0) return COMPILE_NO_TEXT;
    if (page_find_file(name, found, sizeof found) != 0) strcpy(found, name);
    snprintf(txt, sizeof txt, "%s/%s", cwd, found);
    page_file_path("", page, "BIN", bin, sizeof bin);
    page_file_path("", page, "LST", lst, sizeof lst);
    return compile_page_files(page, txt, bin, lst);
}
