#pragma once
// Where a channel node's frames go: sent on the channel at a simulated time, with a
// callback once they are on the wire (the node then keeps the answer for repeats).

#include <QByteArray>
#include <QList>
#include <functional>

namespace lonsim::channel {

class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    // frames (LonTalk frames with CRC) go out together at due; lyingSize spoils the
    // IP-852 size field of their packets.
    virtual void transmit(qint64 due, const QList<QByteArray> &frames, bool lyingSize,
                          std::function<void()> sent = {}) = 0;
};

} // namespace lonsim::channel
