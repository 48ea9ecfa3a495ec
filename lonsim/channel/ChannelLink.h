#pragma once
// The IP-852 side of the channel server: the UDP sockets of a multicast or unicast
// channel and the data packets in and out (session, sequence, MD5 digest). Hands up
// every LonTalk frame whose packet and CRC check out; drops everything else, counted.

#include "lonsim/channel/ChannelOptions.h"
#include "lonsim/channel/SequenceCheck.h"

#include "lontalk/ip852/LonFrame.h"

#include <QObject>
#include <QUdpSocket>
#include <functional>
#include <map>

namespace lonsim::channel {

struct LinkCounters {
    int datagrams = 0;
    int frames = 0;
    int badPackets = 0;     // packets that did not parse or whose digest failed
    int badFrames = 0;      // LonTalk frames that did not parse (CRC, layout)
    int foreign = 0;        // unicast datagrams from outside the member list
    int duplicates = 0;     // unicast packets behind the expected sequence
    int ownEchoes = 0;      // multicast packets of our own, looped back
};

class ChannelLink : public QObject {
    Q_OBJECT
public:
    ChannelLink(const ChannelOptions &options, QObject *parent = nullptr);

    bool open(QString &error);
    // Where the channel is reached: "group:port" or the bound "address:port".
    QString endpoint() const;
    quint16 localPort() const;

    // Sends LonTalk frames (CRC included) to the channel, packed into datagrams; with
    // lyingSize each packet's size field claims 40 bytes more than it has.
    void send(const QList<QByteArray> &frames, bool lyingSize = false);

    const LinkCounters &counters() const { return m_counters; }

    std::function<void(const ip852::LonFrame &frame, const QByteArray &bytes)> onFrame;
    std::function<void(const char *why, const QByteArray &bytes)> onRefused;
    // Every datagram sent or received, with its addresses (for the capture file).
    std::function<void(const Peer &from, const Peer &to, const QByteArray &datagram)> onDatagram;

private:
    void readPending(QUdpSocket *socket);
    void handleDatagram(const QByteArray &datagram, const Peer &from);
    void sendTo(const QList<QByteArray> &frames, const Peer &to, uint32_t &sequence, bool lyingSize);
    bool isOwnEcho(const Peer &from) const;

    ChannelOptions m_options;
    QUdpSocket m_receiver;          // multicast: bound to the group port; unicast: the one socket
    QUdpSocket m_sender;            // multicast only: unbound sender (ephemeral port)
    uint32_t m_session = 0;
    uint32_t m_multicastSequence = 0;
    QList<uint32_t> m_memberSequence;
    std::map<int, SequenceCheck> m_memberChecks;
    QList<QHostAddress> m_ownAddresses;
    LinkCounters m_counters;
};

} // namespace lonsim::channel
