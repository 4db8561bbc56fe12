// The [plotport] sub-block of [valueport].
#pragma once

#include "compiler/blocks.h"

extern const BlockKind kPlotPortBlock;
