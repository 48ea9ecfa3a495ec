#include "ldv/ipni/IpChannel.h"

namespace ldv::ni {

namespace {

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

std::shared_ptr<IpChannel> IpChannel::obtain(const QString &name, const IpChannelConfig &config, QString &error)
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
    if (!channel->open(config, error))
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

QList<QByteArray> IpChannel::receive(int reader)
{
    const QList<QByteArray> frames = receive();
    for (auto &[id, inbox] : m_inboxes)
        if (id != reader)
            inbox += frames;
    QList<QByteArray> mine;
    const auto it = m_inboxes.find(reader);
    if (it != m_inboxes.end())
        mine.swap(it->second);
    return mine + frames;
}

bool IpChannel::open(const IpChannelConfig &config, QString &error)
{
    m_config = config;
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
    for (const ip852::Endpoint &member : config.members)
        m_peers.push_back(Peer{member, 0, false, 0, 0, {}});
    return true;
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

QList<QByteArray> IpChannel::receive()
{
    QList<QByteArray> frames;
    receiveFrom(m_receive, frames);
    if (m_config.mode == IpChannelConfig::Multicast)
        receiveFrom(m_send, frames);   // answers a peer sends straight back to our sending port
    return frames;
}

void IpChannel::receiveFrom(ip852::UdpPort &port, QList<QByteArray> &frames)
{
    const bool multicast = m_config.mode == IpChannelConfig::Multicast;
    const ip852::Endpoint own = sendingFrom();
    // Bounded per call, so a flood cannot keep ldv_read from returning.
    for (int budget = 256; budget > 0; --budget) {
        ip852::Endpoint from;
        const std::optional<QByteArray> datagram = port.receive(from);
        if (!datagram)
            break;
        Peer *peer = multicast ? nullptr : memberOf(from);
        if (!multicast && !peer) {
            ++m_counters.strangerDropped;
            continue;
        }
        const ip852::DatagramParse parsed = ip852::parseDatagram(*datagram, m_config.secret);
        m_counters.badDropped += parsed.rejected + (parsed.error != ip852::PacketError::None ? 1 : 0);
        for (const ip852::Packet &packet : parsed.packets) {
            const ip852::Header &h = packet.header;
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
