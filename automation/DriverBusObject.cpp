#include "automation/DriverBusObject.h"

#include "automation/BusVariant.h"
#include "site/DriverLimits.h"

#include <QDBusError>

namespace {

// Counts a call in progress, so a release asked for meanwhile waits for its end.
struct TCallGuard
{
    int &Depth;
    explicit TCallGuard(int &depth) : Depth(depth) { ++Depth; }
    ~TCallGuard() { --Depth; }
};

QDBusVariant RequestOf(const QDBusMessage &call)
{
    return call.arguments().value(0).value<QDBusVariant>();
}

} // namespace

TDriverBusObject::TDriverBusObject(TSiteRegistry *registry, const QString &owner, QObject *parent)
    : QObject(parent), FOwner(owner), FDriver(std::make_unique<TQelLonWorksCom>(registry))
{
}

TDriverBusObject::~TDriverBusObject() = default;

QDBusMessage TDriverBusObject::Answer(const QDBusMessage &call)
{
    if (call.service() != FOwner || FReleased)
        return call.createErrorReply(QDBusError::AccessDenied,
                                     QStringLiteral("This driver object belongs to another connection."));
    const QString member = call.member();
    if (member == QLatin1String("GetValue"))
        return RunAnswer(call, &TQelLonWorksCom::GetValue);
    if (member == QLatin1String("PutValue"))
        return RunAnswer(call, &TQelLonWorksCom::PutValue);
    if (member == QLatin1String("Setup"))
        return RunBoolean(call, &TQelLonWorksCom::Setup);
    if (member == QLatin1String("Connect"))
        return RunBoolean(call, &TQelLonWorksCom::Connect);
    if (member == QLatin1String("Disconnect"))
        return RunBoolean(call, &TQelLonWorksCom::Disconnect);
    if (member == QLatin1String("Release")) {
        ReleaseNow();
        return call.createReply();
    }
    return call.createErrorReply(QDBusError::UnknownMethod,
                                 QStringLiteral("No method %1 on a driver object.").arg(member));
}

std::shared_ptr<const TSiteStatusBoard> TDriverBusObject::StatusBoard() const
{
    const TSiteController *site = FDriver ? FDriver->SiteForm() : nullptr;
    return site ? site->StatusBoard() : nullptr;
}

QDBusMessage TDriverBusObject::RunBoolean(const QDBusMessage &call,
                                          bool (TQelLonWorksCom::*operation)(const QVariant &))
{
    QDBusMessage reply;
    {
        TCallGuard guard(FCallDepth);
        bool result = false;
        try {
            QVariant list;
            if (RequestFromBus(RequestOf(call), list))
                result = ((*FDriver).*operation)(list);
            reply = call.createReply(result);
        } catch (const TLimitExceeded &limit) {
            reply = call.createErrorReply(QDBusError::LimitsExceeded, limit.Message());
        } catch (...) {
            reply = call.createReply(false);
        }
    }
    if (FReleasePending && FCallDepth == 0)
        FinishRelease();
    return reply;
}

QDBusMessage TDriverBusObject::RunAnswer(const QDBusMessage &call,
                                         QVariant (TQelLonWorksCom::*operation)(const QVariant &))
{
    const auto failure = [&call] {
        return call.createReply(QVariant::fromValue(QDBusVariant(QVariant(TQelLonWorksCom::FailureAnswer()))));
    };
    QDBusMessage reply;
    {
        TCallGuard guard(FCallDepth);
        try {
            QVariant list;
            reply = RequestFromBus(RequestOf(call), list)
                        ? call.createReply(QVariant::fromValue(AnswerToBus(((*FDriver).*operation)(list))))
                        : failure();
        } catch (const TLimitExceeded &limit) {
            reply = call.createErrorReply(QDBusError::LimitsExceeded, limit.Message());
        } catch (...) {
            reply = failure();
        }
    }
    if (FReleasePending && FCallDepth == 0)
        FinishRelease();
    return reply;
}

void TDriverBusObject::ReleaseNow()
{
    if (FReleased)
        return;
    if (FCallDepth > 0) {
        FReleasePending = true;
        return;
    }
    FinishRelease();
}

void TDriverBusObject::FinishRelease()
{
    if (FReleased)
        return;
    FReleased = true;
    FReleasePending = false;
    try {
        FDriver.reset();
    } catch (...) {
    }
    if (FOnReleased)
        FOnReleased(this);
}
