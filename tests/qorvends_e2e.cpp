// Runs the built qorvends in a fresh directory, as an operator would from a
// shell, and checks what it prints, its exit code, its listing and the
// bytes of the page files it writes at their record offsets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "core/files.h"
#include "core/pagefile.h"
#include "tests/test_support.h"

namespace {

struct RunResult {
    int code;
    std::string out;
};

RunResult qorvends(const std::string& args) {
    std::string cmd = std::string(ZYR_QORVENDS) + " " + args + " > out.txt 2> err.txt";
    int st = system(cmd.c_str());
    RunResult r{WIFEXITED(st) ? WEXITSTATUS(st) : -1, read_file("out.txt")};
    EXPECT_EQ(read_file("err.txt"), "") << args;
    return r;
}

// The decoded records of a page file: tag and body bytes.
struct Record {
    uint32_t tag;
    std::vector<uint8_t> body;
};

std::vector<Record> records(const char* path) {
    std::vector<Record> out;
    int slot = page_file_open_read(path);
    if (slot < 0) return out;
    static PageRecordBody body;
    int rc;
    while ((rc = page_read_record(slot, &body)) > 0) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&body);
        out.push_back({(uint32_t)rc, std::vector<uint8_t>(p, p + page_record_length((uint32_t)rc))});
    }
    EXPECT_EQ(rc, PAGE_EOF) << path;
    zyr_fclose(slot);
    return out;
}

uint32_t u32(const Record& r, size_t at) {
    uint32_t v;
    memcpy(&v, r.body.data() + at, 4);
    return v;
}
uint16_t u16(const Record& r, size_t at) {
    uint16_t v;
    memcpy(&v, r.body.data() + at, 2);
    return v;
}
double f64(const Record& r, size_t at) {
    double v;
    memcpy(&v, r.body.data() + at, 8);
    return v;
}
std::string text(const Record& r, size_t at) { return std::string(reinterpret_cast<const char*>(r.body.data() + at)); }

struct Field {
    size_t offset;
    int width;        // 2, 4 or 8 (8: a double); 0 for a text
    double value;
    const char* text;
};

void check_fields(const Record& r, const Field* fields, size_t n) {
    for (size_t i = 0; i < n; i++) {
        const Field& f = fields[i];
        if (f.width == 0)
            EXPECT_EQ(text(r, f.offset), f.text) << "offset " << f.offset;
        else if (f.width == 2)
            EXPECT_EQ(u16(r, f.offset), (uint16_t)f.value) << "offset " << f.offset;
        else if (f.width == 4)
            EXPECT_EQ(u32(r, f.offset), (uint32_t)(int64_t)f.value) << "offset " << f.offset;
        else
            EXPECT_EQ(f64(r, f.offset), f.value) << "offset " << f.offset;
    }
}

class QorvendsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        EXPECT_EQ(system("rm -f PAGE* page* qorvends.lst out.txt err.txt debugmsg"), 0);
    }
};

