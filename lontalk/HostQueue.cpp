#include "lontalk/HostQueue.h"

#include <cstring>

namespace lontalk {

void HostQueue::push(const QByteArray &frame, qint64 due)
{
    if (m_capacity > 0 && int(m_frames.size()) >= m_capacity) {
        ++m_overflow;
        return;
    }
    m_frames.emplace(std::make_pair(due, m_sequence++), frame);
}

HostRead HostQueue::take(uint8_t *buffer, int length, QByteArray *taken, qint64 now)
{
    if (m_frames.empty() || m_frames.begin()->first.first > now)
        return HostRead::Empty;
    const QByteArray frame = std::move(m_frames.begin()->second);
    m_frames.erase(m_frames.begin());
    if (taken)
        *taken = frame;
    if (!buffer || frame.size() > length)
        return HostRead::TooSmall;
    std::memcpy(buffer, frame.constData(), std::size_t(frame.size()));
    return HostRead::Frame;
}

} // namespace lontalk
