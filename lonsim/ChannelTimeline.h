#pragma once
// The simulated channel's calendar: every frame is booked for its channel time in the
// first gap at or after the moment it is ready, so frames queue for the channel; the
// busy time is counted for the channel's load. Times are nanoseconds of the network's clock.

#include "lontalk/ChannelTiming.h"

#include <QtGlobal>

#include <map>

namespace lonsim {

class ChannelTimeline {
public:
    // The window the load is measured over.
    static constexpr qint64 LoadWindowNs = 10'000'000'000;

    explicit ChannelTimeline(lontalk::channel::Channel channel = {}) : m_channel(channel) {}

    const lontalk::channel::Channel &channel() const { return m_channel; }
    bool timed() const { return m_channel.timed(); }

    // Books a frame of frameBytes (CRC included) ready at readyNs; the time its packet
    // cycle ends. On an untimed channel: readyNs.
    qint64 send(qint64 readyNs, int frameBytes);

    // Busy share (0..1) of the window that ends at nowNs (shorter while the channel has
    // not been up that long).
    double load(qint64 nowNs) const;
    // Totals since the start or the last reset.
    qint64 busyNs() const { return m_busyNs; }
    qint64 frames() const { return m_frames; }
    qint64 countedSinceNs() const { return m_resetNs; }
    void resetCounts(qint64 nowNs);

private:
    void forget(qint64 beforeNs);

    lontalk::channel::Channel m_channel;
    std::map<qint64, qint64> m_busy;     // start -> end of every booking not yet forgotten
    qint64 m_busyNs = 0;
    qint64 m_frames = 0;
    qint64 m_resetNs = 0;
    qint64 m_firstNs = -1;               // the first booking: the load's window starts no earlier
};

} // namespace lonsim
