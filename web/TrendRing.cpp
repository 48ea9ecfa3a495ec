#include "web/TrendRing.h"

namespace {

constexpr qint64 kEpochMs = 1577836800000LL;   // 2020-01-01T00:00:00Z

} // namespace

void TTrendRing::Add(qint64 ms, double value, int capacity)
{
    if (capacity <= 0)
        return;
    const TPacked sample{quint32(qBound<qint64>(0, (ms - kEpochMs) / 1000, 0xFFFFFFFFLL)), float(value)};
    if (FSamples.size() < capacity) {
        FSamples.append(sample);
        return;
    }
    FSamples[FNext] = sample;
    FNext = (FNext + 1) % FSamples.size();
}

QList<TTrendSample> TTrendRing::Between(qint64 fromMs, qint64 toMs) const
{
    QList<TTrendSample> samples;
    const qsizetype count = FSamples.size();
    for (qsizetype i = 0; i < count; ++i) {
        const TPacked &packed = FSamples.at((FNext + i) % count);
        const qint64 ms = kEpochMs + qint64(packed.Seconds) * 1000;
        if (ms >= fromMs && ms <= toMs)
            samples.append(TTrendSample{ms, double(packed.Value)});
    }
    return samples;
}

qint64 TTrendRing::LastMs() const
{
    if (FSamples.isEmpty())
        return 0;
    const qsizetype last = (FNext + FSamples.size() - 1) % FSamples.size();
    return kEpochMs + qint64(FSamples.at(last).Seconds) * 1000;
}
