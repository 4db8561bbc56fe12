#include "engine/port.h"

#include <gtest/gtest.h>
#include <dirent.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/packet.h"
#include "core/symtab.h"
#include "tests/engine_support.h"

class Port : public ::testing::Test {
protected:
    void SetUp() override {
        page_reset();
        packet_reset();
        reset_engine();
        port_reset();
        pagefile_reset();
        port_register();
    }
    void TearDown() override {
        page_reset();
        packet_reset();
        reset_engine();
        plat_fake_clock_off();
    }
};

static PortRecord record(const char* name, int view, int byteindex, const char* raw, uint32_t flags = PF_ENABLE) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    snprintf(r.mnemonic, sizeof r.mnemonic, "%s", name);
    snprintf(r.rawformat, sizeof r.rawformat, "%s", raw);
    snprintf(r.displayformat, sizeof r.displayformat, "%s", raw);
    r.view = (uint16_t)view;
    r.byteindex = (uint16_t)byteindex;
    r.port_flags = flags;
    r.displayrate = r.processrate = 0x11111111u;
    return r;
}

struct AreaCase {
    const char* name;
    int view, byteindex;
    const char* raw;
    int32_t count;
    uint32_t incr;
    int function;   // -1 no calibration
    bool built;
};

static const AreaCase kAreas[] = {
    {"u32 in zyr_msecs", VIEW_ZYR_MSECS, 0, "%lu", 0, 0, -1, true},
    {"u32 one past zyr_msecs", VIEW_ZYR_MSECS, 1, "%lu", 0, 0, -1, false},
    {"last u32 of zyr_stats", VIEW_ZYR_STATS, 1020, "%lu", 0, 0, -1, true},
    {"u32 past zyr_stats", VIEW_ZYR_STATS, 1021, "%lu", 0, 0, -1, false},
    {"free_disk", SYSPARAM_FREE_DISK, 0, "%lu", 0, 0, -1, true},
    {"no such view", SYSPARAM_FREE_DISK + 1, 0, "%lu", 0, 0, -1, false},
    {"last u16 of a packet", VIEW_PACKETHEADER, 32765, "%hu", 0, 0, -1, true},
    {"samples inside", VIEW_PACKETHEADER, 32740, "%hu", 3, 10, -1, true},
    {"samples past the end", VIEW_PACKETHEADER, 32750, "%hu", 3, 10, -1, false},
    {"one sample ignores the increment", VIEW_PACKETHEADER, 32765, "%hu", 1, 5000, -1, true},
    {"long text", VIEW_DEBUG_STRING, 1, "%90s", 0, 0, -1, true},
    {"last function", VIEW_ZYR_MSECS, 0, "%lu", 0, 0, FN_RECIPROCAL, true},
    {"unknown function", VIEW_ZYR_MSECS, 0, "%lu", 0, 0, CALIB_FN_COUNT, false},
};

TEST_F(Port, PortsOutsideTheirAreaAreRefused) {
    for (const auto& c : kAreas) {
        SCOPED_TRACE(c.name);
        PortRecord r = record("P", c.view, c.byteindex, c.raw, PF_ENABLE | (c.function >= 0 ? (uint32_t)PF_CALIB : 0u));
        r.supercommcount = c.count;
        r.supercommincr = c.incr;
        r.function = (uint16_t)(c.function >= 0 ? c.function : 0);
        int index = CreateZYRPortHL(&r, SLOT_DISPLAY);
        EXPECT_EQ(index >= 0, c.built);
        if (!c.built) {
            EXPECT_EQ(index, -1);
            EXPECT_EQ(diag.last_code, 15);
        }
        page_free_all();
    }
    EXPECT_NE(read_file("debugmsg").find(" outside its area view 2 byteindex 1 !!"), std::string::npos);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
}

