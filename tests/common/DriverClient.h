#pragma once
// TDriverClient: one driver object used over D-Bus the way a front end uses it: create,
// Setup, Connect, GetValue/PutValue, poll COMMANDSTATUS, Disconnect, Release.

#include <QDBusConnection>
#include <QDBusError>
#include <QString>
#include <QStringList>
#include <QVariant>

class TDriverClient
{
public:
    static const QString BusName;      // QelLonWorks.QelLonWorksCom
    static const QString FactoryPath;  // /QelLonWorksCom

    // Works on the session bus, or on another connection (a second client, a foreign one).
    explicit TDriverClient(const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~TDriverClient();   // releases the object unless Release was called

    TDriverClient(const TDriverClient &) = delete;
    TDriverClient &operator=(const TDriverClient &) = delete;

    // CreateInstance; true when the driver answered an object path.
    bool Create();
    // Uses an object made by another client (to try a foreign call).
    void Attach(const QString &path) { FPath = path; }
    QString Path() const { return FPath; }

    // The five operations. A request is a QString, a QStringList or a QVariantList.
    bool Setup(const QVariant &request);
    bool Connect(const QVariant &request);
    bool Disconnect(const QVariant &request = QStringList());
    // The answer as the bus delivered it: QStringList (as), QVariantList (av), QByteArray (ay).
    QVariant GetValue(const QVariant &request);
    QVariant PutValue(const QVariant &request);
    bool Release();

    // GetValue with its answer as texts (bytes as one Latin-1 text).
    QStringList Get(const QVariant &request);
    QStringList Put(const QVariant &request);
    // Setup VERSIONCHECK=1.8, then Connect; true when both answered true.
    bool Open(const QStringList &connectRequest);
    // Polls COMMANDSTATUS until the answer is COMMANDSTATUS=TRUE or =FALSE, at most
    // maxPolls times, intervalMs apart; returns the last answer.
    QStringList WaitForStatus(int maxPolls = 100, int intervalMs = 50);
    // Starts a command with GetValue and waits for its outcome.
    QStringList Run(const QStringList &request, int maxPolls = 100, int intervalMs = 50);

    // The error of the last call (empty when it succeeded).
    QDBusError LastError() const { return FLastError; }
    QDBusConnection &Bus() { return FBus; }

    // The texts of an answer variant (as, av or ay).
    static QStringList Texts(const QVariant &answer);
    // True for COMMANDSTATUS=TRUE or COMMANDSTATUS=FALSE as the first element.
    static bool IsFinal(const QStringList &answer);

private:
    // timeoutMs 0: the usual time-out of a call.
    QVariant Call(const QString &interface, const QString &method, const QVariantList &args,
                  int timeoutMs = 0);
    QVariant CallWithList(const QString &method, const QVariant &request);

    QDBusConnection FBus;
    QString FPath;
    QDBusError FLastError;
    bool FReleased = false;
};
