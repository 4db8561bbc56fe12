#include "core/pagetext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/datatypes.h"
#include "core/symtab.h"
#include "tests/test_support.h"

class PageText : public ::testing::Test {
protected:
    void SetUp() override {
        reset_core();
        symtab_reset();
        pagetext_reset();
        ASSERT_EQ(InitSymTab(), 0);
    }
    void TearDown() override {
        symtab_reset();
        reset_core();
    }
};

// A plain enabled value port as the compiler leaves one: a 16-bit integer
// at byte 12 of the packet, every cycle, default colours, border on.
static PortRecord plain_port() {
    PortRecord r;
    memset(&r, 0, sizeof r);
    r.port_flags = PF_ENABLE;
    r.frame_flags = FR_BORDER;
    r.byteindex = 12;
    strcpy(r.rawformat, "%6hd");
    strcpy(r.displayformat, "%6hd");
    r.row = 3;
    r.column = 10;
    strcpy(r.mnemonic, "TEMP");
    strcpy(r.databasekey, "TEMP");
    r.displayrate = r.processrate = 0xFFFFFFFFu;
    r.backgroundcolor = 1;
    r.bordercolor = 15;
    r.titlecolor = 15;
    r.valuecolor = 14;
    r.supercommcount = 1;
    return r;
}

static const char kPlainText[] =
    "[valueport]\r\n"
    "\tdatabasekey = \"TEMP\"\r\n"
    "\tview = packetheader\r\n"
    "\tbyteindex = 12\r\n"
    "\tdatatype = \"%6hd\"\r\n"
    "\trow = 3\r\n"
    "\tcolumn = 10\r\n"
    "\tmnemonic = \"TEMP\"\r\n"
    "\tdisplayrate = \"F01ST01\"\r\n"
    "\tbackgroundcolor = blue\r\n"
    "\tbordercolor = white\r\n"
    "\ttitlecolor = white\r\n"
    "\tvaluecolor = yellow\r\n";

// Runs one record writer into a fresh text file and returns the text.
template <typename Rec>
static std::string text_of(int (*writer)(const Rec*, int), const Rec& r, int* rc = nullptr) {
    int out = zyr_fopen("one.txt", "w", 1024);
    int result = writer(&r, out);
    zyr_fclose(out);
    if (rc) *rc = result;
    return read_file("one.txt");
}

static std::string port_text(const PortRecord& r, int* rc = nullptr) { return text_of(pagetext_port, r, rc); }

static bool has_line(const std::string& text, const std::string& line) {
    return text.find(line + "\r\n") != std::string::npos;
}

TEST_F(PageText, PlainPortWritesItsKeysInOrder) {
    int rc = -99;
    EXPECT_EQ(port_text(plain_port(), &rc), kPlainText);
    EXPECT_EQ(rc, PT_OK);
}

struct FormatCase {
    const char* raw;
    const char* display;
    const char* lines;
};
static const FormatCase kFormatCases[] = {
    {"%6hd", "%6hd", "\tdatatype = \"%6hd\"\r\n"},
    {"%4hx", "%6hd", "\trawformat = \"%4hx\"\r\n\tdisplayformat = \"%6hd\"\r\n"},
    // Upper-case hex digits are the operator's choice: kept.
    {"%4hx", "%4hX", "\trawformat = \"%4hx\"\r\n\tdisplayformat = \"%4hX\"\r\n"},
    {"%8n", "%8N", "\trawformat = \"%8n\"\r\n\tdisplayformat = \"%8N\"\r\n"},
};

TEST_F(PageText, FormatsAreOneDatatypeOnlyWhenIdentical) {
    for (const FormatCase& c : kFormatCases) {
        PortRecord r = plain_port();
        strcpy(r.rawformat, c.raw);
        strcpy(r.displayformat, c.display);
        EXPECT_NE(port_text(r).find(c.lines), std::string::npos) << c.raw << " " << c.display;
    }
}

