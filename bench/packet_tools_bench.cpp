// Throughput and peak memory of the built packet tools on a 200 MB raw file
// of 64-byte packets, side by side with cat and xxd -p of the same file:
// voxmera raw to raw, ascii and compressed, compressed and ascii back to
// raw, and gresko then hulven. Each program runs as a child process in a
// temporary directory (deleted at the end); rates are MB (10^6 bytes) of
// input per second of wall time, memory the child's peak resident size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/pagefile.h"

namespace {

constexpr size_t kFileBytes = 200u * 1000 * 1000;
constexpr int kPacketLen = 64;

std::string g_dir;

struct Figure {
    double mb_per_s;
    double peak_mb;
};
std::map<std::string, Figure> g_figures;

std::string path(const char* name) { return g_dir + "/" + name; }

off_t file_size(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? st.st_size : -1;
}

// The page file and the raw file: packets with sync 0xEB90, checksum, time
// and a running counter, written with the core packet description.
void make_inputs() {
    char tmpl[] = "/tmp/zyr-pkt-bench.XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    g_dir = tmpl;
    PacketRecord r;
    packet_defaults(&r);
    r.pattern[2] = 0xEB;
    r.pattern[3] = 0x90;
    r.fixedpacketlength = kPacketLen;
    r.flags = PKT_SUMCHECK | PKT_TIME;
    if (packet_setup(&r) != 0) abort();
    int f = zyr_fopen(path("PAGE0000.BIN").c_str(), "w", 1024);
    page_write_record(f, TAG_PACKET, &pkt_layout.desc);
    zyr_fclose(f);
    std::vector<uint8_t> block(256 * kPacketLen);
    FILE* out = fopen(path("big.raw").c_str(), "wb");
    for (size_t done = 0; done < kFileBytes; done += block.size()) {
        for (int k = 0; k < 256; k++) {
            uint8_t* p = &block[(size_t)k * kPacketLen];
            packet_put_sync(p);
            for (int i = pkt_layout.header_len; i < kPacketLen; i++) p[i] = (uint8_t)(done / 997 + k * 7 + i);
            uint32_t t = 1700000000u + (uint32_t)(done >> 14);
            memcpy(p + pkt_layout.time_pos, &t, 4);
            p[pkt_layout.counter_pos] = (uint8_t)k;
            packet_put_checksum(p, kPacketLen);
        }
        size_t n = std::min(block.size(), kFileBytes - done);
        fwrite(block.data(), 1, n, out);
    }
    fclose(out);
    packet_reset();
    mempool_reset();
}

struct ChildRun {
    double seconds;
    long peak_kb;
    int status;
};

// Runs argv in the bench directory: no input, standard output to out_name
// (or /dev/null), and gives its wall time and peak memory.
ChildRun run_child(const std::vector<std::string>& argv, const char* out_name) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(g_dir.c_str()) != 0) _exit(126);
        int in = open("/dev/null", O_RDONLY);
        int out = out_name ? open(out_name, O_WRONLY | O_CREAT | O_TRUNC, 0644) : open("/dev/null", O_WRONLY);
        dup2(in, 0);
        dup2(out, 1);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return ChildRun{s, ru.ru_maxrss, status};
}

std::string tool(const char* name) { return std::string(ZYR_TOOL_DIR) + "/" + name; }

// Times one command over the input file `input` and records its figures.
// The output file `output` is removed before each run (the tools would
// ask before overwriting it) and, unless kept, after the last.
void measure(benchmark::State& state, const char* label, const std::vector<std::string>& argv, const char* input,
             const char* out_name, const char* output, bool keep = false) {
    double seconds = 0;
    long peak = 0;
    double in_bytes = (double)file_size(path(input));
    for (auto _ : state) {
        remove(path(output).c_str());
        ChildRun r = run_child(argv, out_name);
        if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
            state.SkipWithError((std::string(label) + " failed").c_str());
            return;
        }
        state.SetIterationTime(r.seconds);
        seconds += r.seconds;
        peak = std::max(peak, r.peak_kb);
    }
    Figure f{in_bytes * (double)state.iterations() / seconds / 1e6, (double)peak / 1024.0};
    g_figures[label] = f;
    state.counters["MB/s"] = f.mb_per_s;
    state.counters["peak_MB"] = f.peak_mb;
    if (!keep) remove(path(output).c_str());
}

void voxmera(benchmark::State& state, const char* label, const char* in, const char* informat, const char* outformat,
             const char* out) {
    measure(state, label, {tool("voxmera"), std::string("infile=") + in, std::string("informat=") + informat,
                           std::string("outformat=") + outformat, std::string("outfile=") + out},
            in, nullptr, out);
}

