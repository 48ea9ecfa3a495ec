#pragma once
// What the configuration server keeps across restarts: the last dateTime it gave out, the
// dateTime of the channel membership, and each member's latest routing packet. Kept in
// a state file (JSON) written as a new file renamed over the old one.

#include "lontalk/ip852/UdpPort.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace lonsim::configserver {

struct MemberRecord {
    ip852::Endpoint endpoint;
    QByteArray routing;             // the body of its last channel routing packet
    uint32_t routingDateTime = 0;
    bool operator==(const MemberRecord &) const = default;
};

struct ServerState {
    uint32_t lastDateTime = 0;
    uint32_t membershipDateTime = 0;
    QList<MemberRecord> members;    // members whose routing came, in the order it came
    MemberRecord *find(const ip852::Endpoint &endpoint);
    const MemberRecord *find(const ip852::Endpoint &endpoint) const;
    bool operator==(const ServerState &) const = default;
};

// $XDG_STATE_HOME/lonworks/config-server-<channel file name>.json (~/.local/state when unset).
QString defaultStatePath(const QString &channelFile);

// The state of the file; nullopt when there is none, or it is not one (a symlink, too
// large, not JSON of this format). Records that do not make sense are left out.
std::optional<ServerState> readServerState(const QString &path);
bool writeServerState(const QString &path, const ServerState &state, QString &error);

} // namespace lonsim::configserver
