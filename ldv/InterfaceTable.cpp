#include "ldv/InterfaceTable.h"

#include "lontalk/ip852/ConfigPackets.h"
#include "lontalk/ip852/Packet.h"

#include "support/JsonRules.h"
#include "support/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace ldv {

namespace {

using jsonrules::number;
using jsonrules::onlyKeys;
using jsonrules::Refusal;
using jsonrules::refuse;

// An interfaces file lists a few entries of a few hundred bytes each.
constexpr qint64 MaxFileBytes = 1 << 20;

// Hex bytes written as "0A:1B:2C", "0A-1B-2C" or "0A1B2C".
// A secret (an authentication key) is never repeated in the refusal.
QByteArray hexBytes(const QJsonValue &v, const QList<int> &sizes, const QString &where, bool secret = false)
{
    if (!v.isString())
        refuse(where + QStringLiteral(": hex bytes expected"));
    QString text = v.toString();
    text.remove(QLatin1Char(':')).remove(QLatin1Char('-')).remove(QLatin1Char(' '));
    const QString shown = secret ? QStringLiteral("the value") : QStringLiteral("\"%1\"").arg(v.toString());
    for (QChar c : text)
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c))
            refuse(where + QStringLiteral(": %1 is not hex").arg(shown));
    if (text.size() % 2 || !sizes.contains(int(text.size() / 2)))
        refuse(where + QStringLiteral(": %1 has the wrong number of bytes").arg(shown)
               + (secret ? QStringLiteral(" (%1 expected)").arg(sizes.first()) : QString()));
    return QByteArray::fromHex(text.toLatin1());
}

uint32_t ipAddress(const QJsonValue &v, const QString &where)
{
    const auto e = ip852::Endpoint::parse(v.toString(), 0);
    if (!v.isString() || !e)
        refuse(where + QStringLiteral(": an IPv4 address expected"));
    return e->ip;
}

// "a.b.c.d" or "a.b.c.d:port"; the port defaults to defaultPort.
ip852::Endpoint member(const QJsonValue &v, const QString &where, uint16_t defaultPort = ip852::DefaultPort)
{
    const QString text = v.toString();
    const int colon = int(text.indexOf(QLatin1Char(':')));
    int port = defaultPort;
    if (colon >= 0) {
        bool ok = false;
        port = text.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            refuse(where + QStringLiteral(": bad port in \"%1\"").arg(text));
    }
    const auto e = ip852::Endpoint::parse(colon >= 0 ? text.left(colon) : text, uint16_t(port));
    if (!v.isString() || !e)
        refuse(where + QStringLiteral(": \"address[:port]\" expected"));
    return *e;
}

IpDomainSetting domainSetting(const QJsonValue &v, const QString &where)
{
    if (!v.isObject())
        refuse(where + QStringLiteral(": an object expected"));
    const QJsonObject o = v.toObject();
    onlyKeys(o, {QStringLiteral("id"), QStringLiteral("subnet"), QStringLiteral("node"), QStringLiteral("key")}, where);
    IpDomainSetting d;
    if (o.contains(QStringLiteral("id")) && !o.value(QStringLiteral("id")).toString().isEmpty())
        d.id = hexBytes(o.value(QStringLiteral("id")), {1, 3, 6}, where + QStringLiteral(".id"));
    d.subnet = uint8_t(number(o.value(QStringLiteral("subnet")), 1, 255, where + QStringLiteral(".subnet")));
    d.node = uint8_t(number(o.value(QStringLiteral("node")), 1, 127, where + QStringLiteral(".node")));
    if (o.contains(QStringLiteral("key"))) {
        d.key = hexBytes(o.value(QStringLiteral("key")), {6}, where + QStringLiteral(".key"), true);
        d.hasKey = true;
    }
    return d;
}

