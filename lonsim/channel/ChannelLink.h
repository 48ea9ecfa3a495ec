#pragma once
// The IP-852 side of the channel server: the UDP sockets of a multicast or unicast
// channel and the data packets in and out (session, sequence, MD5 digest). Hands up
// every LonTalk frame whose packet and CRC check out; drops everything else, counted.
// On a unicast channel run by a configuration server it is a member of the channel: the
// server's list of members joins the --member ones.

#include "lonsim/channel/ChannelOptions.h"
#include "lonsim/channel/SequenceCheck.h"

#include "lontalk/ip852/ChannelMember.h"
#include "lontalk/ip852/LonFrame.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <functional>
#include <map>
#include <memory>

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

    // What this member asks a configuration server for (set before open).
    void setRouting(const ip852::RoutingPacket &routing, const QString &name);
    bool open(QString &error);
    // Where the channel is reached: "group:port" or the bound "address:port".
    QString endpoint() const;
    quint16 localPort() const;

    // Sends LonTalk frames (CRC included) to the channel, packed into datagrams; with
    // lyingSize each packet's size field claims 40 bytes more than it has.
    void send(const QList<QByteArray> &frames, bool lyingSize = false);

    const LinkCounters &counters() const { return m_counters; }
    // The unicast members data goes to: the --member ones and the server's.
    const QList<Peer> &peers() const { return m_peers; }

    std::function<void(const ip852::LonFrame &frame, const QByteArray &bytes)> onFrame;
    std::function<void(const char *why, const QByteArray &bytes)> onRefused;
    // Every datagram sent or received, with its addresses (for the capture file).
    std::function<void(const Peer &from, const Peer &to, const QByteArray &datagram)> onDatagram;

private:
    void readPending(QUdpSocket *socket);
    void handleDatagram(const QByteArray &datagram, const Peer &from);
    void sendTo(const QList<QByteArray> &frames, const Peer &to, uint32_t &sequence, bool lyingSize);
    bool isOwnEcho(const Peer &from) const;
    void joinServer();
    // The --member peers and the ones the server named; they change only with its packets.
    void refreshPeers();

    struct PeerState {
        uint32_t sequence = 0;      // ours towards it
        SequenceCheck check;        // its packets
    };
    using PeerKey = std::pair<quint32, quint16>;
    static PeerKey keyOf(const Peer &p) { return {p.address.toIPv4Address(), p.port}; }

    ChannelOptions m_options;
    QUdpSocket m_receiver;          // multicast: bound to the group port; unicast: the one socket
    QUdpSocket m_sender;            // multicast only: unbound sender (ephemeral port)
    uint32_t m_session = 0;
    uint32_t m_multicastSequence = 0;
    std::map<PeerKey, PeerState> m_peerStates;
    QList<Peer> m_peers;
    std::unique_ptr<ip852::ChannelMember> m_member;
    ip852::RoutingPacket m_routing;
    QString m_name;
    QTimer m_memberTick;
    QElapsedTimer m_clock;
    QList<QHostAddress> m_ownAddresses;
    LinkCounters m_counters;
};

} // namespace lonsim::channel
