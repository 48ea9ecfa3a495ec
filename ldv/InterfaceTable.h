#pragma once
// The table of interfaces: the interfaces file (JSON) that maps names given to ldv_open to
// a simulated network, an IP-852 channel or a LON network device (lonN). Tools list it through loadInterfaceTable().

#include "lontalk/ip852/UdpPort.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace ldv {

struct IpDomainSetting {
    QByteArray id;              // 0, 1, 3 or 6 bytes
    uint8_t subnet = 0;         // 0 = entry not in use
    uint8_t node = 0;
    QByteArray key = QByteArray(6, '\0');   // LonTalk authentication key
    bool hasKey = false;        // a key was given: challenges in this domain are answered
};

struct IpChannelConfig {
    enum Mode { Multicast, Unicast };
    Mode mode = Multicast;
    ip852::Endpoint group;              // multicast: group and port
    uint32_t localIp = 0;               // multicast: interface to join on; unicast: address to bind
    uint16_t localPort = 0;             // unicast: port to bind and send from
    int hops = 1;                       // multicast TTL
    QList<ip852::Endpoint> members;     // unicast: the other members of the channel
    ip852::Endpoint server;             // unicast: the configuration server (ip 0 = none)
    std::array<uint8_t, 6> neuronId{};
    std::array<uint8_t, 8> programId{};
    uint8_t model = 0;
    IpDomainSetting domains[2];
    QByteArray secret;                  // 16 bytes, or empty: no authentication
};

struct InterfaceEntry {
    enum Kind { Simulated, Ip852, LonDevice };
    QString name;
    Kind kind = Simulated;
    QString network;                    // simulated: a name of LONSIM_PATH, LON1, or a file path
    IpChannelConfig ip;
    QString device;                     // LON device: the network device's name (lon0)
    QString comment;
    // One line for listings and ldv_xlate_device_name_std.
    QString summary() const;
};

struct InterfaceTable {
    QString path;                       // the file read; empty when there is none
    QList<InterfaceEntry> entries;
    QString error;                      // why the file was refused; empty when it parsed
    bool ok() const { return error.isEmpty(); }
    const InterfaceEntry *find(const QString &name) const;      // letter case ignored
};

// LDV_INTERFACES, else $XDG_CONFIG_HOME/lonworks/interfaces.json (default ~/.config), else
// /etc/lonworks/interfaces.json: the first that is set and exists; empty when none does.
// LDV_INTERFACES names its file even when it does not exist (then the table fails to load).
QString interfacesFilePath();

// Reads the table from interfacesFilePath(); no file gives an empty table without error.
InterfaceTable loadInterfaceTable();
InterfaceTable parseInterfaceTable(const QByteArray &json, const QString &path);

} // namespace ldv
