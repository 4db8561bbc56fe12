// Pseudo-terminals for the serial tests: the slave is reached through a
// link, as a udev name would be, and the test holds the master.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <unistd.h>

// A pseudo-terminal whose slave is reached through a link named like a
// udev name; the test holds the master.
struct Pty {
    int master = -1;
    std::string slave;
    bool open(const char* link) {
        int s = -1;
        char name[128];
        if (openpty(&master, &s, name, nullptr, nullptr) != 0) return false;
        close(s);
        slave = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        unlink(link);
        return symlink(name, link) == 0;
    }
    void shut() {
        if (master >= 0) close(master);
        master = -1;
    }
    std::string read_all(int wait_ms = 200) {
        std::string out;
        for (;;) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, wait_ms) <= 0) break;
            char buf[4096];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, (size_t)n);
            wait_ms = 50;
        }
        return out;
    }
    bool write_all(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EAGAIN) {
                pollfd p{master, POLLOUT, 0};
                if (poll(&p, 1, 1000) <= 0) return false;
                continue;
            }
            if (n <= 0) return false;
            done += (size_t)n;
        }
        return true;
    }
};

