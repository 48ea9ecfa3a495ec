#include "lonsim/configserver/ServerProcess.h"

#include "lonsim/Trace.h"

#include <QFileInfo>
#include <QNetworkDatagram>

#include <cstdio>

namespace lonsim::configserver {

namespace {

constexpr int TickMs = 100;
constexpr int SaveDelayMs = 200;
const QString TraceLabel = QStringLiteral("config-server");

QHostAddress hostOf(const ip852::Endpoint &e)
{
    return QHostAddress(quint32(e.ip));
}

channel::Peer peerOf(const ip852::Endpoint &e)
{
    return channel::Peer{hostOf(e), e.port};
}

} // namespace

ServerProcess::ServerProcess(ServerOptions options, QObject *parent) : QObject(parent), m_options(std::move(options))
{
    m_clock.start();
    m_save.setSingleShot(true);
    connect(&m_save, &QTimer::timeout, this, [this] {
        QString error;
        if (!saveState(error))
            std::fprintf(stderr, "lonip-config-server: state not saved: %s\n", qPrintable(error));
    });
    connect(&m_tick, &QTimer::timeout, this, [this] { m_server->tick(now()); });
    connect(&m_socket, &QUdpSocket::readyRead, this, &ServerProcess::readPending);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &ServerProcess::reload);
    // An editor or a script that replaces the file shows as a change of its folder.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ServerProcess::reload);
}

ServerProcess::~ServerProcess()
{
    if (m_server) {
        QString error;
        if (!saveState(error))
            std::fprintf(stderr, "lonip-config-server: state not saved: %s\n", qPrintable(error));
    }
}

bool ServerProcess::start(QString &error)
{
    const std::optional<ChannelFile> channel = readChannelFile(m_options.channelFile, error);
    if (!channel)
        return false;
    ServerState state = readServerState(m_options.stateFile).value_or(ServerState{});
    if (!m_options.pcap.isEmpty() && !m_pcap.open(m_options.pcap, error))
        return false;
    if (!m_socket.bind(hostOf(channel->server), channel->server.port)) {
        error = QStringLiteral("cannot bind %1: %2").arg(channel->server.toString(), m_socket.errorString());
        return false;
    }
    ConfigServer::Io io;
    io.send = [this](const QByteArray &packet, const ip852::Endpoint &to) { sendDatagram(packet, to); };
    io.trace = [](const QString &line) { traceText(TraceLabel, line); };
    io.stateChanged = [this] {
        if (!m_save.isActive())
            m_save.start(SaveDelayMs);
    };
    m_server = std::make_unique<ConfigServer>(*channel, std::move(state), io);
    m_server->start(now());
    m_tick.start(TickMs);
    watch();
    QString saveError;
    if (!saveState(saveError))
        std::fprintf(stderr, "lonip-config-server: state not saved: %s\n", qPrintable(saveError));
    return true;
}

void ServerProcess::watch()
{
    const QFileInfo info(m_options.channelFile);
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (info.exists())
        m_watcher.addPath(info.absoluteFilePath());
    if (m_watcher.directories().isEmpty())
        m_watcher.addPath(info.absolutePath());
}

QString ServerProcess::description() const
{
    return QStringLiteral("channel %1 on %2, %3 member(s)")
        .arg(m_options.channelFile, m_server->channel().server.toString())
        .arg(m_server->channel().members.size());
}

void ServerProcess::reload()
{
    watch();
    QString error;
    const std::optional<ChannelFile> channel = readChannelFile(m_options.channelFile, error);
    if (!channel) {
        std::fprintf(stderr, "lonip-config-server: channel file not taken, the members stay as they were: %s\n",
                     qPrintable(error));
        return;
    }
    const ChannelFile &current = m_server->channel();
    if (channel->members == current.members && channel->secret == current.secret
        && channel->channelTimeoutMs == current.channelTimeoutMs && channel->server == current.server)
        return;
    traceText(TraceLabel, QStringLiteral("channel file read again: %1 member(s)").arg(channel->members.size()));
    m_server->setChannel(*channel, now());
}

bool ServerProcess::saveState(QString &error)
{
    return writeServerState(m_options.stateFile, m_server->state(), error);
}

void ServerProcess::sendDatagram(const QByteArray &datagram, const ip852::Endpoint &to)
{
    m_socket.writeDatagram(datagram, hostOf(to), to.port);
    if (m_pcap.isOpen())
        m_pcap.write(peerOf(m_server->channel().server), peerOf(to), datagram);
}

void ServerProcess::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram(ip852::ReceiveBuffer);
        if (!datagram.isValid())
            break;
        const ip852::Endpoint from{datagram.senderAddress().toIPv4Address(), quint16(datagram.senderPort())};
        if (m_pcap.isOpen())
            m_pcap.write(peerOf(from), peerOf(m_server->channel().server), datagram.data());
        const ip852::DatagramParse parsed = ip852::parseDatagram(datagram.data(), m_server->channel().secret);
        if (parsed.error != ip852::PacketError::None || parsed.rejected)
            traceText(TraceLabel, QStringLiteral("refused datagram from %1: %2 (%3 packet(s) failed the digest)")
                                      .arg(from.toString(), QLatin1String(ip852::errorText(parsed.error)))
                                      .arg(parsed.rejected));
        for (const ip852::Packet &packet : parsed.packets)
            if (packet.header.type != ip852::DataPacket)
                m_server->packet(packet, from, now());
    }
}

} // namespace lonsim::configserver
