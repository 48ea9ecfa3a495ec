#pragma once
// TDriverProcess: a lonworks-driver process for tests, started from the build's output
// folder on the test's own bus, with its registration written to a private data folder.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TDriverProcess
{
public:
    explicit TDriverProcess(QStringList arguments = {});
    ~TDriverProcess();

    TDriverProcess(const TDriverProcess &) = delete;
    TDriverProcess &operator=(const TDriverProcess &) = delete;

    // The program: $LW_DRIVER when set, else lonworks-driver beside the test program.
    static QString DriverPath();
    // The test's environment with XDG_DATA_HOME pointing at dataHome and no display.
    static QProcessEnvironment Environment(const QString &dataHome);
    // True once the driver owns QelLonWorks.QelLonWorksCom on the session bus.
    static bool BusNameOwned();
    // Waits (polls of 50 ms) until the bus name is owned (owned = true) or free.
    static bool WaitForBusName(bool owned, int maxPolls = 200);

    void SetEnvironment(const QProcessEnvironment &environment);
    // A program that starts the driver (its arguments, then the driver's path and arguments
    // follow), for instance setpriv with capabilities taken away; empty: none.
    void SetLauncher(const QStringList &launcher) { FLauncher = launcher; }
    // Starts the driver and waits until it owns the bus name.
    bool Start(int maxPolls = 200);
    // Waits for the process to end by itself; true when it did.
    bool WaitForExit(int maxPolls = 200);
    // Ends the process (terminate, then kill) and waits for the bus name to be free.
    void Stop();

    QProcess &Process() { return FProcess; }
    QString DataHome() const { return FDataHome.path(); }

private:
    QProcess FProcess;
    QStringList FArguments;
    QStringList FLauncher;
    QTemporaryDir FDataHome;   // the driver's registration goes here, removed afterwards
};

// Lets the event loop run for ms milliseconds (bus signals, process output).
void SpinEvents(int ms);
