// The serial driver on pseudo-terminals: the device map, line settings,
// the status line, opening by record and by direction, the input ring,
// the write slots, the watchdog and a device that goes away and comes back.
#include "engine/serial.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "core/page.h"
#include "engine/echo.h"
#include "engine/input.h"
#include "tests/engine_support.h"
#include "tests/packet_support.h"
#include "tests/pty_support.h"

namespace {

std::string pattern(size_t n, int seed = 0) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = (char)((i * 7 + seed) & 0xFF);
    return s;
}

// Waits until the kernel has moved bytes written to the master to the slave.
void settle() { usleep(20000); }

ComSettings record(int port, uint32_t flags, uint16_t bufsize = 8192) {
    ComSettings r = com_settings[port];
    r.port = (uint16_t)port;
    r.flags = flags;
    r.bufsize = bufsize;
    return r;
}

}  // namespace

class Serial : public ::testing::Test {
protected:
    Pty pty[COM_PORTS];
    void SetUp() override {
        reset_engine();
        serial_reset();
        input_reset();
        ASSERT_EQ(packet_init(), 0);
        write_file("zyrcom.cfg", "# test ports\nCOM1=com1\nCOM2=com2\nCOM3=com3\nCOM4=com4\n");
        for (int i = 0; i < COM_PORTS; i++) {
            char link[8];
            snprintf(link, sizeof link, "com%d", i + 1);
            ASSERT_TRUE(pty[i].open(link));
        }
        serial_load_device_map();
    }
    void TearDown() override {
        serial_reset();
        for (Pty& p : pty) p.shut();
        input_reset();
        reset_engine();
    }
    int open_in(int port, uint16_t bufsize = 8192) {
        ComSettings r = record(port, COM_DIR_IN | COM_OPEN_IN, bufsize);
        return serial_open_record(&r);
    }
    int open_out(int port, uint16_t bufsize = 8192) {
        ComSettings r = record(port, COM_DIR_OUT | COM_OPEN_OUT, bufsize);
        return serial_open_record(&r);
    }
    std::string drain_ring() {
        std::string got;
        uint8_t buf[4096];
        int n;
        while ((n = serial_get_bytes(buf, sizeof buf)) > 0) got.append((const char*)buf, (size_t)n);
        return got;
    }
};

// ---- device map ----------------------------------------------------------------

struct MapCase {
    const char* line;
    int result;
    int port;
    const char* path;
};
static const MapCase kMapCases[] = {
    {"COM1=/dev/ttyUSB0", 1, 0, "/dev/ttyUSB0"},
    {"  com2 = /dev/serial/by-id/usb-FTDI_A1-if00-port0   # the modem", 1, 1, "/dev/serial/by-id/usb-FTDI_A1-if00-port0"},
    {"COM4=/dev/ttyS9\r\n", 1, 3, "/dev/ttyS9"},
    {"# COM1=/dev/ttyUSB1", 0, -1, nullptr},
    {"", 0, -1, nullptr},
    {"   \n", 0, -1, nullptr},
    {"COM5=/dev/ttyS4", -1, -1, nullptr},
    {"COM0=/dev/ttyS4", -1, -1, nullptr},
    {"COM1", -1, -1, nullptr},
    {"COM1=", -1, -1, nullptr},
    {"COM1 /dev/ttyS0", -1, -1, nullptr},
    {"TTY1=/dev/ttyS0", -1, -1, nullptr},
};

TEST(SerialMap, Lines) {
    for (const MapCase& c : kMapCases) {
        int port = -1;
        char path[SERIAL_PATH_MAX] = "";
        EXPECT_EQ(serial_parse_map_line(c.line, &port, path, sizeof path), c.result) << c.line;
        if (c.result == 1) {
            EXPECT_EQ(port, c.port) << c.line;
            EXPECT_STREQ(path, c.path) << c.line;
        }
    }
}

