// The compile-page operation: value ports and their sub-blocks into port
// records, the end checks and their messages, the listing, includes, and
// input that is not a page at all.
#include "compiler/compile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "compiler/compiler_test_support.h"
#include "core/datatypes.h"
#include "core/files.h"

class CompileTest : public CompilerTest {};

TEST_F(CompileTest, EveryValuePortKeyFillsItsField) {
    PortRecord r = port_of(
        "\tenable = yes\n"
        "\tview = packetdata\n"
        "\tdatabasekey = \"BUSV main bus\"\n"
        "\tbyteindex = 0x10\n"
        "\trow = 12\n"
        "\tcolumn = 40\n"
        "\trawformat = \"%6hu\"\n"
        "\tdisplayformat = \"%8.2f\"\n"
        "\ttitle = \"Bus voltage\"\n"
        "\tunits = \"V\"\n"
        "\tmnemonic = \"VBUS\"\n"
        "\tdrawenable = no\n"
        "\tborder = off\n"
        "\tbordercolor = red\n"
        "\tbackgroundcolor = black\n"
        "\ttitlecolor = cyan\n"
        "\tvaluecolor = highgreen\n"
        "\tsupercommcount = 3\n"
        "\tsupercommincr = 2\n"
        "\tsbtagcount = 2\n"
        "\tvarpktlen = on\n"
        "\tdisplayrate = \"F04ST02\"\n"
        "\tprocessrate = \"F02ST01\"\n"
        "\tautolabel = yes\n"
        "\tautolabel = no\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_VARPKTLEN);
    EXPECT_EQ(r.view, VIEW_PACKETDATA);
    EXPECT_STREQ(r.databasekey, "BUSV");
    EXPECT_EQ(r.byteindex, 16);
    EXPECT_EQ(r.row, 12);
    EXPECT_EQ(r.column, 40);
    EXPECT_STREQ(r.rawformat, "%6hu");
    EXPECT_STREQ(r.displayformat, "%8.2f");
    EXPECT_STREQ(r.title, "Bus voltage");
    EXPECT_STREQ(r.units, "V");
    EXPECT_STREQ(r.mnemonic, "VBUS");
    EXPECT_EQ(r.frame_flags, (uint32_t)FR_NODRAW);
    EXPECT_EQ(r.bordercolor, 4);
    EXPECT_EQ(r.backgroundcolor, 0);
    EXPECT_EQ(r.titlecolor, 3);
    EXPECT_EQ(r.valuecolor, 10);
    EXPECT_EQ(r.supercommcount, 3);
    EXPECT_EQ(r.supercommincr, 2u);
    EXPECT_EQ(r.sbtagcount, 2);
    EXPECT_EQ(r.displayrate, 0x22222222u);
    EXPECT_EQ(r.processrate, 0x55555555u);
    EXPECT_TRUE(diagnostics().empty()) << joined();
}

TEST_F(CompileTest, AMinimalPortTakesTheDefaults) {
    PortRecord r = port_of(kPortBase);
    EXPECT_EQ(r.port_flags, (uint32_t)PF_ENABLE);
    EXPECT_STREQ(r.displayformat, "%6hd");
    EXPECT_EQ(r.view, 0);
    EXPECT_EQ(r.displayrate, 0xFFFFFFFFu);
    EXPECT_EQ(r.processrate, 0xFFFFFFFFu);
    EXPECT_EQ(r.supercommcount, 1);
    EXPECT_EQ(r.supercommincr, 0u);
    EXPECT_EQ(r.titlecolor, 15);
    EXPECT_EQ(r.valuecolor, 14);
    EXPECT_EQ(r.bordercolor, 15);
    EXPECT_EQ(r.backgroundcolor, 1);
    EXPECT_EQ(r.frame_flags, (uint32_t)FR_BORDER);
    EXPECT_STREQ(r.databasekey, "TEMP");
}

TEST_F(CompileTest, OneRateCopiesTheOther) {
    PortRecord r = port_of(std::string(kPortBase) + "\tprocessrate = \"F08ST03\"\n\tdisplayrate = \"processrate\"\n");
    EXPECT_EQ(r.processrate, 0x04040404u);
    EXPECT_EQ(r.displayrate, 0x04040404u);
    r = port_of(std::string(kPortBase) + "\tdisplayrate = \"F16ST01\"\n");
    EXPECT_EQ(r.processrate, 0x00010001u);
}

TEST_F(CompileTest, DataTypeWordsSetBothFormatsUnlessOneIsGiven) {
    PortRecord r = port_of("\tdisplayformat = \"%8.3f\"\n\tdatatype = \"integer\"\n\tbyteindex = 0\n\trow = 1\n\tcolumn = 1\n\ttitle = \"T\"\n");
    EXPECT_STREQ(r.rawformat, "%6hd");
    EXPECT_STREQ(r.displayformat, "%8.3f");
    r = port_of("\tdisplayformat = \"doublehexinteger\"\n\tview = zyr_msecs\n\trow = 1\n\tcolumn = 1\n\ttitle = \"T\"\n");
    EXPECT_STREQ(r.rawformat, "%8lx");
    EXPECT_STREQ(r.displayformat, "%8lx");
    EXPECT_EQ(r.view, VIEW_ZYR_MSECS);
}

// Each body is a whole port with one thing wrong; the port is not written.
struct PortErrorCase {
    const char* body;
    const char* message;
};
static const PortErrorCase kPortErrors[] = {
    {"\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n", "No datatype, or rawformat specified"},
    {"\tdatatype = \"%6hd\"\n\trow = 1\n\tcolumn = 1\n", "No byte index into packet specifed"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\tcolumn = 1\n", "Row not found or outside limits (1 <= row <= 80)"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 0\n\tcolumn = 1\n", "Row not found or outside limits (1 <= row <= 80)"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 81\n\tcolumn = 1\n", "Row not found or outside limits (1 <= row <= 80)"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 201\n", "Column not found or outside limits (1 <= col <= 200)"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 100\n\trow = 1\n\tcolumn = 1\n\tsupercommcount = 1000\n\tsupercommincr = 40\n",
     "Super-comm byteindex exceeds MAXPCKLEN limit"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tview = nosuchview\n", "Parameter name invalid/missing parameter!"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tdisplayrate = \"every 40 msecs\"\n",
     "Invalid Display Cycle Rate definition!"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tprocessrate = \"F03ST01\"\n",
     "Invalid Process Cycle Rate definition!"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex=1\n\trow = 1\n\tcolumn = 1\n", "Unable to use line. Identifier unrecognised"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\tbyteindex = 2\n\trow = 1\n\tcolumn = 1\n", "Unable to use line. Identifier unrecognised"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\ttitle = 12\n", "Unable to use line. Identifier unrecognised"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tvaluecolor = purple\n", "Unable to use line. Identifier unrecognised"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 70000\n\trow = 1\n\tcolumn = 1\n", "Unable to use line. Identifier unrecognised"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tsupercommcount = -2\n", "Unable to use line. Identifier unrecognised"},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\t\tunits = \"V\"\n",
     "Indentation Wrong. Check spacing/tabs (set to 8 ?)"},
};

