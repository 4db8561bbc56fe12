// The functions of the table that make texts for the display: times, the
// centred text, the input and output status, hex and printable views of the
// raw bytes, bars, and the DATA / NO DATA indicator.
#pragma once

#include "engine/port.h"

void calib_asciictime(ZyrPort* p);
void calib_rasciictime(ZyrPort* p);
void calib_elapsed_time(ZyrPort* p);
void calib_centretext(ZyrPort* p);
void calib_telmconfig(ZyrPort* p);
void calib_hexchartext(ZyrPort* p);
void calib_packetbar(ZyrPort* p);
void calib_horizontalbar(ZyrPort* p);
void calib_isprintchar(ZyrPort* p);
void calib_data_indicator(ZyrPort* p);

// The indicator's phases and texts.
constexpr uint32_t INDICATOR_MS = 500;
enum : int { COLOUR_NORMAL = 0, COLOUR_DATA = 2, COLOUR_NO_DATA = 4 };

void calibtext_reset();
