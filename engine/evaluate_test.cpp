#include "engine/evaluate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/alarm.h"
#include "engine/cycle.h"
#include "engine/input.h"
#include "engine/serialcfg.h"
#include "tests/eval_support.h"
#include "tests/packet_support.h"

// What the drawing hooks were asked to do.
struct Drawn {
    int port;
    double value;
};
static std::vector<Drawn> g_drawn;
static std::vector<std::pair<double, double>> g_points;

class Evaluate : public ::testing::Test {
protected:
    void SetUp() override {
        eval_setup();
        g_drawn.clear();
        g_points.clear();
        eval_draw.draw_port = [](ZyrPort* p) { g_drawn.push_back({p->index, port_numeric(p)}); };
        eval_draw.plot_point = [](ZyrPort*, double x, double y) { g_points.push_back({x, y}); };
    }
    void TearDown() override { eval_teardown(); }
};

static std::vector<double> drawn_values() {
    std::vector<double> v;
    for (const Drawn& d : g_drawn) v.push_back(d.value);
    return v;
}

TEST_F(Evaluate, APortIsCreatedOnScreenAndSkippedInItsFirstRun) {
    static int created;
    created = 0;
    eval_draw.create_port = [](ZyrPort*) { created++; };
    ZyrPort* p = make_port(eval_record(VIEW_ZYR_MSECS, 0, "%lu"));
    zyr.zyr_msecs = 1234;
    eval_run(0);
    EXPECT_EQ(created, 1);
    EXPECT_TRUE(p->h.flags & RT_ON_SCREEN);
    EXPECT_FALSE(p->valued);
    eval_run(1);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(p->value.u32, 1234u);
    EXPECT_EQ(drawn_values(), std::vector<double>{1234});
}

TEST_F(Evaluate, ProcessRateF04ST02RunsInCyclesOneModuloFour) {
    PortRecord r = eval_record(VIEW_ZYR_MSECS, 0, "%lu");
    uint32_t mask;
    ASSERT_EQ(rate_from_text("F04ST02", 10, 0, &mask), 0);
    r.processrate = r.displayrate = mask;
    make_port(r);
    eval_run(0);
    std::vector<uint32_t> processed;
    for (uint32_t c = 1; c < 40; c++) {
        zyr.zyr_msecs = c * 10;
        size_t before = g_drawn.size();
        eval_run(c);
        if (g_drawn.size() != before) processed.push_back(c);
    }
    EXPECT_EQ(processed, (std::vector<uint32_t>{1, 5, 9, 13, 17, 21, 25, 29, 33, 37}));
}

TEST_F(Evaluate, AnUnchangedValueIsNeitherConvertedNorDrawn) {
    ZyrPort* p = make_port(eval_record(VIEW_PACKETHEADER, 8, "%hu"));
    eval_run(0);
    new_packet(8, {7, 0});
    eval_run(1);
    uint32_t changes = cyc.value_changes;
    for (uint32_t c = 2; c < 6; c++) {
        zyr.zyrfr_cnt++;   // new packets with the same bytes
        eval_run(c);
    }
    EXPECT_EQ(cyc.value_changes, changes);
    EXPECT_EQ(drawn_values(), std::vector<double>{7});
    EXPECT_EQ(p->sample_count, 5u);
}

TEST_F(Evaluate, SupercommutationTakesEverySampleOfANewPacket) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%hu");
    r.supercommcount = 4;
    r.supercommincr = 2;
    ZyrPort* p = make_port(r);
    eval_run(0);
    new_packet(10, {100, 0, 101, 0, 102, 0, 103, 0});
    eval_run(1);
    EXPECT_EQ(drawn_values(), (std::vector<double>{100, 101, 102, 103}));
    EXPECT_EQ(p->sample_count, 4u);
    // Without a new packet only the last sample (offset 6) is taken again.
    g_drawn.clear();
    put_bytes(10, {50, 0, 51, 0, 52, 0, 53, 0});
    eval_run(2);
    EXPECT_EQ(drawn_values(), std::vector<double>{53});
    EXPECT_EQ(p->sample_count, 4u);
}

