#include "core/page.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "core/packet.h"
#include "platform/fake/ui_fake.h"
#include "platform/ui.h"
#include "tests/test_support.h"

// A builder that keeps just the record, so the table logic is seen on its
// own; it can be told to fail for one index and records what it deleted.
static int g_fail_index = -1;
static int g_destroy_rc;
static std::vector<int> g_destroyed;
static std::vector<int> g_orphans;

static PortHead* test_build(const PortRecord* rec, int index) {
    if (index == g_fail_index) return nullptr;
    auto* p = (PortHead*)QOBmalloc(sizeof(PortHead));
    auto* r = (PortRecord*)QOBmalloc(sizeof(PortRecord));
    *r = *rec;
    *p = PortHead{r, 0, rec->port_flags, rec->processrate, rec->displayrate, 0, -1, -1};
    return p;
}

static int test_destroy(PortHead* p, int index) {
    g_destroyed.push_back(index);
    QOBfree(p->rec);
    QOBfree(p);
    return g_destroy_rc;
}

static void test_orphan(PortHead*, int index) { g_orphans.push_back(index); }

class Page : public ::testing::Test {
protected:
    void SetUp() override {
        page_reset();
        packet_reset();
        reset_core();
        pagefile_reset();
        fake_ui_reset();
        g_fail_index = -1;
        g_destroy_rc = 0;
        g_destroyed.clear();
        g_orphans.clear();
        port_ops = PortOps{test_build, nullptr, test_destroy, test_orphan};
    }
    void TearDown() override {
        page_reset();
        packet_reset();
        reset_core();
    }
};

static PortRecord port(const char* name, uint32_t flags = PF_ENABLE) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    snprintf(r.mnemonic, sizeof r.mnemonic, "%s", name);
    r.port_flags = flags;
    r.displayrate = r.processrate = 0x55555555u;
    return r;
}

static PortRecord tag(const char* name, const char* of, uint32_t stored) {
    PortRecord r = port(name, PF_ENABLE | PF_SUBCOM);
    snprintf(r.subcomtag, sizeof r.subcomtag, "%s", of);
    r.portno = stored;
    return r;
}

static void write_page(const char* name, const std::vector<PortRecord>& ports) {
    int f = zyr_fopen(name, "w", 2048);
    for (const auto& p : ports) page_write_record(f, TAG_PORT, &p);
    zyr_fclose(f);
}

static std::string mnemonic(int index) {
    PortHead* p = page_port(index);
    return p ? p->rec->mnemonic : "";
}

static int create(const char* name, uint32_t flags = PF_ENABLE, int slot = SLOT_DISPLAY) {
    PortRecord r = port(name, flags);
    return CreateZYRPortHL(&r, slot);
}

static void fill_table_to(int n) {
    for (int i = pages.next_index; i < n; i++) ASSERT_EQ(create("FILL", PF_ENABLE, SLOT_SYSTEM), i);
}

TEST_F(Page, SlotsOfPageNumbers) {
    EXPECT_EQ(page_slot(0), SLOT_SYSTEM);
    EXPECT_EQ(page_slot(9999), SLOT_SYSPARAMS);
    EXPECT_EQ(page_slot(1), SLOT_DISPLAY);
    EXPECT_EQ(page_slot(9998), SLOT_DISPLAY);
    EXPECT_EQ(page_slot(-1), NO_SLOT);
    EXPECT_EQ(page_slot(10000), NO_SLOT);
    EXPECT_EQ(page_load(10000), -1);
}

TEST_F(Page, LoadsPagesIntoSlotsAndPublishesTheCounters) {
    write_page("PAGE0000.BIN", {port("SYS1"), port("SYS2")});
    write_page("page0010.bin", {port("A"), port("OFF", 0), port("B"), port("C")});
    ASSERT_EQ(page_load(0), 0);
    ASSERT_EQ(page_load(10), 0);   // found whatever the case of its name
    EXPECT_EQ(pages.next_index, 5);
    const PageSlot& d = pages.slot[SLOT_DISPLAY];
    EXPECT_EQ(d.page, 10);
    EXPECT_EQ(d.first, 2);
    EXPECT_EQ(d.last, 4);
    EXPECT_EQ(d.count, 3);
    EXPECT_EQ(mnemonic(3), "B");   // the disabled port got no entry
    EXPECT_EQ(zyr_stat(ST_PORTS_1), 2u);
    EXPECT_EQ(zyr_stat(ST_PORTS_2), 3u);
    EXPECT_EQ(zyr_stat(ST_PORTS_3), 4u);
    EXPECT_TRUE(page_resident(10));
    EXPECT_FALSE(page_resident(11));
    EXPECT_FALSE(page_resident(9999));
}