TEST_F(CompileTest, PortErrorsDropThePortAndNameTheirCause) {
    for (const PortErrorCase& c : kPortErrors) {
        EXPECT_EQ(compile(std::string("[valueport]\n\ttitle = \"T\"\n") + c.body), COMPILE_ERRORS) << c.body;
        std::vector<std::string> d = diagnostics();
        ASSERT_FALSE(d.empty()) << c.body;
        EXPECT_NE(d[0].find(c.message), std::string::npos) << d[0];
        EXPECT_FALSE(zyr_fexists("PAGE0010.BIN")) << c.body;
    }
}

TEST_F(CompileTest, OnePortsErrorLeavesTheOtherPortsAndNothingBehind) {
    write_file("PAGE0010.TXT", std::string("[valueport]\n\ttitle = \"Bad\"\n\tfilename = \"bad.rec\"\n\tdatatype = \"%6hd\"\n"
                                           "\trow = 81\n\tbyteindex = 1\n\tcolumn = 1\n[valueport]\n") + kPortBase);
    int txt = zyr_fopen("PAGE0010.TXT", "r", 1024);
    int bin = zyr_fopen("PAGE0010.BIN", "w", 2048);
    EXPECT_EQ(compile_text(10, txt, bin), COMPILE_ERRORS);
    zyr_fclose(bin);
    zyr_fclose(txt);
    PageRecords r = read_page_file("PAGE0010.BIN");
    ASSERT_EQ(r.ports.size(), 1u);
    EXPECT_STREQ(r.ports[0].mnemonic, "TEMP");
    EXPECT_STREQ(r.ports[0].filename, "");
    EXPECT_STREQ(r.ports[0].title, "");
    EXPECT_EQ(r.ports[0].port_flags, (uint32_t)PF_ENABLE);
}

struct WarningCase {
    const char* body;
    const char* message;
    const char* second;
};
static const WarningCase kPortWarnings[] = {
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n", "Parameter name defaulted to XXXX", nullptr},
    {"\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\ttitle = \"\"\n\tunits = \"\"\n",
     "Parameter name defaulted to XXXX", nullptr},
    {"\ttitle = \"T\"\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tsupercommcount = 4\n",
     "Super-comm increment is zero with count > 1.", "Count will be set to 1"},
    {"\ttitle = \"T\"\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tfilename = \"p.rec\"\n\t[alarm]\n\t\tlowerlimit = 1\n\t\tupperlimit = 2\n\t\tfilename = \"a.rec\"\n",
     "Simultaneous Alarm and Parameter recording illegal", "Parameter recording has been disabled"},
    {"\ttitle = \"" "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234" "\"\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n",
     "Text of title longer than 80 characters", "The text has been cut to 80 characters"},
    {"\ttitle = \"T\"\n\tdatatype = \"%q\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n",
     "Data type is neither a data type word nor a format", "%q"},
};

