#include "ldv/ipni/IpChannel.h"

#include "ldv/tids/MemberState.h"
#include "lonsim/Trace.h"

namespace ldv::ni {

namespace {

// What the interface asks the channel for (the routing it sends to the configuration
// server): everything, as a repeater does, in each domain it is in; its own Neuron ID
// and subnet/node addresses. A member sends to those that claim a packet's destination,
// and this claims every one; the interface then picks what is addressed to it.
ip852::RoutingPacket hostRouting(const IpChannelConfig &c, const IpDomainSetting (&domains)[2])
{
    ip852::RoutingPacket r;
    r.ipFlags = 1;
    r.routerType = ip852::RouterRepeater;
    r.lonTalkFlags = 3;
    r.nodeType = 1;
    r.neuronIds = {c.neuronId};
    for (const IpDomainSetting &d : domains) {
        if (d.subnet == 0)
            continue;
        r.subnetNodes.append({d.subnet, uint8_t(d.node & 0x7F), uint16_t(r.domains.size()), 0});
        r.domains.append(ip852::RoutingPacket::Domain::whole(d.id));
    }
    return r;
}

struct Shared {
    QString name;
    std::weak_ptr<IpChannel> channel;
};

std::map<QString, Shared> &registry()
{
    static std::map<QString, Shared> channels;
    return channels;
}

} // namespace

std::shared_ptr<IpChannel> IpChannel::obtain(const QString &name, const IpChannelConfig &config, int64_t now,
                                             QString &error)
{
    QString key;
    if (config.mode == IpChannelConfig::Unicast) {
        key = ip852::Endpoint{config.localIp, config.localPort}.toString();
        const auto it = registry().find(key);
        if (it != registry().end()) {
            if (auto open = it->second.channel.lock()) {
                if (it->second.name.compare(name, Qt::CaseInsensitive) == 0)
                    return open;
                error = QStringLiteral("%1 is already used by interface \"%2\"").arg(key, it->second.name);
                return nullptr;
            }
        }
    }
    auto channel = std::make_shared<IpChannel>();
    if (!channel->open(name, config, now, error))
        return nullptr;
    if (!key.isEmpty()) {
        channel->m_key = key;
        registry()[key] = Shared{name, channel};
    }
    return channel;
}

IpChannel::~IpChannel()
{
    if (!m_key.isEmpty())
        registry().erase(m_key);
}

int IpChannel::subscribe()
{
    m_inboxes[m_nextReader] = {};
    return m_nextReader++;
}

void IpChannel::unsubscribe(int reader)
{
    m_inboxes.erase(reader);
}

QList<QByteArray> IpChannel::receive(int reader, int64_t now)
{
    const QList<QByteArray> frames = receive(now);
    for (auto &[id, inbox] : m_inboxes)
        if (id != reader)
            inbox += frames;
    QList<QByteArray> mine;
    const auto it = m_inboxes.find(reader);
    if (it != m_inboxes.end())
        mine.swap(it->second);
    return mine + frames;
}

bool IpChannel::open(const QString &name, const IpChannelConfig &config, int64_t now, QString &error)
{
    m_config = config;
    m_name = name;
    m_session = ip852::newSessionId();
    if (config.mode == IpChannelConfig::Multicast) {
        if (!m_receive.bind({0, config.group.port}, error, true)
            || !m_receive.joinGroup(config.group.ip, config.localIp, config.hops, error))
            return false;
        if (!m_send.bind({config.localIp, 0}, error) || !m_send.multicastSender(config.localIp, config.hops, error))
            return false;
        return true;
    }
    if (!m_receive.bind({config.localIp, config.localPort}, error))
        return false;
    if (config.server.ip) {
        ip852::MemberSettings settings;
        settings.self = {config.localIp, config.localPort};
        settings.server = config.server;
        settings.routing = hostRouting(config, config.domains);
        settings.name = name.toLatin1().left(ip852::MaxNameBytes);
        settings.secret = config.secret;
        ip852::ChannelMember::Io io;
        io.send = [this](const QByteArray &packet, const ip852::Endpoint &to) { m_receive.send(packet, to); };
        io.trace = [this](const QString &line) { lonsim::traceText(m_name + QStringLiteral("@ip852"), line); };
        io.changed = [this] { keepMemberState(m_name, m_member->server(), m_member->kept()); };
        m_member = std::make_unique<ip852::ChannelMember>(settings, io);
        // The routing and the members from the last open: the same routing keeps its
        // dateTime, and the members are reached before (or without) the server's answer.
        if (const auto kept = recallMemberState(m_name, settings.self, settings.server))
            m_member->restore(*kept);
        m_member->start(now);
    }
    syncPeers();
    return true;
}

void IpChannel::syncPeers()
{
    QList<ip852::Endpoint> wanted = m_config.members;
    if (m_member)
        for (const ip852::Endpoint &e : m_member->peers())
            if (!wanted.contains(e))
                wanted.append(e);
    bool added = false;
    std::vector<Peer> peers;
    for (const ip852::Endpoint &e : std::as_const(wanted)) {
        const auto kept = std::find_if(m_peers.begin(), m_peers.end(), [&e](const Peer &p) { return p.endpoint == e; });
        if (kept != m_peers.end()) {
            peers.push_back(std::move(*kept));
        } else {
            peers.push_back(Peer{e, 0, false, 0, 0, {}});
            added = true;
        }
    }
    m_peers = std::move(peers);
    // A member that joins (or joins again) starts counting our packets afresh under a new
    // session, rather than taking them for ones it has seen.
    if (added && m_session)
        m_session = ip852::newSessionId();
}

void IpChannel::tick(int64_t now)
{
    if (!m_member)
        return;
    m_member->tick(now);   // the peers change only with packets from the server (receive)
}

void IpChannel::setDomains(const IpDomainSetting (&domains)[2], int64_t now)
{
    if (m_member)
        m_member->setRouting(hostRouting(m_config, domains), now);
}

ip852::Endpoint IpChannel::sendingFrom() const
{
    return m_config.mode == IpChannelConfig::Multicast ? m_send.local() : m_receive.local();
}

void IpChannel::send(const QByteArray &frame)
{
    if (m_config.mode == IpChannelConfig::Multicast) {
        if (m_groupPacker.add(ip852::buildDataPacket(m_session, m_groupSequence, frame, m_config.secret))) {
            ++m_groupSequence;
            ++m_counters.sent;
        }
        return;
    }
    for (Peer &peer : m_peers)
        if (peer.packer.add(ip852::buildDataPacket(m_session, peer.nextOut, frame, m_config.secret))) {
            ++peer.nextOut;
            ++m_counters.sent;
        }
}

void IpChannel::flush()
{
    if (m_config.mode == IpChannelConfig::Multicast) {
        for (const QByteArray &datagram : m_groupPacker.take())
            m_send.send(datagram, m_config.group);
        return;
    }
    for (Peer &peer : m_peers)
        for (const QByteArray &datagram : peer.packer.take())
            m_receive.send(datagram, peer.endpoint);
}

QList<QByteArray> IpChannel::receive(int64_t now)
{
    QList<QByteArray> frames;
    receiveFrom(m_receive, frames, now);
    if (m_config.mode == IpChannelConfig::Multicast)
        receiveFrom(m_send, frames, now);   // answers a peer sends straight back to our sending port
    if (m_member)
        syncPeers();
    return frames;
}

void IpChannel::receiveFrom(ip852::UdpPort &port, QList<QByteArray> &frames, int64_t now)
{
    const bool multicast = m_config.mode == IpChannelConfig::Multicast;
    const ip852::Endpoint own = sendingFrom();
    // Bounded per call, so a flood cannot keep ldv_read from returning.
    for (int budget = 256; budget > 0; --budget) {
        ip852::Endpoint from;
        const std::optional<QByteArray> datagram = port.receive(from);
        if (!datagram)
            break;
        const bool fromServer = m_member && from == m_member->server();
        Peer *peer = multicast || fromServer ? nullptr : memberOf(from);
        if (!multicast && !peer && !fromServer) {
            ++m_counters.strangerDropped;
            continue;
        }
        const ip852::DatagramParse parsed = ip852::parseDatagram(*datagram, m_config.secret);
        m_counters.badDropped += parsed.rejected + (parsed.error != ip852::PacketError::None ? 1 : 0);
        for (const ip852::Packet &packet : parsed.packets) {
            const ip852::Header &h = packet.header;
            if (fromServer) {
                // The server sends configuration packets only; it is no member for data.
                if (h.type != ip852::DataPacket && h.protocol() == ip852::ProtocolLonTalk)
                    m_member->packet(packet, from, now);
                else
                    ++m_counters.strangerDropped;
                continue;
            }
            if (h.type != ip852::DataPacket || h.protocol() != ip852::ProtocolLonTalk || h.vendor != 0) {
                ++m_counters.otherTypes;
                continue;
            }
            if (multicast && from.port == own.port && h.session == m_session) {
                ++m_counters.ownDropped;
                continue;
            }
            if (peer && !acceptSequence(*peer, h)) {
                ++m_counters.duplicateDropped;
                continue;
            }
            ++m_counters.received;
            frames.append(packet.body);
        }
    }
}

IpChannel::Peer *IpChannel::memberOf(const ip852::Endpoint &from)
{
    Peer *sameIp = nullptr;
    int sameIpCount = 0;
    for (Peer &peer : m_peers) {
        if (peer.endpoint == from)
            return &peer;
        if (peer.endpoint.ip == from.ip) {
            sameIp = &peer;
            ++sameIpCount;
        }
    }
    // A member behind NAT may come from another port; tolerated when its address is unique.
    return sameIpCount == 1 ? sameIp : nullptr;
}

bool IpChannel::acceptSequence(Peer &peer, const ip852::Header &h)
{
    if (!peer.known || h.session != peer.session) {
        peer.known = true;
        peer.session = h.session;
        peer.expected = h.sequence + 1;
        return true;
    }
    const uint32_t behind = peer.expected - h.sequence;     // wraps: small values are recent duplicates
    if (behind >= 1 && behind < 100)
        return false;
    peer.expected = h.sequence + 1;     // in order, or a gap: deliver and skip ahead
    return true;
}

} // namespace ldv::ni
