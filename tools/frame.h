// The command-line frame shared by the seven offline tools: banner, option
// parsing, the checks on input and output files, the overwrite prompt, the
// stop key, line reading in pieces and the one exit routine. A tool fills a
// ToolDesc (its option list, usage text, default names and the texts that
// differ from the common ones) and composes the start-up steps below.
#pragma once

#include <cstdint>
#include <cstdio>

// Every option any tool knows, in the order of the frame's option table.
enum OptionId : int {
    OPT_EVERY,
    OPT_INFORMAT,
    OPT_OUTFORMAT,
    OPT_INFILE,
    OPT_INFILE1,
    OPT_INFILE2,
    OPT_OUTFILE,
    OPT_START,
    OPT_END,
    OPT_PAGE,
    OPT_ERRCODE,
    OPT_ECHO,
    OPT_GRESKO,
    OPT_COUNT
};

// Values of the informat and outformat options.
enum PacketFormat : int { FMT_NONE, FMT_COMPRESSED, FMT_RAW, FMT_ASCII };

constexpr int TOOL_NAME_LEN = 261;   // a file name field, NUL included
constexpr int32_t TOOL_END_MAX = 2147483647;

// The settings of one run. A tool's defaults are a const record of this
// layout; the parser overwrites the options given on the command line.
struct ToolOptions {
    int32_t every = 0;                    // thinning count
    int informat = FMT_NONE;              // PacketFormat
    int outformat = FMT_NONE;             // PacketFormat
    char infile[TOOL_NAME_LEN] = {};
    char infile1[TOOL_NAME_LEN] = {};
    char infile2[TOOL_NAME_LEN] = {};
    char outfile[TOOL_NAME_LEN] = {};     // empty: the tool's default output name
    int32_t start = 0;                    // first unit (line or packet), from 1
    int32_t end = 0;                      // last unit
    char page[TOOL_NAME_LEN] = {};        // page file with the packet format
    int32_t errcode = 0;                  // navulo's code filter, 0 all
    bool echo = false;
    bool gresko = false;
    uint32_t given = 0;                   // bit 1 << OptionId for each option given
};

// Option lists in the order in which names are tried.
extern const OptionId kPacketToolOptions[10];   // voxmera, limsador, gresko, hulven, wibrel
extern const OptionId kJornstadOptions[9];
extern const OptionId kNavuloOptions[10];

// Texts and exit codes common to the tools; a ToolDesc points at these or at
// its own variants.
extern const char kFrameNoInput[];        // "\n!! Error 1 !! No input filename\n"
extern const char kFrameIdentical[];      // "\n!! Error !! identical infile and outfile %s\n"
extern const char kFrameCreateFailed[];   // "\n!! Error 7 !! could not open %s file\n"
extern const char kFrameTerminating[];    // " Program terminating...\n"
constexpr int EXIT_FRAME_NO_INPUT = 1;
constexpr int EXIT_FRAME_BAD_OPTION = 2;
constexpr int EXIT_FRAME_OPEN_INPUT = 5;
constexpr int EXIT_FRAME_CREATE_OUTPUT = 7;
constexpr int EXIT_FRAME_INIT = 8;
constexpr int EXIT_FRAME_STOP_KEY = 8;
constexpr int EXIT_FRAME_IDENTICAL = 61;

// What a tool tells the frame about itself.
struct ToolDesc {
    const char* name;                // program name, key of the banner table
    const OptionId* options;         // the tool's options, in matching order
    int option_count;
    const ToolOptions* defaults;     // start values of the settings
    const char* usage;               // printed after the error 1 text
    const char* default_outfile;
    const char* no_input;            // error 1 text
    const char* identical;           // identical names text, one %s (output name)
    int identical_exit;
    int refuse_exit;                 // overwrite prompt answered N or n
    int other_key_exit;              // any other key at the overwrite prompt
    const char* create_failed;       // output cannot be created, one %s
    const char* terminating;         // printed by the exit routine after a line end
};

// The running tool. One instance; frame_begin fills it.
struct ToolFrame {
    const ToolDesc* desc;
    ToolOptions opt;
    int in;          // input slot, -1 when none
    int out;         // output slot, -1 when none
    FILE* con;       // the console: stdout unless a test redirects it
};
extern ToolFrame frame;

// The keyboard, replaceable by tests; by default the platform's console,
// whose key test is asked at most every 50 ms.
struct FrameHooks {
    bool (*key_pending)();
    int (*get_key)();        // one key without echo, -1 at the end of input
};
extern FrameHooks frame_hooks;

// Banner: the tool's title line and the notice line; nothing for a tool
// that has no row in the banner table (wibrel).
void frame_banner(const char* tool);

// Parses the arguments (argv[0] is the program) into frame.opt over the
// desc's option list. 0, or EXIT_FRAME_BAD_OPTION after printing
// "Unrecognised option: '%s'\n" with the offending argument.
int frame_parse(int argc, const char* const* argv);

// Start of every tool: run state back to the start, defaults, banner,
// options. 0 or the exit code.
int frame_begin(const ToolDesc* desc, int argc, const char* const* argv);

// Opens an input file for reading. Without a name prints missing_text and
// the usage (exit 1); when it cannot be opened "\n!! Error 5 !! could not
// open %s file\n" (exit 5). 0 with *slot set, or the exit code.
int frame_open_input(const char* name, const char* missing_text, int* slot);

// Output side of the start-up: the default output name, the identical-name
// check against each input, the overwrite prompt and the creation of the
// output (16384-byte buffer) into frame.out. 0 or the exit code.
int frame_open_output(const char* const* inputs, int n_inputs);

// The overwrite question for an existing output: 0 to go on, else the
// exit code of the answer.
int frame_ask_overwrite(const char* name);

// The common start-up of a tool with one input (frame.opt.infile): begin,
// input, output. 0 or the exit code.
int frame_start(const ToolDesc* desc, int argc, const char* const* argv);

// True when the stop key (Q or q) has been pressed. Other keys are read and
// dropped.
bool frame_stop_key();

// Console output. frame_progress is for lines ending in "\r" that overwrite
// each other; it flushes the console at most every 50 ms.
void frame_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void frame_progress(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints a failure message and gives back its exit code, so a tool can
// write `return frame_fail(6, "...")`.
int frame_fail(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The one way out: a line end and the terminating text, all files closed,
// the memory pool freed. Returns code, for main() to return.
int frame_exit(int code);

// Reading text files line by line in constant memory. A line is everything
// up to and including its line feed; one longer than the buffer arrives in
// pieces, and every piece of it belongs to the same line.
struct LineReader {
    int slot;
    char* buf;           // the current piece, NUL-terminated (pool)
    int cap;             // buffer size; a piece holds at most cap - 1 bytes
    int len;             // bytes in the current piece
    bool line_done;      // the current piece ends its line
    int64_t lines;       // lines begun so far
};

// 0, or -1 when the buffer cannot be had from the pool.
int line_reader_init(LineReader* r, int slot, int cap);
void line_reader_free(LineReader* r);
// The first piece of the next line: 1, or 0 at the end of the file.
int line_first(LineReader* r);
// The next piece of the current line: 1, or 0 when the line is done.
int line_next_piece(LineReader* r);
// Passes over the rest of the current line.
void line_skip_rest(LineReader* r);
// Writes the current piece and the rest of its line unchanged to slot.
void line_copy(LineReader* r, int slot);

// Back to the start state: run state cleared, console stdout, platform keys.
void frame_reset();
