// Helpers of the compiler tests: a fixture that starts every test from the
// programs' start state with the keyword table built, a page compile from
// a text in memory, the records of the page file it wrote, and the
// messages the compiler showed.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <string>
#include <strings.h>
#include <vector>

#include "compiler/compile.h"
#include "compiler/report.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "core/pagefile.h"
#include "tests/test_support.h"

struct Shown {
    int level;
    std::string text;
};

inline std::vector<Shown>& shown_messages() {
    static std::vector<Shown> v;
    return v;
}

inline void record_shown(int level, const char* text) { shown_messages().push_back({level, text}); }
inline void no_beep() {}

// The records of a page file, in file order.
struct PageRecords {
    int result = 0;                        // the reader's last answer (PAGE_EOF when whole)
    std::vector<PortRecord> ports;
    std::vector<PacketRecord> packets;
    std::vector<SystemRecord> systems;
    std::vector<uint32_t> tags;
};

inline PageRecords read_page_file(const char* path) {
    PageRecords out;
    int slot = page_file_open_read(path);
    if (slot < 0) {
        out.result = -100;
        return out;
    }
    static PageRecordBody body;
    int rc;
    while ((rc = page_read_record(slot, &body)) > 0) {
        out.tags.push_back((uint32_t)rc);
        if (rc == (int)TAG_PORT) out.ports.push_back(body.port);
        if (rc == (int)TAG_PACKET) out.packets.push_back(body.packet);
        if (rc == (int)TAG_SYSTEM) out.systems.push_back(body.system);
    }
    out.result = rc;
    zyr_fclose(slot);
    return out;
}

// Every test binary shares one directory: each test starts without the page
// files, listings and include files that earlier tests left.
inline void remove_test_files() {
    DIR* d = opendir(".");
    if (!d) return;
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (strncasecmp(n, "page", 4) == 0 || strncasecmp(n, "inc", 3) == 0 || strcasecmp(n, "qorvends.lst") == 0 ||
            strcasecmp(n, "self.txt") == 0)
            names.push_back(n);
    }
    closedir(d);
    for (const std::string& n : names) remove(n.c_str());
}

class CompilerTest : public ::testing::Test {
protected:
    void SetUp() override {
        remove_test_files();
        reset_core();
        compiler_reset();
        symtab_reset();
        pagefile_reset();
        ASSERT_EQ(InitSymTab(), 0);
        shown_messages().clear();
        compiler_hooks.show = record_shown;
        compiler_hooks.beep = no_beep;
    }
    void TearDown() override {
        compiler_reset();
        symtab_reset();
        zyr_fcloseall();
        EXPECT_EQ(QOBfree_allmem(), 0);
        mempool_reset();
    }

    // Writes the page text and compiles it; the result of compile_page.
    int compile(const std::string& text, int page = 10) {
        char name[32];
        page_file_path("", page, "TXT", name, sizeof name);
        write_file(name, text);
        shown_messages().clear();
        return compile_page(page);
    }

    PageRecords records(int page = 10) {
        char name[32];
        page_file_path("", page, "BIN", name, sizeof name);
        return read_page_file(name);
    }

    std::string listing(int page = 10) {
        char name[32];
        page_file_path("", page, "LST", name, sizeof name);
        return read_file(name);
    }

    // The shown texts that are error or warning lines, one string each.
    std::vector<std::string> diagnostics() {
        std::vector<std::string> v;
        for (const Shown& s : shown_messages())
            if (s.text.rfind("* !!", 0) == 0 || s.text.rfind("** ", 0) == 0 || s.text.rfind("* Error", 0) == 0)
                v.push_back(s.text);
        return v;
    }

    // The one port record of a page that compiled.
    PortRecord port_of(const std::string& body, int page = 10) {
        EXPECT_EQ(compile("[valueport]\n" + body, page), COMPILE_OK) << joined();
        PageRecords r = records(page);
        EXPECT_EQ(r.ports.size(), 1u);
        return r.ports.empty() ? PortRecord{} : r.ports[0];
    }

    std::string joined() {
        std::string s;
        for (const Shown& m : shown_messages()) s += m.text + "\n";
        return s;
    }
};

// A minimal value port body: what every port needs to compile cleanly.
inline const char kPortBase[] =
    "\tdatatype = \"%6hd\"\n"
    "\tbyteindex = 4\n"
    "\trow = 3\n"
    "\tcolumn = 5\n"
    "\tmnemonic = \"TEMP\"\n";
