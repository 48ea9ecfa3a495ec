#include "LoadClient.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace {

const QString kBusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
const QString kDevice = QStringLiteral("QelDevice.IQelDeviceDriver");
const QString kWaiting = QStringLiteral("COMMANDSTATUS=Waiting for driver...");
const char *const kCommands[] = {"SITETIME", "SITESTATUS", "POINTVERIFY", "GETPOINTSLIST"};
constexpr int kMaxPolls = 400;   // polls of one command before it counts as lost

QStringList Texts(const QDBusMessage &reply)
{
    if (reply.arguments().isEmpty())
        return {};
    QVariant value = reply.arguments().first();
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        QVariantList list;
        argument >> list;
        QStringList texts;
        for (const QVariant &element : list)
            texts.append(element.userType() == qMetaTypeId<QDBusVariant>()
                             ? element.value<QDBusVariant>().variant().toString()
                             : element.toString());
        return texts;
    }
    return value.toStringList();
}

} // namespace

TLoadClient::TLoadClient(int id, int site, const QDBusConnection &bus, const QString &objectPath)
    : FId(id), FSite(site), FBus(bus), FPath(objectPath)
{
}

QString TLoadClient::PointAddress(int site, int variable)
{
    return QStringLiteral("0:1:10:%1:0:0:0:0,%2").arg(variable).arg(site + 1);
}

void TLoadClient::Begin()
{
    FIdle = false;
    Next(FId * 7);
}

void TLoadClient::Next(int delayMs)
{
    QTimer::singleShot(delayMs, this, &TLoadClient::Issue);
}

void TLoadClient::Issue()
{
    if (!FCommand.isEmpty()) {
        Send(QStringLiteral("GetValue"), {QStringLiteral("COMMAND=COMMANDSTATUS")}, TStep::Poll);
        return;
    }
    if (FStopping) {
        FIdle = true;
        return;
    }
    const int round = FRound++;
    if (round % 5 == 4) {
        QStringList list{QStringLiteral("COMMAND=SENDPOINTSLIST")};
        for (int i = 0; i < 3; ++i)
            list.append(QStringLiteral("POINT%1={C%2P%1}{%3}").arg(i).arg(FId).arg(PointAddress(FSite, (FId + round + i) % 8)));
        Send(QStringLiteral("PutValue"), list, TStep::SendList);
        return;
    }
    FCommand = QLatin1String(kCommands[(FId + round) % 4]);
    QStringList request{QStringLiteral("COMMAND=") + FCommand};
    if (FCommand == QLatin1String("POINTVERIFY")) {
        FExpectedName = QStringLiteral("C%1-%2").arg(FId).arg(round);
        FExpectedAddress = QStringLiteral("0:1:%1:%2:0:0:0:0").arg(1 + FId).arg(round % 4096);
        request << QStringLiteral("POINTNAME=") + FExpectedName << QStringLiteral("POINTADDRESS=") + FExpectedAddress;
    }
    Send(QStringLiteral("GetValue"), request, TStep::Start);
}

void TLoadClient::Send(const QString &method, const QStringList &request, TStep step)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kBusName, FPath, kDevice, method);
    call.setArguments({QVariant::fromValue(QDBusVariant(request))});
    auto *watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, 60000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, step] {
        watcher->deleteLater();
        Answered(watcher->reply(), step);
    });
}

void TLoadClient::Answered(const QDBusMessage &reply, TStep step)
{
    if (reply.type() != QDBusMessage::ReplyMessage) {
        Fault(QStringLiteral("bus error: ") + reply.errorMessage());
        FCommand.clear();
        Next(50);
        return;
    }
    const QStringList answer = Texts(reply);
    const QString first = answer.value(0);
    switch (step) {
    case TStep::SendList:
        if (first != QLatin1String("COMMANDSTATUS=TRUE"))
            Fault(QStringLiteral("points list refused: ") + answer.join(u'|'));
        ++ListsSent;
        Next(10);
        return;
    case TStep::Start:
        if (first == kWaiting) {
            ++Waits;
            FCommand.clear();
            Next(20 + FId % 5 * 5);
            return;
        }
        if (first == QLatin1String("COMMANDSTATUS=TRUE") || first == QLatin1String("COMMANDSTATUS=FALSE")
            || !first.startsWith(QLatin1String("COMMANDSTATUS="))) {
            Fault(FCommand + QStringLiteral(" not started: ") + answer.join(u'|'));
            FCommand.clear();
            Next(50);
            return;
        }
        ++Started;
        FPolls = 0;
        Next(30);
        return;
    case TStep::Poll:
        if (first == QLatin1String("COMMANDSTATUS=TRUE") || first == QLatin1String("COMMANDSTATUS=FALSE")) {
            ++Completed;
            Check(answer);
            FCommand.clear();
            Next(10);
            return;
        }
        if (++FPolls > kMaxPolls) {
            Fault(FCommand + QStringLiteral(" never ended: ") + answer.join(u'|'));
            FCommand.clear();
        }
        Next(30);
        return;
    }
}

void TLoadClient::Check(const QStringList &answer)
{
    const QString whole = FCommand + QStringLiteral(": ") + answer.join(u'|');
    if (answer.value(0) != QLatin1String("COMMANDSTATUS=TRUE")) {
        Fault(QStringLiteral("failed ") + whole);
        return;
    }
    const QStringList result = answer.mid(3);
    if (FCommand == QLatin1String("SITETIME")) {
        if (!result.value(0).startsWith(QLatin1String("SITETIME=")) || result.size() != 2)
            Fault(QStringLiteral("not a site time: ") + whole);
    } else if (FCommand == QLatin1String("SITESTATUS")) {
        if (result.size() != 17 || result.value(0) != QStringLiteral("Site: Load%1").arg(FSite))
            Fault(QStringLiteral("not this site's status: ") + whole);
    } else if (FCommand == QLatin1String("POINTVERIFY")) {
        if (result.value(0) != QStringLiteral("POINTNAME=") + FExpectedName
            || result.value(1) != QStringLiteral("POINTADDRESS=") + FExpectedAddress)
            Fault(QStringLiteral("not this client's verify (%1): ").arg(FExpectedName) + whole);
    } else {
        // Every listed point is one of this site's: "POINTk={address}{VALUE=...}".
        for (int k = 0; k < result.size(); ++k) {
            const QString &item = result.at(k);
            const QString head = QStringLiteral("POINT%1={").arg(k);
            const qsizetype end = item.indexOf(QLatin1String("}{VALUE="));
            const QString address = end > 0 ? item.mid(head.size(), end - head.size()) : QString();
            QStringList siteAddresses;
            for (int v = 0; v < 8; ++v)
                siteAddresses.append(PointAddress(FSite, v));
            if (!item.startsWith(head) || !item.endsWith(u'}') || !siteAddresses.contains(address)) {
                Fault(QStringLiteral("not this site's point: ") + item);
                return;
            }
        }
    }
}

void TLoadClient::Fault(const QString &what)
{
    if (Faults.size() < 20)
        Faults.append(QStringLiteral("client %1 (site %2): %3").arg(FId).arg(FSite).arg(what));
}