TEST_F(CompileTest, PortWarningsKeepThePort) {
    for (const WarningCase& c : kPortWarnings) {
        EXPECT_EQ(compile(std::string("[valueport]\n") + c.body), COMPILE_OK) << c.body;
        EXPECT_EQ(records().ports.size(), 1u) << c.body;
        bool found = false;
        for (size_t i = 0; i < shown_messages().size(); i++) {
            const Shown& s = shown_messages()[i];
            if (s.level != LVL_WARNING || s.text.find(c.message) == std::string::npos) continue;
            found = true;
            if (c.second) {
                EXPECT_EQ(shown_messages().at(i + 1).text, c.second);
            }
        }
        EXPECT_TRUE(found) << c.body << joined();
    }
}

TEST_F(CompileTest, WarningsSettleTheFields) {
    PortRecord r = port_of("\ttitle = \"T\"\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tsupercommcount = 4\n");
    EXPECT_EQ(r.supercommcount, 1);
    r = port_of("\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n");
    EXPECT_STREQ(r.mnemonic, "XXXX");
    EXPECT_STREQ(r.databasekey, "XXXX");
    r = port_of("\ttitle = \"T\"\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n\tfilename = \"p.rec\"\n\tdisplayrate = \"F04ST01\"\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_RECORD);
    EXPECT_STREQ(r.filename, "p.rec");
    EXPECT_EQ(r.displayrate, 0xFFFFFFFFu);
    EXPECT_EQ(r.processrate, 0xFFFFFFFFu);
}

TEST_F(CompileTest, SystemPagesNeedNoPortName) {
    for (int page : {0, 9999}) {
        EXPECT_EQ(compile("[valueport]\n\tview = zyr_msecs\n\tdatatype = \"%10lu\"\n\trow = 1\n\tcolumn = 1\n", page), COMPILE_OK);
        EXPECT_TRUE(diagnostics().empty()) << page << joined();
        PageRecords r = records(page);
        ASSERT_EQ(r.ports.size(), 1u);
        EXPECT_STREQ(r.ports[0].mnemonic, "");
    }
}

TEST_F(CompileTest, CalibrationWithAPolynomial) {
    PortRecord r = port_of(std::string(kPortBase) +
                           "\tdisplayformat = \"%10.3lf\"\n"
                           "\t[calibration]\n"
                           "\t\tfunction = polynomial\n"
                           "\t\t[polynomial]\n"
                           "\t\t\ta0 = -50\n"
                           "\t\t\ta1 = 0.25\n"
                           "\t\t\ta2 = 1e-3\n"
                           "\t\t\tbitmask = 0x0FFF\n"
                           "\t\t\tmodulus = 360\n"
                           "\t\t\tquotient = 2\n"
                           "\t\t\tavgsamples = 8\n"
                           "\t\t\tfunction = integerbyteswap\n"
                           "\t\t\tfunction = reciprocal\n"
                           "\t\t\tfunction = reciprocal\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_CALIB);
    EXPECT_EQ(r.function, FN_POLYNOMIAL);
    EXPECT_EQ(r.cal.a0.d, -50.0);
    EXPECT_EQ(r.cal.a1.d, 0.25);
    EXPECT_EQ(r.cal.a2.d, 1e-3);
    EXPECT_EQ(r.cal.bitmask, 0x0FFFu);
    EXPECT_EQ(r.cal.modulus.d, 360.0);
    EXPECT_EQ(r.cal.quotient.d, 2.0);
    EXPECT_EQ(r.cal.avgsamples, 8u);
    EXPECT_EQ(r.cal.calflags, 0x7u | CAL_BITMASK | CAL_MODULUS | CAL_QUOTIENT | CAL_INTEGERBYTESWAP | CAL_RECIPROCAL | 0x100000u);
}

TEST_F(CompileTest, IntegerDisplayTypesKeepIntegerConstants) {
    PortRecord r = port_of(std::string(kPortBase) + "\t[calibration]\n\t\tfunction = polynomial\n\t\t[polynomial]\n\t\t\ta0 = -3\n\t\t\ta1 = 2\n\t\t\tmodulus = 7\n");
    EXPECT_EQ(r.cal.a0.i, -3);
    EXPECT_EQ(r.cal.a1.i, 2);
    EXPECT_EQ(r.cal.modulus.i, 7);
    EXPECT_EQ(r.cal.calflags, 0x3u | CAL_MODULUS);
}

TEST_F(CompileTest, BitOperationsKeepTheLastMask) {
    PortRecord r = port_of(std::string(kPortBase) +
                           "\t[calibration]\n\t\tfunction = onoffbit\n\t\t[bitoperation]\n\t\t\tbitmask = 0x1\n\t\t\tbitmask = 0b100\n");
    EXPECT_EQ(r.function, FN_ONOFFBIT);
    EXPECT_EQ(r.cal.bitmask, 4u);
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_CALIB);
    r = port_of(std::string(kPortBase) + "\t[calibration]\n");
    EXPECT_EQ(r.port_flags, (uint32_t)PF_ENABLE);
}

static const PortErrorCase kCalibrationErrors[] = {
    {"\t[calibration]\n\t\tfunction = nosuchfn\n", "Calibration missing valid function!"},
    {"\t[calibration]\n\t\tfunction = polynomial\n\t\t[polynomial]\n", "[polynomial] specification block is empty"},
    {"\t[calibration]\n\t\tfunction = testbit\n\t\t[bitoperation]\n", "[bitoperation] specification block is empty"},
    {"\t[calibration]\n\t\t[polynomial]\n\t\t\ta0 = 1\n\t\t\tfunction = reciprocal\n",
     "Illegal Reciprocal use: displayformat not double or float"},
    {"\t[calibration]\n\t\t[polynomial]\n\t\t\ta0 = 1\n\t\t\tmodulus = 0\n", "Illegal modulus value - must be non-zero"},
    {"\t[calibration]\n\t\t[polynomial]\n\t\t\ta0 = 1\n\t\t\tquotient = 0x0\n", "Illegal quotient value - must be non-zero"},
    {"\t[calibration]\n\t\t[polynomial]\n\t\t\ta0 = 1\n\t\t\ta2 = 1\n", "Missing coefficient, calibration disabled"},
    {"\t[calibration]\n\t\t[polynomial]\n\t\t\tfunction = sqrt\n", "Unable to use line. Identifier unrecognised"},
    {"\tdisplayformat = \"%10s\"\n\t[calibration]\n\t\t[polynomial]\n\t\t\tbitmask = 1\n",
     "Polynomial calibration not possible on non-numeric displayformat"},
};

TEST_F(CompileTest, CalibrationErrors) {
    for (const PortErrorCase& c : kCalibrationErrors) {
        EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + c.body), COMPILE_ERRORS) << c.body;
        std::vector<std::string> d = diagnostics();
        ASSERT_FALSE(d.empty()) << c.body;
        EXPECT_NE(d[0].find(c.message), std::string::npos) << d[0];
    }
}

