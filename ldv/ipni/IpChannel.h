#pragma once
// The IP-852 side of the software network interface: its UDP sockets, the data packets
// it sends (session, sequence, timestamp 0, packed into datagrams) and the LonTalk frames
// it accepts from the channel (own packets, strangers, duplicates and bad digests dropped).
// On a channel run by a configuration server it is a member of the channel: the server's
// list of members (and the members the entry names) are where data goes and comes from.

#include "ldv/InterfaceTable.h"
#include "lontalk/ip852/ChannelMember.h"
#include "lontalk/ip852/Packet.h"
#include "lontalk/ip852/UdpPort.h"

#include <QByteArray>
#include <QList>

#include <map>
#include <memory>

namespace ldv::ni {

class IpChannel {
public:
    struct Counters {
        int sent = 0;               // data packets
        int received = 0;           // data packets accepted
        int ownDropped = 0;
        int strangerDropped = 0;    // unicast: not from a member
        int duplicateDropped = 0;   // unicast: sequence already seen
        int badDropped = 0;         // parse or digest failures
        int otherTypes = 0;         // packets other than data
    };

    // The channel of interface `name`: handles opened on one unicast interface share its
    // socket (as handles on one simulated network share it), each reading every frame.
    // Multicast handles each get sockets of their own. Null with error set on failure.
    static std::shared_ptr<IpChannel> obtain(const QString &name, const IpChannelConfig &config, int64_t now,
                                             QString &error);
    ~IpChannel();

    // Opens the sockets and joins the channel (registering with its configuration server,
    // if it has one, at now); false with error set.
    bool open(const QString &name, const IpChannelConfig &config, int64_t now, QString &error);

    // A reader of the channel's frames; receive(reader, now) gives that reader's share.
    int subscribe();
    void unsubscribe(int reader);
    QList<QByteArray> receive(int reader, int64_t now);

    // Queues one LonTalk frame (with its CRC) for every receiver; flush() sends.
    void send(const QByteArray &frame);
    void flush();
    // Every data packet's frame waiting on the sockets, without blocking; configuration
    // packets go to the member.
    QList<QByteArray> receive(int64_t now);
    // The configuration server's requests due by now.
    void tick(int64_t now);
    // The interface's domains changed: its channel routing follows them.
    void setDomains(const IpDomainSetting (&domains)[2], int64_t now);
    // Whether the configuration server (if any) has registered us and given the list.
    bool settled() const { return !m_member || m_member->settled(); }
    // Whether the members of a managed channel are known (from the server, or kept from the
    // last open of the interface); always on other channels.
    bool knowsChannel() const { return !m_member || m_member->knowsChannel(); }
    QString memberState() const { return m_member ? m_member->state() : QString(); }

    uint32_t session() const { return m_session; }
    const Counters &counters() const { return m_counters; }
    ip852::Endpoint sendingFrom() const;

private:
    struct Peer {
        ip852::Endpoint endpoint;
        uint32_t nextOut = 0;           // our sequence towards it
        bool known = false;             // a session of it seen
        uint32_t session = 0;
        uint32_t expected = 0;
        ip852::DatagramPacker packer;
    };
    void receiveFrom(ip852::UdpPort &port, QList<QByteArray> &frames, int64_t now);
    Peer *memberOf(const ip852::Endpoint &from);
    bool acceptSequence(Peer &peer, const ip852::Header &header);
    // The peers: the entry's members and those the configuration server lists.
    void syncPeers();

    IpChannelConfig m_config;
    ip852::UdpPort m_receive;       // multicast: the group's port; unicast: the only socket
    ip852::UdpPort m_send;          // multicast: sends to the group from an ephemeral port
    uint32_t m_session = 0;
    uint32_t m_groupSequence = 0;
    ip852::DatagramPacker m_groupPacker;
    std::vector<Peer> m_peers;
    std::unique_ptr<ip852::ChannelMember> m_member;
    QString m_name;
    Counters m_counters;
    QString m_key;                              // in the registry of shared channels
    std::map<int, QList<QByteArray>> m_inboxes;
    int m_nextReader = 1;
};

} // namespace ldv::ni
