// The [packet] block with [sync], and the [system] block with [tuning],
// [video], [input] and [output] and their [serial], [file], [network],
// [testdata] and [api] sub-blocks: the packet record and the system record
// they fill, and their end checks.
#pragma once

#include "compiler/blocks.h"
#include "core/packet.h"
#include "core/pagefile.h"

extern const BlockKind kPacketBlock;
extern const BlockKind kSystemBlock;

// The packet defaults: checksum, time and sync-loss reporting on, CCSDS off,
// variable length, a 1-byte counter, sync 0x1234 of 16 bits under mask
// 0xFFFFFFFF; header sync, checksum, time, counter.
void packet_record_defaults(PacketRecord* r);

// Per page: the packet record back to the defaults, the system record
// cleared.
void sysblocks_page_start();

// Before a [packet] block: the header description emptied.
void packet_before();
// After it: the fixed length checked against the header; the defaults
// again when the block had an error.
void packet_after();

const PacketRecord* packet_record();
const SystemRecord* system_record();

void sysblocks_reset();