TEST_F(Page, MissingAndEmptyPages) {
    EXPECT_EQ(page_load(12), 14);
    EXPECT_EQ(diag.last_code, 14);
    EXPECT_FALSE(page_resident(12));
    write_file("PAGE0012.BIN", "");
    EXPECT_EQ(page_load(12), 0);
    EXPECT_TRUE(page_resident(12));
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 0);
    // An empty slot still satisfies first + count = last + 1.
    EXPECT_EQ(zyr_stat(ST_PORTS_1) + zyr_stat(ST_PORTS_2), zyr_stat(ST_PORTS_3) + 1);
}

struct CutCase {
    const char* name;
    std::string tail;
    int result;
};

TEST_F(Page, ACorruptRecordStopsTheLoadAndKeepsWhatCameBefore) {
    const std::string ok = std::string("\x05\x00\x02", 3);
    const CutCase cases[] = {
        {"short port", ok + std::string("\x00\xFF", 2), PAGE_SHORT_PORT},
        {"short packet", std::string("\x29\x01\x00\x01\x00\x05", 6), PAGE_SHORT_PACKET},
        {"short system", std::string("\x34\x01\x00\x01\x00\x05", 6), PAGE_SHORT_SYSTEM},
        {"unknown tag", std::string("\x07\x00\x02", 3), PAGE_UNKNOWN_TAG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_page("PAGE0020.BIN", {port("FIRST"), port("SECOND")});
        std::string file = read_file("PAGE0020.BIN") + c.tail;
        write_file("PAGE0020.BIN", file);
        EXPECT_EQ(page_load(20), c.result);
        const PageSlot& d = pages.slot[SLOT_DISPLAY];
        EXPECT_EQ(d.count, 2);
        EXPECT_EQ(mnemonic(d.first + 1), "SECOND");
        EXPECT_EQ(pages.next_index, d.first + 2);
    }
}

TEST_F(Page, ReloadingAPageReplacesItsSlot) {
    write_page("PAGE0030.BIN", {port("A"), port("B")});
    ASSERT_EQ(page_load(30), 0);
    ASSERT_EQ(page_load(30), 0);
    EXPECT_EQ((std::vector<int>{1, 0}), g_destroyed);   // last index first
    // The next index never goes down: the new ports follow the old ones.
    EXPECT_EQ(pages.next_index, 4);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].first, 2);
    EXPECT_EQ(mnemonic(3), "B");
}

TEST_F(Page, FullTableReusesFreeEntries) {
    fill_table_to(1020);
    page_delete_port(5);
    page_delete_port(10);
    page_delete_port(11);
    page_delete_port(600);
    EXPECT_EQ(pages.next_index, 1020);
    PortRecord x = port("X"), y = port("Y", PF_ENABLE | PF_PLOT);
    EXPECT_EQ(CreateZYRPortVHL(&y, &x, SLOT_DISPLAY), 11);   // a pair needs two adjacent entries
    EXPECT_EQ(page_port(10)->port_flags & PF_XPORT, PF_XPORT);
    EXPECT_EQ(create("P"), 5);
    // Entries 600 and 1020..1023 are free: five, enough for one more port.
    EXPECT_EQ(create("Q"), 600);
    EXPECT_EQ(create("R"), 1020);
    EXPECT_EQ(pages.next_index, 1021);
    // With three free entries left the table is full.
    EXPECT_EQ(create("S"), -2);
    EXPECT_EQ(diag.last_code, 15);
    EXPECT_NE(read_file("debugmsg").find("CreateZYRPortHL(): MAXZYRPORTS exceeded"), std::string::npos);
    // The display slot spans its scattered ports; other slots' ports inside
    // the span are not its own.
    const PageSlot& d = pages.slot[SLOT_DISPLAY];
    EXPECT_EQ(d.first, 5);
    EXPECT_EQ(d.last, 1020);
    EXPECT_EQ(page_slot_port(SLOT_DISPLAY, 6), nullptr);
    DeletePageLL(SLOT_DISPLAY);
    EXPECT_EQ(page_port(6)->slot, SLOT_SYSTEM);
    EXPECT_EQ(page_port(1020), nullptr);
    EXPECT_EQ(pages.next_index, 1021);
}