TEST_F(Evaluate, HeldPortsFollowOnlyAcceptedPackets) {
    PortRecord f = eval_record(VIEW_PACKETHEADER, 4, "%hu", "%hu", PF_ENABLE | PF_FILTER);
    f.filter_lower.u16 = 1;
    f.filter_upper.u16 = 9;
    ZyrPort* filter = make_port(f);
    ZyrPort* held = make_port(eval_record(VIEW_PACKETDATA, 0, "%hu"));
    ZyrPort* sys = make_port(eval_record(VIEW_ZYR_FLAGS, 0, "%lx"));
    ASSERT_EQ(port_state.filter_port, filter->index + 1);
    eval_run(0);
    struct Step {
        uint8_t id, data;
        bool accepted;
    } steps[] = {{3, 30, true}, {12, 40, false}, {5, 50, true}, {0, 60, false}};
    uint32_t cycle = 1;
    uint16_t shown = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.id);
        put_bytes(4, {s.id, 0});
        put_bytes(pkt_layout.header_len, {s.data, 0});
        zyr.zyrfr_cnt++;
        EXPECT_EQ(packet_filter_accepted(), s.accepted);
        EXPECT_EQ((zyr.SystemFlags & SF_ACCEPTED) != 0, s.accepted);
        eval_run(cycle++);
        if (s.accepted) shown = s.data;
        EXPECT_EQ(held->value.u16, shown);
        EXPECT_EQ(sys->value.u32, zyr.SystemFlags);
    }
}

TEST_F(Evaluate, WithoutAFilterTheDisplayPageAcceptsThePacket) {
    make_port(eval_record(VIEW_PACKETDATA, 0, "%hu"));
    zyr.SystemFlags &= ~SF_ACCEPTED;
    eval_run(0);
    EXPECT_TRUE(zyr.SystemFlags & SF_ACCEPTED);
    EXPECT_TRUE(packet_filter_accepted());
}

TEST_F(Evaluate, TheDisplayRateSpreadsTheDrawing) {
    PortRecord r = eval_record(VIEW_ZYR_MSECS, 0, "%lu");
    r.processrate = 0x55555555u;   // F02ST01
    r.displayrate = 0x22222222u;   // F04ST02
    make_port(r);
    eval_run(0);
    std::vector<uint32_t> drawn;
    for (uint32_t c = 1; c < 10; c++) {
        zyr.zyr_msecs = c * 10;
        size_t before = g_drawn.size();
        eval_run(c);
        if (g_drawn.size() != before) drawn.push_back(c);
    }
    // Converted in cycles 2, 4, 6 and 8, shown in cycles 5 and 9 with the
    // value converted last.
    EXPECT_EQ(drawn, (std::vector<uint32_t>{5, 9}));
    EXPECT_EQ(drawn_values(), (std::vector<double>{40, 80}));
}

TEST_F(Evaluate, ForcedPortsIgnoreTheirMask) {
    PortRecord r = eval_record(VIEW_ZYR_MSECS, 0, "%lu");
    r.processrate = r.displayrate = 0;   // never
    ZyrPort* p = make_port(r);
    eval_run(0);
    zyr.zyr_msecs = 77;
    eval_run(1);
    EXPECT_TRUE(g_drawn.empty());
    p->h.flags |= RT_FORCED;
    eval_run(2);
    EXPECT_EQ(drawn_values(), std::vector<double>{77});
    EXPECT_FALSE(p->h.flags & (RT_FORCED | RT_REDRAW | RT_CHANGED));
}

// A tag port (frame id at byte 2) and a sub-commutated port that is valid
// only in frames 4..5.
TEST_F(Evaluate, SubcommutatedPortsNeedTheirTagInsideItsLimits) {
    PortRecord tag = eval_record(VIEW_PACKETHEADER, 2, "%hu");
    snprintf(tag.mnemonic, sizeof tag.mnemonic, "FRAMEID");
    PortRecord sub = eval_record(VIEW_PACKETHEADER, 12, "%hu", "%hu", PF_ENABLE | PF_SUBCOM);
    snprintf(sub.subcomtag, sizeof sub.subcomtag, "FRAMEID");
    sub.cvtype = DT_ULONG;
    sub.subcom_lower.u32 = 4;
    sub.subcom_upper.u32 = 5;
    int slot_first = CreateZYRPortHL(&tag, SLOT_DISPLAY);
    CreateZYRPortHL(&sub, SLOT_DISPLAY);
    pages.slot[SLOT_DISPLAY].page = 10;
    page_link_subcom_tags(SLOT_DISPLAY);
    ZyrPort* s = zyr_port(slot_first + 1);
    ASSERT_EQ(s->h.tag_parent, slot_first);
    eval_run(0);
    uint32_t cycle = 1;
    std::vector<uint16_t> seen;
    for (uint8_t frame = 1; frame <= 7; frame++) {
        new_packet(2, {frame, 0});
        put_bytes(12, {(uint8_t)(frame * 10), 0});
        eval_run(cycle++);
        seen.push_back(s->value.u16);
    }
    EXPECT_EQ(seen, (std::vector<uint16_t>{0, 0, 0, 40, 50, 50, 50}));
}

