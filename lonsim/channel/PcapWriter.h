#pragma once
// A capture file of the channel's datagrams (pcap, raw IPv4 link type), written as they
// are sent and received, so that any packet analyser can decode a session.

#include "lonsim/channel/ChannelOptions.h"

#include <QFile>

namespace lonsim::channel {

class PcapWriter {
public:
    bool open(const QString &path, QString &error);
    bool isOpen() const { return m_file.isOpen(); }
    // One UDP datagram from `from` to `to`, stamped with the current time.
    void write(const Peer &from, const Peer &to, const QByteArray &payload);

private:
    QFile m_file;
    quint16 m_ipId = 0;
};

// The IPv4 header and UDP header around payload (checksums: IP computed, UDP 0).
QByteArray ipv4UdpPacket(const Peer &from, const Peer &to, const QByteArray &payload, quint16 id);

} // namespace lonsim::channel