TEST(SerialMap, FileWithBadLineAndDefaults) {
    reset_engine();
    serial_reset();
    write_file("zyrcom.cfg", "COM2=/dev/ttyUSB0\nCOM9=/dev/x\n");
    serial_load_device_map();
    EXPECT_STREQ(serial_device(0), "/dev/ttyS0");
    EXPECT_STREQ(serial_device(1), "/dev/ttyUSB0");
    EXPECT_STREQ(serial_device(3), "/dev/ttyS3");
    EXPECT_NE(read_file("debugmsg").find("zyrcom.cfg line 2 ignored: COM9=/dev/x"), std::string::npos);
    remove("zyrcom.cfg");
    serial_load_device_map();
    EXPECT_STREQ(serial_device(1), "/dev/ttyS1");
    serial_reset();
}

// ---- line settings ----------------------------------------------------------------

struct SpeedCase {
    unsigned stored;
    speed_t speed;
    bool exact;
    unsigned nearest;
};
static const SpeedCase kSpeedCases[] = {
    {75, B75, true, 75},          {134, B134, true, 134},         {1800, B1800, true, 1800},
    {9600, B9600, true, 9600},    {57600, B57600, true, 57600},   {11520, B115200, true, 115200},
    {7200, B4800, false, 4800},   {14400, B9600, false, 9600},    {28800, B19200, false, 19200},
};

TEST(SerialBaud, SpeedConstants) {
    for (const SpeedCase& c : kSpeedCases) {
        bool exact;
        unsigned nearest;
        EXPECT_EQ(serial_speed_constant(c.stored, &exact, &nearest), c.speed) << c.stored;
        EXPECT_EQ(exact, c.exact) << c.stored;
        EXPECT_EQ(nearest, c.nearest) << c.stored;
    }
    bool exact;
    unsigned nearest;
    EXPECT_EQ(serial_speed_constant(0, &exact, &nearest), 0u);
    EXPECT_EQ(serial_line_rate(11520), 115200u);
}

TEST_F(Serial, LineSettingsReachTheDevice) {
    com_settings[0].baud = 11520;
    com_settings[0].parity = COM_PARITY_EVEN;
    com_settings[0].stop = COM_STOP_2;
    com_settings[0].data = 2;
    ASSERT_EQ(open_in(0), 0);
    termios t;
    ASSERT_EQ(tcgetattr(serial.port[0].fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), (speed_t)B115200);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_TRUE(fcntl(serial.port[0].fd, F_GETFL) & O_NONBLOCK);
}

TEST_F(Serial, RateWithoutConstantIsSetOrReported) {
    com_settings[0].baud = 14400;
    ASSERT_EQ(open_in(0), 0);
    // Either the kernel took 14400 through termios2, or the nearest rate
    // is in force and the log says so.
    std::string log = read_file("debugmsg");
    bool reported = log.find("!! COM1 baud 14400 not available, 9600 used") != std::string::npos;
    termios t;
    ASSERT_EQ(tcgetattr(serial.port[0].fd, &t), 0);
    EXPECT_TRUE(reported || cfgetospeed(&t) != B9600 || (t.c_cflag & CBAUD) == 0010000);
}

// ---- status line ----------------------------------------------------------------------

TEST_F(Serial, StatusLineInitialAndRebuilt) {
    EXPECT_STREQ(serial.status_line, "IN n nnnnnn n none n OUTn nnnnnn n none n ");
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
    serial_status_update();
    EXPECT_STREQ(serial.status_line, "OFF1   9600 1 NONE 8 OFF2   9600 1 NONE 8 ");
    EXPECT_FALSE(zyr.SystemFlags & SF_SERIAL_CHANGED);
    com_settings[0].baud = 11520;
    com_settings[0].parity = COM_PARITY_ODD;
    com_settings[0].stop = COM_STOP_2;
    com_settings[0].data = 0;
    ASSERT_EQ(open_in(0), 0);
    com_settings[1].baud = 0;
    com_settings[1].parity = COM_PARITY_EVEN;
    serial_status_update();
    EXPECT_STREQ(serial.status_line, "IN 1  11520 2 ODD  5 OFF2        1 EVEN 8 ");
    EXPECT_EQ(strlen(serial.status_line), (size_t)SERIAL_STATUS_LEN);
    com_output_port = -1;
    char line[SERIAL_STATUS_LEN + 1];
    serial_build_status(line);
    EXPECT_STREQ(line + 21, "OFF                  ");
}

