// Descriptor readiness on the window thread: one QSocketNotifier for each
// kind of event asked for, calling the program's handler with what is ready.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <map>

#include "platform/ui.h"

namespace {

struct Watch {
    FdHandler handler;
    QSocketNotifier* n[3];
};
std::map<int, Watch> g_watches;

const QSocketNotifier::Type kTypes[3] = {QSocketNotifier::Read, QSocketNotifier::Write, QSocketNotifier::Exception};
const unsigned kBits[3] = {FDW_READ, FDW_WRITE, FDW_EXCEPT};

}  // namespace

void plat_unwatch_fd(int fd) {
    auto it = g_watches.find(fd);
    if (it == g_watches.end()) return;
    for (QSocketNotifier* n : it->second.n)
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    g_watches.erase(it);
}

int plat_watch_fd(int fd, unsigned events, FdHandler handler) {
    if (fd < 0 || !handler || !QCoreApplication::instance()) return -1;
    plat_unwatch_fd(fd);
    Watch w{handler, {nullptr, nullptr, nullptr}};
    for (int i = 0; i < 3; i++) {
        if (!(events & kBits[i])) continue;
        auto* n = new QSocketNotifier(fd, kTypes[i]);
        unsigned bit = kBits[i];
        // The handler may unwatch or rewatch fd, so it is looked up afresh.
        QObject::connect(n, &QSocketNotifier::activated, [fd, bit] {
            auto it = g_watches.find(fd);
            if (it != g_watches.end()) it->second.handler(fd, bit);
        });
        w.n[i] = n;
    }
    g_watches[fd] = w;
    return 0;
}