// Page changes walk the table up; at its end the ports of a page go into
// the entries that the pages before them freed, and a page still loads.
TEST_F(Page, ManyPageChangesReuseTheFreedEntries) {
    write_page("PAGE0031.BIN", {port("A"), port("B"), port("C"), port("D"), port("E")});
    for (int i = 0; i < 300; i++) {
        ASSERT_EQ(page_load(31), 0) << i;
        ASSERT_EQ(pages.slot[SLOT_DISPLAY].count, 5) << i;
    }
    EXPECT_GE(pages.next_index, MAXZYRPORTS - 4);
    const PageSlot& d = pages.slot[SLOT_DISPLAY];
    std::vector<std::string> names;
    for (int i = d.first; i <= d.last; i++) names.push_back(mnemonic(i));
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "C", "D", "E"}));
}

TEST_F(Page, PlotPortWithoutPairedEntryFailsInTheReuseRegime) {
    fill_table_to(1020);
    page_delete_port(3);
    PortRecord y = port("Y", PF_ENABLE | PF_PLOT);
    EXPECT_EQ(CreateZYRPortHL(&y, SLOT_DISPLAY), -2);   // no pending X port
}

TEST_F(Page, CreationResults) {
    EXPECT_EQ(create("OFF", 0), -3);
    EXPECT_EQ(pages.next_index, 0);
    g_fail_index = 0;
    EXPECT_EQ(create("BAD"), -1);
    EXPECT_EQ(diag.last_code, 15);
    EXPECT_EQ(pages.next_index, 0);
    g_fail_index = -1;
    PortRecord y = port("Y", PF_ENABLE | PF_PLOT), x = port("X");
    EXPECT_EQ(CreateZYRPortVHL(&y, nullptr, SLOT_DISPLAY), -1);
    g_fail_index = 1;   // the Y port fails: its X port goes again
    EXPECT_EQ(CreateZYRPortVHL(&y, &x, SLOT_DISPLAY), -3);
    EXPECT_EQ(page_port(0), nullptr);
    EXPECT_EQ(pages.next_index, 1);   // the X port's entry stays handed out
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("CreateZYRPortVHL() Y port call CreateZYRPortHL() failed -1"), std::string::npos);
    EXPECT_NE(log.find("CreateZYRPortVHL() Y plot call CreateZYRPortHL() failed -1"), std::string::npos);
    g_fail_index = 1;
    EXPECT_EQ(CreateZYRPortVHL(&y, &x, SLOT_DISPLAY), -2);
    EXPECT_NE(read_file("debugmsg").find("CreateZYRPortVHL() X plot call CreateZYRPortHL() failed -1"),
              std::string::npos);
    g_fail_index = -1;
    EXPECT_EQ(CreateZYRPortVHL(&y, &x, SLOT_DISPLAY), 2);
    EXPECT_EQ(page_port(1)->flags & RT_XPORT, RT_XPORT);
    EXPECT_EQ(page_port(1)->rec->processrate, 0xFFFFFFFFu);
    EXPECT_EQ(page_port(2)->rec->displayrate, 0xFFFFFFFFu);
}

TEST_F(Page, PlotPairsAreMarkedWithinASlot) {
    write_page("PAGE0000.BIN", {port("S")});
    write_page("PAGE0040.BIN", {port("PLOT0", PF_ENABLE | PF_PLOT), port("X1"), port("Y1", PF_ENABLE | PF_PLOT),
                                port("V"), port("X2"), port("Y2", PF_ENABLE | PF_PLOT)});
    page_load(0);
    page_load(40);
    EXPECT_EQ(page_port(0)->port_flags & PF_XPORT, 0u);   // S is on another page than PLOT0
    EXPECT_EQ(page_port(2)->port_flags & PF_XPORT, PF_XPORT);
    EXPECT_EQ(page_port(2)->display_mask, 0xFFFFFFFFu);
    EXPECT_EQ(page_port(4)->port_flags & PF_XPORT, 0u);
    EXPECT_EQ(page_port(5)->port_flags & PF_XPORT, PF_XPORT);
    EXPECT_EQ(page_port(5)->flags & RT_XPORT, RT_XPORT);
}

