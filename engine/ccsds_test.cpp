#include "engine/ccsds.h"

#include "core/packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cycle.h"
#include "engine/input.h"
#include "tests/engine_support.h"

class Ccsds : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        ccsds_reset();
        strcpy(zyr.startdir, ".");
        for (int c = 0; c < 8; c++) {
            char name[16];
            snprintf(name, sizeof name, "vcdata%d.dat", c);
            remove(name);
        }
    }
    void TearDown() override {
        ccsds_reset();
        reset_engine();
    }
    // A 1119-byte frame: sync, header of channel vc, the given flags, and
    // data bytes counting up from offset 10.
    static std::vector<uint8_t> frame(int vc, bool sec, bool ocf, int first_header) {
        std::vector<uint8_t> f(1119);
        f[0] = 0x1A, f[1] = 0xCF, f[2] = 0xFC, f[3] = 0x1D;
        uint16_t id = (uint16_t)(0x4000 | (0x2A << 4) | (vc << 1) | (ocf ? 1 : 0));
        f[4] = id >> 8, f[5] = id & 0xFF;
        f[6] = 7, f[7] = 9;
        uint16_t st = (uint16_t)((sec ? 0x8000 : 0) | first_header);
        f[8] = st >> 8, f[9] = st & 0xFF;
        for (size_t i = 10; i < f.size(); i++) f[i] = (uint8_t)i;
        return f;
    }
    static std::string file_of(int c) {
        char name[16];
        snprintf(name, sizeof name, "vcdata%d.dat", c);
        return read_file(name);
    }
};

TEST_F(Ccsds, DataFieldLengthsAndOffsets) {
    struct Case {
        bool sec, ocf, fecw;
        int from, len;
    };
    static const Case kCases[] = {
        {false, false, false, 10, 1109},
        {true, true, true, 14, 1099},
        {true, false, false, 14, 1105},
        {false, true, false, 10, 1105},
    };
    for (const Case& c : kCases) {
        ccsds_reset();
        remove("vcdata3.dat");
        pkt_layout.desc.flags = PKT_CCSDS | (0x100u << 3) | (c.fecw ? PF_FECW : 0);
        ASSERT_EQ(ccsds_open_files(), 0);
        auto f = frame(3, c.sec, c.ocf, 0);
        EXPECT_EQ(ccsds_frame_output(f.data(), (int)f.size()), 0);
        ccsds_close_files();
        std::string got = file_of(3);
        EXPECT_EQ(got, std::string((const char*)f.data() + c.from, c.len)) << c.sec << c.ocf << c.fecw;
        EXPECT_EQ(ccsds.hdr.spacecraft, 0x2A);
        EXPECT_EQ(ccsds.hdr.vc_count, 9);
        EXPECT_EQ(pkt_layout.desc.flags & PKT_CCSDS, 0u);  // closing clears the switch
    }
}

TEST_F(Ccsds, IdleFramesDisabledChannelsAndShortFramesWriteNothingExtra) {
    pkt_layout.desc.flags = PKT_CCSDS | (0x100u << 1);
    ASSERT_EQ(ccsds_open_files(), 0);
    auto idle = frame(1, false, false, 2047);
    auto other = frame(2, false, false, 0);
    ccsds_frame_output(idle.data(), (int)idle.size());
    ccsds_frame_output(other.data(), (int)other.size());
    auto shortf = frame(1, false, false, 5);
    ccsds_frame_output(shortf.data(), 30);  // the data field is cut at the packet
    ccsds_close_files();
    EXPECT_EQ(file_of(1), std::string((const char*)shortf.data() + 10, 20));
    EXPECT_EQ(file_of(2), "");
    pkt_layout.desc.flags = 0;
    EXPECT_EQ(ccsds_frame_output(shortf.data(), 30), -1);
}

TEST_F(Ccsds, ServiceFollowsTheChannelBits) {
    pkt_layout.desc.flags = PKT_CCSDS | (0x100u << 5);
    EXPECT_EQ(ccsds_service(), 0);
    EXPECT_TRUE(ccsds.open);
    auto f = frame(5, false, false, 0);
    ccsds_frame_output(f.data(), (int)f.size());
    pkt_layout.desc.flags &= ~(0x100u << 5);
    ccsds_service();
    EXPECT_EQ(ccsds.slot[5], -1);  // closed: its data is on disk
    EXPECT_EQ(file_of(5).size(), 1109u);
    ccsds_frame_output(f.data(), (int)f.size());  // disabled: dropped
    pkt_layout.desc.flags |= 0x100u << 5;
    ccsds_service();
    ccsds_frame_output(f.data(), (int)f.size());
    pkt_layout.desc.flags &= ~PKT_CCSDS;
    ccsds_service();  // off: everything closed
    EXPECT_FALSE(ccsds.open);
    EXPECT_EQ(file_of(5).size(), 2 * 1109u);  // reopened for appending
    EXPECT_EQ(ccsds_write_channel(8, f.data(), 1), -1);
    EXPECT_EQ(ccsds_write_channel(5, f.data(), 1), -2);
}

// The cycle serves the channel files once a second: a channel switched on
// while running opens, one switched off closes, and written frames are on
// disk within the second, long before the 16 KB buffer fills.
TEST_F(Ccsds, TheCycleServesAndFlushesTheChannelFilesEverySecond) {
    input_register();
    clock_start();
    pkt_layout.desc.flags = PKT_CCSDS | (0x100u << 2);
    auto run_ms = [](int ms) {
        for (int i = 0; i < ms / 10; i++) {
            plat_fake_clock_advance(10);
            zyr_tick();
        }
    };
    run_ms(1100);
    EXPECT_TRUE(ccsds.open);
    EXPECT_GE(ccsds.slot[2], 0);
    auto f = frame(2, false, false, 0);
    ccsds_frame_output(f.data(), (int)f.size());
    run_ms(1100);
    EXPECT_EQ(file_of(2).size(), 1109u) << "flushed by the service";
    pkt_layout.desc.flags = PKT_CCSDS | (0x100u << 6);
    run_ms(1100);
    EXPECT_EQ(ccsds.slot[2], -1);
    EXPECT_GE(ccsds.slot[6], 0);
    pkt_layout.desc.flags = 0;
    run_ms(1100);
    EXPECT_FALSE(ccsds.open);
}
