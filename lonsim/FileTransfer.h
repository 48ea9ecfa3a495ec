#pragma once
// One file being sent by a device to the host: packets of 32 bytes, six to a block,
// each block's last packet sent as a request that the host acknowledges before the
// next block goes. A packet shorter than 32 bytes (possibly empty) ends the file.

#include "Wire.h"

#include <QByteArray>

namespace lonsim {

class Interface;
struct DeviceState;

class FileTransfer {
public:
    FileTransfer(DeviceState &device, Interface &target, QByteArray data, wire::Endpoint source,
                 wire::Endpoint destination, qint64 start, qint64 packetInterval, qint64 ackTimeout);

    DeviceState &device() const { return *m_device; }
    Interface &target() const { return *m_target; }
    bool finished() const { return m_state == Done; }
    void cancel() { m_state = Done; }

    // Sends the packets that are due by now.
    void advance(qint64 now);
    // The host's acknowledgement (a response frame); true when it was this transfer's.
    bool acknowledge(uint8_t subnet, uint8_t node, uint8_t tag, qint64 now);

private:
    void sendPacket(qint64 due);

    enum State { Sending, AwaitingAck, Done };
    DeviceState *m_device;
    Interface *m_target;
    QByteArray m_data;
    wire::Endpoint m_source;
    wire::Endpoint m_destination;
    qint64 m_interval;
    qint64 m_ackTimeout;
    State m_state = Sending;
    int m_blocks = 0;           // blocks completed so far
    int m_packet = 0;
    qint64 m_nextDue;
    uint8_t m_requestTag = 0;
    int m_resends = 0;
};

} // namespace lonsim
