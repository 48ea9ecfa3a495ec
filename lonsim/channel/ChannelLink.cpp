#include "lonsim/channel/ChannelLink.h"

#include "lontalk/ip852/Packet.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QVariant>

namespace lonsim::channel {

namespace {
constexpr int LyingExtra = 40;
}

ChannelLink::ChannelLink(const ChannelOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_session(ip852::newSessionId())
{
    m_memberSequence.fill(0, m_options.members.size());
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
    for (int i = 0; i < m_options.members.size(); ++i)
        sendTo(frames, m_options.members.at(i), m_memberSequence[i], lyingSize);
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
    int member = -1;
    if (m_options.mode == ChannelOptions::Unicast) {
        member = int(m_options.members.indexOf(from));
        if (member < 0) {
            ++m_counters.foreign;
            if (onRefused)
                onRefused("foreign", datagram);
            return;
        }
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
        if (member >= 0 && !m_memberChecks[member].accept(packet.header.session, packet.header.sequence)) {
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
