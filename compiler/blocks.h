// The block structure of the page language: a block is its specifier line
// and the lines indented under it, all at one indentation. The engine here
// walks the lines of a block, hands key lines to the key table of the
// block's kind, starts nested blocks, keeps the seen masks and runs the
// kind's end check. The kinds themselves are in portblocks and sysblocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compiler/lexer.h"

extern const char kUnusableLine[];   // "Unable to use line. Identifier unrecognised"

// What a key's setter answers.
enum : int {
    KEY_OK = 0,          // accepted: the key's bit goes into the seen mask
    KEY_REFUSED = -1,    // not accepted: "Unable to use line. Identifier unrecognised"
    KEY_REPORTED = -2,   // not accepted, and the setter has given its own message
};

// Key row flags.
enum : uint8_t {
    KEY_REPEATS = 0x1,       // may be given again (its bit is still recorded)
    KEY_SECOND_MASK = 0x2,   // duplicates are checked in the second mask
};

struct BlockKind;

// One key or sub-block of a block kind. A setter gets the value token (the
// third token of the line) and the key's own token.
struct KeyRow {
    int token;
    uint32_t bit;                              // seen-mask bit
    uint8_t flags;                             // KEY_*
    int (*set)(const Token* value, int key);   // null for a sub-block row
    const BlockKind* sub;                      // the sub-block's kind
};

struct BlockKind {
    int token;                       // the specifier
    const KeyRow* keys;
    int nkeys;
    void (*begin)();                 // when the block's parse begins
    void (*end)(uint32_t seen);      // the end check, with the block's seen mask
};

// Parses the block whose specifier line was just read at indentation
// enclosing: begin, the lines, the end check. The line that ends the block
// is handed back for the enclosing level.
void parse_block(const BlockKind* kind, int enclosing);

// Adds bits to the seen mask of the block being parsed (for setters whose
// bit depends on the value).
void block_mark(uint32_t bits);

// The second mask as it stands (the keys of the innermost block that use it).
uint32_t block_second_mask();

// The message of a key line refused without its own message.
void key_refused();

// Setters shared by the block kinds, each answering KEY_OK or KEY_REFUSED:
// a switch sets or clears bits of a 32-bit word; a colour, a 16-bit or a
// 32-bit number goes into its field; a quoted text goes into a field of cap
// bytes and, when it does not fit, is cut there with a warning naming the
// key. The fields are those of packed records, so they are given as
// untyped addresses and written bytewise.
int put_switch(const Token* v, void* word32, uint32_t bits);
int put_colour(const Token* v, void* field16);
int put_u16(const Token* v, void* field16);
int put_u32(const Token* v, void* field32);
int put_text(const Token* v, const char* key, char* field, size_t cap);

void blocks_reset();