const char kPortPage[] =
    "[valueport]\n"
    "\tenable = yes\n\tview = packetdata\n\tdatabasekey = \"KEY1\"\n\tbyteindex = 0x10\n"
    "\trawformat = \"%6hd\"\n\tdisplayformat = \"%10.3lf\"\n\ttitle = \"Title\"\n\tunits = \"V\"\n\tmnemonic = \"MNEM\"\n"
    "\tdrawenable = no\n\tborder = on\n\tbordercolor = red\n\tbackgroundcolor = black\n\ttitlecolor = cyan\n\tvaluecolor = yellow\n"
    "\tsupercommcount = 2\n\tsupercommincr = 4\n\tsbtagcount = 1\n\tvarpktlen = on\n"
    "\tdisplayrate = \"F04ST02\"\n\tprocessrate = \"F08ST01\"\n\tautolabel = on\n"
    "\t[calibration]\n\t\tenable = on\n\t\tfunction = polynomial\n"
    "\t\t[polynomial]\n\t\t\ta0 = 1.5\n\t\t\ta1 = 2\n\t\t\tbitmask = 0xFF\n\t\t\tmodulus = 10\n\t\t\tquotient = 4\n"
    "\t\t\tavgsamples = 3\n\t\t\tfunction = doublebyteswap\n"
    "\t[filter]\n\t\tlowerlimit = -1\n\t\tupperlimit = 1\n\t\tinvert = on\n"
    "\t[subcom]\n\t\tsubcomtag = \"PARENT\"\n\t\tcvtype = 4\n\t\tportno = 9\n\t\tlowerlimit = -7\n\t\tupperlimit = 7\n\t\tinvert = on\n"
    "\t[plotport]\n\t\tenable = on\n\t\trow = 30\n\t\tcolumn = 3\n\t\twidth = 50\n\t\theight = 12\n"
    "\t\txtitle = \"X\"\n\t\tytitle = \"Y\"\n\t\ttitle = \"Plot\"\n\t\txlower = -1\n\t\txupper = 1\n\t\tylower = -2\n\t\tyupper = 2\n"
    "\t\tautoplot = on\n\t\tlineplot = on\n\t\tautorefreshy = on\n\t\tforwardplot = on\n\t\tborder = off\n\t\tplotgrid = on\n"
    "\t\tmaxpoints = 100\n\t\tbordercolor = green\n\t\tbackgroundcolor = white\n\t\ttitlecolor = brown\n\t\tplotcolor = magenta\n"
    "\t\tgridcolor = darkgrey\n\t\taxiscolor = highblue\n\t\taxislabelcolor = highcyan\n"
    "\trow = 20\n\tcolumn = 7\n"
    "[valueport]\n"
    "\tmnemonic = \"ALARMED\"\n\tview = zyr_secs\n\tdatatype = \"%10lu\"\n\trow = 2\n\tcolumn = 2\n\tfilename = \"param.rec\"\n"
    "\t[calibration]\n\t\tfunction = ntestbit\n\t\t[bitoperation]\n\t\t\tbitmask = 0x80\n"
    "\t[alarm]\n\t\tlowerlimit = 10\n\t\tupperlimit = 0x20\n\t\tblink = on\n\t\tsound = on\n\t\tstepmode = on\n\t\tinvert = on\n";

const Field kPortFields[] = {
    {0, 8, 1.5, nullptr},          // a0 (double: display format %lf)
    {8, 8, 2.0, nullptr},          // a1
    {40, 4, 0xFF, nullptr},        // bitmask
    {56, 8, 10.0, nullptr},        // modulus
    {64, 8, 4.0, nullptr},         // quotient
    {76, 4, 3, nullptr},           // avgsamples
    {88, 4, 0x3 | 0x1000 | 0x8000 | 0x10000 | 0x20000 | 0x100000, nullptr},
    {304, 8, 1.0, nullptr},        // xupper
    {320, 8, 2.0, nullptr},        // yupper
    {360, 8, -1.0, nullptr},       // xlower
    {368, 8, -2.0, nullptr},       // ylower
    {480, 4, 0x10 | 0x80, nullptr},
    {488, 2, 30, nullptr}, {490, 2, 3, nullptr}, {492, 2, 50, nullptr}, {494, 2, 12, nullptr},
    {504, 2, 15, nullptr}, {506, 2, 6, nullptr}, {508, 2, 2, nullptr}, {510, 2, 5, nullptr},
    {512, 2, 9, nullptr}, {514, 2, 11, nullptr}, {516, 2, 8, nullptr},
    {544, 8, 1.0, nullptr},        // filter upper and lower in the display type (double)
    {632, 8, -1.0, nullptr},
    {720, 4, 0x20, nullptr},
    {768, 4, 7, nullptr},          // sub-com limits typed by cvtype 4 (signed 32-bit)
    {856, 4, -7, nullptr},
    {944, 4, 0x20, nullptr},
    {952, 4, 9, nullptr},
    {956, 2, 4, nullptr},
    {968, 0, 0, "PARENT"},
    {992, 4, 0x22222222, nullptr},
    {996, 4, 0x01010101, nullptr},
    {1000, 4, 0x1 | 0x4 | 0x10 | 0x100 | 0x2000 | 0x8000 | 0x10000 | 0x20000 | 0x80000 | 0x200000 | 0x1000000, nullptr},
    {1004, 4, 0x3, nullptr},
    {1008, 2, 16, nullptr}, {1010, 2, 7, nullptr}, {1012, 2, 11, nullptr}, {1014, 2, 20, nullptr},
    {1016, 2, 7, nullptr}, {1018, 2, 0, nullptr}, {1020, 2, 3, nullptr}, {1022, 2, 4, nullptr},
    {1024, 2, 14, nullptr},
    {1028, 4, 2, nullptr}, {1032, 4, 4, nullptr}, {1036, 4, 1, nullptr}, {1048, 4, 100, nullptr},
    {1056, 0, 0, "V"}, {1137, 0, 0, "Title"}, {1218, 0, 0, "MNEM"}, {1299, 0, 0, "%6hd"}, {1320, 0, 0, "%10.3lf"},
    {1341, 0, 0, "X"}, {1422, 0, 0, "Y"}, {1503, 0, 0, "Plot"}, {1584, 0, 0, "KEY1"},
};

