// Tokens, indentation and comment lines of the page text.
#include "compiler/lexer.h"

#include <gtest/gtest.h>

#include <string>

#include "compiler/compiler_test_support.h"

class LexerTest : public CompilerTest {};

struct TokenCase {
    const char* line;
    int count;
    const char* texts[LINE_TOKENS];
    TokenClass classes[LINE_TOKENS];
};

static const TokenCase kTokenCases[] = {
    {"byteindex = 12", 3, {"byteindex", "=", "12"}, {TC_WORD, TC_EQUALS, TC_NUMBER}},
    {"byteindex=12", 1, {"byteindex=12"}, {TC_WORD}},
    {"title =\"Bus A\" # note", 3, {"title", "=", "Bus A"}, {TC_WORD, TC_EQUALS, TC_STRING}},
    {"a0, -1.5e3, +2 .5", 4, {"a0", "-1.5e3", "+2", ".5"}, {TC_WORD, TC_NUMBER, TC_NUMBER, TC_NUMBER}},
    {"units = \"open quote", 3, {"units", "=", "open quote"}, {TC_WORD, TC_EQUALS, TC_STRING}},
    {"a b c d e f g", 5, {"a", "b", "c", "d", "e"}, {TC_WORD, TC_WORD, TC_WORD, TC_WORD, TC_WORD}},
    {"row = 3 ; comment = 4", 3, {"row", "=", "3"}, {TC_WORD, TC_EQUALS, TC_NUMBER}},
    {"row = 3 / 4", 3, {"row", "=", "3"}, {TC_WORD, TC_EQUALS, TC_NUMBER}},
    {"row = @3", 2, {"row", "="}, {TC_WORD, TC_EQUALS}},
    {"\xe9t\xe9 = 1", 0, {}, {}},
    {"_x, [valueport]", 2, {"_x", "[valueport]"}, {TC_WORD, TC_WORD}},
    {"\"a\"\"b\"", 2, {"a", "b"}, {TC_STRING, TC_STRING}},
    {"", 0, {}, {}},
};

TEST_F(LexerTest, TokensFollowTheKindsAndTheCommaRule) {
    for (const TokenCase& c : kTokenCases) {
        Token t[LINE_TOKENS];
        EXPECT_EQ(tokenise(c.line, t), c.count) << c.line;
        for (int i = 0; i < c.count; i++) {
            EXPECT_STREQ(t[i].text, c.texts[i]) << c.line << " token " << i;
            EXPECT_EQ(t[i].cls, c.classes[i]) << c.line << " token " << i;
        }
        for (int i = c.count; i < LINE_TOKENS; i++) EXPECT_EQ(t[i].cls, TC_EMPTY) << c.line;
    }
}

TEST_F(LexerTest, KeywordsAreFoundWhateverTheirCase) {
    Token t[LINE_TOKENS];
    tokenise("BYTEINDEX = Yes [VALUEPORT] nosuchword", t);
    EXPECT_EQ(t[0].kind, TOK_BYTEINDEX);
    EXPECT_EQ(t[1].kind, KIND_EQUALS);
    EXPECT_EQ(t[2].kind, TOK_YES);
    EXPECT_EQ(t[3].kind, TOK_VALUEPORT);
    EXPECT_EQ(t[4].kind, KIND_NONE);
    EXPECT_EQ(t[4].cls, TC_WORD);
    tokenise("x = 5 \"s\"", t);
    EXPECT_EQ(t[2].kind, KIND_NUMBER);
    EXPECT_EQ(t[3].kind, KIND_STRING);
}

TEST_F(LexerTest, LongTokensAreCutAt260Characters) {
    std::string word(300, 'w'), quoted = "\"" + std::string(270, 'q') + "\"";
    Token t[LINE_TOKENS];
    ASSERT_EQ(tokenise((word + " = " + quoted).c_str(), t), 3);
    EXPECT_EQ(strlen(t[0].text), 260u);
    EXPECT_TRUE(t[0].cut);
    EXPECT_EQ(strlen(t[2].text), 260u);
    EXPECT_TRUE(t[2].cut);
    tokenise("short", t);
    EXPECT_FALSE(t[0].cut);
}

struct IndentCase {
    const char* line;
    int columns;
};
static const IndentCase kIndentCases[] = {
    {"x", 0}, {" x", 1}, {"\tx", 8}, {"        x", 8}, {"\t \tx", 17}, {"\fx", 0}, {"  \r x", 3},
};

TEST_F(LexerTest, IndentationCountsSpacesOneAndTabsEight) {
    for (const IndentCase& c : kIndentCases) {
        const char* rest;
        EXPECT_EQ(line_indent(c.line, &rest), c.columns) << c.line;
        EXPECT_EQ(*rest, 'x');
    }
}

TEST_F(LexerTest, CommentAndBlankLinesAreSkipped) {
    for (const char* line : {"", "   ", "\t# x", " * x", ";x", "!x", "/x", "\r"}) EXPECT_TRUE(line_is_comment(line)) << line;
    for (const char* line : {"x", "  [valueport]", "=", "\"s\""}) EXPECT_FALSE(line_is_comment(line)) << line;
}