void readIp(const QJsonObject &o, IpChannelConfig &c, const QString &where)
{
    onlyKeys(o,
             {QStringLiteral("name"), QStringLiteral("type"), QStringLiteral("comment"), QStringLiteral("mode"),
              QStringLiteral("group"), QStringLiteral("port"), QStringLiteral("localAddress"),
              QStringLiteral("localPort"), QStringLiteral("hops"), QStringLiteral("members"),
              QStringLiteral("neuronId"), QStringLiteral("programId"), QStringLiteral("model"),
              QStringLiteral("domains"), QStringLiteral("secret"), QStringLiteral("configServer")},
             where);
    const QString mode = o.value(QStringLiteral("mode")).toString(QStringLiteral("multicast"));
    if (mode == QLatin1String("multicast"))
        c.mode = IpChannelConfig::Multicast;
    else if (mode == QLatin1String("unicast"))
        c.mode = IpChannelConfig::Unicast;
    else
        refuse(where + QStringLiteral(".mode: \"multicast\" or \"unicast\" expected"));
    if (o.contains(QStringLiteral("localAddress")))
        c.localIp = ipAddress(o.value(QStringLiteral("localAddress")), where + QStringLiteral(".localAddress"));
    if (c.mode == IpChannelConfig::Multicast) {
        c.group.ip = ipAddress(o.value(QStringLiteral("group")).toString(QLatin1String(ip852::DefaultGroup)),
                               where + QStringLiteral(".group"));
        if ((c.group.ip >> 28) != 0xE)
            refuse(where + QStringLiteral(".group: not a multicast address"));
        c.group.port = uint16_t(o.contains(QStringLiteral("port"))
                                    ? number(o.value(QStringLiteral("port")), 1, 65535, where + QStringLiteral(".port"))
                                    : ip852::DefaultPort);
        if (o.contains(QStringLiteral("hops")))
            c.hops = number(o.value(QStringLiteral("hops")), 1, 255, where + QStringLiteral(".hops"));
        if (o.contains(QStringLiteral("members")) || o.contains(QStringLiteral("localPort"))
            || o.contains(QStringLiteral("configServer")))
            refuse(where + QStringLiteral(": members, localPort and configServer belong to unicast mode"));
    } else {
        if (!c.localIp)
            refuse(where + QStringLiteral(".localAddress: unicast mode needs the address the members know"));
        c.localPort = uint16_t(o.contains(QStringLiteral("localPort"))
                                   ? number(o.value(QStringLiteral("localPort")), 1, 65535, where + QStringLiteral(".localPort"))
                                   : ip852::DefaultPort);
        if (o.contains(QStringLiteral("configServer"))) {
            c.server = member(o.value(QStringLiteral("configServer")), where + QStringLiteral(".configServer"),
                              ip852::DefaultConfigServerPort);
            if (c.server == ip852::Endpoint{c.localIp, c.localPort})
                refuse(where + QStringLiteral(".configServer: the interface's own address and port"));
        }
        const QJsonValue memberList = o.value(QStringLiteral("members"));
        if (!memberList.isUndefined() && !memberList.isArray())
            refuse(where + QStringLiteral(".members: a list of \"address[:port]\" expected"));
        const QJsonArray members = memberList.toArray();
        if (members.isEmpty() && !c.server.ip)
            refuse(where + QStringLiteral(".members: unicast mode needs the list of channel members, "
                                          "or the channel's configServer"));
        for (int i = 0; i < members.size(); ++i)
            c.members.append(member(members[i], where + QStringLiteral(".members[%1]").arg(i)));
        if (o.contains(QStringLiteral("group")) || o.contains(QStringLiteral("port")) || o.contains(QStringLiteral("hops")))
            refuse(where + QStringLiteral(": group, port and hops belong to multicast mode"));
    }
    const QByteArray nid = hexBytes(o.value(QStringLiteral("neuronId")), {6}, where + QStringLiteral(".neuronId"));
    std::copy_n(nid.constData(), 6, c.neuronId.begin());
    if (o.contains(QStringLiteral("programId"))) {
        const QByteArray pid = hexBytes(o.value(QStringLiteral("programId")), {8}, where + QStringLiteral(".programId"));
        std::copy_n(pid.constData(), 8, c.programId.begin());
    }
    if (o.contains(QStringLiteral("model")))
        c.model = uint8_t(number(o.value(QStringLiteral("model")), 0, 255, where + QStringLiteral(".model")));
    const QJsonValue domains = o.value(QStringLiteral("domains"));
    if (!domains.isUndefined()) {
        const QJsonArray list = domains.toArray();
        if (!domains.isArray() || list.size() > 2)
            refuse(where + QStringLiteral(".domains: a list of at most two domains expected"));
        for (int i = 0; i < list.size(); ++i)
            c.domains[i] = domainSetting(list[i], where + QStringLiteral(".domains[%1]").arg(i));
    }
    if (o.contains(QStringLiteral("secret"))) {
        const auto secret = ip852::secretFromText(o.value(QStringLiteral("secret")).toString());
        if (!secret)
            refuse(where + QStringLiteral(".secret: 32 hex digits or up to 16 characters expected"));
        c.secret = *secret;
    }
}