TEST_F(Page, SubcomTagsLinkAndRecount) {
    PortRecord parent = port("FRAMEID");
    parent.sbtagcount = 5;   // a stale count from the file adds nothing
    write_page("PAGE0050.BIN", {port("OTHER"), parent, tag("T1", "FRAMEID", 0), tag("T2", "FRAMEID", 1),
                                tag("T3", "NOSUCH", 0), tag("T4", "T1", 0)});
    ASSERT_EQ(page_load(50), 0);
    EXPECT_EQ(page_port(1)->tag_count, 2);
    EXPECT_EQ(page_port(2)->rec->portno, 1u);
    EXPECT_EQ(page_port(2)->tag_parent, 1);
    EXPECT_EQ(page_port(3)->tag_parent, 1);
    EXPECT_EQ(page_port(4)->tag_parent, -1);
    EXPECT_EQ((std::vector<int>{4, 5}), g_orphans);   // a tag cannot name another tag
    PortRecord saved;
    page_port_record(page_port(1), &saved);
    EXPECT_EQ(saved.sbtagcount, 2);
}

TEST_F(Page, DeletePageReportsFailuresAndGoesOn) {
    write_page("PAGE0060.BIN", {port("A"), port("B"), port("C")});
    page_load(60);
    g_destroy_rc = -1;
    EXPECT_EQ(DeletePageLL(SLOT_DISPLAY), -1);
    EXPECT_EQ((std::vector<int>{2, 1, 0}), g_destroyed);
    EXPECT_EQ(diag.last_code, 21);
    EXPECT_NE(read_file("debugmsg").find("DeletePageLL>1 0 -1"), std::string::npos);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 0);
    EXPECT_EQ(pages.next_index, 3);
}

// ---- saving ----------------------------------------------------------------

static void random_bytes(void* p, size_t n, std::mt19937& rng) {
    auto* b = (uint8_t*)p;
    for (size_t i = 0; i < n; i++) b[i] = (uint8_t)rng();
}

static PortRecord random_port(const char* name, uint32_t flags, std::mt19937& rng) {
    PortRecord r;
    random_bytes(&r, sizeof r, rng);
    r.port_flags = flags;
    r.sbtagcount = 0;
    snprintf(r.mnemonic, sizeof r.mnemonic, "%s", name);
    snprintf(r.subcomtag, sizeof r.subcomtag, "%s", "none");
    PageRecordBody b;
    b.port = r;
    page_bound_texts(TAG_PORT, &b);  // texts end inside their fields, as written
    return b.port;
}

static SystemRecord random_system(std::mt19937& rng) {
    SystemRecord s;
    random_bytes(&s, sizeof s, rng);
    for (auto& e : s.serial) e.bufsize = (uint16_t)(1024 + rng() % 4096);
    s.backupperiod = 600;
    PageRecordBody b;
    b.system = s;
    page_bound_texts(TAG_SYSTEM, &b);
    return b.system;
}

static PacketRecord standard_packet() {
    PacketRecord s;
    packet_defaults(&s);
    s.fixedpacketlength = 100;
    packet_setup(&s);
    return pkt_layout.desc;
}

// Every byte of every record, pad bytes and all, comes back as it was read.
TEST_F(Page, SettingsPageRoundTripsByteForByte) {
    std::mt19937 rng(5);
    PacketRecord pkt = standard_packet();
    SystemRecord sys = random_system(rng);
    int f = zyr_fopen("PAGE0000.BIN", "w", 2048);
    PortRecord a = random_port("A", PF_ENABLE, rng);
    PortRecord x = random_port("X", PF_ENABLE | PF_XPORT, rng);
    PortRecord y = random_port("Y", PF_ENABLE | PF_PLOT, rng);
    for (auto* r : {&a, &x, &y}) page_write_record(f, TAG_PORT, r);
    page_write_record(f, TAG_PACKET, &pkt);
    page_write_record(f, TAG_SYSTEM, &sys);
    zyr_fclose(f);
    packet_reset();
    ASSERT_EQ(page_load(0), 0);
    EXPECT_EQ(pkt_layout.desc.fixedpacketlength, 100);
    ASSERT_EQ(page_save(SAVE_SETTINGS, 0, "COPY.BIN", 0), 0);
    EXPECT_EQ(read_file("COPY.BIN"), read_file("PAGE0000.BIN"));
}