// ---- opening ---------------------------------------------------------------------------

TEST_F(Serial, OpenForInputReadsIntoTheRing) {
    ASSERT_EQ(open_in(0), 0);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);
    EXPECT_TRUE(com_settings[0].flags & COM_IN_ACTIVE);
    EXPECT_TRUE(serial.stat[0].status & CS_IN_OPEN);
    EXPECT_EQ(serial.r.in_size, 8192u);
    EXPECT_EQ(com_input_port, 0);
    std::string data = pattern(3000);
    ASSERT_TRUE(pty[0].write_all(data));
    settle();
    serial_read_pass();
    EXPECT_EQ(serial_in_fill(), 3000u);
    EXPECT_EQ(serial.stat[0].bytes_read, 3000u);
    EXPECT_EQ(zyr_stat(ST_RX_FILL), 3000u * 1024 / 8192);
    EXPECT_EQ(drain_ring(), data);
}

TEST_F(Serial, RingHoldsAtMostNMinusOne) {
    ASSERT_EQ(open_in(0), 0);
    std::string data = pattern(10000, 3);
    ASSERT_TRUE(pty[0].write_all(data));
    settle();
    serial_read_pass();
    EXPECT_EQ(serial_in_fill(), 8191u);
    EXPECT_EQ(zyr_stat(ST_SER_RING_FULL), 1u);
    EXPECT_LE(zyr_stat(ST_RX_BLOCK_MAX), 4096u);
    std::string got;
    uint8_t buf[8192];
    int n = serial_get_bytes(buf, 8192);
    EXPECT_EQ(n, 8191);
    got.append((const char*)buf, (size_t)n);
    got += drain_ring();   // the rest waited in the kernel's queue
    EXPECT_EQ(got, data);
}

TEST_F(Serial, GetByteRefillsAndReportsEmpty) {
    ASSERT_EQ(open_in(0), 0);
    EXPECT_EQ(serial_get_byte(), -1);
    EXPECT_TRUE(serial.stat[0].status & CS_READ_WAIT);
    ASSERT_TRUE(pty[0].write_all("\x41\xFF"));
    settle();
    EXPECT_EQ(serial_get_byte(), 0x41);
    EXPECT_FALSE(serial.stat[0].status & CS_READ_WAIT);
    EXPECT_EQ(serial_get_byte(), 0xFF);
    EXPECT_EQ(serial_get_byte(), -1);
}

TEST_F(Serial, SecondInputPortClosesTheFirst) {
    ASSERT_EQ(open_in(0), 0);
    ASSERT_EQ(open_in(2), 0);
    EXPECT_EQ(com_input_port, 2);
    EXPECT_EQ(serial.port[0].fd, -1);
    EXPECT_FALSE(com_settings[0].flags & (COM_DIR_IN | COM_OPEN_IN | COM_IN_ACTIVE));
    EXPECT_TRUE(com_settings[2].flags & COM_IN_ACTIVE);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);
    EXPECT_EQ(serial.r.in_port, 2);
    ASSERT_TRUE(pty[2].write_all("abc"));
    settle();
    EXPECT_EQ(drain_ring(), "abc");
}

TEST_F(Serial, RecordRules) {
    ComSettings none = record(0, 0);
    EXPECT_EQ(serial_open_record(&none), -1);
    ComSettings not_open = record(0, COM_DIR_IN);
    EXPECT_EQ(serial_open_record(&not_open), -2);
    EXPECT_EQ(serial.port[0].fd, -1);
}

struct OpenFailCase {
    const char* name;
    const char* link_to;     // what com1 points at
    bool lock_it;            // another program holds the device
    const char* log;
};
static const OpenFailCase kOpenFails[] = {
    {"missing", "/nonexistent/tty", false, "W32 open() -2 Cannot open com1 error = 2"},
    {"not a terminal", "/dev/null", false, "W32 open() -2 Cannot open com1 error = 25"},
    {"in use", nullptr, true, "W32 open() -2 Cannot open com1 error = 16"},
};