const Field kAlarmFields[] = {
    {40, 4, 0x80, nullptr},
    {96, 4, 0x20, nullptr},        // alarm upper in the display type (unsigned 32-bit)
    {184, 4, 10, nullptr},
    {272, 4, 0x1 | 0x2 | 0x8 | 0x20, nullptr},
    {992, 4, 0xFFFFFFFF, nullptr}, {996, 4, 0xFFFFFFFF, nullptr},
    {1000, 4, 0x1 | 0x2 | 0x10 | 0x800, nullptr},
    {1010, 2, 3, nullptr}, {1012, 2, 15, nullptr},
    {1584, 0, 0, "ALARMED"}, {1908, 0, 0, "param.rec"},
};

const char kSystemPage[] =
    "[packet]\n"
    "\ttime = on\n"
    "\t[sync]\n\t\tlength = 24\n\t\tpattern = 0xFAF320\n\t\tmask = 0xFFFFF0\n\t\treportsyncloss = on\n"
    "\tspare = 2\n\tsumcheck = on\n\tpacketcounterlength = 2\n\tfixedpacketlength = 256\n\tccsds = on\n"
    "[system]\n"
    "\tdiagnostics = on\n\tstepmode = off\n\tsound = on\n\tbackup = on\n\tbackupperiod = 120\n\topenoneof = on\n"
    "\tbufsize = 32768\n\tflushperiod = 15\n\ttimeoutperiod = 45\n"
    "\t[tuning]\n\t\tlooptime = 25\n\t\tautotune = on\n\t\ttimings = on\n"
    "\t[video]\n\t\twindowbackcolor = blue\n\t\twindowforecolor = white\n"
    "\t[input]\n"
    "\t\t[serial]\n\t\t\tenable = on\n\t\t\tcomport = 4\n\t\t\tbaud = 38400\n\t\t\tdatabits = 8\n\t\t\tstopbits = 1\n"
    "\t\t\tparity = \"odd\"\n\t\t\tbufsize = 2048\n"
    "\t\t[file]\n\t\t\tfilename = \"play.cmp\"\n\t\t\tformat = \"compressed\"\n\t\t\tfilemode = \"r\"\n\t\t\tbufsize = 4096\n"
    "\t\t[network]\n\t\t\tudpprotocol = on\n\t\t\tudpportno = 7000\n\t\t\tbufsize = 131072\n"
    "\t\t[testdata]\n\t\t\tenable = on\n"
    "\t\t[api]\n\t\t\tapireadpkt = on\n"
    "\t[output]\n"
    "\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tbaud = 1200\n\t\t\techo = on\n"
    "\t\t[file]\n\t\t\tfilename = \"rec.asc\"\n\t\t\tformat = \"ascii\"\n\t\t\tfilemode = \"append\"\n"
    "\t\t[network]\n\t\t\ttcpprotocol = on\n\t\t\ttcpportno = 8000\n\t\t\tfilename = \"127.0.0.1\"\n"
    "\t\t[api]\n\t\t\tapiwritebyte = on\n";