TEST_F(Page, SaveWritesEnabledPortsOnly) {
    write_page("PAGE0070.BIN", {port("A"), port("B"), port("C")});
    page_load(70);
    page_port(1)->port_flags &= ~PF_ENABLE;
    page_mark_changed(SLOT_DISPLAY);
    ASSERT_EQ(page_save(SAVE_DISPLAY, 0, nullptr, 0), 0);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 0);
    EXPECT_FALSE(zyr_fexists("PAGE0070.BIN.TMP"));
    page_load(70);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 2);
    EXPECT_EQ(mnemonic(pages.slot[SLOT_DISPLAY].first + 1), "C");
}

static std::vector<uint32_t> g_loop_calls;
static void spy_loop_time(uint32_t ms) {
    g_loop_calls.push_back(ms);
    zyr.loop_msecs = ms;
}

TEST_F(Page, SaveRunsAtTenMsAndRestoresTheLoopTime) {
    g_loop_calls.clear();
    page_hooks.set_loop_time = spy_loop_time;
    zyr.loop_msecs = 250;
    write_page("PAGE0071.BIN", {port("A")});
    page_load(71);
    ASSERT_EQ(page_save(SAVE_DISPLAY, 0, nullptr, 0), 0);
    EXPECT_EQ((std::vector<uint32_t>{10, 250}), g_loop_calls);
}

TEST_F(Page, SinglePortGoesWithItsPlotPartner) {
    write_page("PAGE0080.BIN", {port("V"), port("X"), port("Y", PF_ENABLE | PF_PLOT), port("W")});
    page_load(80);
    page_mark_changed(SLOT_DISPLAY);
    write_page("PAGE0081.BIN", {port("OLD")});
    ASSERT_EQ(page_save(SAVE_PORT, 2, "PAGE0081.BIN", SAVE_APPEND), 0);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 1);   // the display page itself was not saved
    ASSERT_EQ(page_save(SAVE_PORT, 0, "PAGE0082.BIN", 0), 0);
    ASSERT_EQ(page_load(81), 0);
    int first = pages.slot[SLOT_DISPLAY].first;
    EXPECT_EQ(mnemonic(first), "OLD");
    EXPECT_EQ(mnemonic(first + 1), "X");
    EXPECT_EQ(mnemonic(first + 2), "Y");
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 3);
    ASSERT_EQ(page_load(82), 0);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 1);
    EXPECT_EQ(page_save(SAVE_PORT, 5, "PAGE0083.BIN", 0), -1);   // no port there
}

// A file size limit makes the writes fail part way, as a full disk does.
class FileLimit {
public:
    explicit FileLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit l = old_;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_;
    sighandler_t old_handler_;
};

TEST_F(Page, AFailedSaveLeavesNoPartialFile) {
    std::mt19937 rng(9);
    std::vector<PortRecord> many;
    for (int i = 0; i < 8; i++) many.push_back(random_port("BIG", PF_ENABLE, rng));
    write_page("PAGE0090.BIN", many);
    ASSERT_EQ(page_load(90), 0);
    write_page("PAGE0091.BIN", {port("KEEP")});
    std::string keep = read_file("PAGE0091.BIN");
    page_mark_changed(SLOT_DISPLAY);
    {
        FileLimit limit(6000);
        EXPECT_EQ(page_save(SAVE_DISPLAY, 0, "PAGE0091.BIN", 0), -2);
        EXPECT_EQ(page_save(SAVE_DISPLAY, 0, "PAGE0092.BIN", 0), -2);
        EXPECT_EQ(page_save(SAVE_DISPLAY, 0, "PAGE0091.BIN", SAVE_APPEND), -2);
    }
    EXPECT_EQ(read_file("PAGE0091.BIN"), keep);
    EXPECT_FALSE(zyr_fexists("PAGE0092.BIN"));
    EXPECT_FALSE(zyr_fexists("PAGE0091.BIN.TMP"));
    EXPECT_FALSE(zyr_fexists("PAGE0092.BIN.TMP"));
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 1);
    EXPECT_EQ(page_save(SAVE_DISPLAY, 0, "nodir/PAGE0093.BIN", 0), -1);
}

