#pragma once
// The frames an interface holds for its host until the host reads them (ldv_read): each
// waits until its due time, and frames due at the same time leave in the order they came.
// The simulated interface gives frames a due time (the answer of a slow device); the
// library's own interfaces hand theirs on at once and bound the queue.

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <limits>
#include <map>
#include <utility>

namespace lontalk {

// What a read finds.
enum class HostRead {
    Frame,      // the next frame, copied into the buffer
    Empty,      // no frame due yet
    TooSmall,   // the next frame did not fit the buffer (or no buffer was given); it is dropped
};

class HostQueue {
public:
    // capacity: the most frames that may wait (0: no limit); more are dropped and counted.
    explicit HostQueue(int capacity = 0) : m_capacity(capacity) {}

    void push(const QByteArray &frame, qint64 due = 0);
    // The first frame due by now into buffer (length bytes); without a time, the first
    // frame. taken, when given, receives the frame that left the queue (also when it did
    // not fit).
    HostRead take(uint8_t *buffer, int length, QByteArray *taken = nullptr,
                  qint64 now = std::numeric_limits<qint64>::max());

    int size() const { return int(m_frames.size()); }
    bool empty() const { return m_frames.empty(); }
    // Frames dropped because the queue was full.
    quint64 overflow() const { return m_overflow; }

private:
    std::map<std::pair<qint64, quint64>, QByteArray> m_frames;  // (due, arrival) -> frame
    quint64 m_sequence = 0;
    quint64 m_overflow = 0;
    int m_capacity = 0;
};

} // namespace lontalk
