#include "ldv/tids/MemberState.h"

#include "ldv/tids/TidStateFile.h"
#include "support/SafeFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <cstdio>
#include <map>

namespace ldv {

namespace {

constexpr qint64 MaxFileBytes = 1 << 20;      // 256 members' routing take about a tenth of it
const QLatin1String FormatName("lonworks-member/1");

struct Held {
    ip852::Endpoint server;
    ip852::ChannelMember::Kept kept;
};

// What this process's handles kept, by interface name in lower case: a few entries.
std::map<QString, Held> &heldInProcess()
{
    static std::map<QString, Held> held;
    return held;
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// The bytes of a hex text; nullopt when it is not one.
std::optional<QByteArray> bytesOf(const QJsonValue &value)
{
    const QByteArray text = value.toString().toLatin1();
    if (!value.isString() || text.size() % 2)
        return std::nullopt;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    return QByteArray::fromHex(text);
}

} // namespace

QByteArray encodeMemberState(const ip852::Endpoint &server, const ip852::ChannelMember::Kept &kept)
{
    QJsonArray routes;
    for (const ip852::RoutingPacket &r : kept.routes)
        routes.append(hexOf(ip852::encode(r)));
    QJsonObject o{{QStringLiteral("format"), FormatName},
                  {QStringLiteral("self"), kept.routing.unicast.toString()},
                  {QStringLiteral("server"), server.toString()},
                  {QStringLiteral("lastDateTime"), qint64(kept.lastDateTime)},
                  {QStringLiteral("routing"), hexOf(ip852::encode(kept.routing))},
                  {QStringLiteral("routes"), routes}};
    if (kept.membership)
        o.insert(QStringLiteral("membership"), hexOf(ip852::encode(*kept.membership)));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ip852::ChannelMember::Kept> decodeMemberState(const QByteArray &bytes, const ip852::Endpoint &self,
                                                           const ip852::Endpoint &server)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonObject o = document.object();
    if (!document.isObject() || o.value(QLatin1String("format")).toString() != FormatName
        || o.value(QLatin1String("self")).toString() != self.toString()
        || o.value(QLatin1String("server")).toString() != server.toString())
        return std::nullopt;
    ip852::ChannelMember::Kept kept;
    const qint64 last = o.value(QLatin1String("lastDateTime")).toInteger(-1);
    const auto routingBytes = bytesOf(o.value(QLatin1String("routing")));
    const auto routing = routingBytes ? ip852::decodeRouting(*routingBytes) : std::nullopt;
    if (last < 0 || last > qint64(UINT32_MAX) || !routing)
        return std::nullopt;
    kept.lastDateTime = uint32_t(last);
    kept.routing = *routing;
    if (o.contains(QLatin1String("membership"))) {
        const auto membershipBytes = bytesOf(o.value(QLatin1String("membership")));
        kept.membership = membershipBytes ? ip852::decodeMembership(*membershipBytes) : std::nullopt;
        if (!kept.membership)
            return std::nullopt;
    }
    const QJsonArray routes = o.value(QLatin1String("routes")).toArray();
    for (qsizetype i = 0; i < routes.size() && i < ip852::MaxMembers; ++i) {
        const auto routeBytes = bytesOf(routes.at(i));
        if (const auto route = routeBytes ? ip852::decodeRouting(*routeBytes) : std::nullopt)
            kept.routes.append(*route);
    }
    return kept;
}

std::optional<ip852::ChannelMember::Kept> recallMemberState(const QString &name, const ip852::Endpoint &self,
                                                           const ip852::Endpoint &server)
{
    const auto it = heldInProcess().find(name.toLower());
    if (it != heldInProcess().end()) {
        if (it->second.server == server && it->second.kept.routing.unicast == self)
            return it->second.kept;
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = ReadRegularFile(interfaceStatePath(QStringLiteral("member"), name), MaxFileBytes);
    return bytes ? decodeMemberState(*bytes, self, server) : std::nullopt;
}

void keepMemberState(const QString &name, const ip852::Endpoint &server, const ip852::ChannelMember::Kept &kept)
{
    heldInProcess()[name.toLower()] = Held{server, kept};
    const QString path = interfaceStatePath(QStringLiteral("member"), name);
    if (path.isEmpty())
        return;
    QString error;
    static bool complained = false;
    if (!ReplaceFile(path, encodeMemberState(server, kept), error) && !complained) {
        std::fprintf(stderr, "libldv32: channel members not kept for the next run: %s\n", error.toLocal8Bit().constData());
        complained = true;
    }
}

} // namespace ldv
