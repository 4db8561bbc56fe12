// Limit tests by data type and the alarm state machine of a port.
#include "engine/alarm.h"

#include <cmath>
#include <cstring>

#include "core/datatypes.h"
#include "core/state.h"
#include "engine/cycle.h"
#include "engine/paramrecord.h"

// A number of an integer type, widened by its signedness.
static int64_t int_of(int type, const void* v) {
    bool is_signed = dt_calc_type(type) == DT_LONG;
    if (dt_value_size(type) == 2) {
        uint16_t u;
        memcpy(&u, v, 2);
        return is_signed ? (int64_t)(int16_t)u : (int64_t)u;
    }
    uint32_t u;
    memcpy(&u, v, 4);
    return is_signed ? (int64_t)(int32_t)u : (int64_t)u;
}

// The quiet comparisons never raise the invalid-operation flag, so a NaN
// value is an alarm and not a floating-point error of the port.
template <typename T> static int outside_real(T v, T upper, T lower) {
    if (std::isnan(v)) return 1;
    return std::isless(v, lower) || std::isgreater(v, upper);
}

static int outside(int type, const void* value, const ValueCell* upper, const ValueCell* lower) {
    if (dt_is_text(type)) {
        const char* s = (const char*)value;
        return strncmp(s, upper->text, sizeof upper->text) > 0 || strncmp(s, lower->text, sizeof lower->text) < 0;
    }
    if (type == DT_DOUBLE) {
        double v;
        memcpy(&v, value, sizeof v);
        return outside_real(v, upper->d, lower->d);
    }
    if (type == DT_FLOAT) {
        float v;
        memcpy(&v, value, sizeof v);
        return outside_real(v, upper->f, lower->f);
    }
    if (!dt_is_numeric(type)) return 0;
    int64_t v = int_of(type, value);
    return v < int_of(type, lower) || v > int_of(type, upper);
}

int limit_test(int type, const void* value, const ValueCell* upper, const ValueCell* lower, uint32_t flags) {
    int r = outside(type, value, upper, lower);
    return (flags & AL_INVERT) ? !r : r;
}

static const void* value_of(const ZyrPort* p) {
    return dt_is_text(p->data_type) ? (const void*)p->text : (const void*)&p->value;
}

int alarm_limit_test(const ZyrPort* p) {
    const PortRecord* r = p->h.rec;
    return limit_test(p->data_type, value_of(p), &r->alarm_upper, &r->alarm_lower, r->alarm_flags);
}

int filter_limit_test(const ZyrPort* p) {
    const PortRecord* r = p->h.rec;
    return limit_test(p->data_type, value_of(p), &r->filter_upper, &r->filter_lower, r->filter_flags);
}

int subcom_limit_test(const ZyrPort* p, const ZyrPort* tag) {
    const PortRecord* r = p->h.rec;
    int cv = r->cvtype;
    union {
        PortValue n;
        char text[DT_TEXT_BUF];
    } v;
    memset(&v, 0, sizeof v);
    if (cv >= DT_TYPES || dt_convert(tag->data_type, value_of(tag), cv, &v) != 0) return 0;
    return limit_test(cv, &v, &r->subcom_upper, &r->subcom_lower, r->subcom_flags);
}

// ---- the state machine ------------------------------------------------------------

static void enter_alarm(ZyrPort* p, uint32_t opts) {
    if (opts & AL_BLINK) p->marks |= MARK_ALARM;
    if (opts & AL_SOUND) cyc.beep_requests++;
    if (opts & AL_STEPMODE) cyc.stop_requests++;
    if (opts & AL_FILE) {
        char name[sizeof p->h.rec->alarm_filename];
        size_t n = strnlen(p->h.rec->alarm_filename, sizeof name - 1);
        memcpy(name, p->h.rec->alarm_filename, n);
        name[n] = 0;
        // Only a record file that opened makes the port a recording one: a
        // failed open (reported as error 14) must not show a record that
        // does not exist.
        if (param_record_open(p, name, REC_ALARM) == 0) p->h.flags |= RT_RECORD | RT_RECORD_HELD;
    }
    p->h.flags |= RT_IN_ALARM;
}

// The requests this port added are taken back, never below zero.
static void end_requests(ZyrPort* p, uint32_t opts) {
    if ((opts & AL_FILE) && (p->h.flags & RT_RECORD_HELD)) {
        p->h.flags &= ~(RT_RECORD | RT_RECORD_HELD);
        p->marks &= ~(MARK_RECORDING | MARK_RECORDED);
        if (param_rec.current == p->index) param_rec.current = -1;
        if (p->rec_kind == REC_ALARM) param_record_close(p, false);
    }
    if ((opts & AL_SOUND) && cyc.beep_requests > 0) cyc.beep_requests--;
    if ((opts & AL_STEPMODE) && cyc.stop_requests > 0) cyc.stop_requests--;
    p->marks &= ~MARK_ALARM;
    p->h.flags &= ~RT_IN_ALARM;
}

void alarm_update(ZyrPort* p) {
    if (!(p->h.flags & RT_HAS_LIMITS)) return;
    uint32_t opts = p->h.rec->alarm_flags;
    bool out = alarm_limit_test(p) != 0;
    bool in_alarm = p->h.flags & RT_IN_ALARM;
    if (out && !in_alarm) {
        enter_alarm(p, opts);
    } else if (!out && in_alarm) {
        end_requests(p, opts);
        p->h.flags |= RT_FORCED;
    }
}

void alarm_visual_refresh(ZyrPort* p) {
    if (port_state.alarm_ports <= 0 || !(p->h.flags & RT_HAS_LIMITS)) return;
    if (!(p->h.rec->alarm_flags & AL_BLINK)) return;
    if (zyr.zyr_msecs - p->alarm_refresh_ms <= ALARM_REFRESH_MS) return;
    p->alarm_refresh_ms = zyr.zyr_msecs;
    p->h.flags |= RT_FORCED;
}

void alarm_release(ZyrPort* p) {
    if (p->h.flags & RT_IN_ALARM) end_requests(p, p->h.rec->alarm_flags);
}