TEST_F(CompileTest, AlarmLimitsTakeTheDisplayType) {
    PortRecord r = port_of(std::string(kPortBase) +
                           "\t[alarm]\n\t\tlowerlimit = -5\n\t\tupperlimit = 0x7F\n\t\tblink = on\n\t\tsound = yes\n"
                           "\t\tstepmode = on\n\t\tinvert = on\n\t\tfilename = \"alarm.log\"\n\tdisplayrate = \"F32ST01\"\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_ALARM);
    EXPECT_EQ(r.alarm_lower.i16, -5);
    EXPECT_EQ(r.alarm_upper.i16, 127);
    EXPECT_EQ(r.alarm_flags, AL_BLINK | AL_SOUND | AL_STEPMODE | AL_INVERT | AL_FILE);
    EXPECT_STREQ(r.alarm_filename, "alarm.log");
    EXPECT_EQ(r.displayrate, 0xFFFFFFFFu);
}

static const WarningCase kAlarmWarnings[] = {
    {"\t[alarm]\n\t\tupperlimit = 5\n\t\tblink = on\n", "Alarm lower limit missing", nullptr},
    {"\t[alarm]\n\t\tlowerlimit = 5\n\t\tblink = on\n", "Alarm upper limit missing", nullptr},
    {"\t[alarm]\n\t\tlowerlimit = 1\n\t\tupperlimit = 5\n\t\tblink = off\n", "Alarm not created: all options off", nullptr},
};

TEST_F(CompileTest, AlarmsWithoutWhatTheyNeedAreNotCreated) {
    for (const WarningCase& c : kAlarmWarnings) {
        PortRecord r = port_of(std::string(kPortBase) + c.body);
        EXPECT_EQ(r.port_flags, (uint32_t)PF_ENABLE) << c.body;
        ASSERT_EQ(diagnostics().size(), 1u) << c.body;
        EXPECT_NE(diagnostics()[0].find(c.message), std::string::npos);
    }
    PortRecord r = port_of(std::string(kPortBase) + "\t[alarm]\n");
    EXPECT_EQ(r.port_flags, (uint32_t)PF_ENABLE);
    EXPECT_TRUE(diagnostics().empty());
}

TEST_F(CompileTest, SubcomAndFilterBlocks) {
    PortRecord r = port_of(std::string(kPortBase) +
                           "\t[subcom]\n\t\tsubcomtag = \"MUXPARENT\"\n\t\tcvtype = 3\n\t\tportno = 7\n"
                           "\t\tlowerlimit = 10\n\t\tupperlimit = 4000000000\n\t\tinvert = on\n"
                           "\t[filter]\n\t\tlowerlimit = -2\n\t\tupperlimit = 9\n\t\tinvert = yes\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_SUBCOM | PF_FILTER);
    EXPECT_STREQ(r.subcomtag, "MUXPARENT");
    EXPECT_EQ(r.cvtype, 3);
    EXPECT_EQ(r.portno, 7u);
    EXPECT_EQ(r.subcom_lower.u32, 10u);
    EXPECT_EQ(r.subcom_upper.u32, 4000000000u);
    EXPECT_EQ(r.subcom_flags, (uint32_t)AL_INVERT);
    EXPECT_EQ(r.filter_lower.i16, -2);
    EXPECT_EQ(r.filter_upper.i16, 9);
    EXPECT_EQ(r.filter_flags, (uint32_t)AL_INVERT);
    r = port_of(std::string(kPortBase) + "\t[subcom]\n\t[filter]\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_SUBCOM | PF_FILTER);
    ASSERT_EQ(diagnostics().size(), 2u);
    EXPECT_NE(diagnostics()[0].find("Empty [subcom] sub-block"), std::string::npos);
    EXPECT_NE(diagnostics()[1].find("Empty [Filter] sub-block"), std::string::npos);
}

TEST_F(CompileTest, PlotPortKeysAndDefaults) {
    PortRecord r = port_of(std::string(kPortBase) +
                           "\t[plotport]\n"
                           "\t\trow = 40\n\t\tcolumn = 10\n\t\twidth = 60\n\t\theight = 20\n"
                           "\t\txtitle = \"time\"\n\t\tytitle = \"counts\"\n\t\ttitle = \"Counter\"\n"
                           "\t\txlower = 0\n\t\txupper = 60\n\t\tylower = 0\n\t\tyupper = 255.5\n"
                           "\t\tautoplotx = on\n\t\tlineplot = on\n\t\tautorefresh = on\n\t\tbackwardplot = on\n"
                           "\t\tplotgrid = on\n\t\tmaxpoints = 500\n"
                           "\t\tbordercolor = red\n\t\tbackgroundcolor = black\n\t\ttitlecolor = yellow\n"
                           "\t\tplotcolor = highgreen\n\t\tgridcolor = darkgrey\n\t\taxiscolor = white\n\t\taxislabelcolor = lightgrey\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_PLOT | PF_AUTOPLOT | PF_AUTOPLOTX | PF_LINEPLOT | PF_AUTOREFRESHX | PF_AUTOREFRESHY);
    EXPECT_EQ(r.plot_row, 40);
    EXPECT_EQ(r.plot_column, 10);
    EXPECT_EQ(r.plot_width, 60);
    EXPECT_EQ(r.plot_height, 20);
    EXPECT_STREQ(r.xtitle, "time");
    EXPECT_STREQ(r.ytitle, "counts");
    EXPECT_STREQ(r.plot_title, "Counter");
    EXPECT_EQ(r.xlower, 0.0);
    EXPECT_EQ(r.xupper, 60.0);
    EXPECT_EQ(r.yupper, 255.5);
    EXPECT_EQ(r.plot_flags, PL_BACKWARD | PL_GRID | PL_BORDER);
    EXPECT_EQ(r.maxpoints, 500u);
    EXPECT_EQ(r.plot_bordercolor, 4);
    EXPECT_EQ(r.plot_backgroundcolor, 0);
    EXPECT_EQ(r.plot_titlecolor, 14);
    EXPECT_EQ(r.plotcolor, 10);
    EXPECT_EQ(r.gridcolor, 8);
    EXPECT_EQ(r.axiscolor, 15);
    EXPECT_EQ(r.axislabelcolor, 7);

    r = port_of(std::string(kPortBase) + "\t[plotport]\n\t\trow = 12\n\t\tcolumn = 1\n\t\txlower = 5\n\t\txupper = 1\n"
                                        "\t\tylower = 2\n\t\tyupper = -4\n\t\tautoplot = on\n\t\tforwardplot = on\n");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_PLOT | PF_AUTOPLOT | PF_AUTOPLOTX | PF_AUTOPLOTY);
    EXPECT_EQ(r.xlower, -5.0);   // auto axes span zero
    EXPECT_EQ(r.xupper, 1.0);
    EXPECT_EQ(r.ylower, -2.0);
    EXPECT_EQ(r.yupper, 4.0);
    EXPECT_EQ(r.plot_width, 38);
    EXPECT_EQ(r.plot_height, 11);
    EXPECT_EQ(r.plot_flags, (uint32_t)PL_BORDER);
    EXPECT_EQ(r.plot_titlecolor, 15);
    EXPECT_EQ(r.plotcolor, 14);
    EXPECT_EQ(r.gridcolor, 7);
    ASSERT_EQ(diagnostics().size(), 1u);
    EXPECT_NE(diagnostics()[0].find("Forward & backward plots are ignored if not a lineplot"), std::string::npos);

    r = port_of(std::string(kPortBase) + "\t[plotport]\n\t\trow = 12\n\t\tcolumn = 1\n\t\txlower = 5\n\t\txupper = 1\n"
                                        "\t\tylower = 0\n\t\tyupper = 4\n\t\tlineplot = on\n");
    EXPECT_EQ(r.xlower, 1.0);
    EXPECT_EQ(r.xupper, 5.0);
    EXPECT_EQ(r.plot_flags, PL_BORDER | PL_FORWARD);
    ASSERT_EQ(diagnostics().size(), 1u);
    EXPECT_NE(diagnostics()[0].find("x upper limit < x lower - swapping limits"), std::string::npos);
}

static const char kPlotLimits[] = "\t\txlower = 0\n\t\txupper = 1\n\t\tylower = 0\n\t\tyupper = 1\n";
static const PortErrorCase kPlotErrors[] = {
    {"", "[plotport] specification block is empty"},
    {"\t\trow = 20\n\t\tcolumn = 1\n\t\txlower = 0\n", "Missing X or Y upper or lower limit"},
    {"\t\trow = 20\n\t\tcolumn = 1\n\t\txlower = 1\n\t\txupper = 1\n\t\tylower = 0\n\t\tyupper = 1\n",
     "x upper limit == x lower - not proceeding"},
    {"\t\trow = 20\n\t\tcolumn = 1\n\t\txlower = 0\n\t\txupper = 1\n\t\tylower = 2\n\t\tyupper = 2\n",
     "y upper limit == y lower - not proceeding"},
    {"\t\tcolumn = 1\n", "Plotport row not found"},
    {"\t\trow = 81\n\t\tcolumn = 1\n", "Plotport row outside limits (1 <= row <= 80)"},
    {"\t\trow = 5\n\t\tcolumn = 1\n", "[plotport] top boundary outside limit"},
    {"\t\trow = 20\n", "Plotport column not found"},
    {"\t\trow = 20\n\t\tcolumn = 0\n", "Plotport column outside limits (1 <= col <= 200)"},
    {"\t\trow = 20\n\t\tcolumn = 180\n", "Plotport rhs boundary outside limit"},
};

TEST_F(CompileTest, PlotPortErrors) {
    for (const PortErrorCase& c : kPlotErrors) {
        std::string limits = c.body[0] && !strstr(c.body, "lower") ? kPlotLimits : "";
        EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + "\t[plotport]\n" + c.body + limits), COMPILE_ERRORS) << c.body;
        std::vector<std::string> d = diagnostics();
        ASSERT_FALSE(d.empty()) << c.body;
        EXPECT_NE(d[0].find(c.message), std::string::npos) << d[0];
    }
}

TEST_F(CompileTest, SecondMaskKeysAreClearedBySubBlocks) {
    // sbtagcount twice in a row is a repeated key; a sub-block between the
    // two starts the second mask afresh.
    EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + "\tsbtagcount = 1\n\tsbtagcount = 2\n"), COMPILE_ERRORS);
    PortRecord r = port_of(std::string(kPortBase) + "\tsbtagcount = 1\n\t[filter]\n\t\tinvert = on\n\tsbtagcount = 2\n");
    EXPECT_EQ(r.sbtagcount, 2);
}

