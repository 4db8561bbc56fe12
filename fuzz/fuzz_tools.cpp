// The tools' command lines and the line handling of jornstad and navulo:
// the input is split at NUL bytes into arguments, or used as the files.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/frame.h"
#include "tools/jornstad.h"
#include "tools/navulo.h"

static int answer_yes() { return 'y'; }
static bool no_key() { return false; }

static void quiet_frame() {
    frame_reset();
    static FILE* null = fopen("/dev/null", "w");
    frame.con = null;
    frame_hooks.get_key = answer_yes;
    frame_hooks.key_pending = no_key;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (size < 1) return 0;
    int mode = data[0] % 3;
    data++, size--;
    quiet_frame();
    if (mode == 0) {
        // Arguments: pieces between NUL bytes, at most 12.
        std::vector<std::string> args = {"wibrel"};
        std::string cur;
        for (size_t i = 0; i < size && args.size() < 13; i++) {
            if (data[i] == 0) {
                args.push_back(cur);
                cur.clear();
            } else {
                cur.push_back((char)data[i]);
            }
        }
        args.push_back(cur);
        // Only the parsing: a name from the input never reaches the disk.
        std::vector<const char*> argv;
        for (auto& a : args) argv.push_back(a.c_str());
        static const ToolOptions kDefaults{};
        static const ToolDesc kDesc = {"wibrel", kPacketToolOptions, 10, &kDefaults, "", "out.txt",
                                       kFrameNoInput, kFrameIdentical, 61, 2, 2, kFrameCreateFailed,
                                       kFrameTerminating};
        frame_begin(&kDesc, (int)argv.size(), argv.data());
    } else if (mode == 1) {
        fuzz_write("err.txt", data, size);
        const char* argv[] = {"navulo", "infile=err.txt", "outfile=out.txt"};
        navulo_main(3, argv);
        navulo_reset();
    } else {
        size_t half = size / 2;
        fuzz_write("a.txt", data, half);
        fuzz_write("b.txt", data + half, size - half);
        const char* argv[] = {"jornstad", "infile1=a.txt", "infile2=b.txt", "outfile=out.txt"};
        jornstad_main(4, argv);
        jornstad_reset();
    }
    frame_reset();
    fuzz_reset_core();
    return 0;
}