TEST_F(Port, RunTimeFieldsComeFromTheRecord) {
    PortRecord msecs = record("MS", VIEW_ZYR_MSECS, 0, "%lu", PF_ENABLE | PF_ALARM);
    PortRecord head = record("HDR", VIEW_PACKETHEADER, 6, "%hu");
    PortRecord plot = record("PL", VIEW_PACKETDATA, 2, "%f", PF_ENABLE | PF_PLOT);
    PortRecord count = record("SC", 21, 8, "%lu");
    ASSERT_EQ(CreateZYRPortHL(&msecs, SLOT_DISPLAY), 0);
    ASSERT_EQ(CreateZYRPortHL(&head, SLOT_DISPLAY), 1);
    ASSERT_EQ(CreateZYRPortHL(&plot, SLOT_DISPLAY), 2);
    ASSERT_EQ(CreateZYRPortHL(&count, SLOT_DISPLAY), 3);
    ZyrPort* m = zyr_port(0);
    EXPECT_EQ(m->raw, (const uint8_t*)&zyr.zyr_msecs);
    EXPECT_EQ(m->h.flags, RT_HAS_LIMITS);
    EXPECT_EQ(m->h.process_mask, 0x11111111u);
    EXPECT_EQ(m->process_period_ms, 4 * zyr.loop_msecs);
    EXPECT_EQ(m->raw_width, 4);
    EXPECT_EQ(m->data_type, DT_ULONG);
    EXPECT_EQ(m->super_count, 1);
    EXPECT_EQ(m->conv_index, -1);
    // Packet areas are held, and resolve once the packet buffers exist.
    ZyrPort* h = zyr_port(1);
    EXPECT_EQ(h->h.flags, RT_HELD);
    EXPECT_EQ(h->raw, nullptr);
    ASSERT_EQ(packet_init(), 0);
    EXPECT_EQ(port_raw(h), pkt.buf + 6);
    ZyrPort* p = zyr_port(2);
    EXPECT_EQ(p->h.flags, RT_XPLOT | RT_HELD);
    EXPECT_EQ(p->h.display_mask, 0xFFFFFFFFu);
    EXPECT_EQ(p->h.rec->displayrate, 0x11111111u);   // the record keeps the page's rate
    EXPECT_EQ(port_raw(p), pkt.buf + pkt_layout.header_len + 2);
    ZyrPort* c = zyr_port(3);
    c->sample_count = 77;
    uint32_t v;
    memcpy(&v, port_raw(c), 4);
    EXPECT_EQ(v, 77u);   // a sample_count port reads its own counter
    page_free_all();
    packet_free();
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
}

TEST_F(Port, CalibrationCopyAndAveragingRingComeFromThePool) {
    PortRecord r = record("CAL", VIEW_ZYR_MSECS, 0, "%lu", PF_ENABLE | PF_CALIB);
    r.function = FN_POLYNOMIAL;
    r.cal.a1.d = 2.5;
    r.cal.avgsamples = 16;
    r.cal.calflags = 3;
    ASSERT_EQ(CreateZYRPortHL(&r, SLOT_DISPLAY), 0);
    ZyrPort* p = zyr_port(0);
    EXPECT_EQ(p->h.flags, RT_FUNCTION);
    EXPECT_EQ(p->conv_index, FN_POLYNOMIAL);
    ASSERT_NE(p->calib, nullptr);
    EXPECT_EQ(p->calib->a1.d, 2.5);
    EXPECT_EQ(p->calib->calflags, 3u);
    ASSERT_NE(p->avg, nullptr);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 4u);   // object, record, calibration, ring
    EXPECT_EQ(page_delete_port(0), 0);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
    r.cal.avgsamples = 0xFFFFFFF0u;   // a ring that cannot be had: no port, nothing kept
    EXPECT_EQ(CreateZYRPortHL(&r, SLOT_DISPLAY), -1);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
}

TEST_F(Port, LengthAndFilterPortsRegisterWhenBuilt) {
    PacketRecord s;
    packet_defaults(&s);
    s.fixedpacketlength = 200;
    ASSERT_EQ(packet_setup(&s), 0);
    PortRecord len = record("PKTLEN", VIEW_PACKETHEADER, 4, "%hu", PF_ENABLE | PF_VARPKTLEN);
    PortRecord filt = record("MODE", VIEW_PACKETDATA, 0, "%hu", PF_ENABLE | PF_FILTER);
    ASSERT_EQ(CreateZYRPortHL(&filt, SLOT_DISPLAY), 0);
    ASSERT_EQ(CreateZYRPortHL(&len, SLOT_DISPLAY), 1);
    EXPECT_EQ(pages.length_port, 2u);
    EXPECT_EQ(port_state.filter_port, 1);
    EXPECT_EQ(zyr_port(1)->h.flags & RT_LENGTH, RT_LENGTH);
    EXPECT_EQ(zyr_port(0)->h.flags & RT_FILTER, RT_FILTER);
    EXPECT_EQ(pkt_layout.desc.fixedpacketlength, 0);
    EXPECT_NE(read_file("debugmsg").find("ZYRPORT Var length pkt <PKTLEN> 1 4"), std::string::npos);
    EXPECT_EQ(page_check_varpktlen(), 0);
    page_free_all();
    EXPECT_EQ(pages.length_port, 0u);
    EXPECT_EQ(port_state.filter_port, 0);
}