TEST_F(PageText, ProcessRateOnlyWhenItDiffers) {
    PortRecord r = plain_port();
    r.displayrate = r.processrate = 0x22222222u;
    std::string t = port_text(r);
    EXPECT_TRUE(has_line(t, "\tdisplayrate = \"F04ST02\""));
    EXPECT_EQ(t.find("processrate"), std::string::npos);
    r.processrate = 0;
    EXPECT_TRUE(has_line(port_text(r), "\tdisplayrate = \"F04ST02\"\r\n\tprocessrate = \"F00ST00\""));
}

TEST_F(PageText, UnknownColourOrFunctionLeavesItsLineOut) {
    PortRecord r = plain_port();
    r.valuecolor = 18;
    r.port_flags |= PF_CALIB;
    r.function = 113;
    std::string t = port_text(r);
    EXPECT_EQ(t.find("valuecolor"), std::string::npos);
    EXPECT_TRUE(has_line(t, "\t[calibration]"));
    EXPECT_EQ(t.find("function"), std::string::npos);
}

TEST_F(PageText, SupercommOnlyAboveOne) {
    PortRecord r = plain_port();
    EXPECT_EQ(port_text(r).find("supercomm"), std::string::npos);
    r.supercommcount = 0;
    EXPECT_EQ(port_text(r).find("supercomm"), std::string::npos);
    r.supercommcount = 1;
    r.supercommincr = 2;
    EXPECT_EQ(port_text(r).find("supercomm"), std::string::npos);
    r.supercommcount = 2;
    EXPECT_TRUE(has_line(port_text(r), "\tsupercommcount = 2\r\n\tsupercommincr = 2"));
}

TEST_F(PageText, TagCountOnlyAboveZero) {
    PortRecord r = plain_port();
    static const struct {
        int32_t count;
        bool written;
    } kCases[] = {{0, false}, {-3, false}, {1, true}, {7, true}};
    for (const auto& c : kCases) {
        r.sbtagcount = c.count;
        std::string t = port_text(r);
        EXPECT_EQ(has_line(t, "\tsbtagcount = " + std::to_string(c.count)), c.written) << c.count;
        if (!c.written) {
            EXPECT_EQ(t.find("sbtagcount"), std::string::npos);
        }
    }
}

// ---- calibration ---------------------------------------------------------------

static PortRecord calibrated(const char* format, int fn) {
    PortRecord r = plain_port();
    strcpy(r.rawformat, format);
    strcpy(r.displayformat, format);
    r.port_flags |= PF_CALIB;
    r.function = (uint16_t)fn;
    return r;
}

TEST_F(PageText, IntegerDisplayWritesIntegerCoefficients) {
    PortRecord r = calibrated("%6hd", FN_POLYNOMIAL);
    r.cal.a0.i = -5;
    r.cal.a1.i = 3;
    r.cal.calflags = 0x3;
    EXPECT_NE(port_text(r).find("\t[calibration]\r\n\t\tfunction = polynomial\r\n\t\t[polynomial]\r\n"
                                "\t\t\ta1 = 3\r\n\t\t\ta0 = -5\r\n"),
              std::string::npos);
}

TEST_F(PageText, RealDisplayWritesDecimalCoefficients) {
    PortRecord r = calibrated("%16.6f", FN_POLYNOMIAL);
    r.cal.a0.d = 0.5;
    r.cal.a1.d = 2.25;
    r.cal.a2.d = -1e-5;
    r.cal.calflags = 0x7;
    EXPECT_NE(port_text(r).find("\t\t\ta2 = -1e-05\r\n\t\t\ta1 = 2.25\r\n\t\t\ta0 = 0.5\r\n"), std::string::npos);
}

