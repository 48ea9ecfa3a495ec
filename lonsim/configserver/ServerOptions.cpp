#include "lonsim/configserver/ServerOptions.h"

#include "lonsim/configserver/ServerState.h"

#include <QCommandLineParser>

namespace lonsim::configserver {

std::optional<ServerOptions> parseServerOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The configuration server of a standard (unicast) LonWorks/IP (IP-852) channel. It admits the\n"
        "members its channel file lists, hands each its device configuration, keeps their channel\n"
        "routing and the channel membership, and refuses everyone else. Its state (the members'\n"
        "routing, the membership) is kept in a state file across restarts. It reads the channel\n"
        "file again when the file changes or on SIGHUP. Prints one \"ready\" line on stdout when it\n"
        "serves, and runs until SIGTERM or SIGINT."));
    const QCommandLineOption channel(QStringLiteral("channel"),
                                     QStringLiteral("The channel file (JSON): the server's address and port, the "
                                                    "members, the secret (required)."),
                                     QStringLiteral("file"));
    const QCommandLineOption state(QStringLiteral("state"),
                                   QStringLiteral("The state file (default: $XDG_STATE_HOME/lonworks/"
                                                  "config-server-<channel file name>.json)."),
                                   QStringLiteral("file"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Trace file: one line per configuration packet in or out."),
                                   QStringLiteral("file"));
    const QCommandLineOption pcap(QStringLiteral("pcap"),
                                  QStringLiteral("Capture file (pcap) of every datagram sent and received."),
                                  QStringLiteral("file"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({channel, state, trace, pcap, help, version});
    if (!parser.parse(QStringList{QStringLiteral("lonip-config-server")} + arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    ServerOptions o;
    if (parser.isSet(help) || parser.isSet(version)) {
        o.request = parser.isSet(help) ? ServerOptions::ShowHelp : ServerOptions::ShowVersion;
        o.helpText = parser.helpText();
        o.helpText.replace(0, o.helpText.indexOf(u'\n'), QStringLiteral("Usage: lonip-config-server --channel FILE [options]"));
        return o;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }
    o.channelFile = parser.value(channel);
    if (o.channelFile.isEmpty()) {
        error = QStringLiteral("--channel is required");
        return std::nullopt;
    }
    o.stateFile = parser.isSet(state) ? parser.value(state) : defaultStatePath(o.channelFile);
    o.trace = parser.value(trace);
    o.pcap = parser.value(pcap);
    return o;
}

} // namespace lonsim::configserver
