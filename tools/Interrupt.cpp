#include "tools/Interrupt.h"

#include <QElapsedTimer>
#include <QThread>

#include <csignal>

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int signalNumber)
{
    gInterrupted = 1;
    std::signal(signalNumber, SIG_DFL);
}

} // namespace

void InstallInterruptHandlers()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted()
{
    return gInterrupted != 0;
}

bool SleepUnlessInterrupted(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!Interrupted()) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return true;
        QThread::msleep(qMin<qint64>(left, 20));
    }
    return false;
}

void AcknowledgeInterrupt()
{
    gInterrupted = 0;
    InstallInterruptHandlers();
}
