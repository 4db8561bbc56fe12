// Test fixture for the packet tools' end-to-end test. It writes page files
// with the page file writer, and builds reference packet files with its own
// small encoders, written from the file formats and independent of the
// tools' writers, so the tools are checked against something they did not
// make.
//   pkt_fixture page NAME FIXED FLAGS COUNTER [SYNCBITS PATTERN]
//   pkt_fixture packets FORMAT OUT FIRST LAST [STEP]   (64-byte packets of
//       page "64 1 1": sync EB90, checksum, 1-byte counter, no time)
//   pkt_fixture check FILE LENGTH COUNTERPOS   (sync, checksum and counter
//       of every packet of a raw file; prints the packet count)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/packet.h"
#include "core/pagefile.h"

namespace {

constexpr int kLen = 64;
constexpr int kHeader = 5;   // sync 2, checksum 2, counter 1

uint8_t ror1(uint8_t v) { return (uint8_t)(v >> 1 | v << 7); }

// S and C over p[from..to).
void sums(const uint8_t* p, int from, int to, uint8_t* s, uint8_t* c) {
    *s = *c = 0;
    for (int i = from; i < to; i++) {
        *s = (uint8_t)(*s + p[i]);
        *c = (uint8_t)(ror1(*c) + p[i]);
    }
}

std::vector<uint8_t> packet(int k) {
    std::vector<uint8_t> p(kLen);
    p[0] = 0xEB;
    p[1] = 0x90;
    p[4] = (uint8_t)k;
    for (int i = kHeader; i < kLen; i++) p[i] = (uint8_t)(k * 7 + i * 3 + (k >> 8));
    sums(p.data(), 4, kLen, &p[2], &p[3]);
    return p;
}

void put_ascii(std::string& out, const std::vector<uint8_t>& p) {
    static const char kHex[] = "0123456789abcdef";
    out += "\r\n\r\n";
    for (size_t i = 0; i < p.size(); i++) {
        if (i % 26) out += ' ';
        out += kHex[p[i] >> 4];
        out += kHex[p[i] & 15];
        if (i % 26 == 25) out += "\r\n";
    }
}

void put_compressed(std::string& out, const std::vector<uint8_t>& p, std::vector<uint8_t>& ref) {
    for (size_t i = 0; i < p.size(); i++) {
        if (p[i] == ref[i]) continue;
        if (i < 128) {
            out += (char)i;
        } else {
            out += (char)(0x80 | (i & 0x7F));
            out += (char)(i >> 7);
        }
        out += (char)p[i];
        ref[i] = p[i];
    }
    out += "\xFF\xFF";
}

int cmd_page(int argc, char** argv) {
    if (argc < 6) return 2;
    PacketRecord r;
    packet_defaults(&r);
    r.fixedpacketlength = (uint16_t)atoi(argv[3]);
    r.flags = (uint32_t)strtoul(argv[4], nullptr, 0);
    r.packetcounterlength = (uint16_t)atoi(argv[5]);
    r.sync_len = (uint16_t)(argc > 6 ? atoi(argv[6]) : 16);
    uint32_t pattern = argc > 7 ? (uint32_t)strtoul(argv[7], nullptr, 0) : 0xEB90;
    for (int i = 0; i < 4; i++) r.pattern[i] = (uint8_t)(pattern >> (24 - 8 * i));
    // The record as vantor saves it: laid out, the sync length in bytes.
    if (packet_setup(&r) != 0) return 2;
    int f = zyr_fopen(argv[2], "w", 1024);
    if (f < 0 || page_write_record(f, TAG_PACKET, &pkt_layout.desc) < 0) return 1;
    zyr_fclose(f);
    return 0;
}

int cmd_packets(int argc, char** argv) {
    if (argc < 6) return 2;
    std::string fmt = argv[2], out;
    int first = atoi(argv[4]), last = atoi(argv[5]), step = argc > 6 ? atoi(argv[6]) : 1;
    std::vector<uint8_t> ref(kLen, 0);
    for (int k = first; k <= last && step > 0; k += step) {
        std::vector<uint8_t> p = packet(k);
        if (fmt == "raw")
            out.append((const char*)p.data(), p.size());
        else if (fmt == "ascii")
            put_ascii(out, p);
        else
            put_compressed(out, p, ref);
    }
    FILE* f = fopen(argv[3], "wb");
    if (!f) return 1;
    fwrite(out.data(), 1, out.size(), f);
    return fclose(f) == 0 ? 0 : 1;
}

// Sync 0xEB90, checksum after it, 1-byte counter running from 0.
int cmd_check(int argc, char** argv) {
    if (argc < 5) return 2;
    int len = atoi(argv[3]), counter = atoi(argv[4]);
    FILE* f = fopen(argv[2], "rb");
    if (!f || len < 5 || counter >= len) return 2;
    std::vector<uint8_t> p((size_t)len);
    int n = 0;
    size_t got;
    while ((got = fread(p.data(), 1, p.size(), f)) == p.size()) {
        uint8_t s, c;
        sums(p.data(), 4, len, &s, &c);
        if (p[0] != 0xEB || p[1] != 0x90 || p[2] != s || p[3] != c || p[counter] != (uint8_t)n) {
            printf("packet %d: bad sync, checksum or counter\n", n);
            return 1;
        }
        n++;
    }
    fclose(f);
    printf("%d\n", n);
    return got == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string cmd = argv[1];
    if (cmd == "page") return cmd_page(argc, argv);
    if (cmd == "packets") return cmd_packets(argc, argv);
    if (cmd == "check") return cmd_check(argc, argv);
    return 2;
}