// Page 0 written byte by byte: a port of zyr_msecs named ABC, the packet
// record (2-byte sync 0x1234, 64-byte packets), the system record (echo on,
// backup every 30 s) and a plot port in packetheader.
static const uint8_t kHandPage[] = {
    0x05, 0x00, 0x02,                                     // tag 5
    0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xE7,       // bytes 0..999
    0x01, 0x00, 0x08,                                     // port flags: enable
    0x02, 0x00, 0xCE,                                     // view 2 (zyr_msecs)
    'A', 'B', 'C', 0x00, 0x4D,                            // mnemonic
    '%', 'l', 'u', 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x69,  // rawformat, rest
    0x29, 0x01, 0x00, 0x01,                               // tag 297
    0x00, 0x0D, 0x40, 0x00, 0x1C, 0x02, 0x00, 0x04,       // length 64, sync length 2
    0x12, 0x34, 0x00, 0x01, 0xFF, 0xFF,                   // pattern, mask
    0x34, 0x01, 0x00, 0x01,                               // tag 308
    0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x4F,  // bytes 0..1359
    0x80, 0x00, 0x26, 0x1E, 0x00, 0x0A,                   // echo; backup period 30
    0x05, 0x00, 0x02,                                     // tag 5
    0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xE7,
    0x01, 0x01,                                           // port flags: enable, plot
    0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x95,
};

TEST_F(Port, AHandWrittenPageFileLoads) {
    write_file("PAGE0000.BIN", std::string((const char*)kHandPage, sizeof kHandPage));
    ASSERT_EQ(page_load(0), 0);
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].count, 2);
    ZyrPort* abc = zyr_port(0);
    ASSERT_NE(abc, nullptr);
    EXPECT_STREQ(abc->h.rec->mnemonic, "ABC");
    EXPECT_EQ(abc->raw, (const uint8_t*)&zyr.zyr_msecs);
    EXPECT_EQ(abc->h.port_flags, PF_ENABLE | PF_XPORT);   // the plot port's X port
    EXPECT_EQ(abc->h.process_mask, 0xFFFFFFFFu);
    ZyrPort* plot = zyr_port(1);
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->h.flags, RT_XPLOT | RT_HELD);
    EXPECT_EQ(pkt_layout.desc.fixedpacketlength, 64);
    EXPECT_EQ(pkt_layout.sync_value, 0x1234u);
    EXPECT_EQ(zyr.SystemFlags & SF_ECHO, SF_ECHO);
    EXPECT_EQ(pages.backup_period, 30u);
}

static void random_fill(void* p, size_t n, std::mt19937& rng) {
    for (size_t i = 0; i < n; i++) ((uint8_t*)p)[i] = (uint8_t)rng();
}

// A record with every unnamed byte random and the named fields valid.
static PortRecord random_port(int i, std::mt19937& rng) {
    PortRecord r;
    random_fill(&r, sizeof r, rng);
    snprintf(r.mnemonic, sizeof r.mnemonic, "P%d", i);
    snprintf(r.rawformat, sizeof r.rawformat, "%s", "%lu");
    snprintf(r.displayformat, sizeof r.displayformat, "%s", "%lu");
    r.view = VIEW_ZYR_STATS;
    r.byteindex = (uint16_t)(rng() % 1000);
    r.port_flags = PF_ENABLE | (i % 2 ? PF_CALIB | PF_ALARM : 0);
    r.function = FN_POLYNOMIAL;
    r.cal.avgsamples = i % 3;
    r.supercommcount = 0;
    r.sbtagcount = 0;
    PageRecordBody b;
    b.port = r;
    page_bound_texts(TAG_PORT, &b);  // a page file's texts end inside their fields
    return b.port;
}