TEST_F(Serial, OpenFailuresLeaveThePortClosed) {
    for (const OpenFailCase& c : kOpenFails) {
        size_t from = read_file("debugmsg").size();
        int holder = -1;
        if (c.link_to) {
            unlink("com1");
            ASSERT_EQ(symlink(c.link_to, "com1"), 0);
        }
        if (c.lock_it) {
            pty[0].open("com1");
            holder = ::open("com1", O_RDWR | O_NOCTTY);
            ASSERT_GE(holder, 0);
            ASSERT_EQ(flock(holder, LOCK_EX), 0);
        }
        EXPECT_EQ(open_in(0), -3) << c.name;
        EXPECT_EQ(serial.port[0].fd, -1) << c.name;
        EXPECT_FALSE(com_settings[0].flags & (COM_OPEN_IN | COM_IN_ACTIVE)) << c.name;
        EXPECT_FALSE(zyr.IoFlags & IO_SERIAL_IN) << c.name;
        std::string log = read_file("debugmsg").substr(from);
        EXPECT_NE(log.find(c.log), std::string::npos) << c.name << ": " << log;
        EXPECT_NE(log.find("com_open() error -2"), std::string::npos) << c.name;
        if (holder >= 0) close(holder);
    }
}

TEST_F(Serial, CloseDirectionOfAPortOpenBothWays) {
    ComSettings r = record(0, COM_DIR_IN | COM_DIR_OUT | COM_OPEN_IN | COM_OPEN_OUT);
    ASSERT_EQ(serial_open_record(&r), 0);
    EXPECT_TRUE(serial.port[0].both_ways);
    EXPECT_EQ(zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT), IO_SERIAL_IN | IO_SERIAL_OUT);
    EXPECT_EQ(com_output_port, 0);
    serial_close_direction(0, 1);
    EXPECT_GE(serial.port[0].fd, 0);   // still open for output
    EXPECT_FALSE(zyr.IoFlags & IO_SERIAL_IN);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_OUT);
    EXPECT_FALSE(serial.stat[0].status & CS_IN_OPEN);
    EXPECT_TRUE(serial.stat[0].status & CS_OUT_OPEN);
    EXPECT_EQ(serial.r.in_ring, nullptr);
    EXPECT_EQ(serial_purge(0, 1), 0);
    EXPECT_EQ(serial_purge(0, 2), -1);   // output still open
    // Plain writes, no slots.
    ASSERT_EQ(serial_put((const uint8_t*)"xyz", 3), 0);
    serial_output_service();
    EXPECT_EQ(pty[0].read_all(), "xyz");
    EXPECT_EQ(zyr_stat(ST_SER_OUTSTANDING), 0u);
    EXPECT_EQ(zyr_stat(ST_SER_SLOT_MASK), 0u);
    serial_close_direction(0, 2);
    EXPECT_EQ(serial.port[0].fd, -1);
    EXPECT_EQ(zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT), 0u);
}

TEST_F(Serial, CloseAllAndReopenAll) {
    uint32_t blocks = qobmem.mem_alloc_cnt;
    ASSERT_EQ(open_in(0), 0);
    ASSERT_EQ(open_out(1), 0);
    for (ComSettings& s : com_settings) s.bufsize = 2048;
    serial_reopen_all();
    EXPECT_EQ(serial.r.in_size, 2048u);
    EXPECT_EQ(serial.r.out_size, 2048u);
    EXPECT_GE(serial.port[0].fd, 0);
    EXPECT_GE(serial.port[1].fd, 0);
    serial_close_all();
    for (int p = 0; p < COM_PORTS; p++) EXPECT_EQ(serial.port[p].fd, -1);
    EXPECT_EQ(zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT), 0u);
    EXPECT_EQ(com_close(0), 0);   // no handle: nothing to do
    EXPECT_EQ(qobmem.mem_alloc_cnt, blocks);
}

// ---- output ---------------------------------------------------------------------------