// ---- system record, variable length check, page change -------------------------

static std::vector<int> g_serial_index;
static int g_back = -2, g_fore = -2;
static void spy_serial(int index, const SerialEntry* e) {
    g_serial_index.push_back(index);
    EXPECT_GE(e->bufsize, 1024);
}
static void spy_display(uint32_t, int back, int fore) {
    g_back = back;
    g_fore = fore;
}

TEST_F(Page, SystemRecordIsApplied) {
    g_serial_index.clear();
    page_hooks.apply_serial = spy_serial;
    page_hooks.apply_display = spy_display;
    SystemRecord s;
    memset(&s, 0, sizeof s);
    s.serial[1].bufsize = 100;
    s.serial[2].bufsize = 2000;
    s.sysflags = 0x1 | 0x80 | 0x40000000;   // every bit is ORed in
    s.ioflags = 0x400 | IO_BACKUP | 0x8000 | 0x1000;   // not the serial port: it is not open
    s.backupperiod = 100000;
    s.flushperiod = 30;
    s.colourflags = SYS_WINDOWFORECOLOR;
    s.windowbackcolor = 3;
    s.windowforecolor = 14;
    int f = zyr_fopen("PAGE0000.BIN", "w", 2048);
    page_write_record(f, TAG_SYSTEM, &s);
    zyr_fclose(f);
    ASSERT_EQ(page_load(0), 0);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), g_serial_index);
    EXPECT_EQ(pages.sysrec.serial[1].bufsize, 8192);
    EXPECT_EQ(pages.sysrec.serial[2].bufsize, 2000);
    EXPECT_EQ(zyr.SystemFlags, 0x40000081u);
    EXPECT_EQ(zyr.IoFlags, 0x1400u | IO_BACKUP);
    EXPECT_EQ(pages.backup_period, 86400u);
    EXPECT_EQ(pages.flush_period, 30u);
    EXPECT_EQ(g_back, -1);
    EXPECT_EQ(g_fore, 14);
    page_set_backup_period(0);
    EXPECT_EQ(zyr.IoFlags, 0x1400u);
}

