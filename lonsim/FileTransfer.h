#pragma once
// One file being sent by a device to the host: packets of 32 bytes, six to a block,
// each block's last packet sent as a request that the host acknowledges before the
// next block goes. A packet shorter than 32 bytes (possibly empty) ends the file.

#include "lontalk/Wire.h"

#include <QByteArray>

namespace lonsim {

class DeviceState;

// Where a device's file packets go: an in-process interface's receive queue, or a host on
// an IP-852 channel.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    // Sends one file packet (code 0x3E, payload = block << 4 | packet, data) due at `due`
    // from source to destination; a request when the host must acknowledge it, again with
    // resend set when the acknowledgement did not come. Returns the tag the host's
    // acknowledgement carries.
    virtual uint8_t sendFilePacket(qint64 due, bool request, bool resend, const QByteArray &payload,
                                   const lontalk::wire::Endpoint &source, const lontalk::wire::Endpoint &destination) = 0;
};

class FileTransfer {
public:
    FileTransfer(DeviceState &device, PacketSink &target, QByteArray data, lontalk::wire::Endpoint source,
                 lontalk::wire::Endpoint destination, qint64 start, qint64 packetInterval, qint64 ackTimeout);

    DeviceState &device() const { return *m_device; }
    PacketSink &target() const { return *m_target; }
    bool finished() const { return m_state == Done; }
    void cancel() { m_state = Done; }

    // Sends the packets that are due by now.
    void advance(qint64 now);
    // The host's acknowledgement (a response frame); true when it was this transfer's.
    bool acknowledge(uint8_t subnet, uint8_t node, uint8_t tag, qint64 now);

private:
    void sendPacket(qint64 due, bool resend);

    enum State { Sending, AwaitingAck, Done };
    DeviceState *m_device;
    PacketSink *m_target;
    QByteArray m_data;
    lontalk::wire::Endpoint m_source;
    lontalk::wire::Endpoint m_destination;
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