// ---- the listing and the counts ---------------------------------------------------

TEST_F(CompileTest, TheListingEchoesTheTextAndItsDiagnostics) {
    const char* text =
        "# a page with trouble\r\n"
        "[valueport]\n"
        "\tdatatype = \"%6hd\"\n"
        "\tbyteindex=12\n"
        "\trow = 0\n"
        "\tcolumn = 5\n"
        "[valueport]\n"
        "\tdatatype = \"%6hd\"\n"
        "\tbyteindex = 2\n"
        "\trow = 2\n"
        "\tcolumn = 2\n";
    EXPECT_EQ(compile(text), COMPILE_ERRORS);
    EXPECT_EQ(listing(),
              "# a page with trouble\r\n"
              "[valueport]\n"
              "\tdatatype = \"%6hd\"\n"
              "\tbyteindex=12\n"
              "* !!  1 Error line 00004 !!Unable to use line. Identifier unrecognised\r\n"
              "\trow = 0\n"
              "\tcolumn = 5\n"
              "[valueport]\n"
              "* !!  2 Error line 00007 !!No byte index into packet specifed\r\n"
              "\tdatatype = \"%6hd\"\n"
              "\tbyteindex = 2\n"
              "\trow = 2\n"
              "\tcolumn = 2\n"
              "**  1 Warning line 00011 **Parameter name defaulted to XXXX\r\n");
    EXPECT_FALSE(zyr_fexists("PAGE0010.BIN"));
    std::vector<Shown>& m = shown_messages();
    ASSERT_GE(m.size(), 6u);
    EXPECT_EQ(m[0].text.rfind("Processing page file ", 0), 0u);
    EXPECT_NE(m[0].text.find("/PAGE0010.TXT. Output to file PAGE0010.LST."), std::string::npos);
    EXPECT_EQ(m[1].text, "All error messages echoed to the output file and display");
    EXPECT_EQ(m[2].text, "* !!  1 Error Page 10 line 00004 !!Unable to use line. Identifier unrecognised");
    EXPECT_EQ(m[2].level, LVL_ERROR);
    EXPECT_EQ(m[4].text, "**  1 Warning Page 10 line 00011 **Parameter name defaulted to XXXX");
    EXPECT_EQ(m[4].level, LVL_WARNING);
    EXPECT_EQ(m.back().text, "!! KORL: encountered 1 warnings and 2 errors !!");
}

