#include "automation/ClassFactory.h"

#include "automation/CallForwarder.h"
#include "automation/DriverBusFront.h"
#include "automation/DriverBusObject.h"
#include "automation/SiteRegistry.h"
#include "site/DriverLimits.h"
#include "classfactoryadaptor.h"
#include "iqeldevicedriveradaptor.h"
#include "iqellonworkscomadaptor.h"
#include "objectadaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QThread>

TClassFactory::TClassFactory(const QDBusConnection &connection, TSiteRegistry *registry,
                             QObject *parent)
    : QObject(parent),
      FConnection(connection),
      FRegistry(registry),
      FOwnerWatcher(new QDBusServiceWatcher(this)),
      FForwarder(std::make_shared<TCallForwarder>(this)),
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
    FForwarder->Close();
    const QHash<TDriverBusObject *, TObjectEntry> objects = FObjects;
    FObjects.clear();
    FObjectsByPath.clear();
    FObjectsByOwner.clear();
    for (auto entry = objects.cbegin(); entry != objects.cend(); ++entry) {
        DisposeFront(entry->Path, entry->Front);
        entry.key()->SetReleaseHandler(nullptr);
        entry.key()->ReleaseNow();
        delete entry.key();
    }
}

void TClassFactory::DisposeFront(const QString &path, TDriverBusFront *front)
{
    FConnection.unregisterObject(path);
    // The connection learns of a registered object's end by a blocking call to its own
    // thread: the front must end on another one, so it comes back here first.
    if (front->thread() != thread())
        QMetaObject::invokeMethod(
            front, [front, home = thread()] { front->moveToThread(home); },
            Qt::BlockingQueuedConnection);
    delete front;
}

QThread *TClassFactory::BusThread() const
{
    // The bus's own interface object lives on the thread the connection reads on.
    const QDBusConnectionInterface *bus = FConnection.interface();
    return bus ? bus->thread() : nullptr;
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
    auto *front = new TDriverBusFront(path, owner, &object->Driver(), FForwarder);
    new TDriverDeviceAdaptor(front);
    new TDriverDefaultAdaptor(front);
    new TDriverObjectAdaptor(front);
    // Status polls are answered on the connection's thread; the rest comes here.
    if (QThread *busThread = BusThread())
        front->moveToThread(busThread);
    object->SetReleaseHandler([this](TDriverBusObject *released) { Forget(released); });
    FObjects.insert(object, {path, front});
    FObjectsByPath.insert(path, object);
    FObjectsByOwner[owner].append(object);
    if (!owner.isEmpty() && !FOwnerWatcher->watchedServices().contains(owner))
        FOwnerWatcher->addWatchedService(owner);
    FConnection.registerObject(path, front, QDBusConnection::ExportAdaptors);
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

void TClassFactory::Deliver(const QString &path, const QDBusMessage &call, QDBusConnection bus)
{
    QDBusMessage reply;
    if (TDriverBusObject *object = FObjectsByPath.value(path)) {
        reply = object->Answer(call);
        // The object may have been released by its call.
        const auto entry = FObjects.constFind(object);
        if (entry != FObjects.cend())
            entry->Front->SetStatusBoard(object->StatusBoard());
    } else {
        reply = call.createErrorReply(QDBusError::UnknownObject,
                                      QStringLiteral("No driver object at %1.").arg(path));
    }
    // Whatever the call changed is published before its client can ask again.
    if (FRegistry)
        FRegistry->PublishStatuses();
    FForwarder->Answered();
    bus.send(reply);
}

void TClassFactory::Forget(TDriverBusObject *object)
{
    const auto found = FObjects.constFind(object);
    if (found == FObjects.cend())
        return;
    const QString path = found->Path;
    TDriverBusFront *front = found->Front;
    FObjects.erase(found);
    FObjectsByPath.remove(path);
    const auto owned = FObjectsByOwner.find(object->Owner());
    if (owned != FObjectsByOwner.end()) {
        owned->removeOne(object);
        if (owned->isEmpty())
            FObjectsByOwner.erase(owned);
    }
    DisposeFront(path, front);
    object->SetReleaseHandler(nullptr);
    object->deleteLater();
}