TEST_F(Serial, OutputRingRefusesTheByteThatWouldFillIt) {
    EXPECT_EQ(serial_put((const uint8_t*)"a", 1), -1);   // serial output off
    ASSERT_EQ(open_out(1, 1024), 0);
    std::string data = pattern(1023);
    EXPECT_EQ(serial_put((const uint8_t*)data.data(), 1023), 0);
    EXPECT_EQ(serial_out_fill(), 1023u);
    EXPECT_EQ(serial_put((const uint8_t*)"b", 1), -2);
    EXPECT_EQ(zyr_stat(ST_SER_OUT_REFUSED), 1u);
    std::string got;
    for (int i = 0; i < 20 && got.size() < data.size(); i++) {
        serial_output_service();
        got += pty[1].read_all(50);
    }
    EXPECT_EQ(got, data);
}

TEST_F(Serial, SixteenSlotsThenNoFreeQueues) {
    ASSERT_EQ(open_out(1), 0);
    std::string sent;
    int seed = 0;
    // The reader does not read: the kernel's queue fills, then the slots.
    for (int i = 0; i < 2000 && zyr_stat(ST_SER_OUTSTANDING) < SERIAL_SLOTS; i++) {
        std::string chunk = pattern(2048, seed++);
        int n = serial_write_chunk((const uint8_t*)chunk.data(), (int)chunk.size());
        ASSERT_EQ(n, 2048);
        sent += chunk;
    }
    ASSERT_EQ(zyr_stat(ST_SER_OUTSTANDING), (uint32_t)SERIAL_SLOTS);
    EXPECT_EQ(zyr_stat(ST_SER_SLOT_MASK), 0xFFFFu);
    EXPECT_EQ(zyr_stat(ST_SER_SLOT_HIGH), 15u);
    std::string extra = pattern(2048, 99);
    EXPECT_EQ(serial_write_chunk((const uint8_t*)extra.data(), 2048), -2);
    EXPECT_NE(read_file("debugmsg").find("Serial Write: NO FREE QUEUES"), std::string::npos);
    // The reader reads again: every slot completes, in order.
    std::string got;
    for (int i = 0; i < 400 && got.size() < sent.size(); i++) {
        got += pty[1].read_all(20);
        for (int s = 0; s < SERIAL_SLOTS; s++) serial_slot_complete(s);
    }
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(zyr_stat(ST_SER_OUTSTANDING), 0u);
    EXPECT_EQ(serial.stat[1].bytes_written, (uint32_t)sent.size());
}

TEST_F(Serial, ServiceWaitsWhileMoreThanFourOutstanding) {
    ASSERT_EQ(open_out(1), 0);
    for (int i = 0; i < 2000 && zyr_stat(ST_SER_OUTSTANDING) < 5; i++) {
        std::string chunk = pattern(2048, i);
        serial_write_chunk((const uint8_t*)chunk.data(), 2048);
    }
    ASSERT_EQ(zyr_stat(ST_SER_OUTSTANDING), 5u);
    ASSERT_EQ(serial_put((const uint8_t*)"small", 5), 0);
    serial.r.last_check_ms = zyr.zyr_msecs;   // no slot check due
    serial_output_service();
    EXPECT_EQ(serial_out_fill(), 5u);   // a short chunk waits
    EXPECT_EQ(zyr_stat(ST_SER_OUTSTANDING), 5u);
}

// ---- watchdog ------------------------------------------------------------------------------

TEST_F(Serial, SilentInputIsReopenedAndReported) {
    pages.timeout_period = 2;
    zyr.zyr_secs = 100;
    ASSERT_EQ(open_in(0), 0);
    serial_read_pass();
    zyr.zyr_secs = 102;
    EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT);   // not more than the period yet
    zyr.zyr_secs = 103;
    EXPECT_EQ(serial_watchdog(), SERIAL_INPUT_TIMEOUT);
    EXPECT_TRUE(serial.stat[0].status & CS_IN_TIMEOUT);
    EXPECT_EQ(serial.stat[0].err_code, -24);
    EXPECT_EQ(serial.stat[0].err_fn, 33);
    EXPECT_EQ(serial.stat[0].err_port, 0);
    EXPECT_GE(serial.port[0].fd, 0);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);
    // Through the input timeout check: error 6 unless another source runs.
    input_hooks.serial_timeout_check = serial_watchdog;
    serial_read_pass();
    EXPECT_FALSE(serial.port[0].lost);
    zyr.zyr_secs = 106;
    EXPECT_EQ(input_timeout_check(), 6);
    EXPECT_NE(std::string(diag.status1).find("No incoming data"), std::string::npos);
    // Data moving: no timeout.
    for (uint32_t t = 107; t < 115; t++) {
        ASSERT_TRUE(pty[0].write_all("x"));
        settle();
        serial_read_pass();
        zyr.zyr_secs = t;
        EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT) << t;
    }
}

