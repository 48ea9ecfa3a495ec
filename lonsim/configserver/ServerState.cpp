#include "lonsim/configserver/ServerState.h"

#include "lontalk/ip852/ConfigPackets.h"
#include "support/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace lonsim::configserver {

namespace {

constexpr qint64 MaxStateBytes = 1 << 20;
const QLatin1String FormatName("lonip-config-server/1");

std::optional<ip852::Endpoint> endpointOf(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (colon <= 0 || !ok || port == 0 || port > 65535)
        return std::nullopt;
    return ip852::Endpoint::parse(text.left(colon), uint16_t(port));
}

uint32_t dateTimeOf(const QJsonValue &v)
{
    const qint64 n = v.toInteger(-1);
    return n >= 0 && n <= 0xFFFFFFFFLL ? uint32_t(n) : 0;
}

} // namespace

MemberRecord *ServerState::find(const ip852::Endpoint &endpoint)
{
    for (MemberRecord &m : members)
        if (m.endpoint == endpoint)
            return &m;
    return nullptr;
}

const MemberRecord *ServerState::find(const ip852::Endpoint &endpoint) const
{
    return const_cast<ServerState *>(this)->find(endpoint);
}

QString defaultStatePath(const QString &channelFile)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/lonworks/config-server-") + QFileInfo(channelFile).completeBaseName()
           + QStringLiteral(".json");
}

std::optional<ServerState> readServerState(const QString &path)
{
    const std::optional<QByteArray> bytes = ReadRegularFile(path, MaxStateBytes);
    if (!bytes)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes);
    const QJsonObject o = doc.object();
    if (!doc.isObject() || o.value(QLatin1String("format")).toString() != FormatName)
        return std::nullopt;
    ServerState s;
    s.lastDateTime = dateTimeOf(o.value(QLatin1String("lastDateTime")));
    s.membershipDateTime = dateTimeOf(o.value(QLatin1String("membershipDateTime")));
    const QJsonArray members = o.value(QLatin1String("members")).toArray();
    for (qsizetype i = 0; i < members.size() && s.members.size() < ip852::MaxMembers; ++i) {
        const QJsonObject m = members.at(i).toObject();
        const auto endpoint = endpointOf(m.value(QLatin1String("address")).toString());
        const QByteArray routing = QByteArray::fromHex(m.value(QLatin1String("routing")).toString().toLatin1());
        const auto decoded = ip852::decodeRouting(routing);
        if (!endpoint || !decoded || s.find(*endpoint))
            continue;
        s.members.append(MemberRecord{*endpoint, routing, decoded->dateTime});
    }
    return s;
}

bool writeServerState(const QString &path, const ServerState &state, QString &error)
{
    QJsonArray members;
    for (const MemberRecord &m : state.members)
        members.append(QJsonObject{{QStringLiteral("address"), m.endpoint.toString()},
                                   {QStringLiteral("routing"), QString::fromLatin1(m.routing.toHex())}});
    const QJsonObject o{{QStringLiteral("format"), FormatName},
                        {QStringLiteral("lastDateTime"), qint64(state.lastDateTime)},
                        {QStringLiteral("membershipDateTime"), qint64(state.membershipDateTime)},
                        {QStringLiteral("members"), members}};
    return ReplaceFile(path, QJsonDocument(o).toJson(), error);
}

} // namespace lonsim::configserver
