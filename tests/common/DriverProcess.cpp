#include "DriverProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>

namespace {
const QString kBusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
}

void SpinEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TDriverProcess::TDriverProcess(QStringList arguments)
    : FArguments(std::move(arguments))
{
    FProcess.setProcessEnvironment(Environment(FDataHome.path()));
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TDriverProcess::~TDriverProcess()
{
    Stop();
}

QString TDriverProcess::DriverPath()
{
    const QString fromEnvironment = qEnvironmentVariable("LW_DRIVER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lonworks-driver");
}

QProcessEnvironment TDriverProcess::Environment(const QString &dataHome)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

bool TDriverProcess::BusNameOwned()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kBusName).value();
}

bool TDriverProcess::WaitForBusName(bool owned, int maxPolls)
{
    for (int i = 0; i < maxPolls; ++i) {
        if (BusNameOwned() == owned)
            return true;
        SpinEvents(50);
    }
    return BusNameOwned() == owned;
}

void TDriverProcess::SetEnvironment(const QProcessEnvironment &environment)
{
    FProcess.setProcessEnvironment(environment);
}

bool TDriverProcess::Start(int maxPolls)
{
    if (FLauncher.isEmpty())
        FProcess.start(DriverPath(), FArguments);
    else
        FProcess.start(FLauncher.first(), FLauncher.mid(1) + QStringList{DriverPath()} + FArguments);
    if (!FProcess.waitForStarted())
        return false;
    for (int i = 0; i < maxPolls; ++i) {
        if (BusNameOwned())
            return true;
        if (FProcess.state() == QProcess::NotRunning)
            return false;
        SpinEvents(50);
    }
    return false;
}

bool TDriverProcess::WaitForExit(int maxPolls)
{
    for (int i = 0; i < maxPolls && FProcess.state() != QProcess::NotRunning; ++i)
        FProcess.waitForFinished(50);
    return FProcess.state() == QProcess::NotRunning;
}

void TDriverProcess::Stop()
{
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
    WaitForBusName(false, 100);
}