TEST_F(Serial, WatchdogOff) {
    pages.timeout_period = 0;
    ASSERT_EQ(open_in(0), 0);
    serial_read_pass();
    zyr.zyr_secs += 100000;
    EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT);
}

TEST_F(Serial, StuckOutputIsReopened) {
    pages.timeout_period = 1;
    zyr.zyr_secs = 10;
    ASSERT_EQ(open_out(1), 0);
    std::string big = pattern(8000);
    for (int i = 0; i < 200 && zyr_stat(ST_SER_OUTSTANDING) < SERIAL_SLOTS; i++) {
        serial_put((const uint8_t*)big.data(), 2048);
        serial_output_service();
    }
    ASSERT_TRUE(serial.stat[1].status & CS_WRITING);
    zyr.zyr_secs = 12;
    EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT);   // bytes moved since the open
    zyr.zyr_secs = 14;
    EXPECT_EQ(serial_watchdog(), SERIAL_OUTPUT_TIMEOUT);
    EXPECT_TRUE(serial.stat[1].status & CS_OUT_TIMEOUT);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_OUT);
    EXPECT_EQ(zyr_stat(ST_SER_OUTSTANDING), 0u);
}

TEST_F(Serial, DeviceThatGoesAwayIsReopenedWhenBack) {
    pages.timeout_period = 3;
    zyr.zyr_secs = 50;
    ASSERT_EQ(open_in(0), 0);
    ASSERT_TRUE(pty[0].write_all("before"));
    settle();
    serial_read_pass();
    EXPECT_EQ(drain_ring(), "before");
    pty[0].shut();   // the adapter is pulled
    settle();
    serial_read_pass();
    EXPECT_TRUE(serial.port[0].lost);
    EXPECT_EQ(serial.port[0].fd, -1);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);   // still wanted
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("!! COM1 com1 lost: read() "), std::string::npos) << log;
    // Not back yet: tried once a period, quietly.
    zyr.zyr_secs = 54;
    EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT);
    EXPECT_TRUE(serial.port[0].lost);
    EXPECT_EQ(read_file("debugmsg"), log);
    // Back under the same name.
    ASSERT_TRUE(pty[0].open("com1"));
    zyr.zyr_secs = 56;
    EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT);
    EXPECT_TRUE(serial.port[0].lost);   // not due before the period has passed
    zyr.zyr_secs = 58;
    EXPECT_EQ(serial_watchdog(), SERIAL_NO_TIMEOUT);
    EXPECT_FALSE(serial.port[0].lost);
    EXPECT_GE(serial.port[0].fd, 0);
    ASSERT_TRUE(pty[0].write_all("after"));
    settle();
    EXPECT_EQ(drain_ring(), "after");
}

TEST_F(Serial, SilentPortReopenedOnTheNewDevice) {
    pages.timeout_period = 1;
    zyr.zyr_secs = 10;
    ASSERT_EQ(open_in(0), 0);
    serial_read_pass();
    Pty old = pty[0];
    ASSERT_TRUE(pty[0].open("com1"));   // the link now names a new device
    zyr.zyr_secs = 12;
    EXPECT_EQ(serial_watchdog(), SERIAL_INPUT_TIMEOUT);
    ASSERT_TRUE(pty[0].write_all("new"));
    settle();
    EXPECT_EQ(drain_ring(), "new");
    old.shut();
}

