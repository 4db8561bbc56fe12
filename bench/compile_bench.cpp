// Compiles 1000 pages of 50 value ports each through qorvends' batch run,
// the code path of the console checker: page text files in, page files and
// the listing out. Target: the whole run under 3 s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "compiler/compile.h"
#include "compiler/qorvends.h"
#include "core/symtab.h"

static std::string port_text(int page, int i) {
    char buf[1024];
    snprintf(buf, sizeof buf,
             "[valueport]\n"
             "\tmnemonic = \"P%04d_%02d\"\n"
             "\ttitle = \"Parameter %d of page %d\"\n"
             "\tunits = \"V\"\n"
             "\tview = packetdata\n"
             "\tbyteindex = %d\n"
             "\trawformat = \"%%6hd\"\n"
             "\tdisplayformat = \"%%8.2f\"\n"
             "\trow = %d\n"
             "\tcolumn = %d\n"
             "\tdisplayrate = \"every40msecs\"\n"
             "\t[calibration]\n"
             "\t\tfunction = polynomial\n"
             "\t\t[polynomial]\n"
             "\t\t\ta0 = -12.5\n"
             "\t\t\ta1 = 0.01\n"
             "\t[alarm]\n"
             "\t\tlowerlimit = -40\n"
             "\t\tupperlimit = 85\n"
             "\t\tblink = on\n",
             page, i, i, page, 2 * i, 1 + i % 25, 1 + (i / 25) * 40);
    return buf;
}

static void BM_CompileThousandPages(benchmark::State& state) {
    char tmpl[] = "/tmp/zyr-compile-bench.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    char cwd[512];
    if (!dir || !getcwd(cwd, sizeof cwd) || chdir(dir) != 0) {
        state.SkipWithError("no work directory");
        return;
    }
    for (int page = 1; page <= 1000; page++) {
        std::string text;
        for (int i = 0; i < 50; i++) text += port_text(page, i);
        char name[32];
        snprintf(name, sizeof name, "PAGE%04d.TXT", page);
        FILE* f = fopen(name, "wb");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    InitSymTab();
    FILE* con = fopen("/dev/null", "w");
    int rc = 0;
    for (auto _ : state) rc = qorvends_run(1, 1000, con);
    fclose(con);
    FreeSymTab();
    if (rc != 0) state.SkipWithError("the pages did not compile cleanly");
    state.counters["pages"] = 1000;
    state.counters["ports_per_s"] = benchmark::Counter(50000.0 * state.iterations(), benchmark::Counter::kIsRate);
    if (chdir(cwd) != 0) return;
    std::string rm = std::string("rm -rf '") + dir + "'";
    if (system(rm.c_str()) != 0) state.SkipWithError("could not clean up");
}
BENCHMARK(BM_CompileThousandPages)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
