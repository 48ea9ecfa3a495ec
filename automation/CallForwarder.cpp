#include "automation/CallForwarder.h"

#include "automation/ClassFactory.h"

#include <QMutexLocker>

bool TCallForwarder::Forward(const QString &path, const QDBusMessage &call, const QDBusConnection &bus)
{
    const QMutexLocker locker(&FMutex);
    if (!FFactory)
        return false;
    FUnanswered.fetch_add(1, std::memory_order_acq_rel);
    TClassFactory *factory = FFactory;
    QMetaObject::invokeMethod(
        factory, [factory, path, call, bus] { factory->Deliver(path, call, bus); },
        Qt::QueuedConnection);
    return true;
}

void TCallForwarder::Close()
{
    const QMutexLocker locker(&FMutex);
    FFactory = nullptr;
}
