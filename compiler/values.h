// The value forms of the page language: whole numbers with their radix
// prefixes, switches, colours, texts cut to their fields, cycle rates and
// data type phrases, and numbers typed by a port's display format. Each
// reader takes the value token of a key line and says whether it was
// readable; none of them reports, so each key chooses its own message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compiler/lexer.h"

// The compiler's cycle time for `every` N `msecs` rates.
constexpr uint32_t COMPILER_LOOP_MS = 10;

// A whole number token (kind 2): 0x/0h, 0b, 0o, 0d prefixes or decimal
// digits with '-'. 0 and the value (-2147483648..4294967295), or -1.
int value_whole(const Token* t, int64_t* out);
// The same, for a 32-bit field (the bits of the value) and for a 16-bit
// field (-32768..65535, else -1).
int value_u32(const Token* t, uint32_t* out);
int value_u16(const Token* t, uint16_t* out);

// A switch word: 1 for yes/on, 0 for no/off, -1 for anything else.
int value_switch(const Token* t);

// A colour word: its index 0..17, else -1.
int value_colour(const Token* t);

// A quoted text copied into a field of cap bytes (NUL included). 0 when
// it fitted, 1 when it was cut (the caller warns), -1 when the token is
// not a quoted text.
int value_text(const Token* t, char* field, size_t cap);

// A cycle rate text (FnnSTmm or every<N>msecs) as a mask; the random start
// of the second form is shared by every rate of one value port. 0 or -1.
int value_rate(const char* text, int port_serial, uint32_t* mask);

// A data type: a phrase such as "doublehexinteger" becomes its standard
// format, anything else is taken as a format string as written. The format
// goes to field (cap bytes); returns 0, or 1 when the text was cut to fit.
// *code gets the type code of the format (DT_INVALID when not a format).
int value_datatype(const char* text, char* field, size_t cap, int* code);

// A real number token (kind 2) as a double. 0 or -1.
int value_real(const Token* t, double* out);

// A number or text token converted to the type code type into dst (the
// binary form of the type, or text for the text types); dst is cleared to
// dst_size bytes first. 0, or -1 when the type is not valid or the text
// does not convert (dst then stays cleared).
int value_typed(const Token* t, int type, void* dst, size_t dst_size);

// The module keeps no state; present so every module resets the same way.
void values_reset();

// The first word of text (leading blanks skipped), at most max characters,
// into out (max + 1 bytes). Returns true when the word was longer.
bool first_word(const char* text, char* out, int max);
