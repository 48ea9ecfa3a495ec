#pragma once
// A private session bus of a test's own whose activation folder is a driver registration
// folder: after `lonworks-driver -regserver` with that XDG_DATA_HOME, a call to the bus
// name starts the driver.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class TActivationBus
{
public:
    TActivationBus();
    ~TActivationBus();

    // The XDG_DATA_HOME to register the driver in.
    QString DataHome() const { return FDir.path() + QStringLiteral("/data"); }
    // Starts dbus-daemon and connects to it; false when either fails.
    bool Start();
    QDBusConnection Connection() const;
    QString Address() const { return FAddress; }
    // Ends the daemon, as a session that closes does: every connection to it is lost.
    void StopDaemon();
    // Asks the daemon to read its activation folder again.
    void Reload();
    // Waits until the driver's bus name is owned (or gone); false when it never is.
    bool WaitForDriver(bool owned, int maxPolls = 200);

private:
    QTemporaryDir FDir;
    QString FAddress;
    QString FConnectionName;
    QProcess FDaemon;
};
