// Value forms of the page language, built on the symbol table, the data
// type layer and the rate masks of the page file layer.
#include "compiler/values.h"

#include <cstring>

#include "core/datatypes.h"
#include "core/pagefile.h"
#include "core/symtab.h"

int value_whole(const Token* t, int64_t* out) {
    if (t->cls != TC_NUMBER || t->cut) return -1;
    return dt_scan_number(t->text, out);
}

int value_u32(const Token* t, uint32_t* out) {
    int64_t v;
    if (value_whole(t, &v) != 0) return -1;
    *out = (uint32_t)v;
    return 0;
}

// A 16-bit field takes a value that fits it read either way; anything wider
// would be stored as some other number.
int value_u16(const Token* t, uint16_t* out) {
    int64_t v;
    if (value_whole(t, &v) != 0 || v < -32768 || v > 65535) return -1;
    *out = (uint16_t)v;
    return 0;
}

int value_switch(const Token* t) {
    if (t->cls != TC_WORD) return -1;
    switch (t->kind) {
    case TOK_YES: case TOK_ON: return 1;
    case TOK_NO: case TOK_OFF: return 0;
    default: return -1;
    }
}

int value_colour(const Token* t) {
    return t->cls == TC_WORD ? colour_from_token(t->kind) : -1;
}

int value_text(const Token* t, char* field, size_t cap) {
    if (t->cls != TC_STRING || cap == 0) return -1;
    size_t n = strlen(t->text);
    bool cut = t->cut || n >= cap;
    if (n >= cap) n = cap - 1;
    memcpy(field, t->text, n);
    memset(field + n, 0, cap - n);
    return cut ? 1 : 0;
}

int value_rate(const char* text, int port_serial, uint32_t* mask) {
    return rate_from_text(text, COMPILER_LOOP_MS, port_serial, mask);
}

int value_datatype(const char* text, char* field, size_t cap, int* code) {
    char phrase[DT_TEXT_BUF];
    const char* fmt = text;
    if (strlen(text) < sizeof phrase && dt_format_from_word(text, phrase, sizeof phrase) == 1) fmt = phrase;
    size_t n = strlen(fmt);
    bool cut = n >= cap;
    if (cut) n = cap - 1;
    memcpy(field, fmt, n);
    memset(field + n, 0, cap - n);
    *code = dt_classify(field);
    return cut ? 1 : 0;
}

int value_real(const Token* t, double* out) {
    if (t->cls != TC_NUMBER || t->cut) return -1;
    double v;
    if (dt_convert(DT_STRING, t->text, DT_DOUBLE, &v) != 0) return -1;
    *out = v;
    return 0;
}

int value_typed(const Token* t, int type, void* dst, size_t dst_size) {
    memset(dst, 0, dst_size);
    if ((t->cls != TC_NUMBER && t->cls != TC_STRING) || t->cut) return -1;
    if (type < 0 || type >= DT_TYPES) return -1;
    if (dt_is_text(type) ? dst_size < (size_t)DT_TEXT_BUF : (size_t)dt_value_size(type) > dst_size) return -1;
    char text[DT_TEXT_BUF];
    if (strlen(t->text) > (size_t)DT_TEXT_MAX) return -1;
    strcpy(text, t->text);
    return dt_convert(DT_STRING, text, type, dst) == 0 ? 0 : -1;
}

void values_reset() {}

bool first_word(const char* text, char* out, int max) {
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    int n = 0;
    while (p[n] && p[n] != ' ' && p[n] != '\t') n++;
    bool longer = n > max;
    if (longer) n = max;
    memcpy(out, p, (size_t)n);
    out[n] = 0;
    return longer;
}