TEST_F(Evaluate, ASubcomTagThatNamesNoPortIsProcessedNormally) {
    PortRecord sub = eval_record(VIEW_PACKETHEADER, 12, "%hu", "%hu", PF_ENABLE | PF_SUBCOM);
    snprintf(sub.subcomtag, sizeof sub.subcomtag, "NOSUCH");
    sub.subcom_upper.u32 = 0;
    ZyrPort* s = make_port(sub);
    pages.slot[SLOT_DISPLAY].page = 10;
    page_link_subcom_tags(SLOT_DISPLAY);
    eval_run(0);
    new_packet(12, {9, 0});
    eval_run(1);
    EXPECT_EQ(s->value.u16, 9);
}

TEST_F(Evaluate, PlotPortsHandTheirPointOver) {
    PortRecord x = eval_record(VIEW_PACKETHEADER, 4, "%hu");
    PortRecord y = eval_record(VIEW_PACKETHEADER, 6, "%hd", "%hd", PF_ENABLE | PF_PLOT);
    ASSERT_GE(CreateZYRPortVHL(&y, &x, SLOT_DISPLAY), 0);
    eval_run(0);
    new_packet(4, {3, 0, 0xFF, 0xFF});
    eval_run(1);
    new_packet(4, {4, 0, 0xFF, 0xFF});
    eval_run(2);
    EXPECT_EQ(g_points, (std::vector<std::pair<double, double>>{{3, -1}, {4, -1}}));
}

TEST_F(Evaluate, NotANumberAndInfiniteRawDoublesRaiseAlarmsNotFaults) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 8, "%lf", "%lf", PF_ENABLE | PF_ALARM | PF_CALIB);
    r.function = FN_POLYNOMIAL;
    r.cal.calflags = 3;
    r.cal.a1.d = 2;
    r.alarm_upper.d = 10;
    r.alarm_lower.d = -10;
    r.alarm_flags = AL_SOUND;
    ZyrPort* p = make_port(r);
    ZyrPort* next = make_port(eval_record(VIEW_PACKETHEADER, 20, "%hu"));
    eval_run(0);
    uint32_t cycle = 1;
    for (double v : {(double)NAN, 1.0, (double)INFINITY, -(double)INFINITY, 2.0}) {
        double d = v;
        std::vector<uint8_t> b(8);
        memcpy(b.data(), &d, 8);
        new_packet(8, b);
        put_bytes(20, {(uint8_t)cycle, 0});
        eval_run(cycle++);
        EXPECT_EQ((p->h.flags & RT_IN_ALARM) != 0, !std::isfinite(v)) << v;
        EXPECT_EQ(next->value.u16, cycle - 1);
    }
    EXPECT_EQ(diag.last_code, 6);   // no floating-point report
    EXPECT_EQ(cyc.beep_requests, 0);
}

TEST_F(Evaluate, LoopTimeChangesSettleTheMasks) {
    cycle_hooks.loop_time_changed = settle_port_periods;
    zyr.loop_msecs = 100;
    PortRecord every = eval_record(VIEW_ZYR_MSECS, 0, "%lu");   // every cycle of 100 ms
    PortRecord f4 = eval_record(VIEW_ZYR_MSECS, 0, "%lu");
    f4.processrate = f4.displayrate = 0x22222222u;              // F04ST02: 400 ms
    PortRecord lim = eval_record(VIEW_ZYR_MSECS, 0, "%lu", "%lu", PF_ENABLE | PF_ALARM);
    lim.processrate = lim.displayrate = 0x01010101u;
    ZyrPort* indicator = make_port(every);
    ZyrPort* a = make_port(every);
    ZyrPort* b = make_port(f4);
    ZyrPort* c = make_port(lim);
    cycle_set_loop_time(10);
    EXPECT_EQ(indicator->h.process_mask, 0xFFFFFFFFu);   // port 0 of the page
    EXPECT_EQ(a->h.process_mask, 0x01010101u);           // 100 ms: 8 cycles, not 16
    EXPECT_EQ(a->h.display_mask, 0x01010101u);
    EXPECT_EQ(b->h.process_mask, 0x00000002u);           // 400 ms: the longest period, 320 ms
    EXPECT_EQ(c->h.process_mask, 0xFFFFFFFFu);
    cycle_set_loop_time(100);
    EXPECT_EQ(a->h.process_mask, 0xFFFFFFFFu);
    EXPECT_EQ(b->h.process_mask, 0x22222222u);
}

