// Test packets: the usual description (sync 0xEB90, checksum, time, a
// 1-byte counter, 64 bytes fixed) and whole good packets built for it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/packet.h"

inline void setup_test_description(int fixed_len = 64, uint32_t flags = PKT_SUMCHECK | PKT_TIME) {
    PacketRecord r{};
    packet_defaults(&r);
    r.sync_len = 16;
    r.pattern[2] = 0xEB;
    r.pattern[3] = 0x90;
    r.mask[2] = r.mask[3] = 0xFF;
    r.fixedpacketlength = (uint16_t)fixed_len;
    r.packetcounterlength = 1;
    r.flags = flags;
    packet_setup(&r);
}

// A good packet of the running description with counter n and data bytes
// derived from n.
inline std::vector<uint8_t> test_packet(int n) {
    int len = pkt_layout.fixed_len ? pkt_layout.fixed_len : 64;
    std::vector<uint8_t> p(len);
    packet_put_sync(p.data());
    for (int i = pkt_layout.header_len; i < len; i++) p[i] = (uint8_t)(n * 7 + i);
    if (pkt_layout.counter_len) p[pkt_layout.counter_pos] = (uint8_t)n;
    if (pkt_layout.desc.flags & PKT_TIME)
        for (int i = 0; i < 4; i++) p[pkt_layout.time_pos + i] = (uint8_t)((1700000000u + n) >> (8 * i));
    packet_put_checksum(p.data(), len);
    return p;
}