const Field kPacketFields[] = {
    {0, 4, 0x1 | 0x2 | 0x4 | 0x8, nullptr},
    {6, 2, 0xFA, nullptr}, {8, 2, 0xF3, nullptr}, {10, 2, 0x20, nullptr},
    {12, 2, 2, nullptr}, {14, 2, 256, nullptr},
    {16 + 2 * 0, 2, 4, nullptr},   // sync after the time
    {16 + 2 * 1, 2, 9, nullptr},   // checksum after sync (4..6) and spare (7..8)
    {16 + 2 * 2, 2, 7, nullptr},   // spare
    {16 + 2 * 3, 2, 13, nullptr},  // marker where the fixed length was given
    {16 + 2 * 4, 2, 0, nullptr},   // time first
    {16 + 2 * 5, 2, 11, nullptr},  // counter
    {30 + 2 * 0, 2, 3, nullptr}, {30 + 2 * 1, 2, 2, nullptr}, {30 + 2 * 2, 2, 2, nullptr},
    {30 + 2 * 4, 2, 4, nullptr}, {30 + 2 * 5, 2, 2, nullptr},
    {44, 2, 3, nullptr}, {46, 2, 13, nullptr},
    {48, 4, 0x20F3FA00, nullptr}, {52, 4, 0xF0FFFF00, nullptr},
};

const Field kSystemFields[] = {
    {48 + 0, 2, 0x1 | 0x8, nullptr},   // serial entry 3 (COM4) flags byte and pad
    {48 + 4, 2, 3, nullptr}, {48 + 6, 2, 38400, nullptr}, {48 + 8, 2, 0, nullptr}, {48 + 10, 2, 3, nullptr},
    {48 + 12, 2, 8, nullptr}, {48 + 14, 2, 2048, nullptr},
    {0 + 0, 2, 0x2, nullptr}, {0 + 4, 2, 0, nullptr}, {0 + 6, 2, 1200, nullptr}, {0 + 14, 2, 8192, nullptr},
    {64 + 0, 4, 4096, nullptr}, {64 + 4, 4, 0x8, nullptr}, {64 + 8, 0, 0, "play.cmp"}, {64 + 269, 0, 0, "r"},
    {64 + 274, 0, 0, "c"},
    {340 + 4, 4, 0x10, nullptr}, {340 + 8, 0, 0, "rec.asc"}, {340 + 269, 0, 0, "appe"}, {340 + 274, 0, 0, "a"},
    {1168 + 0, 4, 0x20000 | 0x80, nullptr}, {1168 + 4, 4, 131072, nullptr}, {1168 + 10, 2, 7000, nullptr},
    {1264 + 0, 4, 0x10000 | 0x8, nullptr}, {1264 + 8, 2, 8000, nullptr}, {1264 + 16, 0, 0, "127.0.0.1"},
    {1360, 4, 0x1 | 0x2 | 0x40 | 0x80 | 0x4000000, nullptr},
    {1368, 4, 25, nullptr},
    {1372, 4, 0xC, nullptr},
    {1376, 4, 0x80 | 0x100 | 0x400 | 0x800 | 0x4000, nullptr},
    {1380, 4, 32768, nullptr}, {1384, 4, 15, nullptr}, {1388, 4, 45, nullptr},
    {1392, 2, 1, nullptr}, {1394, 2, 15, nullptr}, {1400, 4, 120, nullptr},
};

}  // namespace

TEST_F(QorvendsE2E, EveryKeyLandsAtItsOffset) {
    write_file("PAGE0001.TXT", kPortPage);
    write_file("PAGE0000.TXT", kSystemPage);
    RunResult r = qorvends("0 1");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, "QORVENDS: Checking pages 0 to 1\n\rChecking page file     0\n"
                     "**  1 Warning Page 0 line 00060 **Text of filemode longer than 4 characters\n"
                     "The text has been cut to 4 characters\n"
                     "\rChecking page file     1\nQORVENDS: All page files checked ok")
        << r.out;
    std::vector<Record> port = records("PAGE0001.BIN");
    ASSERT_EQ(port.size(), 2u);
    EXPECT_EQ(port[0].tag, 5u);
    check_fields(port[0], kPortFields, std::size(kPortFields));
    check_fields(port[1], kAlarmFields, std::size(kAlarmFields));
    std::vector<Record> sys = records("PAGE0000.BIN");
    ASSERT_EQ(sys.size(), 2u);
    EXPECT_EQ(sys[0].tag, 297u);
    EXPECT_EQ(sys[1].tag, 308u);
    check_fields(sys[0], kPacketFields, std::size(kPacketFields));
    check_fields(sys[1], kSystemFields, std::size(kSystemFields));
    // The encoded file: tag 5 is 05 00 02 and the records follow each other.
    std::string bin = read_file("PAGE0001.BIN");
    ASSERT_GE(bin.size(), 3u);
    EXPECT_EQ(bin.substr(0, 3), std::string("\x05\x00\x02", 3));
}

