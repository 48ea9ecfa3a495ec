#include "ActivationBus.h"

#include "DriverClient.h"
#include "DriverProcess.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>

TActivationBus::TActivationBus()
    : FAddress(QStringLiteral("unix:path=") + FDir.path() + QStringLiteral("/bus"))
    , FConnectionName(QStringLiteral("activation-") + FDir.path())
{
}

TActivationBus::~TActivationBus()
{
    QDBusConnection::disconnectFromBus(FConnectionName);
    StopDaemon();
}

void TActivationBus::StopDaemon()
{
    if (FDaemon.state() == QProcess::NotRunning)
        return;
    FDaemon.terminate();
    if (!FDaemon.waitForFinished(10000))
        FDaemon.kill();
    FDaemon.waitForFinished(10000);
}

bool TActivationBus::Start()
{
    QFile config(FDir.path() + QStringLiteral("/session.conf"));
    if (!FDir.isValid() || !config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n  <type>session</type>\n  <listen>%1</listen>\n"
        "  <servicedir>%2/dbus-1/services</servicedir>\n"
        "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n")
                     .arg(FAddress, DataHome()).toUtf8());
    config.close();

    QProcessEnvironment environment = TDriverProcess::Environment(DataHome());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), FAddress);
    FDaemon.setProcessEnvironment(environment);
    FDaemon.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config.fileName(),
                   QStringLiteral("--print-address")});
    if (!FDaemon.waitForStarted() || !FDaemon.waitForReadyRead(30000))
        return false;
    return Connection().isConnected();
}

QDBusConnection TActivationBus::Connection() const
{
    return QDBusConnection::connectToBus(FAddress, FConnectionName);
}

void TActivationBus::Reload()
{
    Connection().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig")));
}

bool TActivationBus::WaitForDriver(bool owned, int maxPolls)
{
    QDBusConnection bus = Connection();
    for (int i = 0; i < maxPolls; ++i) {
        if (bus.interface()->isServiceRegistered(TDriverClient::BusName).value() == owned)
            return true;
        SpinEvents(50);
    }
    return false;
}
