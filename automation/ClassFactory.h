#pragma once
// TClassFactory: the class object at /QelLonWorksCom. It creates driver objects for
// clients, numbers their paths, puts each on the bus through a front on the connection's
// thread, answers the calls the fronts forward, and releases every object of a
// connection that leaves the bus.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class QDBusServiceWatcher;
class TCallForwarder;
class TDriverBusFront;
class TDriverBusObject;
class TSiteRegistry;

class TClassFactory : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static constexpr char kFactoryPath[] = "/QelLonWorksCom";

    TClassFactory(const QDBusConnection &connection, TSiteRegistry *registry,
                  QObject *parent = nullptr);

    // How many driver objects one connection, and all of them together, may hold.
    void SetObjectLimits(int perConnection, int perProcess);
    ~TClassFactory() override;

    // Puts the class object on the connection; false when the path is taken.
    bool RegisterOnBus();
    int ObjectCount() const { return FObjects.size(); }

    // Creates a driver object owned by owner (a unique bus name) and returns its path.
    // Throws TLimitExceeded when owner, or the process, holds as many as it may.
    QString CreateFor(const QString &owner);
    // Releases every object that owner holds.
    void ReleaseOwner(const QString &owner);
    // Answers a call forwarded from the object at path: the object runs it, the sites'
    // command slots are published for the bus thread, then the reply is sent.
    void Deliver(const QString &path, const QDBusMessage &call, QDBusConnection bus);

public Q_SLOTS:
    QDBusObjectPath CreateInstance();

private:
    struct TObjectEntry
    {
        QString Path;
        TDriverBusFront *Front = nullptr;   // on the connection's thread
    };

    void Forget(TDriverBusObject *object);
    // Takes the front off the bus and ends it.
    void DisposeFront(const QString &path, TDriverBusFront *front);
    // The thread the connection reads its messages on; none for a connection without one.
    QThread *BusThread() const;

    QDBusConnection FConnection;
    TSiteRegistry *FRegistry;
    QDBusServiceWatcher *FOwnerWatcher;
    std::shared_ptr<TCallForwarder> FForwarder;
    QHash<TDriverBusObject *, TObjectEntry> FObjects;
    QHash<QString, TDriverBusObject *> FObjectsByPath;
    QHash<QString, QList<TDriverBusObject *>> FObjectsByOwner;
    quint64 FNextNumber = 1;
    int FMaxPerConnection;
    int FMaxPerProcess;
};
