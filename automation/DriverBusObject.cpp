#include "automation/DriverBusObject.h"

#include "automation/BusVariant.h"
#include "site/DriverLimits.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

namespace {

// Counts a call in progress, so a release asked for meanwhile waits for its end.
struct TCallGuard
{
    int &Depth;
    explicit TCallGuard(int &depth) : Depth(depth) { ++Depth; }
    ~TCallGuard() { --Depth; }
};

} // namespace

TDriverBusObject::TDriverBusObject(TSiteRegistry *registry, const QString &owner, QObject *parent)
    : QObject(parent), FOwner(owner), FDriver(std::make_unique<TQelLonWorksCom>(registry))
{
}

TDriverBusObject::~TDriverBusObject() = default;

bool TDriverBusObject::CallerIsOwner()
{
    if (!calledFromDBus())
        return true;
    if (message().service() == FOwner && !FReleased)
        return true;
    sendErrorReply(QDBusError::AccessDenied,
                   QStringLiteral("This driver object belongs to another connection."));
    return false;
}

void TDriverBusObject::RefuseForLimit(const TLimitExceeded &limit)
{
    if (calledFromDBus())
        sendErrorReply(QDBusError::LimitsExceeded, limit.Message());
}

bool TDriverBusObject::RunBoolean(bool (TQelLonWorksCom::*operation)(const QVariant &),
                                  const QDBusVariant &request)
{
    if (!CallerIsOwner())
        return false;
    bool result = false;
    {
        TCallGuard guard(FCallDepth);
        try {
            QVariant list;
            if (RequestFromBus(request, list))
                result = ((*FDriver).*operation)(list);
        } catch (const TLimitExceeded &limit) {
            RefuseForLimit(limit);
        } catch (...) {
            result = false;
        }
    }
    if (FReleasePending && FCallDepth == 0)
        FinishRelease();
    return result;
}

QDBusVariant TDriverBusObject::RunAnswer(QVariant (TQelLonWorksCom::*operation)(const QVariant &),
                                         const QDBusVariant &request)
{
    if (!CallerIsOwner())
        return QDBusVariant(QVariant(TQelLonWorksCom::FailureAnswer()));
    QDBusVariant answer(QVariant(TQelLonWorksCom::FailureAnswer()));
    {
        TCallGuard guard(FCallDepth);
        try {
            QVariant list;
            if (RequestFromBus(request, list))
                answer = AnswerToBus(((*FDriver).*operation)(list));
        } catch (const TLimitExceeded &limit) {
            RefuseForLimit(limit);
        } catch (...) {
            answer = QDBusVariant(QVariant(TQelLonWorksCom::FailureAnswer()));
        }
    }
    if (FReleasePending && FCallDepth == 0)
        FinishRelease();
    return answer;
}

bool TDriverBusObject::Setup(const QDBusVariant &request)
{
    return RunBoolean(&TQelLonWorksCom::Setup, request);
}

bool TDriverBusObject::Connect(const QDBusVariant &request)
{
    return RunBoolean(&TQelLonWorksCom::Connect, request);
}

bool TDriverBusObject::Disconnect(const QDBusVariant &request)
{
    return RunBoolean(&TQelLonWorksCom::Disconnect, request);
}

QDBusVariant TDriverBusObject::GetValue(const QDBusVariant &request)
{
    return RunAnswer(&TQelLonWorksCom::GetValue, request);
}

QDBusVariant TDriverBusObject::PutValue(const QDBusVariant &request)
{
    return RunAnswer(&TQelLonWorksCom::PutValue, request);
}

void TDriverBusObject::Release()
{
    if (CallerIsOwner())
        ReleaseNow();
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
