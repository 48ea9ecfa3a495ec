#include "automation/DriverBusFront.h"

#include "automation/BusVariant.h"
#include "automation/CallForwarder.h"
#include "automation/QelLonWorksCom.h"
#include "site/SiteStatusBoard.h"
#include "support/ParamList.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QMutexLocker>
#include <QStringList>

namespace {

// A status poll is a short list; anything longer is read on the main thread only, so the
// bus thread never spends time on a large request.
constexpr qsizetype kMaxPollEntries = 8;

bool IsShortRequest(const QVariant &request)
{
    if (request.userType() == QMetaType::QString)
        return true;
    return request.userType() == QMetaType::QStringList
           && request.toStringList().size() <= kMaxPollEntries;
}

} // namespace

TDriverBusFront::TDriverBusFront(const QString &path, const QString &owner,
                                 const TSiteClient *client, std::shared_ptr<TCallForwarder> forwarder)
    : FPath(path), FOwner(owner), FClient(client), FForwarder(std::move(forwarder))
{
}

TDriverBusFront::~TDriverBusFront() = default;

void TDriverBusFront::SetStatusBoard(std::shared_ptr<const TSiteStatusBoard> board)
{
    const QMutexLocker locker(&FMutex);
    FBoard = std::move(board);
}

std::optional<QDBusVariant> TDriverBusFront::StatusAnswer(const QDBusVariant &request)
{
    // A call still waiting for the main thread is answered first: the poll goes after it.
    // An object is released only through a forwarded call (its Release, or the end of a
    // call that asked for it), when its owner has left, or at exit, so a released object's
    // front never answers here.
    if (!calledFromDBus() || !FForwarder->Idle() || message().service() != FOwner
        || !IsShortRequest(request.variant()))
        return std::nullopt;
    std::shared_ptr<const TSiteStatusBoard> board;
    {
        const QMutexLocker locker(&FMutex);
        board = FBoard;
    }
    const std::shared_ptr<const TCommandSlotView> slot = board ? board->Current() : nullptr;
    if (!slot)
        return std::nullopt;
    try {
        QVariant list;
        QString command;
        if (!RequestFromBus(request, list) || !FindParam(list, QStringLiteral("COMMAND"), command)
            || command != QLatin1String("COMMANDSTATUS"))
            return std::nullopt;
        const std::optional<QStringList> answer = TQelLonWorksCom::SlotAnswer(*slot, FClient, command);
        if (!answer)
            return std::nullopt;
        return AnswerToBus(QVariant(*answer));
    } catch (...) {
        return std::nullopt;
    }
}

void TDriverBusFront::Forward()
{
    if (!calledFromDBus())
        return;
    setDelayedReply(true);
    if (!FForwarder->Forward(FPath, message(), connection()))
        sendErrorReply(QDBusError::Failed, QStringLiteral("The driver is ending."));
}

bool TDriverBusFront::Setup(const QDBusVariant &)
{
    Forward();
    return false;
}

bool TDriverBusFront::Connect(const QDBusVariant &)
{
    Forward();
    return false;
}

bool TDriverBusFront::Disconnect(const QDBusVariant &)
{
    Forward();
    return false;
}

QDBusVariant TDriverBusFront::GetValue(const QDBusVariant &request)
{
    if (std::optional<QDBusVariant> answer = StatusAnswer(request))
        return *answer;
    Forward();
    return {};
}

QDBusVariant TDriverBusFront::PutValue(const QDBusVariant &)
{
    Forward();
    return {};
}

void TDriverBusFront::Release()
{
    Forward();
}
