#pragma once
// What an interface on a managed IP-852 channel keeps as a member of the channel from one
// open to the next (ip852::ChannelMember::Kept): its routing with its dateTime, the
// membership and the other members' routing. Kept in the process for the next handle, and
// for the driver's next run in $XDG_RUNTIME_DIR/lonworks/member-<interface>.json, written
// when it changes (a new file renamed over the old one, never through a symlink), read
// without following a symlink, at most 1 MiB, every packet in it decoded as if it came
// from the channel. A file kept for another address or another server is not taken.

#include "lontalk/ip852/ChannelMember.h"

#include <QString>

#include <optional>

namespace ldv {

// What interface `name` (letter case ignored) kept as the member at self of the channel
// run by server; nothing when nothing fits.
std::optional<ip852::ChannelMember::Kept> recallMemberState(const QString &name, const ip852::Endpoint &self,
                                                           const ip852::Endpoint &server);
// Keeps kept for interface `name`, the member at kept.routing.unicast of server's channel.
void keepMemberState(const QString &name, const ip852::Endpoint &server, const ip852::ChannelMember::Kept &kept);

// The file's content for kept, and kept from a file's content (nullopt when it is not one,
// or was kept for another self or server).
QByteArray encodeMemberState(const ip852::Endpoint &server, const ip852::ChannelMember::Kept &kept);
std::optional<ip852::ChannelMember::Kept> decodeMemberState(const QByteArray &bytes, const ip852::Endpoint &self,
                                                           const ip852::Endpoint &server);

} // namespace ldv
