// The [valueport] block and its sub-blocks ([calibration] with
// [polynomial] and [bitoperation], [alarm], [plotport], [subcom],
// [filter]): their keys, the port record they fill and their end checks.
#pragma once

#include "compiler/blocks.h"
#include "core/pagefile.h"

extern const BlockKind kValuePortBlock;

// Before each [valueport] block: the record cleared, count 1, increment 0.
void valueport_before();

// The record the last [valueport] block filled.
const PortRecord* valueport_record();

// The record being filled, for the sub-block kinds kept in modules of their
// own ([plotport]).
PortRecord* valueport_edit();

void portblocks_reset();
