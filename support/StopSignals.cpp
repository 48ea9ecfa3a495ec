#include "support/StopSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gPair[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gPair[0], &byte, 1);
}

} // namespace

TStopSignals::TStopSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPair) != 0)
        return;
    FNotifier = new QSocketNotifier(gPair[1], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(gPair[1], buffer, sizeof buffer) > 0)
            ++FCount;
        Q_EMIT Received(FCount);
    });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

TStopSignals::~TStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int number : kSignals)
        ::sigaction(number, &action, nullptr);
    delete FNotifier;
    FNotifier = nullptr;
    for (int &fd : gPair) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