TEST_F(Serial, TimeoutWhileTheLinkPointsNowhereKeepsThePortWanted) {
    pages.timeout_period = 1;
    zyr.zyr_secs = 10;
    ASSERT_EQ(open_in(0), 0);
    serial_read_pass();
    unlink("com1");
    zyr.zyr_secs = 12;
    EXPECT_EQ(serial_watchdog(), SERIAL_INPUT_TIMEOUT);
    EXPECT_TRUE(serial.port[0].lost);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);
    ASSERT_TRUE(pty[0].open("com1"));
    zyr.zyr_secs = 14;
    serial_watchdog();
    EXPECT_FALSE(serial.port[0].lost);
    ASSERT_TRUE(pty[0].write_all("ok"));
    settle();
    EXPECT_EQ(drain_ring(), "ok");
}

// ---- the synchroniser reads from the ring ------------------------------------------------

TEST_F(Serial, PacketsFromTheDeviceThroughTheSynchroniser) {
    serial_register();
    setup_test_description();
    ASSERT_EQ(open_in(0), 0);
    std::string stream = "\x01\x02";   // noise before the first sync
    for (int n = 0; n < 20; n++) {
        std::vector<uint8_t> p = test_packet(n);
        stream.append((const char*)p.data(), p.size());
    }
    ASSERT_TRUE(pty[0].write_all(stream));
    settle();
    int packets = 0;
    for (int i = 0; i < 40; i++) {
        int r = get_packet();
        if (r == PKT_OK) {
            std::vector<uint8_t> want = test_packet(packets);
            ASSERT_EQ(pkt.len, 64);
            EXPECT_EQ(memcmp(pkt.buf, want.data(), 64), 0) << packets;
            packets++;
        } else if (r == PKT_NO_DATA) {
            break;
        }
    }
    EXPECT_EQ(packets, 20);
}

// ---- page 0 --------------------------------------------------------------------------------

TEST_F(Serial, PageEntries) {
    serial_apply_entry(2, 0, 0, 0, 0, 0, 0);   // unused: the defaults stay
    EXPECT_EQ(com_settings[2].baud, 9600);
    serial_apply_entry(2, COM_DIR_IN | COM_OPEN_IN, 19200, COM_STOP_2, 2, COM_PARITY_EVEN, 500);
    EXPECT_EQ(com_input_port, 2);
    EXPECT_GE(serial.port[2].fd, 0);
    EXPECT_EQ(com_settings[2].baud, 19200);
    EXPECT_EQ(com_settings[2].bufsize, 8192);
    EXPECT_FALSE(com_settings[0].flags & COM_DIR_IN);
    serial_apply_entry(3, COM_DIR_OUT, 4800, 0, 3, 0, 4096);   // chosen, not enabled
    EXPECT_EQ(com_output_port, 3);
    EXPECT_EQ(serial.port[3].fd, -1);
    EXPECT_EQ(com_settings[3].baud, 4800);
}

// ---- the raw echo of accepted packets ---------------------------------------------------

TEST_F(Serial, EchoPutsWholePacketsOrCountsThem) {
    serial_register();
    echo_reset();
    echo_register();
    setup_test_description();
    ASSERT_EQ(open_out(1, 1024), 0);
    zyr.SystemFlags |= SF_ECHO;
    std::vector<uint8_t> p = test_packet(1);
    memcpy(pkt.buf, p.data(), 64);
    pkt.len = 64;
    for (int i = 0; i < 15; i++) {
        echo.marked = true;
        cycle_hooks.packet_outputs();
    }
    EXPECT_EQ(serial_out_fill(), 960u);
    echo.marked = true;
    cycle_hooks.packet_outputs();   // 63 bytes left: the packet is refused whole
    EXPECT_EQ(serial_out_fill(), 960u);
    EXPECT_EQ(zyr_stat(ST_SER_OUT_REFUSED), 64u);
    std::string got;
    for (int i = 0; i < 20 && got.size() < 960; i++) {
        serial_output_service();
        got += pty[1].read_all(20);
    }
    std::string want;
    for (int i = 0; i < 15; i++) want.append((const char*)p.data(), 64);
    EXPECT_EQ(got, want);
}