InterfaceEntry entry(const QJsonValue &v, int index, const QDir &base)
{
    const QString where = QStringLiteral("interfaces[%1]").arg(index);
    if (!v.isObject())
        refuse(where + QStringLiteral(": an object expected"));
    const QJsonObject o = v.toObject();
    InterfaceEntry e;
    e.name = o.value(QStringLiteral("name")).toString().trimmed();
    if (e.name.isEmpty())
        refuse(where + QStringLiteral(".name: a name is needed"));
    const QString named = QStringLiteral("interface \"%1\"").arg(e.name);
    e.comment = o.value(QStringLiteral("comment")).toString();
    const QString type = o.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("simulated")) {
        onlyKeys(o, {QStringLiteral("name"), QStringLiteral("type"), QStringLiteral("comment"), QStringLiteral("network")}, named);
        e.kind = InterfaceEntry::Simulated;
        e.network = o.value(QStringLiteral("network")).toString();
        if (e.network.isEmpty())
            refuse(named + QStringLiteral(".network: a network name or description file is needed"));
        if (e.network.contains(QLatin1Char('/')) || e.network.endsWith(QLatin1String(".json")))
            e.network = QDir::cleanPath(base.absoluteFilePath(e.network));
    } else if (type == QLatin1String("ip852")) {
        e.kind = InterfaceEntry::Ip852;
        readIp(o, e.ip, named);
    } else if (type == QLatin1String("lon-device")) {
        onlyKeys(o, {QStringLiteral("name"), QStringLiteral("type"), QStringLiteral("comment"), QStringLiteral("device")}, named);
        e.kind = InterfaceEntry::LonDevice;
        e.device = o.value(QStringLiteral("device")).toString();
        if (e.device.isEmpty() || e.device.size() >= 16 || e.device.contains(QLatin1Char('/')) || e.device.contains(QLatin1Char(' ')))
            refuse(named + QStringLiteral(".device: a network device name (lon0, lon1, ...) is needed"));
    } else {
        refuse(named + QStringLiteral(".type: \"simulated\", \"ip852\" or \"lon-device\" expected"));
    }
    return e;
}

// The domains that have an authentication key. A key is never shown in full: its first
// byte tells keys apart, the other five stay hidden ("key 0A…").
QString keysSummary(const IpChannelConfig &ip)
{
    QStringList keys;
    for (int i = 0; i < 2; ++i)
        if (ip.domains[i].hasKey)
            keys.append(QStringLiteral("domain %1 (key %2\u2026)")
                            .arg(i)
                            .arg(QString::number(uint8_t(ip.domains[i].key.front()), 16).rightJustified(2, QLatin1Char('0')).toUpper()));
    return keys.isEmpty() ? QString() : QStringLiteral(", LonTalk authentication in ") + keys.join(QStringLiteral(" and "));
}

} // namespace

