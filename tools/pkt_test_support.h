// Shared by the packet tool tests: page files with a chosen packet format,
// written as vantor saves page 0, and packet files of good packets.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "core/packet.h"
#include "core/pagefile.h"
#include "engine/playback.h"
#include "tests/packet_support.h"
#include "tools/pkttool.h"
#include "tools/tool_test_support.h"

// Flags of the usual test formats.
constexpr uint32_t kSum = PKT_SUMCHECK;
constexpr uint32_t kSumTime = PKT_SUMCHECK | PKT_TIME;

// A page file holding the packet format (sync 0xEB90) and, when given,
// one port record before it. The running format is left as it was.
inline void write_page(const char* name, int fixed_len, uint32_t flags, int counter = 1,
                       const PortRecord* port = nullptr) {
    PacketLayout keep = pkt_layout;
    setup_test_description(fixed_len, flags);
    PacketRecord r = pkt_layout.desc;
    r.packetcounterlength = (uint16_t)counter;
    r.sync_len = 16;
    packet_setup(&r);
    r = pkt_layout.desc;
    pkt_layout = keep;
    int f = zyr_fopen(name, "w", 1024);
    if (port) page_write_record(f, TAG_PORT, port);
    page_write_record(f, TAG_PACKET, &r);
    zyr_fclose(f);
}

// Start state for a packet tool test.
inline void reset_packet_tool_test() {
    playback_reset();
    packet_reset();
    pkttool_reset();
    reset_tool_test();
}

// Packets 1..n of the format `fixed_len`/`flags` (good checksums).
inline std::vector<std::vector<uint8_t>> make_packets(int n, int fixed_len = 64, uint32_t flags = kSum) {
    PacketLayout keep = pkt_layout;
    setup_test_description(fixed_len, flags);
    std::vector<std::vector<uint8_t>> v;
    for (int k = 1; k <= n; k++) v.push_back(test_packet(k));
    pkt_layout = keep;
    return v;
}

inline std::string concat(const std::vector<std::vector<uint8_t>>& packets) {
    std::string s;
    for (const auto& p : packets) s.append((const char*)p.data(), p.size());
    return s;
}

// The progress line left on the screen at a successful end: the last of
// the lines that overwrite each other, before the closing line ends.
inline std::string final_progress(const std::string& console) {
    static const std::string tail = "\n\n Program terminating...\n";
    if (console.size() < tail.size() + 2 || console.compare(console.size() - tail.size(), tail.size(), tail) != 0)
        return "";
    std::string body = console.substr(0, console.size() - tail.size());
    size_t from = body.find_last_of("\r\n", body.size() - 2);
    return body.substr(from == std::string::npos ? 0 : from + 1);
}
