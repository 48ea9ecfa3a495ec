#include "lonsim/channel/ChannelOptions.h"

#include "lontalk/ip852/Packet.h"

#include <QCommandLineParser>

namespace lonsim::channel {

std::optional<Peer> parsePeer(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    Peer peer;
    if (!peer.address.setAddress(text.left(colon)) || peer.address.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    peer.port = quint16(port);
    return peer;
}

std::optional<ChannelOptions> parseChannelOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Puts the devices of a simulated LonWorks network on an IP-852 (LonWorks/IP) channel, each\n"
        "device a LonTalk node of its own, so that the driver or any other LonWorks/IP host talks\n"
        "to them over the network. Prints one \"ready\" line on stdout when it serves, and runs\n"
        "until SIGTERM or SIGINT."));
    const QCommandLineOption network(QStringLiteral("network"),
                                     QStringLiteral("The network to serve: LON1 (built in), a <name>.json "
                                                    "found in the folders of LONSIM_PATH, or a network "
                                                    "description file (required)."),
                                     QStringLiteral("name"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("multicast (the default) or unicast."),
                                  QStringLiteral("mode"), QStringLiteral("multicast"));
    const QCommandLineOption group(QStringLiteral("group"),
                                   QStringLiteral("Multicast: the channel's group (default %1).")
                                       .arg(QString::fromLatin1(ip852::DefaultGroup)),
                                   QStringLiteral("address"), QString::fromLatin1(ip852::DefaultGroup));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Multicast: the channel's UDP port (default %1).")
                                      .arg(ip852::DefaultPort),
                                  QStringLiteral("port"), QString::number(ip852::DefaultPort));
    const QCommandLineOption iface(QStringLiteral("interface"),
                                   QStringLiteral("Multicast: the address of the local network interface "
                                                  "to join and send on (127.0.0.1 for loopback)."),
                                   QStringLiteral("address"));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Unicast: own address and port (port 0 takes a free "
                                                   "one, named in the ready line)."),
                                    QStringLiteral("address:port"));
    const QCommandLineOption member(QStringLiteral("member"),
                                    QStringLiteral("Unicast: a member of the channel; give one per member."),
                                    QStringLiteral("address:port"));
    const QCommandLineOption configServer(QStringLiteral("config-server"),
                                          QStringLiteral("Unicast: the channel's configuration server; the "
                                                         "server's list of members joins the --member ones."),
                                          QStringLiteral("address:port"));
    const QCommandLineOption secret(QStringLiteral("secret"),
                                    QStringLiteral("MD5 authentication secret: 32 hex digits or up to 16 "
                                                   "characters."),
                                    QStringLiteral("secret"));
    const QCommandLineOption control(QStringLiteral("control"),
                                     QStringLiteral("Control folder of the simulated network (as "
                                                    "LONSIM_CONTROL)."),
                                     QStringLiteral("folder"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Frame trace file: one line per LonTalk frame."),
                                   QStringLiteral("file"));
    const QCommandLineOption pcap(QStringLiteral("pcap"),
                                  QStringLiteral("Capture file (pcap) of every datagram sent and received."),
                                  QStringLiteral("file"));
    const QCommandLineOption channel(QStringLiteral("channel"),
                                     QStringLiteral("The devices' own channel, as behind a router: TP/FT-10, "
                                                    "PL-20 or IP, optionally with a bit rate (FT-10:78125). "
                                                    "Frames then take that channel's time and queue for it; "
                                                    "the default is the network description's."),
                                     QStringLiteral("kind[:bitrate]"));
    parser.addOptions({network, mode, group, port, iface, listen, member, configServer, secret, control, trace, pcap,
                       channel});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version});
    if (!parser.parse(QStringList{QStringLiteral("lonsim-channel")} + arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        ChannelOptions o;
        o.request = parser.isSet(help) ? ChannelOptions::ShowHelp : ChannelOptions::ShowVersion;
        // The usage line names the program, not the path it was started by.
        o.helpText = parser.helpText();
        o.helpText.replace(0, o.helpText.indexOf(u'\n'),
                           QStringLiteral("Usage: lonsim-channel --network NAME [options]"));
        return o;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }
    ChannelOptions o;
    o.network = parser.value(network);
    if (o.network.isEmpty()) {
        error = QStringLiteral("--network is required");
        return std::nullopt;
    }
    const QString modeText = parser.value(mode).toLower();
    if (modeText == QLatin1String("multicast")) {
        o.mode = ChannelOptions::Multicast;
        if (!o.group.setAddress(parser.value(group)) || !o.group.isMulticast()
            || o.group.protocol() != QAbstractSocket::IPv4Protocol) {
            error = QStringLiteral("--group %1 is not an IPv4 multicast address").arg(parser.value(group));
            return std::nullopt;
        }
        bool ok = false;
        const uint p = parser.value(port).toUInt(&ok);
        if (!ok || p == 0 || p > 65535) {
            error = QStringLiteral("--port %1 is not a port").arg(parser.value(port));
            return std::nullopt;
        }
        o.port = quint16(p);
        if (parser.isSet(iface) && !o.interfaceAddress.setAddress(parser.value(iface))) {
            error = QStringLiteral("--interface %1 is not an address").arg(parser.value(iface));
            return std::nullopt;
        }
    } else if (modeText == QLatin1String("unicast")) {
        o.mode = ChannelOptions::Unicast;
        const auto self = parsePeer(parser.value(listen));
        if (!self) {
            error = QStringLiteral("unicast needs --listen address:port");
            return std::nullopt;
        }
        o.listen = *self;
        for (const QString &text : parser.values(member)) {
            const auto peer = parsePeer(text);
            if (!peer || peer->port == 0) {
                error = QStringLiteral("--member %1 is not address:port").arg(text);
                return std::nullopt;
            }
            o.members.append(*peer);
        }
        if (parser.isSet(configServer)) {
            o.configServer = parsePeer(parser.value(configServer));
            if (!o.configServer || o.configServer->port == 0) {
                error = QStringLiteral("--config-server %1 is not address:port").arg(parser.value(configServer));
                return std::nullopt;
            }
            if (o.listen.port == 0 || o.listen.address.isNull() || o.listen.address == QHostAddress::AnyIPv4) {
                error = QStringLiteral("with --config-server, --listen names the address and port the server lists");
                return std::nullopt;
            }
        }
        if (o.members.isEmpty() && !o.configServer) {
            error = QStringLiteral("unicast needs at least one --member, or --config-server");
            return std::nullopt;
        }
    } else {
        error = QStringLiteral("--mode must be multicast or unicast");
        return std::nullopt;
    }
    if (o.mode == ChannelOptions::Multicast && parser.isSet(configServer)) {
        error = QStringLiteral("--config-server belongs to unicast mode");
        return std::nullopt;
    }
    if (parser.isSet(secret)) {
        const auto bytes = ip852::secretFromText(parser.value(secret));
        if (!bytes) {
            error = QStringLiteral("--secret must be 32 hex digits or at most 16 characters");
            return std::nullopt;
        }
        o.secret = *bytes;
    }
    if (parser.isSet(channel)) {
        const QStringList parts = parser.value(channel).split(u':');
        o.channel = lontalk::channel::parseChannel(parts.value(0));
        bool ok = true;
        if (o.channel && parts.size() == 2 && o.channel->timed())
            o.channel->bitRate = parts.at(1).toInt(&ok);
        if (!o.channel || parts.size() > 2 || !ok
            || (o.channel->timed()
                && (o.channel->bitRate < lontalk::channel::MinBitRate || o.channel->bitRate > lontalk::channel::MaxBitRate))) {
            error = QStringLiteral("--channel %1 is not TP/FT-10, PL-20 or IP with a bit rate of %2 to %3")
                        .arg(parser.value(channel))
                        .arg(lontalk::channel::MinBitRate)
                        .arg(lontalk::channel::MaxBitRate);
            return std::nullopt;
        }
    }
    o.control = parser.value(control);
    o.trace = parser.value(trace);
    o.pcap = parser.value(pcap);
    return o;
}

} // namespace lonsim::channel