QString InterfaceEntry::summary() const
{
    if (kind == Simulated)
        return QStringLiteral("simulated network %1").arg(network);
    if (kind == LonDevice)
        return QStringLiteral("LON network device %1").arg(device);
    if (ip.mode == IpChannelConfig::Multicast)
        return QStringLiteral("LonWorks/IP channel, multicast %1%2%3")
            .arg(ip.group.toString(), ip.secret.isEmpty() ? QString() : QStringLiteral(", MD5"), keysSummary(ip));
    QString text = QStringLiteral("LonWorks/IP channel, unicast from %1").arg(ip852::Endpoint{ip.localIp, ip.localPort}.toString());
    if (ip.server.ip)
        text += QStringLiteral(", configuration server %1").arg(ip.server.toString());
    if (!ip.members.isEmpty() || !ip.server.ip)
        text += QStringLiteral("%1 %2 member(s)").arg(ip.server.ip ? QStringLiteral(" and") : QStringLiteral(" to")).arg(ip.members.size());
    return text + (ip.secret.isEmpty() ? QString() : QStringLiteral(", MD5")) + keysSummary(ip);
}

const InterfaceEntry *InterfaceTable::find(const QString &name) const
{
    for (const InterfaceEntry &e : entries)
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

QString interfacesFilePath()
{
    const QString given = qEnvironmentVariable("LDV_INTERFACES");
    if (!given.isEmpty())
        return given;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    const QStringList candidates{config + QStringLiteral("/lonworks/interfaces.json"),
                                 QStringLiteral("/etc/lonworks/interfaces.json")};
    // Whatever is there counts, a file or not: a link to nowhere, a folder or a FIFO in
    // the default place is reported as a broken table rather than passed over.
    for (const QString &candidate : candidates)
        if (const QFileInfo info(candidate); info.exists() || info.isSymLink())
            return candidate;
    return {};
}

InterfaceTable parseInterfaceTable(const QByteArray &json, const QString &path)
{
    InterfaceTable table;
    table.path = path;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        table.error = QStringLiteral("%1: not JSON (%2 at offset %3)").arg(path, parseError.errorString()).arg(parseError.offset);
        return table;
    }
    if (const QString twice = jsonrules::duplicateKey(json); !twice.isEmpty()) {
        table.error = path + QStringLiteral(": ") + twice;
        return table;
    }
    try {
        const QJsonObject root = doc.object();
        if (!doc.isObject() || !root.value(QStringLiteral("interfaces")).isArray())
            refuse(QStringLiteral("an object with a list \"interfaces\" expected"));
        onlyKeys(root, {QStringLiteral("interfaces"), QStringLiteral("comment")}, QStringLiteral("the file"));
        const QJsonArray list = root.value(QStringLiteral("interfaces")).toArray();
        const QDir base = QFileInfo(path).absoluteDir();
        QSet<QString> names;
        for (int i = 0; i < list.size(); ++i) {
            InterfaceEntry e = entry(list[i], i, base);
            if (names.contains(e.name.toUpper()))
                refuse(QStringLiteral("interface \"%1\" is named twice").arg(e.name));
            names.insert(e.name.toUpper());
            table.entries.append(e);
        }
    } catch (const Refusal &r) {
        table.entries.clear();
        table.error = path + QStringLiteral(": ") + r.why;
    }
    return table;
}

InterfaceTable loadInterfaceTable()
{
    const QString path = interfacesFilePath();
    if (path.isEmpty())
        return {};
    QString why;
    const std::optional<QByteArray> bytes = ReadUserFile(path, MaxFileBytes, why);
    if (!bytes) {
        InterfaceTable table;
        table.path = path;
        table.error = QStringLiteral("%1: cannot be read (%2)").arg(path, why);
        return table;
    }
    return parseInterfaceTable(*bytes, path);
}

} // namespace ldv