TEST_F(Port, DisplayPageRoundTripsByteForByte) {
    std::mt19937 rng(3);
    int f = zyr_fopen("PAGE0010.BIN", "w", 2048);
    for (int i = 0; i < 6; i++) {
        PortRecord r = random_port(i, rng);
        page_write_record(f, TAG_PORT, &r);
    }
    zyr_fclose(f);
    std::string original = read_file("PAGE0010.BIN");
    ASSERT_EQ(page_load(10), 0);
    ASSERT_EQ(pages.slot[SLOT_DISPLAY].count, 6);
    page_mark_changed(SLOT_DISPLAY);
    ASSERT_EQ(page_save(SAVE_DISPLAY, 0, nullptr, 0), 0);
    EXPECT_EQ(read_file("PAGE0010.BIN"), original);
}

static void advance(uint64_t ms) {
    plat_fake_clock_advance(ms);
    clock_update();
}

TEST_F(Port, BackupsOnTheClock) {
    write_file("PAGE0000.BIN", std::string((const char*)kHandPage, sizeof kHandPage));
    std::mt19937 rng(4);
    int f = zyr_fopen("PAGE0010.BIN", "w", 2048);
    PortRecord r = random_port(0, rng);
    page_write_record(f, TAG_PORT, &r);
    zyr_fclose(f);
    write_file("PAGE9999.BIN", "");
    ASSERT_EQ(page_change(10), 0);
    clock_start();
    page_set_backup_period(12);
    EXPECT_EQ(page_backup_step(), BACKUP_TOO_SOON);
    advance(5000);
    EXPECT_EQ(page_backup_step(), 0);                 // state 0 -> 1
    advance(999);
    EXPECT_EQ(page_backup_step(), BACKUP_TOO_SOON);   // within 1000 ms
    advance(4001);
    EXPECT_EQ(page_backup_step(), BACKUP_NOT_DUE);    // 10 s of the 12
    advance(5000);
    page_mark_changed(SLOT_DISPLAY);
    EXPECT_EQ(page_backup_step(), 0);                 // state 1: one file committed
    EXPECT_FALSE(zyr_fexists("PAGE0010.BAK"));
    advance(5000);
    EXPECT_EQ(page_backup_step(), 0);                 // state 2: the display page
    EXPECT_EQ(read_file("PAGE0010.BAK"), read_file("PAGE0010.BIN"));
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 1);   // a backup is not a save
    advance(5000);
    EXPECT_EQ(page_backup_step(), 0);                 // state 3: system pages unchanged
    EXPECT_FALSE(zyr_fexists("PAGE0000.BAK"));
    debug_printf("before state 4");
    advance(5000);
    EXPECT_EQ(page_backup_step(), 0);                 // state 4: the debug log is closed
    std::string log = read_file("debugmsg");
    size_t line = log.find("before state 4");
    ASSERT_NE(line, std::string::npos);
    EXPECT_NE(log.find("Filename = debugmsg, Closetime = ", line), std::string::npos);
    EXPECT_EQ(log.find("Page backup"), std::string::npos);
    page_mark_changed(SLOT_SYSPARAMS);
    for (int i = 0; i < 4; i++) {
        advance(5000);
        EXPECT_EQ(page_backup_step(), 0);
    }
    EXPECT_TRUE(zyr_fexists("PAGE9999.BAK"));
    // Page 0's backup holds its ports, then the packet and system records.
    int bak = page_file_open_read("PAGE0000.BAK");
    ASSERT_GE(bak, 0);
    PageRecordBody body;
    std::vector<int> tags;
    for (int t; (t = page_read_record(bak, &body)) > 0;) tags.push_back(t);
    zyr_fclose(bak);
    EXPECT_EQ((std::vector<int>{TAG_PORT, TAG_PORT, TAG_PACKET, TAG_SYSTEM}), tags);
    EXPECT_EQ(body.system.backupperiod, 12u);
    page_set_backup_period(0);
    advance(5000);
    EXPECT_EQ(page_backup_step(), BACKUP_OFF);
}

