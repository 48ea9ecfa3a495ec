#include "lonsim/configserver/ChannelFile.h"

#include "lontalk/ip852/ConfigPackets.h"
#include "lontalk/ip852/Packet.h"

#include "support/JsonRules.h"
#include "support/SafeFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace lonsim::configserver {

namespace {

using jsonrules::number;
using jsonrules::onlyKeys;
using jsonrules::Refusal;
using jsonrules::refuse;

uint32_t address(const QJsonValue &v, const QString &where)
{
    const auto e = ip852::Endpoint::parse(v.toString(), 0);
    if (!v.isString() || !e || e->ip == 0)
        refuse(where + QStringLiteral(": an IPv4 address expected"));
    return e->ip;
}

ChannelMember member(const QJsonValue &v, const QString &where)
{
    if (!v.isObject())
        refuse(where + QStringLiteral(": an object expected"));
    const QJsonObject o = v.toObject();
    onlyKeys(o, {QStringLiteral("address"), QStringLiteral("port"), QStringLiteral("name"), QStringLiteral("comment")}, where);
    ChannelMember m;
    m.endpoint.ip = address(o.value(QStringLiteral("address")), where + QStringLiteral(".address"));
    m.endpoint.port = o.contains(QStringLiteral("port"))
                          ? uint16_t(number(o.value(QStringLiteral("port")), 1, 65535, where + QStringLiteral(".port")))
                          : ip852::DefaultPort;
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!name.isUndefined() && !name.isString())
        refuse(where + QStringLiteral(".name: a text expected"));
    const QString text = name.toString();
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0xFF)
            refuse(where + QStringLiteral(".name: Latin-1 characters only"));
    m.name = text.toLatin1();
    if (m.name.size() > ip852::MaxNameBytes)
        refuse(where + QStringLiteral(".name: at most %1 characters").arg(ip852::MaxNameBytes));
    return m;
}

} // namespace

const ChannelMember *ChannelFile::member(const ip852::Endpoint &endpoint) const
{
    for (const ChannelMember &m : members)
        if (m.endpoint == endpoint)
            return &m;
    return nullptr;
}

std::optional<ChannelFile> parseChannelFile(const QByteArray &json, QString &error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("not JSON (%1 at offset %2)").arg(parseError.errorString()).arg(parseError.offset);
        return std::nullopt;
    }
    if (const QString twice = jsonrules::duplicateKey(json); !twice.isEmpty()) {
        error = twice;
        return std::nullopt;
    }
    try {
        if (!doc.isObject())
            refuse(QStringLiteral("the file: an object expected"));
        const QJsonObject o = doc.object();
        onlyKeys(o, {QStringLiteral("server"), QStringLiteral("members"), QStringLiteral("secret"),
                     QStringLiteral("channelTimeout"), QStringLiteral("comment")},
                 QStringLiteral("the file"));
        ChannelFile c;
        const QJsonValue server = o.value(QStringLiteral("server"));
        if (!server.isObject())
            refuse(QStringLiteral("server: an object { \"address\": ..., \"port\": ... } expected"));
        const QJsonObject s = server.toObject();
        onlyKeys(s, {QStringLiteral("address"), QStringLiteral("port")}, QStringLiteral("server"));
        c.server.ip = address(s.value(QStringLiteral("address")), QStringLiteral("server.address"));
        c.server.port = s.contains(QStringLiteral("port"))
                            ? uint16_t(number(s.value(QStringLiteral("port")), 1, 65535, QStringLiteral("server.port")))
                            : ip852::DefaultConfigServerPort;
        const QJsonValue members = o.value(QStringLiteral("members"));
        if (!members.isArray())
            refuse(QStringLiteral("members: a list of members expected"));
        const QJsonArray list = members.toArray();
        if (list.size() > ip852::MaxMembers)
            refuse(QStringLiteral("members: at most %1 members").arg(ip852::MaxMembers));
        QSet<QString> seen;
        for (int i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("members[%1]").arg(i);
            const ChannelMember m = member(list[i], where);
            if (m.endpoint == c.server)
                refuse(where + QStringLiteral(": the server's own address and port"));
            if (seen.contains(m.endpoint.toString()))
                refuse(where + QStringLiteral(": %1 is listed twice").arg(m.endpoint.toString()));
            seen.insert(m.endpoint.toString());
            c.members.append(m);
        }
        if (o.contains(QStringLiteral("secret"))) {
            const auto secret = ip852::secretFromText(o.value(QStringLiteral("secret")).toString());
            if (!secret)
                refuse(QStringLiteral("secret: 32 hex digits or up to 16 characters expected"));
            c.secret = *secret;
        }
        if (o.contains(QStringLiteral("channelTimeout")))
            c.channelTimeoutMs = uint16_t(number(o.value(QStringLiteral("channelTimeout")), 0, 65535,
                                                 QStringLiteral("channelTimeout")));
        return c;
    } catch (const Refusal &r) {
        error = r.why;
        return std::nullopt;
    }
}

std::optional<ChannelFile> readChannelFile(const QString &path, QString &error)
{
    QString why;
    const std::optional<QByteArray> bytes = ReadUserFile(path, MaxChannelFileBytes, why);
    if (!bytes) {
        error = QStringLiteral("%1: cannot be read (%2)").arg(path, why);
        return std::nullopt;
    }
    auto channel = parseChannelFile(*bytes, error);
    if (!channel)
        error = path + QStringLiteral(": ") + error;
    return channel;
}

} // namespace lonsim::configserver
