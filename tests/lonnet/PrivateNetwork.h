#pragma once
// Tests with a LON network device: the test process moves into a network namespace of its
// own before it starts anything, so the stand-in's lon0 and the programs using it live
// there alone. The namespace has no name; the kernel removes it when the last process in
// it ends, so a failed or killed test leaves nothing behind. lonsim-usb is the device.

#include "ChildProcess.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <unistd.h>

// Empty when this process now has a network namespace of its own; otherwise why not.
inline QString EnterPrivateNetwork()
{
    static QString outcome = []() -> QString {
        if (::geteuid() != 0)
            return QStringLiteral("needs root: it makes a network namespace and a TUN device (lon0) in it");
        if (!QFileInfo::exists(QStringLiteral("/dev/net/tun")))
            return QStringLiteral("needs /dev/net/tun");
        if (::unshare(CLONE_NEWNET) != 0)
            return QStringLiteral("cannot make a network namespace: ") + QString::fromLocal8Bit(std::strerror(errno));
        return QString();
    }();
    return outcome;
}

// lonsim-usb beside the test program, started until it says it is ready.
class TStandIn
{
public:
    ~TStandIn() { Stop(); }
    static QString ProgramPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/lonsim-usb"); }

    bool Start(const QStringList &arguments)
    {
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(ProgramPath(), arguments);
        FReady = WaitForReadyLine(FProcess);
        if (!FReady.contains(QLatin1String("ready"))) {
            Stop();
            return false;
        }
        return true;
    }
    QString ReadyLine() const { return FReady; }
    void Signal(int signal) { ::kill(pid_t(FProcess.processId()), signal); }
    // Ends the stand-in: its device goes away with it.
    void Stop()
    {
        if (FProcess.state() == QProcess::NotRunning)
            return;
        FProcess.terminate();
        if (!FProcess.waitForFinished(5000)) {
            FProcess.kill();
            FProcess.waitForFinished(2000);
        }
    }
    QProcess &Process() { return FProcess; }

private:
    QProcess FProcess;
    QString FReady;
};
