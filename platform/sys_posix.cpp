// POSIX implementation of the system seam.
#include "platform/sys.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits.h>
#include <sys/select.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

static bool g_fake_clock = false;
static uint64_t g_fake_ms = 0;
static uint64_t g_mem_cap = 0;

uint64_t plat_wall_ms() {
    if (g_fake_clock) return g_fake_ms;
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return (uint64_t)tv.tv_sec * 1000u + (uint64_t)(tv.tv_usec / 1000);
}

int64_t plat_calendar_time() {
    if (g_fake_clock) return (int64_t)(g_fake_ms / 1000);
    return (int64_t)time(nullptr);
}

int plat_time_text(int64_t t, char* out, size_t cap) {
    time_t tt = (time_t)t;
    struct tm tm;
    if (cap < 26 || localtime_r(&tt, &tm) == nullptr) return -1;
    // asctime layout, written by hand so a year beyond 9999 cannot overflow.
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_mon < 0 || tm.tm_mon > 11) return -1;
    long year = 1900L + tm.tm_year;
    if (year < 0 || year > 9999) return -1;
    snprintf(out, cap, "%.3s %.3s %2d %02d:%02d:%02d %ld\n", kDays[tm.tm_wday],
             kMonths[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, year);
    return 0;
}

void plat_fake_clock_set(uint64_t wall_ms) {
    g_fake_clock = true;
    g_fake_ms = wall_ms;
}
void plat_fake_clock_advance(uint64_t ms) { g_fake_ms += ms; }
void plat_fake_clock_off() { g_fake_clock = false; }
bool plat_fake_clock_on() { return g_fake_clock; }

static uint64_t read_mem_available() {
    FILE* f = fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    uint64_t kb = 0;
    while (fgets(line, sizeof line, f)) {
        unsigned long long v;
        if (sscanf(line, "MemAvailable: %llu kB", &v) == 1) {
            kb = v;
            break;
        }
    }
    fclose(f);
    return kb * 1024u;
}

// The pool measures after every free; reading /proc costs tens of
// microseconds, so a figure younger than 50 ms is reused.
uint64_t plat_mem_available() {
    if (g_mem_cap) return g_mem_cap;
    static uint64_t cached, cached_at;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t now = (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
    if (cached == 0 || now - cached_at >= 50) {
        uint64_t m = read_mem_available();
        cached = m ? m : (uint64_t)1 << 30;
        cached_at = now;
    }
    return cached;
}

void plat_fake_mem_available(uint64_t bytes) { g_mem_cap = bytes; }

int64_t plat_free_disk_kb(const char* path) {
    struct statvfs s;
    if (statvfs(path, &s) != 0) return -1;
    return (int64_t)((uint64_t)s.f_bavail * s.f_frsize / 1024u);
}

int plat_cwd(char* out, size_t cap) { return getcwd(out, cap) ? 0 : -1; }

int plat_exe_dir(char* out, size_t cap) {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return -1;
    buf[n] = 0;
    char* slash = strrchr(buf, '/');
    if (!slash) return -1;
    *slash = 0;
    if (strlen(buf) + 1 > cap) return -1;
    strcpy(out, buf);
    return 0;
}

// The program runs as a grandchild in a session of its own: the child that
// started it ends at once and is waited for here, so nothing is left to
// collect however many pages a session saves. An exec failure comes back
// through a close-on-exec pipe; end of file on it means the program runs.
// Between fork and exec only async-signal-safe calls are made.
int plat_start_detached(const char* path, const char* arg) {
    char* argv[] = {const_cast<char*>(path), const_cast<char*>(arg), nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) {
            execv(path, argv);
            int e = errno;
            ssize_t ignored = write(fds[1], &e, sizeof e);
            (void)ignored;
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int exec_errno = 0;
    ssize_t n;
    while ((n = read(fds[0], &exec_errno, sizeof exec_errno)) < 0 && errno == EINTR) {
    }
    close(fds[0]);
    bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
    return started ? 0 : -1;
}

int plat_last_error() { return errno; }

// While a program polls for keys, the terminal stays without echo and line
// buffering, so a key pressed between two polls is neither shown nor held
// back; the settings come back at exit.
static struct termios g_saved_tty;
static bool g_tty_raw;

static void restore_tty() {
    if (g_tty_raw) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_tty);
    g_tty_raw = false;
}

static bool raw_tty() {
    if (g_tty_raw) return true;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved_tty) != 0) return false;
    struct termios raw = g_saved_tty;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
    g_tty_raw = true;
    atexit(restore_tty);
    return true;
}

bool plat_key_pending() {
    if (!raw_tty()) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(STDIN_FILENO, &set);
    struct timeval tv = {0, 0};
    return select(STDIN_FILENO + 1, &set, nullptr, nullptr, &tv) > 0;
}

int plat_get_key() {
    unsigned char c;
    if (!isatty(STDIN_FILENO)) return read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
    raw_tty();
    return read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}

void plat_console_beep() {
    ssize_t n = write(STDERR_FILENO, "\a", 1);
    (void)n;
}

// ---- stop signals ---------------------------------------------------------------

static volatile sig_atomic_t g_stop_signal;

// The first signal is only noted: the program ends in order at its next
// tick. A second one, while that has not happened, ends it at once.
static void on_stop_signal(int sig) {
    if (g_stop_signal) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    g_stop_signal = sig;
}

int plat_catch_stop_signals() {
    g_stop_signal = 0;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        if (sigaction(sig, &sa, nullptr) != 0) return -1;
    return 0;
}

int plat_stop_signal() { return (int)g_stop_signal; }

void plat_release_stop_signals() {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) signal(sig, SIG_DFL);
    g_stop_signal = 0;
}
