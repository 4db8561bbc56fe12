// Page text -> page file -> page text -> page file over the page texts of
// tests/pages. Those in the writer's own form come back byte for byte and
// compile to the same page file; those in tests/pages/normalised use forms
// the writer does not keep (every-rates, data type words, comments, key
// order, switches it never writes) and reach that fixed point after one turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#include "compiler/compile.h"
#include "compiler/report.h"
#include "core/pagetext.h"
#include "core/symtab.h"
#include "tests/test_support.h"

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        reset_core();
        symtab_reset();
        compiler_reset();
        pagetext_reset();
        ASSERT_EQ(InitSymTab(), 0);
        compiler_hooks.show = [](int, const char*) {};
        compiler_hooks.beep = [] {};
    }
    void TearDown() override {
        compiler_reset();
        symtab_reset();
        reset_core();
    }
};

static std::string name(int page, const char* ext) {
    char n[32];
    snprintf(n, sizeof n, "PAGE%04d.%s", page, ext);
    return n;
}

// Compiles text as page; the page file's bytes. *issues counts warnings
// and errors.
static std::string compile(int page, const std::string& text, int* issues) {
    write_file(name(page, "TXT").c_str(), text);
    EXPECT_EQ(compile_page(page), COMPILE_OK) << read_file(name(page, "LST").c_str());
    *issues = cmp.warnings + cmp.errors;
    return read_file(name(page, "BIN").c_str());
}

static std::string reverse(int page) {
    int in = page_file_open_read(name(page, "BIN").c_str());
    int out = zyr_fopen(name(page, "TXT").c_str(), "w", 1024);
    EXPECT_EQ(pagetext_write(in, out), PT_OK);
    zyr_fclose(in);
    zyr_fclose(out);
    return read_file(name(page, "TXT").c_str());
}

struct Turns {
    std::string b1, t2, b2, t3, b3;
    int issues2;
};

static Turns turns(int page, const std::string& text) {
    Turns t;
    int issues;
    t.b1 = compile(page, text, &issues);
    t.t2 = reverse(page);
    t.b2 = compile(page, t.t2, &t.issues2);
    t.t3 = reverse(page);
    t.b3 = compile(page, t.t3, &issues);
    return t;
}

struct PageText {
    int page;
    std::string text;
};

// The PAGEnnnn.TXT files of a directory, in name order.
static std::vector<PageText> pages_in(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d)) {
            int page;
            char rest[8];
            if (sscanf(e->d_name, "PAGE%4d.%3s", &page, rest) == 2) names.push_back(e->d_name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<PageText> out;
    for (const std::string& n : names) out.push_back({atoi(n.c_str() + 4), read_file((dir + "/" + n).c_str())});
    return out;
}

TEST_F(RoundTrip, WriterGivesBackItsOwnTextAndTheSamePage) {
    std::vector<PageText> pages = pages_in(ZYR_TEST_PAGES);
    ASSERT_GE(pages.size(), 5u);
    for (const PageText& p : pages) {
        Turns t = turns(p.page, p.text);
        EXPECT_FALSE(t.b1.empty()) << p.page;
        EXPECT_EQ(t.t2, p.text) << p.page;
        EXPECT_EQ(t.b2, t.b1) << p.page;
        EXPECT_EQ(t.issues2, 0) << p.page;
        EXPECT_EQ(t.b3, t.b2) << p.page;
    }
}

TEST_F(RoundTrip, NormalisedTextReachesItsFixedPointAtOnce) {
    std::vector<PageText> pages = pages_in(std::string(ZYR_TEST_PAGES) + "/normalised");
    ASSERT_GE(pages.size(), 3u);
    for (const PageText& p : pages) {
        Turns t = turns(p.page, p.text);
        EXPECT_NE(t.t2, p.text) << p.page;
        EXPECT_EQ(t.t3, t.t2) << p.page;
        EXPECT_EQ(t.b3, t.b2) << p.page;
    }
}