TEST_F(Evaluate, APageChangeReplacesTheDisplayPageAndDoesNothingElse) {
    PortRecord r = eval_record(VIEW_ZYR_MSECS, 0, "%lu");
    int f = zyr_fopen("PAGE0012.BIN", "w", 1024);
    page_write_record(f, TAG_PORT, &r);
    page_write_record(f, TAG_PORT, &r);
    zyr_fclose(f);
    make_port(eval_record(VIEW_ZYR_SECS, 0, "%lu"));
    pages.slot[SLOT_DISPLAY].page = 11;
    eval_run(0);
    eval_request_page(12);
    eval_run(1);
    EXPECT_FALSE(zyr.SystemFlags & SF_PAGE_CHANGED);
    EXPECT_EQ(cyc.current_page, 12);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 2);
    for (int i = 0; i < pages.next_index; i++)
        if (ZyrPort* p = zyr_port(i)) {
            EXPECT_FALSE(p->h.flags & RT_ON_SCREEN);
        }
    EXPECT_TRUE(g_drawn.empty());
}

TEST_F(Evaluate, PortsOutsideTheirViewAreRefusedAndTheRestEvaluates) {
    int f = zyr_fopen("PAGE0013.BIN", "w", 1024);
    PortRecord bad1 = eval_record(VIEW_ZYR_MSECS, 2, "%lu");
    PortRecord bad2 = eval_record(VIEW_CPLI_BUFFER1, 10, "%lf");
    PortRecord bad3 = eval_record(VIEW_PACKETDATA, 32630, "%hu");
    bad3.supercommcount = 8;
    bad3.supercommincr = 2;
    PortRecord good = eval_record(VIEW_CPLI_BUFFER1 + 1, 8, "%lf");
    for (const PortRecord* r : {&bad1, &good, &bad2, &bad3}) page_write_record(f, TAG_PORT, r);
    zyr_fclose(f);
    EXPECT_EQ(page_change(13), 0);
    EXPECT_EQ(diag.last_code, 15);
    ASSERT_EQ(pages.slot[SLOT_DISPLAY].count, 1);
    ZyrPort* p = zyr_port(pages.slot[SLOT_DISPLAY].first);
    eval_run(0);
    double v = 6.5;
    memcpy(views_user_buffer(1) + 8, &v, 8);
    eval_run(1);
    EXPECT_EQ(p->value.d, 6.5);
}

TEST_F(Evaluate, TheRecordIndicatorShowsTheSamplesOfARecordedSupercommutatedPort) {
    ZyrPort* ind = make_port(eval_record(VIEW_ZYR_SECS, 0, "%lu"));
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%hu", "%hu", PF_ENABLE | PF_RECORD);
    r.supercommcount = 2;
    r.supercommincr = 2;
    snprintf(r.filename, sizeof r.filename, "sc.txt");
    ZyrPort* p = make_port(r);
    eval_run(0);
    new_packet(10, {1, 0, 2, 0});
    eval_run(1);
    EXPECT_EQ(ind->value.u32, 2u);
    EXPECT_TRUE(p->marks & MARK_RECORDED);
    new_packet(10, {3, 0, 4, 0});
    eval_run(2);
    EXPECT_EQ(ind->value.u32, 4u);
}

// ---- the length port ------------------------------------------------------------

