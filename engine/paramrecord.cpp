// Parameter record files. The file layer keeps the files; this module only
// decides when a file opens and closes and what one value line holds.
#include "engine/paramrecord.h"

#include <cstdio>
#include <cstring>

#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/files.h"
#include "core/state.h"

ParamRecordState param_rec = {-1, 0};

constexpr int RECORD_BUFSIZE = 2048;

void param_record_reset() { param_rec = ParamRecordState{-1, 0}; }

int param_record_open(ZyrPort* p, const char* name, int kind) {
    if (p->rec_slot >= 0) return -3;
    if (!name || !*name) return -1;
    if (zyr_fopen_by_name(name) == 0) {
        debug_printf("!! record file <%s> already open, port %d not recorded !!", name, p->index);
        p->rec_kind = REC_NONE;
        return -2;
    }
    int slot = zyr_fopen(name, "a", RECORD_BUFSIZE);
    if (slot < 0) {
        zyr_err(14, 1, name, 0, 0, 0);
        p->rec_kind = REC_NONE;
        return -1;
    }
    WriteZYRFileHdr(slot, 1, "");
    p->rec_slot = slot;
    p->rec_kind = kind;
    param_rec.open_files++;
    return 0;
}

// A field read from a file may lack its NUL.
static void format_of(const ZyrPort* p, char* out) {
    const char* f = p->h.rec->displayformat;
    size_t n = strnlen(f, sizeof p->h.rec->displayformat);
    memcpy(out, f, n);
    out[n] = 0;
}

int port_value_text(const ZyrPort* p, char* out, size_t cap) {
    char fmt[24];
    format_of(p, fmt);
    const void* v = dt_is_text(p->data_type) ? (const void*)p->text : (const void*)&p->value;
    return dt_format_value(fmt, p->data_type, v, out, cap);
}

// A text value may hold line ends or other control bytes from the packet;
// they would split the record line, so they are written as blanks.
static void blank_controls(char* s) {
    for (; *s; s++)
        if ((unsigned char)*s < 0x20 || *s == 0x7F) *s = ' ';
}

int param_record_value(ZyrPort* p) {
    if (p->rec_slot < 0) return -1;
    char text[DT_TEXT_BUF + 8];
    if (port_value_text(p, text, sizeof text) < 0) snprintf(text, sizeof text, "%s", "****");
    blank_controls(text);
    const char* v = text + strspn(text, " ");
    char line[DT_TEXT_BUF + 40];
    snprintf(line, sizeof line, "%lu.%03lu %s\n", (unsigned long)(zyr.zyr_msecs / 1000),
             (unsigned long)(zyr.zyr_msecs % 1000), v);
    zyr_fputs(line, p->rec_slot, 1);
    return 0;
}

void param_record_close(ZyrPort* p, bool by_operator) {
    if (p->rec_slot < 0) return;
    if (by_operator)
        write_record_trailer(p->rec_slot);
    else
        WriteZYRFileHdr(p->rec_slot, 0, "");
    zyr_fclose(p->rec_slot);
    p->rec_slot = -1;
    p->rec_kind = REC_NONE;
    p->marks &= ~(MARK_RECORDING | MARK_RECORDED);
    if (param_rec.open_files > 0) param_rec.open_files--;
    if (param_rec.current == p->index) param_rec.current = -1;
}