TEST_F(QorvendsE2E, TheDemoPagesCompileCleanly) {
    std::string cp = std::string("cp ") + ZYR_DEMO_DIR + "/PAGE*.TXT .";
    ASSERT_EQ(system(cp.c_str()), 0);
    RunResult r = qorvends("");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
    EXPECT_EQ(read_file("qorvends.lst"),
              "Checking page file     0\r\nChecking page file    10\r\nChecking page file  9998\r\nChecking page file  9999\r\n");
    for (const char* bin : {"PAGE0000.BIN", "PAGE0010.BIN", "PAGE9998.BIN", "PAGE9999.BIN"}) EXPECT_FALSE(records(bin).empty()) << bin;
    EXPECT_EQ(records("PAGE0010.BIN").size(), 15u);
    EXPECT_EQ(records("PAGE9998.BIN").size(), 3u);
}

TEST_F(QorvendsE2E, FiveToThreeChecksNothing) {
    write_file("PAGE0004.TXT", "junk\n");
    RunResult r = qorvends("5 3");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "QORVENDS: Checking pages 5 to 3\n\nQORVENDS: All page files checked ok");
    EXPECT_EQ(read_file("qorvends.lst"), "");
    EXPECT_FALSE(zyr_fexists("PAGE0004.BIN"));
}

TEST_F(QorvendsE2E, AListingOfErrorsAndWarnings) {
    write_file("PAGE0007.TXT",
               "[valueport]\n\tdatatype = \"%6hd\"\n\tbyteindex=2\n\trow = 1\n\tcolumn = 1\n"
               "[valueport]\n\tdatatype = \"%6hd\"\n\tbyteindex = 2\n\trow = 1\n\tcolumn = 1\n"
               "\t[alarm]\n\t\tlowerlimit = 1\n\t\tupperlimit = 2\n"
               "[packet]\n\tfixedpacketlength = 99999\n");
    write_file("page0008.txt", "[system]\n\t[input]\n\t\t[serial]\n\t\t\tcomport = 9\n");
    RunResult r = qorvends("7 8");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(read_file("qorvends.lst"),
              "Checking page file     7\r\n"
              "* !!  1 Error Page 7 line 00003 !!Unable to use line. Identifier unrecognised\r\n"
              "* !!  2 Error Page 7 line 00006 !!No byte index into packet specifed\r\n"
              "**  1 Warning Page 7 line 00014 **Alarm not created: all options off\r\n"
              "**  2 Warning Page 7 line 00014 **Parameter name defaulted to XXXX\r\n"
              "* !!  3 Error Page 7 line 00015 !!Fixed packet length is out of range 1-4224\r\n"
              "Checking page file     8\r\n"
              "* !!  4 Error Page 8 line 00004 !!Comport value outside range - invalid number\r\n"
              "* !!  5 Error Page 8 line 00004 !!Unable to use line. Identifier unrecognised\r\n"
              "**  3 Warning Page 8 line 00004 **Empty [serial] sub-block\r\n");
    EXPECT_NE(r.out.find("\n!! QORVENDS: encountered 5 errors !!\n"), std::string::npos) << r.out;
    // The batch checker keeps the page files of pages with errors.
    EXPECT_EQ(records("PAGE0007.BIN").size(), 2u);
    EXPECT_EQ(records("PAGE0008.BIN").size(), 1u);
}

TEST_F(QorvendsE2E, ABadCommandLineIsRefused) {
    for (const char* args : {"x", "10000", "1 2 3", "-- 5"}) {
        RunResult r = qorvends(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(r.out, "Usage: qorvends [first [last]]  (page numbers 0 to 9999)\n") << args;
    }
}
