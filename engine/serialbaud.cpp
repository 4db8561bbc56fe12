// Baud rates: the stored value to the termios speed, and the rates that
// have no termios constant (7200, 14400, 28800) through termios2 with
// BOTHER, where the kernel and the device take them.
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <sys/ioctl.h>
#include <termios.h>

#include "engine/serial.h"

// The kernel's termios2 (asm/termbits.h cannot be included beside
// termios.h).
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
#ifndef BOTHER
#define BOTHER 0010000
#endif

struct SpeedRow {
    unsigned rate;
    speed_t speed;
};
static const SpeedRow kSpeeds[] = {
    {50, B50},       {75, B75},       {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},     {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

unsigned serial_line_rate(unsigned stored_baud) { return stored_baud == 11520 ? 115200 : stored_baud; }

unsigned serial_speed_constant(unsigned baud, bool* exact, unsigned* nearest) {
    unsigned rate = serial_line_rate(baud);
    *exact = true;
    *nearest = rate;
    if (rate == 0) return 0;
    const SpeedRow* best = &kSpeeds[0];
    for (const SpeedRow& r : kSpeeds) {
        if (r.rate == rate) return r.speed;
        if (std::abs((long)r.rate - (long)rate) < std::abs((long)best->rate - (long)rate)) best = &r;
    }
    *exact = false;
    *nearest = best->rate;
    return best->speed;
}

int serial_set_custom_rate(int fd, unsigned rate) {
#if defined(TCGETS2) && defined(TCSETS2)
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return -1;
    t.c_cflag &= ~(tcflag_t)CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(tcflag_t)(CBAUD << 16);   // input rate follows the output rate
    t.c_ispeed = t.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &t) != 0) return -1;
    if (ioctl(fd, TCGETS2, &t) != 0) return -1;
    if (t.c_ospeed != rate) {
        errno = EINVAL;
        return -1;
    }
    return 0;
#else
    (void)fd;
    (void)rate;
    errno = ENOTSUP;
    return -1;
#endif
}
