#pragma once
// How a site polls, from its first client's Connect: the opt-in polling budget (fetches per
// second, or a share of a timed channel), the channel it sits on, and the opt-in retry of
// stopped points. Without any of them the poller keeps its one step per 100 ms tick.

#include "lontalk/ChannelTiming.h"

#include <QString>
#include <QVariant>

#include <functional>

struct TPollSettings
{
    // Limits a Connect may ask for; past them the Connect is refused.
    static constexpr double MinBudget = 0.1;        // fetches per second
    static constexpr double MaxBudget = 1000.0;
    static constexpr double MinShare = 1.0;         // percent of the channel
    static constexpr double MaxShare = 100.0;
    static constexpr int MaxRetrySeconds = 86400;

    double Budget = 0;      // POLLBUDGET: fetches per second; 0 = not set
    double Share = 0;       // POLLSHARE: percent of the channel's time; 0 = not set
    lontalk::channel::Channel Channel;   // CHANNEL (and CHANNELBITRATE)
    int RetrySeconds = 0;   // POLLRETRY: a stopped point is tried again this often; 0 = never

    // The poller runs several fetches at once, paced to a budget, instead of one per tick.
    bool BudgetMode() const { return Budget > 0 || Share > 0; }
    // "25 fetches/s", "80 % of TP/FT-10 at 78125 bit/s", "one fetch per tick".
    QString Describe() const;
};

// The poll settings of a Connect request: POLLBUDGET (fetches per second), POLLSHARE
// (percent, with a timed CHANNEL: TP/FT-10, PL-20; CHANNELBITRATE for another rate), POLLRETRY
// (seconds). A value out of its range throws TLimitExceeded naming it; one that is no
// number, an unknown channel or a share without a timed channel throws
// std::invalid_argument. Keys that are absent leave today's poller.
TPollSettings ReadPollSettings(const QVariant &request);

// The poller's clock: microseconds on the monotonic clock; tests step a clock of their own.
using TPollClock = std::function<qint64()>;
qint64 MonotonicMicroseconds();

// Per-point poll classes of the budget mode, from a brace group {POLL=FAST|NORMAL|SLOW}
// after the address in a points-list entry (old lists have none: normal).
enum class TPollClass { Fast = 0, Normal = 1, Slow = 2 };
constexpr qint64 FastIntervalUs = 2'000'000;        // a fast variable is due every 2 s
constexpr qint64 SlowIntervalUs = 300'000'000;      // a slow one every 5 min
constexpr qint64 NormalLongestUs = 60'000'000;      // a normal one waits at most 1 min behind the others
TPollClass PollClassOfEntry(const QString &entry);
