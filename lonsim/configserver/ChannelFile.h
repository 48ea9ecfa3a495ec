#pragma once
// The channel file of the configuration server (JSON): the address and port the server
// serves on, the members it admits (address, port, name), the channel's MD5 secret and
// channel timeout. Anything else in the file is refused, so a misspelt key is noticed.

#include "lontalk/ip852/UdpPort.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace lonsim::configserver {

struct ChannelMember {
    ip852::Endpoint endpoint;
    QByteArray name;            // Latin-1, at most 128 bytes
    bool operator==(const ChannelMember &) const = default;
};

struct ChannelFile {
    ip852::Endpoint server;
    QList<ChannelMember> members;
    QByteArray secret;          // 16 bytes, or empty
    uint16_t channelTimeoutMs = 1000;
    const ChannelMember *member(const ip852::Endpoint &endpoint) const;
};

constexpr qint64 MaxChannelFileBytes = 1 << 20;

// nullopt with error set ("<where>: <why>") when the text is not a channel file.
std::optional<ChannelFile> parseChannelFile(const QByteArray &json, QString &error);
// Reads and parses the file (at most 1 MiB).
std::optional<ChannelFile> readChannelFile(const QString &path, QString &error);

} // namespace lonsim::configserver
