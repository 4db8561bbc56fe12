// Limit tests and the alarm state machine: a value is tested against a
// limit record of its port (alarm, packet filter or sub-commutation
// limits); an alarm raises and clears its marks, beep and stop requests and
// its recording once per crossing, never once per packet.
#pragma once

#include "core/pagefile.h"
#include "engine/port.h"

constexpr uint32_t ALARM_REFRESH_MS = 400;

// 1 when the value of type `type` at `value` lies outside lower..upper (the
// limits inclusive), 0 inside; AL_INVERT in flags turns the answer round.
// Texts compare in character order; a float that is not a number is
// outside; types that are neither text nor numbers are always inside.
int limit_test(int type, const void* value, const ValueCell* upper, const ValueCell* lower, uint32_t flags);

// The three limit records of a port.
int alarm_limit_test(const ZyrPort* p);
int filter_limit_test(const ZyrPort* p);
// The sub-commutation test of p against the value of its tag port, both
// read as the record's `cvtype`; 0 (inside) also when the tag value does
// not convert to that type.
int subcom_limit_test(const ZyrPort* p, const ZyrPort* tag);

// After a conversion of a port with limits: raises or clears its alarm.
void alarm_update(ZyrPort* p);

// Forces a port whose alarm blinks at most every 400 ms, so its alarm
// colours alternate at the drawing rate.
void alarm_visual_refresh(ZyrPort* p);

// A port that goes away while in alarm: its requests and recording end.
void alarm_release(ZyrPort* p);
