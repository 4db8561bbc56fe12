// The line forms of the page text writer, shared by its two source files.
// Every line is `level` tabs, the keyword, and " = " with the value for a key;
// lines end with carriage return and line feed. A keyword or value word
// without a name in the symbol table leaves its line out.
#pragma once

#include <cstddef>
#include <cstdint>

// Starts writing to out_slot; marks the writer failed when the slot is not
// open for writing.
void pt_begin(int out_slot);

void pt_line(int level, int key, const char* value);      // value null: the keyword alone
void pt_header(int level, int key);                        // a section header
void pt_word(int level, int key, int token);               // the name of a token
void pt_switch(int level, int key, bool on);               // on / off
void pt_colour(int level, int key, unsigned index);        // a colour name, left out past 17
void pt_uint(int level, int key, uint32_t v);              // decimal
void pt_int(int level, int key, int32_t v);                // decimal, signed
void pt_mask(int level, int key, uint32_t v);              // "0x%08lx"
// A text field (at most size - 1 bytes up to its NUL) between double
// quotes; left out when empty unless keep_empty.
void pt_quoted(int level, int key, const char* field, size_t size, bool keep_empty);

// The text of a fixed-size field, cleaned so that it stays one value on one
// line; out holds size bytes.
void pt_field_text(const char* field, size_t size, char* out);
