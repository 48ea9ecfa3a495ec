#pragma once
// TLoadClient: one front end on a bus connection of its own, driving a driver object
// without ever blocking: it starts commands, polls COMMANDSTATUS until each ends, and
// sends points lists in between, and checks that every answer it gets is its own.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

#include <functional>

class TLoadClient : public QObject
{
    Q_OBJECT

public:
    TLoadClient(int id, int site, const QDBusConnection &bus, const QString &objectPath);

    // Begins the work; it goes on until Stop, then ends its command under way.
    void Begin();
    void Stop() { FStopping = true; }
    bool Idle() const { return FIdle; }

    // The site's point addresses: the scale field names the site, so a value of another
    // site would show.
    static QString PointAddress(int site, int variable);

    int Started = 0;       // commands the driver accepted
    int Completed = 0;     // of those, ended with COMMANDSTATUS=TRUE or =FALSE
    int ListsSent = 0;
    int Waits = 0;         // "Waiting for driver..." answers to a start
    QStringList Faults;    // what went wrong, one line each

private:
    enum class TStep { Start, Poll, SendList };
    void Next(int delayMs);
    void Issue();
    void Send(const QString &method, const QStringList &request, TStep step);
    void Answered(const QDBusMessage &reply, TStep step);
    void Check(const QStringList &answer);
    void Fault(const QString &what);

    const int FId;
    const int FSite;
    QDBusConnection FBus;
    const QString FPath;
    int FRound = 0;
    int FPolls = 0;
    QString FCommand;        // the command under way ("" when none)
    QString FExpectedName;   // POINTNAME of the POINTVERIFY under way
    QString FExpectedAddress;
    bool FStopping = false;
    bool FIdle = true;
};