TEST_F(CompileTest, ABlockWithErrorsNamesItsLastErrorLineToTheReporter) {
    EXPECT_EQ(compile(std::string("[valueport]\n\ttitle = \"T\"\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 99\n"
                                  "\tcolumn = 1\n[system]\n")),
              COMPILE_ERRORS);
    char status1[STATUS_LINE_LEN + 1], status2[STATUS_LINE_LEN + 1];
    centre_text(status1, kErrorTexts[12], STATUS_LINE_LEN);
    centre_text(status2, "Last error on line  7", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status1, status1);
    EXPECT_STREQ(diag.status2, status2);
}

TEST_F(CompileTest, ACleanPageSaysSo) {
    EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase), COMPILE_OK);
    EXPECT_EQ(shown_messages().back().text, "KORL: All page files checked ok");
    EXPECT_EQ(listing(), std::string("[valueport]\n") + kPortBase);
}

TEST_F(CompileTest, OnlyTwentyFiveErrorsAreShownButAllAreCounted) {
    std::string text;
    for (int i = 0; i < 30; i++) text += "junk\n";
    EXPECT_EQ(compile(text), COMPILE_ERRORS);
    std::vector<std::string> d = diagnostics();
    ASSERT_EQ(d.size(), 26u);
    EXPECT_EQ(d[24], "* !! 25 Error Page 10 line 00025 !!Block specifier must be [valueport],[packet] or [system]");
    EXPECT_EQ(d[25], "* Error count exceeds 25.");
    EXPECT_EQ(shown_messages().back().text, "!! KORL: encountered 0 warnings and 30 errors !!");
    std::string l = listing();
    size_t n = 0;
    for (size_t p = 0; (p = l.find("* Error count exceeds 25.", p)) != std::string::npos; p++) n++;
    EXPECT_EQ(n, 1u);
}

