#include "lonsim/ChannelTimeline.h"

#include <algorithm>

namespace lonsim {

namespace {
// Bookings kept at most: a channel of any rate books far fewer within the load's window,
// so only a clock that jumps far back could make more stay.
constexpr std::size_t MaxBookings = 200'000;
} // namespace

qint64 ChannelTimeline::send(qint64 readyNs, int frameBytes)
{
    const qint64 duration = lontalk::channel::frameTimeNs(m_channel, frameBytes);
    if (duration <= 0)
        return readyNs;
    forget(readyNs - LoadWindowNs);
    if (m_firstNs < 0)
        m_firstNs = readyNs;
    // The first gap at or after readyNs that holds the frame.
    qint64 start = readyNs;
    auto it = m_busy.upper_bound(start);
    if (it != m_busy.begin()) {
        const auto before = std::prev(it);
        start = std::max(start, before->second);
    }
    while (it != m_busy.end() && it->first < start + duration) {
        start = std::max(start, it->second);
        ++it;
    }
    if (m_busy.size() >= MaxBookings)
        m_busy.erase(m_busy.begin());
    m_busy.emplace(start, start + duration);
    m_busyNs += duration;
    ++m_frames;
    return start + duration;
}

double ChannelTimeline::load(qint64 nowNs) const
{
    if (!timed() || m_firstNs < 0 || nowNs <= m_firstNs)
        return 0.0;
    const qint64 from = std::max(nowNs - LoadWindowNs, m_firstNs);
    qint64 busy = 0;
    for (const auto &[start, end] : m_busy) {
        if (start >= nowNs)
            break;
        busy += std::max<qint64>(0, std::min(end, nowNs) - std::max(start, from));
    }
    return double(busy) / double(nowNs - from);
}

void ChannelTimeline::resetCounts(qint64 nowNs)
{
    m_busyNs = 0;
    m_frames = 0;
    m_resetNs = nowNs;
}

void ChannelTimeline::forget(qint64 beforeNs)
{
    while (!m_busy.empty() && m_busy.begin()->second < beforeNs)
        m_busy.erase(m_busy.begin());
}

} // namespace lonsim
