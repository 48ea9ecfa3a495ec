#include "automation/ClassFactory.h"

#include "automation/DriverBusObject.h"
#include "classfactoryadaptor.h"
#include "iqeldevicedriveradaptor.h"
#include "iqellonworkscomadaptor.h"
#include "objectadaptor.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>

TClassFactory::TClassFactory(const QDBusConnection &connection, TMainForm *mainForm,
                             QObject *parent)
    : QObject(parent),
      FConnection(connection),
      FMainForm(mainForm),
      FOwnerWatcher(new QDBusServiceWatcher(this))
{
    new TClassFactoryAdaptor(this);
    FOwnerWatcher->setConnection(FConnection);
    FOwnerWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(FOwnerWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &TClassFactory::ReleaseOwner);
}

TClassFactory::~TClassFactory()
{
    const QList<TDriverBusObject *> objects = FObjects.values();
    FObjects.clear();
    for (TDriverBusObject *object : objects) {
        object->OnReleased = nullptr;
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
    } catch (...) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::NoMemory, QStringLiteral("No driver object could be made."));
        return QDBusObjectPath(QStringLiteral("/"));
    }
}

QString TClassFactory::CreateFor(const QString &owner)
{
    const QString path = QLatin1String(kFactoryPath) + QLatin1Char('/')
                         + QString::number(FNextNumber++);
    auto *object = new TDriverBusObject(FMainForm, owner, this);
    new TDriverDeviceAdaptor(object);
    new TDriverDefaultAdaptor(object);
    new TDriverObjectAdaptor(object);
    object->OnReleased = [this](TDriverBusObject *released) { Forget(released); };
    FObjects.insert(path, object);
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
    const QList<TDriverBusObject *> objects = FObjects.values();
    for (TDriverBusObject *object : objects)
        if (object->Owner() == owner && !object->Released())
            object->ReleaseNow();
    FOwnerWatcher->removeWatchedService(owner);
}

void TClassFactory::Forget(TDriverBusObject *object)
{
    const QString path = FObjects.key(object);
    if (path.isEmpty())
        return;
    FObjects.remove(path);
    FConnection.unregisterObject(path);
    object->OnReleased = nullptr;
    object->deleteLater();
    if (FObjects.isEmpty())
        Q_EMIT LastObjectReleased();
}
