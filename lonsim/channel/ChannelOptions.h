#pragma once
// The command line of lonsim-channel: which network to serve, on which IP-852 channel
// (multicast group or unicast members), and the optional secret, control folder, trace
// and capture files.

#include "lontalk/ChannelTiming.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace lonsim::channel {

struct Peer {
    QHostAddress address;
    quint16 port = 0;
    bool operator==(const Peer &other) const { return address == other.address && port == other.port; }
};

struct ChannelOptions {
    enum Mode { Multicast, Unicast };
    enum Request { Serve, ShowHelp, ShowVersion };
    Request request = Serve;        // --help and --version fill in only helpText
    QString helpText;
    QString network;                // a name (LON1, <name>.json on LONSIM_PATH) or a path
    Mode mode = Multicast;
    QHostAddress group;             // multicast group
    quint16 port = 0;               // multicast port
    QHostAddress interfaceAddress;  // multicast: the local interface's address (null = default)
    Peer listen;                    // unicast: own address and port (port 0 = any free one)
    QList<Peer> members;            // unicast: the other members of the channel
    std::optional<Peer> configServer;   // unicast: the channel's configuration server
    QByteArray secret;              // MD5 authentication secret (16 bytes), empty = none
    QString control;                // LONSIM_CONTROL folder
    QString trace;                  // frame trace file
    QString pcap;                   // capture file of every datagram
    // The devices' own channel behind the IP-852 one (a router's far side): frames take
    // its time; unset keeps the description's.
    std::optional<lontalk::channel::Channel> channel;
};

// Parses arguments (argv without the program name); nullopt with error set when they do
// not make a usable channel. --help and --version are answered before the channel's
// options are checked.
std::optional<ChannelOptions> parseChannelOptions(const QStringList &arguments, QString &error);

// "address:port" into a peer; nullopt when either part is not valid.
std::optional<Peer> parsePeer(const QString &text);

} // namespace lonsim::channel
