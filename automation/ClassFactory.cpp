#include "automation/ClassFactory.h"

#include "automation/DriverBusObject.h"
#include "site/DriverLimits.h"
#include "classfactoryadaptor.h"
#include "iqeldevicedriveradaptor.h"
#include "iqellonworkscomadaptor.h"
#include "objectadaptor.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>

TClassFactory::TClassFactory(const QDBusConnection &connection, TSiteRegistry *registry,
                             QObject *parent)
    : QObject(parent),
      FConnection(connection),
      FRegistry(registry),
      FOwnerWatcher(new QDBusServiceWatcher(this)),
      FMaxPerConnection(DriverLimits::kMaxObjectsPerConnection),
      FMaxPerProcess(DriverLimits::kMaxObjectsPerProcess)
{
    new TClassFactoryAdaptor(this);
    FOwnerWatcher->setConnection(FConnection);
    FOwnerWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(FOwnerWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &TClassFactory::ReleaseOwner);
}

void TClassFactory::SetObjectLimits(int perConnection, int perProcess)
{
    FMaxPerConnection = perConnection;
    FMaxPerProcess = perProcess;
}

TClassFactory::~TClassFactory()
{
    const QList<TDriverBusObject *> objects = FObjects.keys();
    FObjects.clear();
    FObjectsByOwner.clear();
    for (TDriverBusObject *object : objects) {
        object->SetReleaseHandler(nullptr);
        object->ReleaseNow();
        delete object;
    }
}

bool TClassFactory::RegisterOnBus()
{
    return FConnection.registerObject(QLatin1String(kFactoryPath), this,
                                      QDBusConnection::ExportAdaptors);
}

QDBusObjectPath TClassFactory::CreateInstance()
{
    const QString owner = calledFromDBus() ? message().service() : QString();
    try {
        return QDBusObjectPath(CreateFor(owner));
    } catch (const TLimitExceeded &limit) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::LimitsExceeded, limit.Message());
        return QDBusObjectPath(QStringLiteral("/"));
    } catch (...) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::NoMemory, QStringLiteral("No driver object could be made."));
        return QDBusObjectPath(QStringLiteral("/"));
    }
}

QString TClassFactory::CreateFor(const QString &owner)
{
    if (FObjectsByOwner.value(owner).size() >= FMaxPerConnection)
        throw TLimitExceeded("driver objects per connection", FMaxPerConnection);
    if (FObjects.size() >= FMaxPerProcess)
        throw TLimitExceeded("driver objects per process", FMaxPerProcess);
    const QString path = QLatin1String(kFactoryPath) + QLatin1Char('/')
                         + QString::number(FNextNumber++);
    auto *object = new TDriverBusObject(FRegistry, owner, this);
    new TDriverDeviceAdaptor(object);
    new TDriverDefaultAdaptor(object);
    new TDriverObjectAdaptor(object);
    object->SetReleaseHandler([this](TDriverBusObject *released) { Forget(released); });
    FObjects.insert(object, path);
    FObjectsByOwner[owner].append(object);
    if (!owner.isEmpty() && !FOwnerWatcher->watchedServices().contains(owner))
        FOwnerWatcher->addWatchedService(owner);
    FConnection.registerObject(path, object, QDBusConnection::ExportAdaptors);
    // The owner may have left while the object was being made.
    if (!owner.isEmpty() && FConnection.interface()
        && !FConnection.interface()->isServiceRegistered(owner).value())
        QMetaObject::invokeMethod(this, [this, owner] { ReleaseOwner(owner); },
                                  Qt::QueuedConnection);
    return path;
}

void TClassFactory::ReleaseOwner(const QString &owner)
{
    // Only the owner's own objects are visited, not every object of the process.
    const QList<TDriverBusObject *> objects = FObjectsByOwner.value(owner);
    for (TDriverBusObject *object : objects)
        if (!object->Released())
            object->ReleaseNow();
    FOwnerWatcher->removeWatchedService(owner);
}

void TClassFactory::Forget(TDriverBusObject *object)
{
    const auto found = FObjects.constFind(object);
    if (found == FObjects.cend())
        return;
    const QString path = found.value();
    FObjects.erase(found);
    const auto owned = FObjectsByOwner.find(object->Owner());
    if (owned != FObjectsByOwner.end()) {
        owned->removeOne(object);
        if (owned->isEmpty())
            FObjectsByOwner.erase(owned);
    }
    FConnection.unregisterObject(path);
    object->SetReleaseHandler(nullptr);
    object->deleteLater();
}
