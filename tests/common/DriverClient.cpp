#include "DriverClient.h"

#include "DriverProcess.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

const QString TDriverClient::BusName = QStringLiteral("QelLonWorks.QelLonWorksCom");
const QString TDriverClient::FactoryPath = QStringLiteral("/QelLonWorksCom");

namespace {

const QString kDeviceInterface = QStringLiteral("QelDevice.IQelDeviceDriver");
constexpr int kCallTimeoutMs = 60000;
constexpr int kReleaseAtEndTimeoutMs = 2000;

QVariant FromBus(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return FromBus(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("av")) {
            QVariantList list;
            argument >> list;
            for (QVariant &element : list)
                element = FromBus(element);
            return list;
        }
    }
    return value;
}

} // namespace

TDriverClient::TDriverClient(const QDBusConnection &bus)
    : FBus(bus)
{
}

TDriverClient::~TDriverClient()
{
    // A test that failed may leave the driver busy or gone: the release at its end waits
    // briefly, so the test ends promptly instead of waiting out each call's time-out.
    if (!FPath.isEmpty() && !FReleased && FBus.isConnected())
        Call(QStringLiteral("QelLonWorks.Object"), QStringLiteral("Release"), {}, kReleaseAtEndTimeoutMs);
}

QVariant TDriverClient::Call(const QString &interface, const QString &method,
                             const QVariantList &args, int timeoutMs)
{
    const QString path = method == QLatin1String("CreateInstance") ? FactoryPath : FPath;
    QDBusMessage call = QDBusMessage::createMethodCall(BusName, path, interface, method);
    call.setArguments(args);
    const QDBusMessage reply = FBus.call(call, QDBus::Block, timeoutMs > 0 ? timeoutMs : kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        FLastError = QDBusError(reply);
        return {};
    }
    FLastError = QDBusError();
    return reply.arguments().isEmpty() ? QVariant(true) : FromBus(reply.arguments().first());
}

QVariant TDriverClient::CallWithList(const QString &method, const QVariant &request)
{
    return Call(kDeviceInterface, method, {QVariant::fromValue(QDBusVariant(request))});
}

bool TDriverClient::Create()
{
    const QVariant answer = Call(QStringLiteral("QelLonWorks.ClassFactory"),
                                 QStringLiteral("CreateInstance"), {});
    if (!answer.isValid())
        return false;
    FPath = answer.value<QDBusObjectPath>().path();
    FReleased = false;
    return !FPath.isEmpty();
}

bool TDriverClient::Setup(const QVariant &request)
{
    return CallWithList(QStringLiteral("Setup"), request).toBool();
}

bool TDriverClient::Connect(const QVariant &request)
{
    return CallWithList(QStringLiteral("Connect"), request).toBool();
}

bool TDriverClient::Disconnect(const QVariant &request)
{
    return CallWithList(QStringLiteral("Disconnect"), request).toBool();
}

QVariant TDriverClient::GetValue(const QVariant &request)
{
    return CallWithList(QStringLiteral("GetValue"), request);
}

QVariant TDriverClient::PutValue(const QVariant &request)
{
    return CallWithList(QStringLiteral("PutValue"), request);
}

bool TDriverClient::Release()
{
    Call(QStringLiteral("QelLonWorks.Object"), QStringLiteral("Release"), {});
    FReleased = !FLastError.isValid();
    return FReleased;
}

QStringList TDriverClient::Texts(const QVariant &answer)
{
    if (answer.userType() == QMetaType::QByteArray)
        return {QString::fromLatin1(answer.toByteArray())};
    if (answer.userType() == QMetaType::QVariantList) {
        QStringList texts;
        for (const QVariant &element : answer.toList())
            texts.append(element.toString());
        return texts;
    }
    return answer.toStringList();
}

bool TDriverClient::IsFinal(const QStringList &answer)
{
    return !answer.isEmpty()
           && (answer.first() == QLatin1String("COMMANDSTATUS=TRUE")
               || answer.first() == QLatin1String("COMMANDSTATUS=FALSE"));
}

QStringList TDriverClient::Get(const QVariant &request)
{
    return Texts(GetValue(request));
}

QStringList TDriverClient::Put(const QVariant &request)
{
    return Texts(PutValue(request));
}

bool TDriverClient::Open(const QStringList &connectRequest)
{
    if (FPath.isEmpty() && !Create())
        return false;
    return Setup(QStringLiteral("VERSIONCHECK=1.8")) && Connect(connectRequest);
}

QStringList TDriverClient::WaitForStatus(int maxPolls, int intervalMs)
{
    QStringList answer;
    for (int i = 0; i < maxPolls; ++i) {
        answer = Get(QStringLiteral("COMMAND=COMMANDSTATUS"));
        if (IsFinal(answer) || FLastError.isValid())
            return answer;
        SpinEvents(intervalMs);
    }
    return answer;
}

QStringList TDriverClient::Run(const QStringList &request, int maxPolls, int intervalMs)
{
    const QStringList started = Get(request);
    if (IsFinal(started) || FLastError.isValid())
        return started;
    return WaitForStatus(maxPolls, intervalMs);
}