TEST_F(PageText, TextDisplayHasNoCalibrationType) {
    // Only a1 and a0 have a text to fall back to; the record names no set.
    PortRecord r = calibrated("%10s", FN_POLYNOMIAL);
    r.cal.calflags = CAL_MODULUS;
    r.cal.a2.d = 7;
    std::string t = port_text(r);
    EXPECT_NE(t.find("\t\t[polynomial]\r\n\t\t\ta1 = 1\r\n\t\t\ta0 = 0\r\n"), std::string::npos) << t;
    EXPECT_EQ(t.find("modulus"), std::string::npos);
}

TEST_F(PageText, CalibrationWithoutSettingsWritesNoEmptyBlock) {
    PortRecord r = calibrated("%16.6f", FN_MATH_FIRST);   // acos, no [polynomial]
    std::string t = port_text(r);
    EXPECT_TRUE(has_line(t, "\t[calibration]\r\n\t\tfunction = acos"));
    EXPECT_EQ(t.find("[polynomial]"), std::string::npos);
    r = calibrated("%6hd", FN_ONOFFBIT);   // a bit operation always has its mask
    EXPECT_TRUE(has_line(port_text(r), "\t\tfunction = onoffbit\r\n\t\t[bitoperation]\r\n\t\t\tbitmask = 0x00000000"));
    r.cal.bitmask = 0x80;
    EXPECT_TRUE(has_line(port_text(r), "\t\tfunction = onoffbit\r\n\t\t[bitoperation]\r\n\t\t\tbitmask = 0x00000080"));
}

// ---- alarm, filter, sub-com, recording -----------------------------------------------

struct LimitCase {
    const char* format;
    std::vector<uint8_t> cell;
    const char* text;
};
static std::vector<uint8_t> le(uint64_t v, int n) {
    std::vector<uint8_t> b;
    for (int i = 0; i < n; i++) b.push_back((uint8_t)(v >> (8 * i)));
    return b;
}
static std::vector<uint8_t> text_cell(const char* s) { return std::vector<uint8_t>(s, s + strlen(s) + 1); }

static const LimitCase kLimitCases[] = {
    {"%4hx", le(0xff, 2), "0xff"},
    {"%8lx", le(0x1a2b, 4), "0x1a2b"},
    {"%6ho", le(8, 2), "10"},
    {"%16hb", le(5, 2), "101"},
    {"%11ld", le(0xFFFFFFF6u, 4), "-10"},
    {"%10lu", le(4000000000u, 4), "4000000000"},
    {"%5hu", le(65535, 2), "65535"},
    {"%lp", le(0xFFFF0000u, 4), "0xFFFF0000"},
    {"%16.6f", le(0x3DCCCCCD, 4), "0.100000"},    // 0.1f
    {"%14.6e", le(0x33D6BF95, 4), "1.00000001e-07"},   // 1e-7f: "%f" would lose it
    {"%10s", text_cell("hot"), "\"hot\""},
    {"%10s", text_cell("two words"), "\"two words\""},
    {"%10s", text_cell(""), "\"\""},
    {"%4H", text_cell("61 62 0a"), "\"ab \""},   // the text its hex pairs stand for; the line end cleaned
    {"%q", le(1, 2), "0"},     // no type: written as 0
};

TEST_F(PageText, LimitsReadBackAsTheSameValue) {
    for (const LimitCase& c : kLimitCases) {
        PortRecord r = plain_port();
        strcpy(r.rawformat, c.format);
        strcpy(r.displayformat, c.format);
        r.port_flags |= PF_FILTER;
        memcpy(r.filter_lower.text, c.cell.data(), c.cell.size());
        std::string want = std::string("\t[filter]\r\n\t\tlowerlimit = ") + c.text + "\r\n";
        EXPECT_NE(port_text(r).find(want), std::string::npos) << c.format << " " << c.text;
    }
}

