// The block engine. Blocks nest at most three deep ([system], [input],
// [serial]), so the recursion is shallow; each level reads on until a line
// indented less than the block, which it hands back unread.
#include "compiler/blocks.h"

#include <cstdio>
#include <cstring>

#include "compiler/report.h"
#include "compiler/values.h"

const char kUnusableLine[] = "Unable to use line. Identifier unrecognised";

static uint32_t* g_seen;      // seen mask of the innermost block being parsed
static uint32_t g_second;     // the second mask, cleared whenever a block begins

void blocks_reset() {
    g_seen = nullptr;
    g_second = 0;
}

void block_mark(uint32_t bits) {
    if (g_seen) *g_seen |= bits;
}

uint32_t block_second_mask() { return g_second; }

void key_refused() { cmp_error("%s", kUnusableLine); }

static const KeyRow* find_key(const BlockKind* kind, const Token* t) {
    if (t->cls != TC_WORD || t->kind == KIND_NONE) return nullptr;
    for (int i = 0; i < kind->nkeys; i++)
        if (kind->keys[i].token == t->kind) return &kind->keys[i];
    return nullptr;
}

// A line at the block's indentation: a sub-block specifier or a key line.
static void offer_line(const BlockKind* kind, const SrcLine* line, int indent, uint32_t* seen) {
    const KeyRow* row = find_key(kind, &line->tok[0]);
    if (!row) {
        key_refused();
        return;
    }
    uint32_t* mask = (row->flags & KEY_SECOND_MASK) ? &g_second : seen;
    if ((*mask & row->bit) && !(row->flags & KEY_REPEATS)) {
        key_refused();
        return;
    }
    if (row->sub) {
        *mask |= row->bit;
        parse_block(row->sub, indent);
        g_seen = seen;
        return;
    }
    if (line->tok[1].cls != TC_EQUALS || line->tok[2].cls == TC_EMPTY) {
        key_refused();
        return;
    }
    int rc = row->set(&line->tok[2], row->token);
    if (rc == KEY_OK)
        *mask |= row->bit;
    else if (rc == KEY_REFUSED)
        key_refused();
}

void parse_block(const BlockKind* kind, int enclosing) {
    uint32_t seen = 0;
    uint32_t* outer = g_seen;
    g_seen = &seen;
    g_second = 0;
    if (kind->begin) kind->begin();
    const SrcLine* line = lex_next();
    int indent = -1;
    if (line && line->indent > enclosing) indent = line->indent;
    while (line && indent >= 0) {
        if (line->indent < indent) break;
        if (line->indent > indent)
            cmp_error("Indentation Wrong. Check spacing/tabs (set to 8 ?)");
        else
            offer_line(kind, line, indent, &seen);
        line = lex_next();
    }
    if (line) lex_unread();
    if (kind->end) kind->end(seen);
    g_seen = outer;
}

// ---- shared setters ------------------------------------------------------------

int put_switch(const Token* v, void* word32, uint32_t bits) {
    int on = value_switch(v);
    if (on < 0) return KEY_REFUSED;
    uint32_t w;
    memcpy(&w, word32, sizeof w);
    w = on ? w | bits : w & ~bits;
    memcpy(word32, &w, sizeof w);
    return KEY_OK;
}

int put_colour(const Token* v, void* field16) {
    int c = value_colour(v);
    if (c < 0) return KEY_REFUSED;
    uint16_t u = (uint16_t)c;
    memcpy(field16, &u, sizeof u);
    return KEY_OK;
}

int put_u16(const Token* v, void* field16) {
    uint16_t u;
    if (value_u16(v, &u) != 0) return KEY_REFUSED;
    memcpy(field16, &u, sizeof u);
    return KEY_OK;
}

int put_u32(const Token* v, void* field32) {
    uint32_t u;
    if (value_u32(v, &u) != 0) return KEY_REFUSED;
    memcpy(field32, &u, sizeof u);
    return KEY_OK;
}

int put_text(const Token* v, const char* key, char* field, size_t cap) {
    int rc = value_text(v, field, cap);
    if (rc < 0) return KEY_REFUSED;
    if (rc > 0) {
        char msg[96], second[96];
        snprintf(msg, sizeof msg, "Text of %s longer than %d characters", key, (int)cap - 1);
        snprintf(second, sizeof second, "The text has been cut to %d characters", (int)cap - 1);
        cmp_warning(msg, second);
    }
    return KEY_OK;
}
