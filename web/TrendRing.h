#pragma once
// TTrendRing: one point's recent history, kept in memory. At most `capacity` samples of
// 8 bytes (seconds since 2020 and the value as a float); it grows as samples come and then
// overwrites its oldest, so a point that rarely changes costs little.

#include <QList>
#include <QtGlobal>

struct TTrendSample
{
    qint64 Ms;
    double Value;
};

class TTrendRing
{
public:
    // capacity: the same for every call.
    void Add(qint64 ms, double value, int capacity);
    // The samples from..to (milliseconds since the epoch), oldest first.
    QList<TTrendSample> Between(qint64 fromMs, qint64 toMs) const;
    qsizetype Size() const { return FSamples.size(); }
    qint64 LastMs() const;
    qint64 MemoryBytes() const { return FSamples.capacity() * qint64(sizeof(TPacked)); }

private:
    struct TPacked
    {
        quint32 Seconds;   // since 2020-01-01 UTC
        float Value;
    };
    QList<TPacked> FSamples;
    qsizetype FNext = 0;   // where the next sample goes once the ring is full
};
