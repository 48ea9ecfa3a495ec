#pragma once
// The site's point records: TPointData, the last value of one polled point, and
// TPointIndexData, one network variable's bytes as fetched in the current poll cycle.

#include "site/KeyedList.h"
#include "site/PollSettings.h"

#include <QString>

#include <array>

struct TPointData
{
    QString Value;
    bool HasValue = false;
    bool Fresh = false;      // got its value in the current poll cycle
    qint32 FailCount = 0;    // consecutive failed reads; 3 or more: no longer polled
    qint64 RetryAtUs = 0;    // stopped, with POLLRETRY: when it is tried again (poller's clock)
    TPollClass PollClass = TPollClass::Normal;   // the fastest any list gave it
};

struct TPointIndexData
{
    static constexpr int Capacity = 228;
    quint8 ValueLength = 0;
    std::array<quint8, Capacity> ValueBytes{};
};

// Point address -> record, in the order the clients listed them.
using TPointList = TKeyedList<TPointData>;
// Value key (domain:subnet:node:index) -> the variable's bytes.
using TValueCache = TKeyedList<TPointIndexData>;

// A point no longer polled after this many consecutive failures.
constexpr qint32 PointFailLimit = 3;
