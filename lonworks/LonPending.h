#pragma once
// TniPendingFetches: network-variable fetches in flight on one interface, each under a tag
// of its own, so that a poller may have several outstanding to different devices. The
// frames read for them, by the poller's pump or by a job's exchange that meets them first,
// are matched by tag: a response that fits the request is kept, the completion event ends
// the fetch. A fetch that hears nothing ends as NoAnswer at its deadline.

#include "lonworks/LonMessage.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <memory>

struct TniFetchResult
{
    quint8 Tag = 0;
    qint16 Status = 0;      // LonStatus
    QByteArray Value;       // the variable's bytes when Status is Ok
};

class TniPendingFetches
{
public:
    // Tags are 0..14; the blocking exchange of a job needs one of its own.
    static constexpr int MaxInFlight = 12;

    bool IsTagInUse(quint8 tag) const { return tag < FByTag.size() && FByTag[tag] != nullptr; }
    int Count() const;
    // The request (written, its tag set) waits for its answer until deadline (the
    // caller's clock, microseconds).
    void Add(const TniMessage &request, qint64 deadlineUs);
    // A frame read from the interface: true when it was a pending fetch's (taken), false
    // when it is someone else's (message left as it was).
    bool Offer(std::unique_ptr<TniMessage> &message);
    // The fetches that completed, and those whose deadline passed by nowUs (NoAnswer).
    QList<TniFetchResult> TakeFinished(qint64 nowUs);
    // Forgets every fetch (the interface was closed).
    void Clear();

private:
    struct TPending
    {
        TniMessage Request;
        std::unique_ptr<TniMessage> Answer;
        int Completion = 0;       // 1 success, 2 failure, 0 none yet
        qint64 DeadlineUs = 0;
    };
    std::array<std::unique_ptr<TPending>, 15> FByTag;
};
