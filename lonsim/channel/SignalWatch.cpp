#include "lonsim/channel/SignalWatch.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace lonsim::channel {

namespace {
int signalPipe[2] = {-1, -1};
std::map<int, std::function<void()>> &handlers()
{
    static std::map<int, std::function<void()>> table;
    return table;
}

void onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
}

bool openPipe(QObject *parent)
{
    if (signalPipe[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char byte = 0;
        if (::read(signalPipe[1], &byte, 1) != 1)
            return;
        const auto it = handlers().find(int(byte));
        if (it != handlers().end())
            it->second();
    });
    return true;
}
} // namespace

bool watchSignal(int signal, QObject *parent, std::function<void()> handler)
{
    if (!openPipe(parent))
        return false;
    handlers()[signal] = std::move(handler);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(signal, &action, nullptr) == 0;
}

bool watchTerminationSignals(QObject *parent)
{
    const auto quit = [] { QCoreApplication::quit(); };
    return watchSignal(SIGTERM, parent, quit) && watchSignal(SIGINT, parent, quit);
}

} // namespace lonsim::channel