TEST_F(CompileTest, TopLevelLinesMustBeBlockSpecifiersAtColumnOne) {
    EXPECT_EQ(compile(std::string(" [valueport]\n[valueport]\n") + kPortBase), COMPILE_ERRORS);
    ASSERT_EQ(diagnostics().size(), 1u);
    EXPECT_NE(diagnostics()[0].find("Indentation Wrong"), std::string::npos);
    // The stray line costs only itself: the port after it is sound.
    EXPECT_EQ(compile(std::string("stray\n[valueport]\n") + kPortBase), COMPILE_ERRORS);
    EXPECT_EQ(diagnostics().size(), 1u);
}

TEST_F(CompileTest, FilesThatCannotBeOpened) {
    EXPECT_EQ(compile_page(77), COMPILE_NO_TEXT);
    EXPECT_EQ(shown_messages().back().level, LVL_ERROR);
    EXPECT_NE(shown_messages().back().text.find("Unable to open input page file"), std::string::npos);
    write_file("PAGE0077.TXT", "[system]\n");
    ASSERT_EQ(mkdir("PAGE0077.BIN", 0755), 0);
    EXPECT_EQ(compile_page(77), COMPILE_NO_PAGE);
    EXPECT_NE(shown_messages().back().text.find("Unable to open output compiled page file PAGE0077.BIN"), std::string::npos);
    rmdir("PAGE0077.BIN");
    ASSERT_EQ(mkdir("PAGE0077.LST", 0755), 0);
    EXPECT_EQ(compile_page(77), COMPILE_NO_LISTING);
    EXPECT_FALSE(zyr_fexists("PAGE0077.BIN"));
    rmdir("PAGE0077.LST");
}

