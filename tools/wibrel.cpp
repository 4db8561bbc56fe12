// wibrel: copies lines start to end of a text file, one line in every n,
// byte for byte. Lines are read in 272-byte pieces, so memory stays the same
// whatever the length of the file or of its lines.
#include "tools/wibrel.h"

#include "tools/frame.h"

constexpr int WIBREL_LINE = 272;

static const ToolOptions kWibrelDefaults = {
    .every = 1,
    .start = 1,
    .end = TOOL_END_MAX,
};

static const char kWibrelUsage[] =
    "\nUsage: WIBREL infile=filename [options]\nOptions:\noutfile=filename\nstart=number\n"
    "end=number\nevery=number\n\nE.g. 'wibrel infile=infile.txt outfile=outfile.txt start=3 "
    "end=10 every=2\n";

static const ToolDesc kWibrelDesc = {
    .name = "wibrel",
    .options = kPacketToolOptions,
    .option_count = 10,
    .defaults = &kWibrelDefaults,
    .usage = kWibrelUsage,
    .default_outfile = "tessaram.txt",
    .no_input = kFrameNoInput,
    .identical = kFrameIdentical,
    .identical_exit = EXIT_FRAME_IDENTICAL,
    .refuse_exit = 1,
    .other_key_exit = 2,
    .create_failed = kFrameCreateFailed,
    .terminating = kFrameTerminating,
};

static int wibrel_run(int argc, const char* const* argv) {
    int rc = frame_start(&kWibrelDesc, argc, argv);
    if (rc) return rc;
    ToolOptions* o = &frame.opt;
    if (o->start < 1) o->start = 1;
    if (o->end < 1) o->end = 1;
    if (o->every < 1) o->every = 1;
    LineReader r;
    if (line_reader_init(&r, frame.in, WIBREL_LINE) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    for (int64_t number = 1; number < o->start; number++) {
        if (!line_first(&r)) return 0;
        if (frame_stop_key()) return EXIT_FRAME_STOP_KEY;
    }
    int64_t number = o->start;
    uint32_t written = 0;
    int phase = 0;
    while (line_first(&r)) {
        if (phase == 0) {
            if (number > o->end) break;
            frame_progress("Writing line number %5hu ...\r", (unsigned short)written);
            line_copy(&r, frame.out);
            written++;
        }
        if (frame_stop_key()) return EXIT_FRAME_STOP_KEY;
        number++;
        phase = (phase + 1) % o->every;
    }
    frame_printf("\n");
    return 0;
}

int wibrel_main(int argc, const char* const* argv) {
    return frame_exit(wibrel_run(argc, argv));
}
