#pragma once
// TClassFactory: the class object at /QelLonWorksCom. It creates driver objects for
// clients, numbers their paths, and releases every object of a connection that leaves
// the bus.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QString>

class QDBusServiceWatcher;
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

public Q_SLOTS:
    QDBusObjectPath CreateInstance();

private:
    void Forget(TDriverBusObject *object);

    QDBusConnection FConnection;
    TSiteRegistry *FRegistry;
    QDBusServiceWatcher *FOwnerWatcher;
    QHash<TDriverBusObject *, QString> FObjects;   // the path of each object
    QHash<QString, QList<TDriverBusObject *>> FObjectsByOwner;
    quint64 FNextNumber = 1;
    int FMaxPerConnection;
    int FMaxPerProcess;
};