// Page 0 switches on one input source at most: the first in the order of
// the conflict check, or none while another source runs.
TEST_F(Page, SystemRecordSwitchesOnOneInputSource) {
    struct Case {
        const char* name;
        uint32_t running, page, want;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {"three from the page", 0, IO_TEST_DATA | IO_USER_BYTE_IN | IO_USER_PACKET_IN, IO_TEST_DATA,
         {"Page 0 input source User byte left off: Test data is on",
          "Page 0 input source User pck left off: Test data is on"}},
        {"two from the page", 0, IO_USER_BYTE_IN | IO_USER_PACKET_IN | IO_SERIAL_IN, IO_USER_BYTE_IN,
         {"Page 0 input source User pck left off: User byte is on"}},
        {"one running", IO_RAW_PLAYBACK, IO_TEST_DATA, IO_RAW_PLAYBACK,
         {"Page 0 input source Test data left off: Raw is on"}},
        {"the same as running", IO_USER_BYTE_IN, IO_USER_BYTE_IN, IO_USER_BYTE_IN, {}},
        {"one", 0, IO_USER_PACKET_IN, IO_USER_PACKET_IN, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        remove("debugmsg");
        zyr.IoFlags = c.running;
        SystemRecord s;
        memset(&s, 0, sizeof s);
        s.ioflags = c.page;
        int f = zyr_fopen("PAGE0000.BIN", "w", 2048);
        page_write_record(f, TAG_SYSTEM, &s);
        zyr_fclose(f);
        ASSERT_EQ(page_load(0), 0);
        EXPECT_EQ(zyr.IoFlags, c.want);
        std::string log = read_file("debugmsg");
        for (const std::string& line : c.logged) EXPECT_NE(log.find(line), std::string::npos) << line;
        if (c.logged.empty()) {
            EXPECT_EQ(log.find("left off"), std::string::npos);
        }
    }
}

static int fake_warning_box(const char* text, const char* caption) {
    return plat_message_box(text, caption, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(Page, VariableLengthCheck) {
    page_hooks.warning_box = fake_warning_box;
    PacketRecord s;
    packet_defaults(&s);   // variable length
    packet_setup(&s);
    PortRecord a = port("LEN1", PF_ENABLE | PF_VARPKTLEN), b = port("LEN2", PF_ENABLE | PF_VARPKTLEN);
    write_page("PAGE0100.BIN", {port("V"), a, b});
    page_load(100);
    pages.length_port = 2;
    EXPECT_EQ(page_check_varpktlen(), -1);
    EXPECT_EQ(page_port(2)->port_flags & PF_VARPKTLEN, 0u);
    EXPECT_NE(read_file("debugmsg").find("multiple var pkt length entries 2 3"), std::string::npos);
    pages.length_port = 7;
    EXPECT_EQ(page_check_varpktlen(), -2);
    EXPECT_EQ(pages.length_port, 2u);
    EXPECT_NE(read_file("debugmsg").find("var pkt len parm does not match cfg'd 7 2"), std::string::npos);
    EXPECT_TRUE(fake_ui_boxes().empty());

    page_port(1)->port_flags &= ~PF_VARPKTLEN;
    EXPECT_EQ(page_check_varpktlen(), -3);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Variable Length Pkts");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Warning - Missing pkt length parameter.\nDefault 128 byte length assumed");
    EXPECT_EQ(pkt_layout.desc.fixedpacketlength, 128);
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 1);
    EXPECT_EQ(page_check_varpktlen(), 0);   // fixed length: nothing to check
    EXPECT_EQ(fake_ui_boxes().size(), 1u);
}

// Without a window system to show the box, the warning is an error report.
TEST_F(Page, VariableLengthWarningWithoutABox) {
    PacketRecord s;
    packet_defaults(&s);
    packet_setup(&s);
    write_page("PAGE0101.BIN", {port("V")});
    page_load(101);
    EXPECT_EQ(page_check_varpktlen(), -3);
    EXPECT_TRUE(fake_ui_boxes().empty());
    EXPECT_EQ(diag.last_code, 21);
    EXPECT_EQ(pkt_layout.desc.fixedpacketlength, 128);
}

static int g_repaints;
static void spy_repaint() { g_repaints++; }

TEST_F(Page, PageChangeReplacesTheDisplayPage) {
    g_repaints = 0;
    page_hooks.repaint = spy_repaint;
    PacketRecord s;
    packet_defaults(&s);
    s.fixedpacketlength = 64;
    packet_setup(&s);
    write_page("PAGE0000.BIN", {port("S")});
    write_page("PAGE9999.BIN", {port("P1"), port("P2")});
    write_page("PAGE0011.BIN", {port("A")});
    write_page("PAGE0012.BIN", {port("B"), port("C")});
    zyr.SystemFlags |= SF_PAGE_CHANGED;
    EXPECT_EQ(page_change(11), 0);
    EXPECT_TRUE(page_resident(0) && page_resident(9999) && page_resident(11));
    EXPECT_FALSE(zyr.SystemFlags & SF_PAGE_CHANGED);
    EXPECT_EQ(page_change(12), 0);
    EXPECT_EQ(pages.next_index, 6);   // the next index never goes down
    EXPECT_EQ(page_port(3), nullptr);  // page 11's entry is free for reuse
    EXPECT_EQ(mnemonic(5), "C");
    EXPECT_EQ(page_change(13), 14);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 0);
    EXPECT_EQ(pages.slot[SLOT_SYSPARAMS].count, 2);
    EXPECT_EQ(g_repaints, 3);
}

// One round of the backup machine: the last step closes the debug log so
// that it is on disk, and adds no line of its own.
TEST_F(Page, BackupRoundEndsByClosingTheDebugLog) {
    page_set_backup_period(10);
    debug_printf("before the round");
    std::vector<int> results;
    for (uint32_t t = 6000; t <= 60000; t += 6000) {
        zyr.zyr_msecs = t;
        results.push_back(page_backup_step());
    }
    EXPECT_EQ(results[0], 0);   // 0 -> 1
    EXPECT_EQ(results[1], 0);   // 1 -> 2: the backup is due
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("Closetime"), std::string::npos);
    EXPECT_EQ(log.find("Page backup"), std::string::npos);
    size_t close = log.find("Closetime");
    EXPECT_LT(log.find("before the round"), close);
}