TEST_F(Port, AFailedBackupIsReportedAndTheMachineGoesOn) {
    write_file("PAGE0010.BIN", "");
    ASSERT_EQ(page_load(10), 0);
    ASSERT_EQ(page_set_dir("gone"), 0);   // the page directory has vanished
    clock_start();
    page_set_backup_period(5);
    page_mark_changed(SLOT_DISPLAY);
    page_mark_changed(SLOT_SYSTEM);
    int results[4];
    for (int& r : results) {
        advance(5000);
        r = page_backup_step();
    }
    EXPECT_EQ(results[2], -1);
    EXPECT_EQ(results[3], -2);
    EXPECT_EQ(pages.backup_state, 4);
}

static bool exists_within(const char* name, int ms) {
    for (int i = 0; i < ms / 20; i++) {
        if (zyr_fexists(name)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return zyr_fexists(name);
}

TEST_F(Port, KorlwRegeneratesTheTextAfterASave) {
    char exe[4096];
    if (plat_exe_dir(exe, sizeof exe) == 0 && access((std::string(exe) + "/korlw").c_str(), X_OK) == 0)
        GTEST_SKIP() << "a korlw next to the test program would run instead";
    ASSERT_EQ(plat_cwd(zyr.startdir, sizeof zyr.startdir), 0);
    write_file("korlw", "#!/bin/sh\necho \"$1\" >> korlw.log\n");
    chmod("korlw", 0755);
    page_register_startup_hooks();
    write_file("PAGE0010.BIN", "");
    ASSERT_EQ(page_load(10), 0);
    ASSERT_EQ(page_save(SAVE_DISPLAY, 0, "B.BAK", SAVE_BACKUP), 0);
    ASSERT_EQ(page_save(SAVE_DISPLAY, 0, nullptr, 0), 0);
    ASSERT_TRUE(exists_within("korlw.log", 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(read_file("korlw.log"), "PAGE0010.TXT\n");   // started once, not for the backup
    remove("korlw");
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(page_start_korlw("PAGE0010.BIN"), -1);
    EXPECT_EQ(page_save(SAVE_DISPLAY, 0, nullptr, 0), 0);   // its absence does not fail the save
    setenv("PATH", path.c_str(), 1);
}

// Children of this process that ended and were not waited for.
static int zombie_children() {
    int n = 0;
    DIR* d = opendir("/proc");
    while (dirent* e = d ? readdir(d) : nullptr) {
        char path[300], stat[512] = "";
        snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
        FILE* f = e->d_name[0] >= '0' && e->d_name[0] <= '9' ? fopen(path, "r") : nullptr;
        if (!f) continue;
        size_t got = fread(stat, 1, sizeof stat - 1, f);
        fclose(f);
        stat[got] = 0;
        const char* end = strrchr(stat, ')');
        char state = 0;
        int ppid = 0;
        if (end && sscanf(end + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() && state == 'Z') n++;
    }
    if (d) closedir(d);
    return n;
}

// A session that saves many pages starts korlw each time: none of them is
// left behind as a finished child, and a program that cannot run says so.
TEST_F(Port, StartedProgramsLeaveNothingBehind) {
    for (int i = 0; i < 40; i++) ASSERT_EQ(plat_start_detached("/bin/true", "x"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(zombie_children(), 0);
    EXPECT_EQ(plat_start_detached("/nonexistent/korlw", "x"), -1);
    write_file("not_executable", "#!/bin/sh\n");
    EXPECT_EQ(plat_start_detached("./not_executable", "x"), -1);
    EXPECT_EQ(zombie_children(), 0);
}

TEST_F(Port, StartupLoadsIntoTheStartupTable) {
    page_register_startup_hooks();
    std::mt19937 rng(8);
    int f = zyr_fopen("PAGE0010.BIN", "w", 2048);
    PortRecord r = random_port(0, rng);
    page_write_record(f, TAG_PORT, &r);
    zyr_fclose(f);
    ASSERT_EQ(early_startup(10), 0);
    ASSERT_NE(startup.port_table, nullptr);
    EXPECT_FALSE(startup_hooks.page_resident(10));   // the first pass builds it
    ASSERT_EQ(startup_hooks.load_page(10), 0);
    EXPECT_EQ(startup.port_table[0], (void*)page_port(0));
    EXPECT_EQ(startup_hooks.page_resident(10), 1);
    startup_hooks.free_page_lists();
    EXPECT_EQ(startup.port_table[0], nullptr);
    EXPECT_EQ(page_set_table(nullptr), 0);
    QOBfree(startup.recent_files);
    QOBfree(startup.port_table);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
}