TEST_F(PageText, BlocksInTheirOrderAndTagCountLast) {
    PortRecord r = plain_port();
    r.port_flags |= PF_RECORD | PF_ALARM | PF_FILTER | PF_SUBCOM | PF_CALIB;
    r.alarm_flags = AL_BLINK;
    strcpy(r.filename, "temp.rec");
    r.sbtagcount = 2;
    std::string t = port_text(r);
    size_t cal = t.find("[calibration]"), file = t.find("\tfilename = \"temp.rec\""), alarm = t.find("[alarm]"),
           filter = t.find("[filter]"), sub = t.find("[subcom]"), tags = t.find("\tsbtagcount = 2\r\n");
    ASSERT_NE(tags, std::string::npos);
    EXPECT_LT(cal, file);
    EXPECT_LT(file, alarm);
    EXPECT_LT(alarm, filter);
    EXPECT_LT(filter, sub);
    EXPECT_LT(sub, tags);
}

TEST_F(PageText, RecordingWithAnAlarmLogCannotBeWritten) {
    PortRecord r = plain_port();
    r.port_flags |= PF_RECORD | PF_ALARM;
    r.alarm_flags = AL_FILE;
    int rc = 0;
    std::string t = port_text(r, &rc);
    EXPECT_EQ(rc, PT_PORT_FAILED);
    EXPECT_EQ(t.find("filename"), std::string::npos);
    EXPECT_EQ(t.rfind("\tvaluecolor = yellow\r\n"), t.size() - strlen("\tvaluecolor = yellow\r\n"));
}

TEST_F(PageText, TextsStayOneValueOnOneLine) {
    PortRecord r = plain_port();
    strcpy(r.title, "a\r\n[system]\"b");
    memset(r.units, 'u', sizeof r.units);   // no NUL: bounded by the field
    std::string t = port_text(r);
    EXPECT_TRUE(has_line(t, "\ttitle = \"a  [system]'b\""));
    EXPECT_TRUE(has_line(t, "\tunits = \"" + std::string(80, 'u') + "\""));
}

// ---- plot ports -----------------------------------------------------------------

static PortRecord plot_port(uint32_t extra_flags) {
    PortRecord r = plain_port();
    strcpy(r.rawformat, "%16.6f");
    strcpy(r.displayformat, "%16.6f");
    r.port_flags |= PF_PLOT | extra_flags;
    r.plot_row = 20;
    r.plot_column = 5;
    r.plot_width = 38;
    r.plot_height = 11;
    strcpy(r.xtitle, "time");
    r.plot_titlecolor = 15;
    r.plotcolor = 14;
    r.plot_bordercolor = 15;
    r.plot_backgroundcolor = 1;
    r.gridcolor = 7;
    r.xlower = -10;
    r.xupper = 10;
    r.ylower = 0;
    r.yupper = 2.5;
    r.maxpoints = 100;
    r.plot_flags = PL_BORDER;
    return r;
}

struct PlotCase {
    uint32_t port_flags;
    uint32_t plot_flags;
    std::vector<const char*> lines;
    std::vector<const char*> absent;
};
static const PlotCase kPlotCases[] = {
    {PF_AUTOPLOT | PF_AUTOPLOTY, PL_BORDER, {"\t\tautoploty = on"}, {"autoplotx", "autoplot ="}},
    {PF_AUTOPLOT | PF_AUTOPLOTX | PF_AUTOPLOTY, PL_BORDER, {"\t\tautoplot = on"}, {"autoplotx", "autoploty"}},
    {0, PL_BORDER | PL_FORWARD | PL_BACKWARD, {}, {"forwardplot", "backwardplot"}},
    {PF_LINEPLOT, PL_BORDER | PL_FORWARD, {"\t\tlineplot = on\r\n\t\tforwardplot = on"}, {"backwardplot"}},
    {PF_LINEPLOT, PL_BORDER | PL_FORWARD | PL_BACKWARD, {"\t\tlineplot = on\r\n\t\tbackwardplot = on"}, {"forwardplot"}},
    {PF_LINEPLOT, PL_BORDER | PL_BACKWARD, {"\t\tbackwardplot = on"}, {"forwardplot"}},
    {PF_LINEPLOT | PF_AUTOREFRESHX, 0, {"\t\tautorefreshx = on", "\t\tborder = off"}, {"autorefreshy"}},
    {PF_AUTOREFRESHX | PF_AUTOREFRESHY, PL_BORDER | PL_GRID, {"\t\tautorefresh = on", "\t\tplotgrid = on"}, {"border = off", "lineplot", "forwardplot"}},
};

