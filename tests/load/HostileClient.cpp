#include "HostileClient.h"

#include "DriverClient.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace {

const QString kDevice = QStringLiteral("QelDevice.IQelDeviceDriver");
const QString kFactory = QStringLiteral("QelLonWorks.ClassFactory");
const QString kLimits = QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");

QVariant Request(const QVariant &value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

QStringList PointsList(int count)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    request.reserve(count + 1);
    for (int n = 0; n < count; ++n)
        request.append(QStringLiteral("POINT%1={H%1}{0:1:%2:%3:105:0:3:105}").arg(n).arg(1 + n / 200).arg(n % 200));
    return request;
}

} // namespace

THostileClient::THostileClient(int id, const QDBusConnection &bus)
    : FId(id), FBus(bus)
{
}

void THostileClient::Begin()
{
    QDBusMessage create = QDBusMessage::createMethodCall(TDriverClient::BusName, TDriverClient::FactoryPath,
                                                         kFactory, QStringLiteral("CreateInstance"));
    const QDBusMessage reply = FBus.call(create);
    FPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (FPath.isEmpty()) {
        Faults.append(QStringLiteral("hostile %1: no object: %2").arg(FId).arg(reply.errorMessage()));
        return;
    }
    // A site of its own, so its own lists weigh on no other client's site.
    FBus.call(QDBusMessage::createMethodCall(TDriverClient::BusName, FPath, kDevice, QStringLiteral("Setup"))
                  << Request(QStringLiteral("VERSIONCHECK=1.8")));
    FBus.call(QDBusMessage::createMethodCall(TDriverClient::BusName, FPath, kDevice, QStringLiteral("Connect"))
                  << Request(QStringList{QStringLiteral("DESCRIPTION=Hostile%1").arg(FId),
                                         QStringLiteral("OFFLINE=TRUE")}));
    Next();
}

void THostileClient::Next()
{
    if (FStopping || FPath.isEmpty())
        return;
    // Abuse, not a flood: the next round goes out once the last one is answered (a client
    // that never waits could keep any server's one thread for itself).
    if (FPending > 0) {
        QTimer::singleShot(50, this, &THostileClient::Next);
        return;
    }
    const QString huge(100'000, u'x');
    switch (FRound++ % 7) {
    case 0:   // a text past the entry limit
        Call(FPath, kDevice, QStringLiteral("Connect"), {Request(QStringList{QStringLiteral("DESCRIPTION=") + huge})}, true);
        break;
    case 1:   // a large points list; every fourth time one past the limit
        if ((FRound / 7) % 4 == 0)
            Call(FPath, kDevice, QStringLiteral("PutValue"), {Request(PointsList(100'001))}, true);
        else
            Call(FPath, kDevice, QStringLiteral("PutValue"), {Request(PointsList(20'000))}, false);
        break;
    case 2:   // objects up to the connection's limit and past it, then all dropped
        for (int i = 0; i < 64; ++i)
            Call(TDriverClient::FactoryPath, kFactory, QStringLiteral("CreateInstance"), {}, i == 63);
        break;
    case 3:   // variants that are no parameter list, and a list past the entry count
        Call(FPath, kDevice, QStringLiteral("GetValue"), {Request(QVariant::fromValue(QList<int>{1, 2, 3}))}, false);
        Call(FPath, kDevice, QStringLiteral("GetValue"), {Request(QStringList(100'101, QStringLiteral("A=1")))}, true);
        break;
    case 4:   // a site setting past its length
        Call(FPath, kDevice, QStringLiteral("Connect"),
             {Request(QStringList{QStringLiteral("DESCRIPTION=Hostile%1").arg(FId), QStringLiteral("SP2=") + QString(300, u'?')})},
             true);
        break;
    case 5:   // commands on its own site, answered as any client's
        Call(FPath, kDevice, QStringLiteral("GetValue"), {Request(QStringLiteral("COMMAND=SITESTATUS"))}, false);
        Call(FPath, kDevice, QStringLiteral("GetValue"), {Request(QStringLiteral("COMMAND=COMMANDSTATUS"))}, false);
        break;
    default:   // someone else's object
        Call(QStringLiteral("/QelLonWorksCom/1"), kDevice, QStringLiteral("GetValue"),
             {Request(QStringLiteral("COMMAND=SITESTATUS"))}, false);
        break;
    }
    QTimer::singleShot(150, this, &THostileClient::Next);
}

void THostileClient::Call(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &arguments, bool expectRefusal)
{
    QDBusMessage call = QDBusMessage::createMethodCall(TDriverClient::BusName, path, interface, method);
    call.setArguments(arguments);
    ++Calls;
    ++FPending;
    auto *watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, 60000), this);
    const QString what = method + u' ' + path;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, expectRefusal, what] {
                Answered(watcher->reply(), expectRefusal, what);
                watcher->deleteLater();
            });
}

void THostileClient::Answered(const QDBusMessage &reply, bool expectRefusal, const QString &what)
{
    --FPending;
    const bool refused = reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == kLimits;
    if (refused)
        ++Refusals;
    if (expectRefusal && !refused)
        Faults.append(QStringLiteral("hostile %1: %2 was not refused: %3").arg(FId).arg(what, reply.errorMessage()));
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        Faults.append(QStringLiteral("hostile %1: %2 got no answer").arg(FId).arg(what));
    // Objects it made are dropped at once.
    if (reply.type() == QDBusMessage::ReplyMessage && what.startsWith(QLatin1String("CreateInstance"))) {
        const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        FBus.asyncCall(QDBusMessage::createMethodCall(TDriverClient::BusName, path,
                                                      QStringLiteral("QelLonWorks.Object"), QStringLiteral("Release")));
    }
}
