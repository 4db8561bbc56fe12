// The page text as lines and tokens: reading lines of at most 511
// characters through the include stack (the page text and up to nine
// included files), skipping comment and blank lines, echoing every line read
// to the listing, measuring indentation (tab = 8) and cutting a line into at
// most five tokens. One line of look-ahead can be handed back.
#pragma once

#include <cstdint>

constexpr int LINE_CHARS = 511;       // characters read per line; a longer line is split
constexpr int TOKEN_CHARS = 260;      // characters of a token's text
constexpr int LINE_TOKENS = 5;        // tokens per line
constexpr int INCLUDE_LEVELS = 10;    // level 0 the page text, 1-9 included files
constexpr int INCLUDE_BUFFER = 1024;  // read buffer of a text file

// Token kinds besides the keyword codes of the symbol table (which start
// at 4): an unknown word and an empty slot both have kind 0.
enum : int { KIND_NONE = 0, KIND_EQUALS = 1, KIND_NUMBER = 2, KIND_STRING = 3 };

enum TokenClass : uint8_t { TC_EMPTY, TC_WORD, TC_EQUALS, TC_NUMBER, TC_STRING };

struct Token {
    int kind;                   // keyword code of a word (0 unknown), 1, 2 or 3; 0 when empty
    TokenClass cls;
    bool cut;                   // the text was longer than TOKEN_CHARS and was cut
    char text[TOKEN_CHARS + 1];
};

struct SrcLine {
    int indent;                 // leading columns: space 1, tab 8
    int number;                 // line of the page text (an included line: the include line)
    int ntok;                   // tokens found
    Token tok[LINE_TOKENS];
};

// Cuts text (one line, no line end needed) into at most five tokens.
// Returns the number found; the other slots are emptied.
int tokenise(const char* text, Token* toks);

// Leading columns of text (space 1, tab 8; form feed, vertical tab and
// carriage return count nothing) and where the first other character is.
int line_indent(const char* text, const char** rest);

// True for a line to skip: its first non-blank character is a comment
// character (# * ; ! /) or the end of the line.
bool line_is_comment(const char* text);

// Starts reading the page text open in slot (level 0). 0.
int lex_begin(int slot);

// The next line that is not a comment or blank, with its tokens; null at
// the end of the page text. Include lines are acted on here.
const SrcLine* lex_next();

// Hands the line last returned back: the next lex_next returns it again.
void lex_unread();

// Closes the included files still open (the level-0 file stays the
// caller's) and forgets the page text.
void lex_end();

// Included files open now (0 when only the page text is read).
int lex_depth();

void lexer_reset();