void BM_cat(benchmark::State& s) { measure(s, "cat", {"cat", "big.raw"}, "big.raw", "cat.out", "cat.out"); }
void BM_xxd_p(benchmark::State& s) { measure(s, "xxd -p", {"xxd", "-p", "big.raw"}, "big.raw", "xxd.out", "xxd.out"); }
void BM_voxmera_raw_to_raw(benchmark::State& s) { voxmera(s, "voxmera raw->raw", "big.raw", "raw", "raw", "o.raw"); }
void BM_voxmera_raw_to_ascii(benchmark::State& s) { voxmera(s, "voxmera raw->ascii", "big.raw", "raw", "ascii", "o.txt"); }
void BM_voxmera_raw_to_compressed(benchmark::State& s) {
    voxmera(s, "voxmera raw->compressed", "big.raw", "raw", "compressed", "o.cmp");
}

// The compressed and ascii inputs are made (untimed) from the raw file.
void ensure(const char* name, const char* format) {
    if (file_size(path(name)) > 0) return;
    run_child({tool("voxmera"), "infile=big.raw", "informat=raw", std::string("outformat=") + format,
               std::string("outfile=") + name},
              nullptr);
}

void BM_voxmera_compressed_to_raw(benchmark::State& s) {
    ensure("big.cmp", "compressed");
    voxmera(s, "voxmera compressed->raw", "big.cmp", "compressed", "raw", "o.raw");
}
void BM_voxmera_ascii_to_raw(benchmark::State& s) {
    ensure("big.txt", "ascii");
    voxmera(s, "voxmera ascii->raw", "big.txt", "ascii", "raw", "o.raw");
}
void BM_gresko(benchmark::State& s) {
    measure(s, "gresko", {tool("gresko"), "infile=big.raw", "outfile=g.dat"}, "big.raw", nullptr, "g.dat", true);
}
void BM_hulven(benchmark::State& s) {
    if (file_size(path("g.dat")) <= 0) run_child({tool("gresko"), "infile=big.raw", "outfile=g.dat"}, nullptr);
    measure(s, "hulven", {tool("hulven"), "infile=g.dat", "outfile=h.dat"}, "g.dat", nullptr, "h.dat");
}

void register_all() {
    auto reg = [](const char* name, void (*fn)(benchmark::State&)) {
        benchmark::RegisterBenchmark(name, fn)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
    };
    reg("cat", BM_cat);
    reg("xxd_p", BM_xxd_p);
    reg("voxmera_raw_to_raw", BM_voxmera_raw_to_raw);
    reg("voxmera_raw_to_ascii", BM_voxmera_raw_to_ascii);
    reg("voxmera_raw_to_compressed", BM_voxmera_raw_to_compressed);
    reg("voxmera_compressed_to_raw", BM_voxmera_compressed_to_raw);
    reg("voxmera_ascii_to_raw", BM_voxmera_ascii_to_raw);
    reg("gresko", BM_gresko);   // leaves g.dat for hulven
    reg("hulven", BM_hulven);
}

// The targets, judged on the figures of this run.
void summary() {
    auto rate = [](const char* k) { return g_figures.count(k) ? g_figures[k].mb_per_s : 0.0; };
    double cat = rate("cat"), xxd = rate("xxd -p");
    printf("\n%-26s %10s %10s %9s\n", "program", "MB/s", "peak MB", "x cat");
    for (const auto& [name, f] : g_figures)
        printf("%-26s %10.1f %10.1f %9.3f\n", name.c_str(), f.mb_per_s, f.peak_mb, cat > 0 ? f.mb_per_s / cat : 0);
    auto check = [&](const char* what, const char* tool_name, double base, double factor) {
        const char* verdict = !g_figures.count(tool_name) || base <= 0 ? "not run"
                              : rate(tool_name) >= base * factor    ? "met"
                                                                    : "NOT MET";
        printf("%-58s %s\n", what, verdict);
    };
    check("voxmera raw->raw at least a tenth of cat", "voxmera raw->raw", cat, 0.1);
    check("voxmera raw->ascii at least twice xxd -p", "voxmera raw->ascii", xxd, 2);
    check("gresko at least a tenth of cat", "gresko", cat, 0.1);
    check("hulven at least a tenth of cat", "hulven", cat, 0.1);
    bool small = true;
    for (const auto& [name, f] : g_figures)
        if (name != "cat" && name != "xxd -p" && f.peak_mb >= 20) small = false;
    printf("%-58s %s\n", "peak memory of every tool run under 20 MB", small ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    make_inputs();
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    std::string cmd = "rm -rf '" + g_dir + "'";
    return system(cmd.c_str()) == 0 ? 0 : 1;
}
