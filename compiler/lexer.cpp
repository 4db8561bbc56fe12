// Lines and tokens of the page text. Bytes are taken as they come: a NUL
// ends what the tokeniser sees of a line, bytes above 127 begin no token,
// and no line or token ever grows past its buffer.
#include "compiler/lexer.h"

#include <cstring>
#include <sys/stat.h>

#include "compiler/report.h"
#include "core/files.h"
#include "core/symtab.h"

struct IncludeLevel {
    int slot;          // file layer slot
    bool mid_line;     // the last piece read did not end its line
    bool known;        // dev and ino are valid
    dev_t dev;
    ino_t ino;
};

static IncludeLevel g_levels[INCLUDE_LEVELS];
static int g_depth = -1;          // top of the include stack; -1 when not reading
static SrcLine g_cur;             // the line last returned
static bool g_unread;             // g_cur is handed back

void lexer_reset() {
    for (int i = g_depth; i >= 1; i--) zyr_fclose(g_levels[i].slot);
    memset(g_levels, 0, sizeof g_levels);
    g_depth = -1;
    memset(&g_cur, 0, sizeof g_cur);
    g_unread = false;
}

// ---- characters and tokens -------------------------------------------------

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }
static bool is_comment_char(char c) { return c != 0 && strchr("#*;!/", c) != nullptr; }

int line_indent(const char* text, const char** rest) {
    int cols = 0;
    const char* p = text;
    for (;; p++) {
        if (*p == ' ')
            cols += 1;
        else if (*p == '\t')
            cols += 8;
        else if (*p != '\f' && *p != '\v' && *p != '\r')
            break;
    }
    if (rest) *rest = p;
    return cols;
}

bool line_is_comment(const char* text) {
    const char* p = text;
    while (is_blank(*p)) p++;
    return *p == 0 || is_comment_char(*p);
}

// Copies the run from p up to a blank, a comma or the end (or up to the
// closing quote for a string) into the token, cut at TOKEN_CHARS. Returns
// where the run ended.
static const char* take_run(const char* p, Token* t, bool quoted) {
    size_t n = 0;
    while (*p && (quoted ? *p != '"' : !is_blank(*p) && *p != ',')) {
        if (n < (size_t)TOKEN_CHARS)
            t->text[n++] = *p;
        else
            t->cut = true;
        p++;
    }
    t->text[n] = 0;
    return p;
}

int tokenise(const char* text, Token* toks) {
    for (int i = 0; i < LINE_TOKENS; i++) {
        toks[i].kind = KIND_NONE;
        toks[i].cls = TC_EMPTY;
        toks[i].cut = false;
        toks[i].text[0] = 0;
    }
    const char* p = text;
    int n = 0;
    while (n < LINE_TOKENS) {
        while (is_blank(*p)) p++;
        char c = *p;
        Token* t = &toks[n];
        if (is_letter(c) || c == '[' || c == '_') {
            p = take_run(p, t, false);
            t->cls = TC_WORD;
            t->kind = symtab_lookup(t->text);
            if (*p == ',') p++;
        } else if (c == '=') {
            p++;
            t->cls = TC_EQUALS;
            t->kind = KIND_EQUALS;
            strcpy(t->text, "=");
        } else if (is_digit(c) || c == '-' || c == '+' || c == '.') {
            p = take_run(p, t, false);
            t->cls = TC_NUMBER;
            t->kind = KIND_NUMBER;
            if (*p == ',') p++;
        } else if (c == '"') {
            p = take_run(p + 1, t, true);
            t->cls = TC_STRING;
            t->kind = KIND_STRING;
            if (*p == '"') p++;
        } else {
            break;   // end of line, a comment character or a character that begins nothing
        }
        n++;
    }
    return n;
}

// ---- lines and includes ------------------------------------------------------

static void note_identity(IncludeLevel* lv, const char* name) {
    struct stat st;
    lv->known = name && stat(name, &st) == 0;
    if (lv->known) {
        lv->dev = st.st_dev;
        lv->ino = st.st_ino;
    }
}

int lex_begin(int slot) {
    lexer_reset();
    g_depth = 0;
    g_levels[0].slot = slot;
    note_identity(&g_levels[0], zyr_fname(slot));
    return 0;
}

int lex_depth() { return g_depth < 0 ? 0 : g_depth; }

void lex_end() {
    lexer_reset();
}

// One piece of a line: up to LINE_CHARS bytes, through the line feed.
static int read_piece(int slot, char* raw) {
    int n = 0;
    while (n < LINE_CHARS) {
        int c = zyr_fgetc(slot);
        if (c < 0) break;
        raw[n++] = (char)c;
        if (c == '\n') break;
    }
    return n;
}

// A file already on the include stack would include itself for ever.
static bool include_is_open(const char* name) {
    struct stat st;
    if (stat(name, &st) != 0) return false;
    for (int i = 0; i <= g_depth; i++)
        if (g_levels[i].known && g_levels[i].dev == st.st_dev && g_levels[i].ino == st.st_ino) return true;
    return false;
}

// The word begins with '@'; the rest of it names the file.
static void include_file(const char* word) {
    const char* name = word + 1;
    if (g_depth >= INCLUDE_LEVELS - 1) {
        cmp_error("Include file '%s' nest level %d exceeded\n", word, INCLUDE_LEVELS);
        return;
    }
    if (*name && include_is_open(name)) {
        cmp_error("Include file '%s' is already being read (it includes itself)\n", word);
        return;
    }
    int slot = *name ? zyr_fopen(name, "r", INCLUDE_BUFFER) : -1;
    if (slot < 0) {
        cmp_error("Cannot open include file '%s'\n", word);
        return;
    }
    IncludeLevel* lv = &g_levels[++g_depth];
    lv->slot = slot;
    lv->mid_line = false;
    note_identity(lv, name);
}

// What the tokeniser sees: the piece up to a NUL, without its line end.
static void piece_text(const char* raw, int len, char* text) {
    int n = 0;
    while (n < len && raw[n] != 0) {
        text[n] = raw[n];
        n++;
    }
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) n--;
    text[n] = 0;
}

const SrcLine* lex_next() {
    if (g_unread) {
        g_unread = false;
        cmp.line = g_cur.number;
        return &g_cur;
    }
    if (g_depth < 0) return nullptr;
    char raw[LINE_CHARS + 1], text[LINE_CHARS + 1];
    for (;;) {
        IncludeLevel* lv = &g_levels[g_depth];
        int n = read_piece(lv->slot, raw);
        if (n == 0) {
            if (g_depth == 0) return nullptr;
            zyr_fclose(lv->slot);
            g_depth--;
            continue;
        }
        if (g_depth == 0 && !lv->mid_line) cmp.line++;
        lv->mid_line = raw[n - 1] != '\n';
        cmp_listing_echo(raw, n);
        piece_text(raw, n, text);
        const char* first;
        int indent = line_indent(text, &first);
        if (*first == '@') {
            char word[LINE_CHARS + 1];
            size_t w = 0;
            while (first[w] && !is_blank(first[w])) w++;
            memcpy(word, first, w);
            word[w] = 0;
            include_file(word);
            continue;
        }
        if (line_is_comment(text)) continue;
        g_cur.indent = indent;
        g_cur.number = cmp.line;
        g_cur.ntok = tokenise(first, g_cur.tok);
        return &g_cur;
    }
}

void lex_unread() { g_unread = true; }