TEST_F(CompileTest, PageTextIsFoundWhateverTheCaseOfItsName) {
    write_file("page0012.txt", std::string("[valueport]\n") + kPortBase);
    EXPECT_EQ(compile_page(12), COMPILE_OK);
    EXPECT_EQ(read_page_file("PAGE0012.BIN").ports.size(), 1u);
}

// ---- includes -----------------------------------------------------------------------

TEST_F(CompileTest, NineNestedIncludesWorkAndATenthIsRefused) {
    for (int i = 1; i <= 10; i++) {
        std::string body = i < 10 ? "@inc" + std::to_string(i + 1) + ".txt\n" : "";
        if (i == 9) body += "\tcolumn = 5\n";
        write_file(("inc" + std::to_string(i) + ".txt").c_str(), body);
    }
    const char* text = "[valueport]\n\tdatatype = \"%6hd\"\n\ttitle = \"T\"\n\tbyteindex = 1\n\trow = 2\n  @inc1.txt and more\n";
    EXPECT_EQ(compile(text), COMPILE_ERRORS);
    std::vector<std::string> d = diagnostics();
    ASSERT_EQ(d.size(), 1u) << joined();
    EXPECT_EQ(d[0], "* !!  1 Error Page 10 line 00006 !!Include file '@inc10.txt' nest level 10 exceeded");
    EXPECT_NE(listing().find("\tcolumn = 5\n"), std::string::npos);
    // Without the tenth level the page is whole: the column came from level 9.
    write_file("inc9.txt", "\tcolumn = 5\n");
    EXPECT_EQ(compile(text), COMPILE_OK) << joined();
    EXPECT_EQ(records().ports.at(0).column, 5);
}

TEST_F(CompileTest, MissingAndSelfIncludingFilesAreErrors) {
    write_file("self.txt", "@self.txt\n\tcolumn = 5\n");
    EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + "@nothere.txt\n@self.txt\n"), COMPILE_ERRORS);
    std::vector<std::string> d = diagnostics();
    ASSERT_EQ(d.size(), 3u) << joined();
    EXPECT_NE(d[0].find("Cannot open include file '@nothere.txt'"), std::string::npos);
    EXPECT_NE(d[1].find("Include file '@self.txt' is already being read"), std::string::npos);
    EXPECT_NE(d[2].find("Unable to use line"), std::string::npos);   // column given twice
}

// ---- input that is not a page ------------------------------------------------------

TEST_F(CompileTest, GarbageCompilesToDiagnostics) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; round++) {
        std::string text;
        size_t n = 1 + rng() % 20000;
        for (size_t i = 0; i < n; i++) {
            uint32_t r = rng();
            text += r % 7 == 0 ? '\n' : r % 11 == 0 ? '\t' : (char)(r >> 8);
        }
        int rc = compile(text);
        EXPECT_TRUE(rc == COMPILE_OK || rc == COMPILE_ERRORS) << rc;
    }
}

TEST_F(CompileTest, LongLinesAreReadInPiecesOnOneLineNumber) {
    std::string text = "[valueport]\n" + std::string(kPortBase) + "\ttitle = \"" + std::string(1200, 'x') + "\n";
    std::string page = text + "[valueport]\n" + kPortBase;
    EXPECT_EQ(compile(page), COMPILE_ERRORS);
    std::vector<std::string> d = diagnostics();
    ASSERT_GE(d.size(), 2u);
    EXPECT_NE(d[0].find("line 00007 **Text of title longer than 80 characters"), std::string::npos) << d[0];
    for (const std::string& s : d) EXPECT_NE(s.find("line 00007"), std::string::npos) << s;
    // Every piece is echoed; a diagnostic after a piece starts a line of its
    // own. The warning's second line ("The text ...") has one x of its own.
    std::string l = listing();
    size_t xs = 0, start = 0;
    while (start < l.size()) {
        size_t end = l.find('\n', start);
        if (end == std::string::npos) end = l.size();
        if (l[start] != '*') xs += (size_t)std::count(l.begin() + (long)start, l.begin() + (long)end, 'x');
        start = end + 1;
    }
    EXPECT_EQ(xs, (size_t)std::count(page.begin(), page.end(), 'x') + 1);
}

TEST_F(CompileTest, TenThousandBlocksAndUnterminatedQuotes) {
    std::string text;
    for (int i = 0; i < 10000; i++) text += "[valueport]\n";
    text += "[valueport]\n" + std::string(kPortBase) + "\tunits = \"no closing quote\n";
    EXPECT_EQ(compile(text), COMPILE_ERRORS);
    EXPECT_EQ(diagnostics().size(), 26u);
    EXPECT_EQ(shown_messages().back().text, "!! KORL: encountered 0 warnings and 10000 errors !!");
}
