#pragma once
// THostileClient: a client that abuses the driver while the load clients work: requests
// past every limit, objects made and dropped by the dozen, large points lists, variants
// that are no parameter list. The calls of a round go out together without waiting; the
// client counts the refusals it gets and notes anything other than the refusal expected.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

class THostileClient : public QObject
{
    Q_OBJECT

public:
    THostileClient(int id, const QDBusConnection &bus);

    void Begin();
    void Stop() { FStopping = true; }
    bool Idle() const { return FPending == 0; }

    int Calls = 0;
    int Refusals = 0;      // LimitsExceeded answers
    QStringList Faults;

private:
    void Next();
    void Call(const QString &path, const QString &interface, const QString &method,
              const QVariantList &arguments, bool expectRefusal);
    void Answered(const QDBusMessage &reply, bool expectRefusal, const QString &what);

    const int FId;
    QDBusConnection FBus;
    QString FPath;          // the object it keeps for the requests
    int FRound = 0;
    int FPending = 0;
    bool FStopping = false;
};
