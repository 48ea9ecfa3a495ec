#include "lonsim/channel/ChannelLink.h"

#include "lonsim/Trace.h"

#include "lontalk/ip852/Packet.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QVariant>

namespace lonsim::channel {

namespace {
constexpr int LyingExtra = 40;
constexpr int MemberTickMs = 100;

ip852::Endpoint endpointOf(const Peer &p)
{
    return ip852::Endpoint{p.address.toIPv4Address(), p.port};
}

Peer peerOf(const ip852::Endpoint &e)
{
    return Peer{QHostAddress(quint32(e.ip)), e.port};
}
} // namespace

ChannelLink::ChannelLink(const ChannelOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_session(ip852::newSessionId())
{
    m_clock.start();
    refreshPeers();
    connect(&m_memberTick, &QTimer::timeout, this, [this] { m_member->tick(m_clock.elapsed()); });
    connect(&m_receiver, &QUdpSocket::readyRead, this, [this] { readPending(&m_receiver); });
    connect(&m_sender, &QUdpSocket::readyRead, this, [this] { readPending(&m_sender); });
}

bool ChannelLink::open(QString &error)
{
    m_ownAddresses = QNetworkInterface::allAddresses();
    if (m_options.mode == ChannelOptions::Unicast) {
        if (!m_receiver.bind(m_options.listen.address, m_options.listen.port)) {
            error = QStringLiteral("cannot bind %1:%2: %3")
                        .arg(m_options.listen.address.toString())
                        .arg(m_options.listen.port)
                        .arg(m_receiver.errorString());
            return false;
        }
        if (m_options.configServer)
            joinServer();
        return true;
    }
    if (!m_receiver.bind(QHostAddress::AnyIPv4, m_options.port,
                         QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        error = QStringLiteral("cannot bind port %1: %2").arg(m_options.port).arg(m_receiver.errorString());
        return false;
    }
    QNetworkInterface iface;
    if (!m_options.interfaceAddress.isNull()) {
        for (const QNetworkInterface &candidate : QNetworkInterface::allInterfaces())
            for (const QNetworkAddressEntry &entry : candidate.addressEntries())
                if (entry.ip() == m_options.interfaceAddress)
                    iface = candidate;
        if (!iface.isValid()) {
            error = QStringLiteral("no interface has the address %1").arg(m_options.interfaceAddress.toString());
            return false;
        }
    }
    const bool joined = iface.isValid() ? m_receiver.joinMulticastGroup(m_options.group, iface)
                                        : m_receiver.joinMulticastGroup(m_options.group);
    if (!joined) {
        error = QStringLiteral("cannot join %1: %2").arg(m_options.group.toString(), m_receiver.errorString());
        return false;
    }
    const QHostAddress senderAddress = m_options.interfaceAddress.isNull() ? QHostAddress(QHostAddress::AnyIPv4)
                                                                           : m_options.interfaceAddress;
    if (!m_sender.bind(senderAddress, 0)) {
        error = QStringLiteral("cannot open the sending socket: %1").arg(m_sender.errorString());
        return false;
    }
    if (iface.isValid())
        m_sender.setMulticastInterface(iface);
    m_sender.setSocketOption(QAbstractSocket::MulticastTtlOption, QVariant(1));
    m_sender.setSocketOption(QAbstractSocket::MulticastLoopbackOption, QVariant(1));
    return true;
}

void ChannelLink::setRouting(const ip852::RoutingPacket &routing, const QString &name)
{
    m_routing = routing;
    m_name = name;
}

void ChannelLink::joinServer()
{
    ip852::MemberSettings settings;
    settings.self = endpointOf(Peer{m_receiver.localAddress(), m_receiver.localPort()});
    settings.server = endpointOf(*m_options.configServer);
    settings.routing = m_routing;
    settings.name = m_name.toLatin1().left(ip852::MaxNameBytes);
    settings.secret = m_options.secret;
    ip852::ChannelMember::Io io;
    io.send = [this](const QByteArray &packet, const ip852::Endpoint &to) {
        const Peer peer = peerOf(to);
        m_receiver.writeDatagram(packet, peer.address, peer.port);
        if (onDatagram)
            onDatagram(Peer{m_receiver.localAddress(), m_receiver.localPort()}, peer, packet);
    };
    io.trace = [this](const QString &line) { traceText(m_name + QStringLiteral("@channel"), line); };
    m_member = std::make_unique<ip852::ChannelMember>(settings, io);
    m_member->start(m_clock.elapsed());
    refreshPeers();
    m_memberTick.start(MemberTickMs);
}

void ChannelLink::refreshPeers()
{
    QList<Peer> peers = m_options.members;
    if (m_member)
        for (const ip852::Endpoint &e : m_member->peers())
            if (!peers.contains(peerOf(e)))
                peers.append(peerOf(e));
    m_peers = std::move(peers);
}

QString ChannelLink::endpoint() const
{
    if (m_options.mode == ChannelOptions::Multicast)
        return QStringLiteral("%1:%2").arg(m_options.group.toString()).arg(m_options.port);
    return QStringLiteral("%1:%2").arg(m_receiver.localAddress().toString()).arg(m_receiver.localPort());
}

quint16 ChannelLink::localPort() const
{
    return m_options.mode == ChannelOptions::Multicast ? m_sender.localPort() : m_receiver.localPort();
}

void ChannelLink::send(const QList<QByteArray> &frames, bool lyingSize)
{
    if (frames.isEmpty())
        return;
    if (m_options.mode == ChannelOptions::Multicast) {
        sendTo(frames, Peer{m_options.group, m_options.port}, m_multicastSequence, lyingSize);
        return;
    }
    for (const Peer &peer : peers())
        sendTo(frames, peer, m_peerStates[keyOf(peer)].sequence, lyingSize);
}

void ChannelLink::sendTo(const QList<QByteArray> &frames, const Peer &to, uint32_t &sequence, bool lyingSize)
{
    ip852::DatagramPacker packer;
    for (const QByteArray &frame : frames) {
        QByteArray packet = ip852::buildDataPacket(m_session, sequence++, frame, m_options.secret);
        if (lyingSize && packet.size() >= 2) {
            const int claimed = ((uint8_t(packet[0]) << 8) | uint8_t(packet[1])) + LyingExtra;
            packet[0] = char(claimed >> 8);
            packet[1] = char(claimed & 0xFF);
        }
        packer.add(packet);
    }
    QUdpSocket &socket = m_options.mode == ChannelOptions::Multicast ? m_sender : m_receiver;
    const Peer self{socket.localAddress(), socket.localPort()};
    for (const QByteArray &datagram : packer.take()) {
        socket.writeDatagram(datagram, to.address, to.port);
        if (onDatagram)
            onDatagram(self, to, datagram);
    }
}

void ChannelLink::readPending(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram(ip852::ReceiveBuffer);
        if (!datagram.isValid())
            break;
        QHostAddress sender = datagram.senderAddress();
        sender.setAddress(sender.toIPv4Address());
        const Peer from{sender, quint16(datagram.senderPort())};
        if (onDatagram)
            onDatagram(from, Peer{socket->localAddress(), socket->localPort()}, datagram.data());
        handleDatagram(datagram.data(), from);
    }
}

bool ChannelLink::isOwnEcho(const Peer &from) const
{
    return from.port == m_sender.localPort() && m_ownAddresses.contains(from.address);
}

void ChannelLink::handleDatagram(const QByteArray &datagram, const Peer &from)
{
    ++m_counters.datagrams;
    SequenceCheck *check = nullptr;
    if (m_member && from == *m_options.configServer) {
        const ip852::DatagramParse parse = ip852::parseDatagram(datagram, m_options.secret);
        m_counters.badPackets += parse.rejected + (parse.error != ip852::PacketError::None ? 1 : 0);
        for (const ip852::Packet &packet : parse.packets)
            if (packet.header.type != ip852::DataPacket)
                m_member->packet(packet, endpointOf(from), m_clock.elapsed());
        refreshPeers();
        return;
    }
    if (m_options.mode == ChannelOptions::Unicast) {
        if (!peers().contains(from)) {
            ++m_counters.foreign;
            if (onRefused)
                onRefused("foreign", datagram);
            return;
        }
        check = &m_peerStates[keyOf(from)].check;
    } else if (isOwnEcho(from)) {
        ++m_counters.ownEchoes;
        return;
    }
    const ip852::DatagramParse parse = ip852::parseDatagram(datagram, m_options.secret);
    m_counters.badPackets += parse.rejected + (parse.error != ip852::PacketError::None ? 1 : 0);
    if (parse.error != ip852::PacketError::None && onRefused)
        onRefused(ip852::errorText(parse.error), datagram);
    for (const ip852::Packet &packet : parse.packets) {
        if (packet.header.type != ip852::DataPacket || packet.header.protocol() != ip852::ProtocolLonTalk)
            continue;
        if (check && !check->accept(packet.header.session, packet.header.sequence)) {
            ++m_counters.duplicates;
            continue;
        }
        ip852::FrameError error = ip852::FrameError::None;
        const auto frame = ip852::parseFrame(packet.body, &error);
        if (!frame) {
            ++m_counters.badFrames;
            if (onRefused)
                onRefused(ip852::errorText(error), packet.body);
            continue;
        }
        ++m_counters.frames;
        if (onFrame)
            onFrame(*frame, packet.body);
    }
}

} // namespace lonsim::channel
