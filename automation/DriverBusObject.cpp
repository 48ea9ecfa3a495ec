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
    // Setup, Connect and Disconnect answer a boolean, GetValue and PutValue an answer list.
    const auto result = [this](bool (TQelLonWorksCom::*operation)(const QVariant &)) {
        return [this, operation](const QVariant &list) { return QVariant(((*FDriver).*operation)(list)); };
    };
    const auto answer = [this](QVariant (TQelLonWorksCom::*operation)(const QVariant &)) {
        return [this, operation](const QVariant &list) {
            return QVariant::fromValue(AnswerToBus(((*FDriver).*operation)(list)));
        };
    };
    const QVariant failedAnswer = QVariant::fromValue(QDBusVariant(QVariant(TQelLonWorksCom::FailureAnswer())));
    const QString member = call.member();
    if (member == QLatin1String("GetValue"))
        return Run(call, failedAnswer, answer(&TQelLonWorksCom::GetValue));
    if (member == QLatin1String("PutValue"))
        return Run(call, failedAnswer, answer(&TQelLonWorksCom::PutValue));
    if (member == QLatin1String("Setup"))
        return Run(call, false, result(&TQelLonWorksCom::Setup));
    if (member == QLatin1String("Connect"))
        return Run(call, false, result(&TQelLonWorksCom::Connect));
    if (member == QLatin1String("Disconnect"))
        return Run(call, false, result(&TQelLonWorksCom::Disconnect));
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

QDBusMessage TDriverBusObject::Run(const QDBusMessage &call, const QVariant &failure,
                                   const std::function<QVariant(const QVariant &)> &operation)
{
    QDBusMessage reply;
    {
        TCallGuard guard(FCallDepth);
        try {
            QVariant list;
            reply = call.createReply(RequestFromBus(RequestOf(call), list) ? operation(list) : failure);
        } catch (const TLimitExceeded &limit) {
            reply = call.createErrorReply(QDBusError::LimitsExceeded, limit.Message());
        } catch (...) {
            reply = call.createReply(failure);
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
