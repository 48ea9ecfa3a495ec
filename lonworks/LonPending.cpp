#include "lonworks/LonPending.h"

#include "lonworks/LonLib.h"

int TniPendingFetches::Count() const
{
    int count = 0;
    for (const auto &pending : FByTag)
        count += pending ? 1 : 0;
    return count;
}

void TniPendingFetches::Add(const TniMessage &request, qint64 deadlineUs)
{
    if (request.Tag >= FByTag.size())
        return;
    auto pending = std::make_unique<TPending>();
    pending->Request = request;
    pending->DeadlineUs = deadlineUs;
    FByTag[request.Tag] = std::move(pending);
}

bool TniPendingFetches::Offer(std::unique_ptr<TniMessage> &message)
{
    if (!message || message->Tag >= FByTag.size() || !FByTag[message->Tag])
        return false;
    TPending &pending = *FByTag[message->Tag];
    if (message->Response) {
        // A response under a pending fetch's tag is that fetch's, fitting or not: only the
        // first one that answers the request counts.
        if (!pending.Answer && AnswersRequest(pending.Request, *message))
            pending.Answer = std::move(message);
        message.reset();
        return true;
    }
    if (message->Code == pending.Request.Code && (message->CompletionCode == 1 || message->CompletionCode == 2)) {
        pending.Completion = message->CompletionCode;
        message.reset();
        return true;
    }
    return false;
}

QList<TniFetchResult> TniPendingFetches::TakeFinished(qint64 nowUs)
{
    QList<TniFetchResult> finished;
    for (quint8 tag = 0; tag < FByTag.size(); ++tag) {
        auto &pending = FByTag[tag];
        if (!pending || (pending->Completion == 0 && pending->DeadlineUs > nowUs))
            continue;
        TniFetchResult result;
        result.Tag = tag;
        result.Status = pending->Completion == 0 ? LonStatus::NoAnswer : LonStatus::Failed;
        // As the blocking fetch: success only with a value read from the variable asked for.
        if (pending->Completion == 1 && pending->Answer) {
            const std::span<const quint8> asked(pending->Request.Data.data(), pending->Request.DataLength);
            const quint16 index = asked.size() >= 3 && asked[0] == 0xFF ? quint16(asked[1] << 8 | asked[2])
                                                                          : quint16(asked.empty() ? 0 : asked[0]);
            if (const auto value = FetchedValue(*pending->Answer, index)) {
                result.Status = LonStatus::Ok;
                result.Value = QByteArray(reinterpret_cast<const char *>(value->data()), qsizetype(value->size()));
            }
        }
        finished.append(result);
        pending.reset();
    }
    return finished;
}

void TniPendingFetches::Clear()
{
    for (auto &pending : FByTag)
        pending.reset();
}