// Variable-length packets whose length (u16) is at byte 2; the length
// port adds the 4 bytes of sync and length field to a data count.
class LengthPortTest : public Evaluate {
protected:
    std::vector<uint8_t> stream;
    MemSource m{};
    ByteSource src{};
    void SetUp() override {
        Evaluate::SetUp();
        PacketRecord d{};
        packet_defaults(&d);
        d.sync_len = 16;
        d.pattern[2] = 0xEB;
        d.pattern[3] = 0x90;
        d.mask[2] = d.mask[3] = 0xFF;
        d.flags = 0;
        d.packetcounterlength = 0;
        d.fixedpacketlength = 64;
        ASSERT_EQ(packet_setup(&d), 0);
        PortRecord r = eval_record(VIEW_PACKETHEADER, 2, "%hu", "%hu", PF_ENABLE | PF_VARPKTLEN | PF_CALIB);
        r.function = FN_POLYNOMIAL;
        r.cal.calflags = 3;
        r.cal.a0.u = 4;
        r.cal.a1.u = 1;
        len_port = make_port(r);
        ASSERT_TRUE(len_port->h.flags & RT_LENGTH);
        ASSERT_EQ(pkt_layout.fixed_len, 0);
    }
    void add(uint16_t data_count) {
        size_t n = stream.size();
        stream.insert(stream.end(), {0xEB, 0x90, (uint8_t)data_count, (uint8_t)(data_count >> 8)});
        for (int i = 0; i < 10 && data_count < 1000; i++) stream.push_back((uint8_t)(n + i));
    }
    void start() {
        m = MemSource{stream.data(), stream.size(), 0};
        mem_source(&src, &m, MEM_BYTES);
        packet_set_source(PSRC_SERIAL, &src);
        zyr.IoFlags |= IO_SERIAL_IN;
    }
    ZyrPort* len_port = nullptr;
};

TEST_F(LengthPortTest, TheLengthPortGivesEachPacketItsLength) {
    add(10);
    add(10);
    start();
    EXPECT_EQ(get_packet(), PKT_OK);
    EXPECT_EQ(pkt.len, 14);
    EXPECT_EQ(get_packet(), PKT_OK);
    EXPECT_EQ(pkt.len, 14);
    EXPECT_EQ(len_port->value.u16, 14);
    EXPECT_TRUE(len_port->h.flags & RT_FORCED);
}

TEST_F(LengthPortTest, LengthsOfZeroAndFortyThousandAreRefused) {
    len_port->calib->a0.u = 0;   // the field is the whole length
    stream = {0xEB, 0x90, 0, 0};
    stream.insert(stream.end(), {0xEB, 0x90, 0x40, 0x9C});   // 40000
    stream.insert(stream.end(), {0xEB, 0x90, 6, 0, 0xAA, 0xBB});
    start();
    EXPECT_EQ(get_packet(), PKT_BAD_LENGTH);
    EXPECT_EQ(diag.last_code, 3);
    EXPECT_EQ(get_packet(), PKT_BAD_LENGTH);
    EXPECT_EQ(get_packet(), PKT_OK);
    EXPECT_EQ(pkt.len, 6);
}

// ---- through the cycle --------------------------------------------------------

TEST_F(Evaluate, WithTestDataTheCycleEvaluatesThePageEachPass) {
    input_register();
    serial_defaults();
    zyr.IoFlags |= IO_TEST_DATA;
    setup_test_description(64, PKT_SUMCHECK);
    PortRecord cr = calib_record(FN_HEXCHARTEXT, "%c", "%2s", pkt_layout.counter_pos);
    ZyrPort* counter = make_port(cr);
    ZyrPort* data = make_port(eval_record(VIEW_PACKETDATA, 5, "%hu"));
    ZyrPort* bar = make_port(calib_record(FN_PACKETBAR, "%hu", "%3s"));
    ASSERT_NE(counter, nullptr);
    uint32_t runs = eval.runs;
    for (int i = 0; i < 40; i++) {
        plat_fake_clock_advance(10);
        zyr_tick();
    }
    EXPECT_EQ(eval.runs - runs, 39u);   // the first tick comes before the first pass is due
    ASSERT_GE(zyr.zyrfr_cnt, 5u);
    EXPECT_EQ(data->value.u16, 5 | 6 << 8);   // data byte i is i
    char hex[4];
    snprintf(hex, sizeof hex, "%02x", zyr.zyrfr_cnt % 256);
    EXPECT_STREQ(counter->text, hex);
    EXPECT_EQ(std::string(bar->text).size(), 3u);
}