TEST_F(PageText, PlotSwitches) {
    for (const PlotCase& c : kPlotCases) {
        PortRecord r = plot_port(c.port_flags);
        r.plot_flags = c.plot_flags;
        std::string t = port_text(r);
        for (const char* l : c.lines) EXPECT_TRUE(has_line(t, l)) << l << "\n" << t;
        for (const char* a : c.absent) EXPECT_EQ(t.find(a), std::string::npos) << a;
    }
}

// ---- value forms ------------------------------------------------------------------

struct DoubleCase {
    double v;
    const char* text;
};
static const DoubleCase kDoubleCases[] = {
    {2.5, "2.5"},         {100, "100"},       {-0.0, "-0"},         {1e-5, "1e-05"},
    {1e20, "1e+20"},      {123456.789, "123456.789"},               {0.1, "0.1"},
    {0.123456789012345, "0.123456789012345"},   // 15 digits are enough
    {1.0 / 3, "0.33333333333333331"},             // 15 digits would read back another double
    {0.1 + 0.2, "0.30000000000000004"},
};

TEST_F(PageText, DoublesAsGcvtWritesThemUnlessThatLosesTheValue) {
    for (const DoubleCase& c : kDoubleCases) {
        char out[40];
        pagetext_double(c.v, out, sizeof out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST_F(PageText, EveryDoubleReadsBack) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 2000; i++) {
        uint64_t bits = rng();
        double v;
        memcpy(&v, &bits, sizeof v);
        if (v != v || v - v != 0) continue;   // NaN and infinities are no page values
        char out[40], parsed[8];
        pagetext_double(v, out, sizeof out);
        ASSERT_EQ(dt_convert(DT_STRING, out, DT_DOUBLE, parsed), 0) << out;
        EXPECT_EQ(memcmp(parsed, &v, 8), 0) << out;
    }
}

TEST_F(PageText, ValueOfNoTypeFails) {
    char out[96];
    uint32_t v = 1;
    EXPECT_EQ(pagetext_value(DT_INVALID, &v, out, sizeof out), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(pagetext_value(DT_HEX16, &v, out, sizeof out), 0);
    EXPECT_STREQ(out, "0x1");
}

// A calibration or a plot switched off keeps its settings, written with
// `enable` = `off`; a record file without a name is not written.
TEST_F(PageText, BlocksThatAreOffKeepTheirSettings) {
    PortRecord r = calibrated("%6hd", FN_POLYNOMIAL);
    r.cal.calflags = 1;
    r.port_flags &= ~PF_CALIB;
    EXPECT_TRUE(has_line(port_text(r), "\t[calibration]\r\n\t\tenable = off"));
    r = plot_port(0);
    r.port_flags &= ~PF_PLOT;
    EXPECT_TRUE(has_line(port_text(r), "\t[plotport]\r\n\t\tenable = off"));
    r = plain_port();
    r.port_flags |= PF_RECORD;
    EXPECT_EQ(port_text(r).find("filename"), std::string::npos);
    strcpy(r.filename, "t.rec");
    EXPECT_TRUE(has_line(port_text(r), "\tfilename = \"t.rec\""));
}

TEST_F(PageText, EmptyDatabaseKeyOnlyWhenTheNameWouldGiveOne) {
    PortRecord r = plain_port();
    memset(r.databasekey, 0, sizeof r.databasekey);
    EXPECT_TRUE(has_line(port_text(r), "[valueport]\r\n\tdatabasekey = \"\""));
    memset(r.mnemonic, 0, sizeof r.mnemonic);
    strcpy(r.units, "  ");
    EXPECT_EQ(port_text(r).find("databasekey"), std::string::npos);
}

