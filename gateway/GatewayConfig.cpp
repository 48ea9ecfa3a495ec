#include "gateway/GatewayConfig.h"

#include "client/SiteSettings.h"

#include <tuple>
#include "gateway/TopicNames.h"
#include "snvt/PointVerify.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr qint64 kMaxConfigBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxPasswordBytes = 4096;
// One driver object per site on the gateway's connection, and the driver allows 64 per
// connection: half leaves room for the new objects made while old ones are given back.
constexpr int kMaxSites = 32;
// The longest DESCRIPTION and SP1 the driver takes.
constexpr int kMaxSiteSetting = 255;
constexpr int kMaxPoints = 100000;
constexpr int kMaxTextLength = 1024;
constexpr int kMaxClientIdBytes = 128;

// A problem found in the file: the item's path and what is wrong with it.
struct TConfigError
{
    QString Path;
    QString Message;
};

QString Item(const QString &parent, const QString &key)
{
    return parent.isEmpty() ? key : parent + u'.' + key;
}

QString Indexed(const QString &parent, qsizetype index)
{
    return parent + QStringLiteral("[%1]").arg(index);
}

// Reads the members of one JSON object, checking types and refusing unknown keys (a
// misspelt key is a mistake, not a default).
class TObjectReader
{
public:
    TObjectReader(const QJsonObject &object, const QString &path, const QStringList &known)
        : FObject(object), FPath(path)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                throw TConfigError{Item(path, it.key()),
                                   QStringLiteral("unknown setting (known here: %1)")
                                       .arg(known.join(QStringLiteral(", ")))};
        }
    }

    bool Has(const QString &key) const { return FObject.contains(key); }
    QString PathOf(const QString &key) const { return Item(FPath, key); }
    QJsonValue Value(const QString &key) const { return FObject.value(key); }

    QString Text(const QString &key, const QString &fallback = QString(), bool required = false) const
    {
        if (!FObject.contains(key)) {
            if (required)
                throw TConfigError{PathOf(key), QStringLiteral("is required")};
            return fallback;
        }
        const QJsonValue value = FObject.value(key);
        if (!value.isString())
            throw TConfigError{PathOf(key), QStringLiteral("must be a text")};
        const QString text = value.toString();
        if (text.size() > kMaxTextLength)
            throw TConfigError{PathOf(key), QStringLiteral("is longer than %1 characters").arg(kMaxTextLength)};
        if (required && text.trimmed().isEmpty())
            throw TConfigError{PathOf(key), QStringLiteral("must not be empty")};
        return text;
    }

    bool Flag(const QString &key, bool fallback) const
    {
        if (!FObject.contains(key))
            return fallback;
        if (!FObject.value(key).isBool())
            throw TConfigError{PathOf(key), QStringLiteral("must be true or false")};
        return FObject.value(key).toBool();
    }

    double Number(const QString &key, double fallback, double low, double high) const
    {
        if (!FObject.contains(key))
            return fallback;
        const QJsonValue value = FObject.value(key);
        if (!value.isDouble() || value.toDouble() < low || value.toDouble() > high)
            throw TConfigError{PathOf(key),
                               QStringLiteral("must be a number from %1 to %2").arg(low).arg(high)};
        return value.toDouble();
    }

    int Whole(const QString &key, int fallback, int low, int high) const
    {
        const double number = Number(key, fallback, low, high);
        if (number != double(int(number)))
            throw TConfigError{PathOf(key), QStringLiteral("must be a whole number")};
        return int(number);
    }

    QJsonObject Object(const QString &key) const
    {
        if (!FObject.contains(key))
            return {};
        if (!FObject.value(key).isObject())
            throw TConfigError{PathOf(key), QStringLiteral("must be an object ({...})")};
        return FObject.value(key).toObject();
    }

private:
    QJsonObject FObject;
    QString FPath;
};

int Milliseconds(double seconds)
{
    return int(seconds * 1000.0 + 0.5);
}

QString ResolvedPath(const QString &folder, const QString &path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QDir(folder).filePath(path);
}

void ReadBroker(const QJsonObject &object, const QString &folder, TGatewayConfig &config)
{
    const TObjectReader reader(object, QStringLiteral("broker"),
                               {QStringLiteral("url"), QStringLiteral("clientId"),
                                QStringLiteral("user"), QStringLiteral("passwordFile"),
                                QStringLiteral("caFile"), QStringLiteral("keepAliveSeconds"),
                                QStringLiteral("reconnectMinSeconds"),
                                QStringLiteral("reconnectMaxSeconds")});
    TMqttSettings &broker = config.Broker;
    const QString urlText = reader.Text(QStringLiteral("url"), QStringLiteral("mqtt://127.0.0.1:1883"));
    const QUrl url(urlText, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        || url.host().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/"))
        || url.hasQuery() || !url.userInfo().isEmpty())
        throw TConfigError{reader.PathOf(QStringLiteral("url")),
                           QStringLiteral("\"%1\" is not a broker address: write mqtt://HOST[:PORT] "
                                          "or mqtts://HOST[:PORT] (user and password have settings "
                                          "of their own)")
                               .arg(urlText)};
    broker.Tls = scheme == QLatin1String("mqtts");
    broker.Host = url.host();
    broker.Port = url.port(broker.Tls ? 8883 : 1883);
    if (broker.Port < 1)
        throw TConfigError{reader.PathOf(QStringLiteral("url")), QStringLiteral("the port must be 1-65535")};

    broker.ClientId = reader.Text(QStringLiteral("clientId"), QStringLiteral("lonworks-gateway"));
    if (broker.ClientId.isEmpty() || broker.ClientId.toUtf8().size() > kMaxClientIdBytes)
        throw TConfigError{reader.PathOf(QStringLiteral("clientId")),
                           QStringLiteral("must be 1 to %1 bytes").arg(kMaxClientIdBytes)};
    broker.User = reader.Text(QStringLiteral("user"));
    const QString passwordFile = ResolvedPath(folder, reader.Text(QStringLiteral("passwordFile")));
    if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (file.size() > kMaxPasswordBytes || !file.open(QIODevice::ReadOnly))
            throw TConfigError{reader.PathOf(QStringLiteral("passwordFile")),
                               QStringLiteral("cannot read \"%1\": %2")
                                   .arg(passwordFile,
                                        file.size() > kMaxPasswordBytes ? QStringLiteral("too large")
                                                                        : file.errorString())};
        broker.Password = file.read(kMaxPasswordBytes).split('\n').value(0);
        if (broker.Password.endsWith('\r'))
            broker.Password.chop(1);
        if (broker.User.isEmpty())
            throw TConfigError{reader.PathOf(QStringLiteral("user")),
                               QStringLiteral("is required when a password file is given")};
    }
    broker.CaFile = ResolvedPath(folder, reader.Text(QStringLiteral("caFile")));
    if (!broker.CaFile.isEmpty()) {
        if (!broker.Tls)
            throw TConfigError{reader.PathOf(QStringLiteral("caFile")),
                               QStringLiteral("is for mqtts:// brokers only")};
        if (!QFileInfo(broker.CaFile).isReadable())
            throw TConfigError{reader.PathOf(QStringLiteral("caFile")),
                               QStringLiteral("cannot read \"%1\"").arg(broker.CaFile)};
    }
    broker.KeepAliveSeconds = reader.Whole(QStringLiteral("keepAliveSeconds"), 30, 5, 3600);
    broker.ReconnectMinMs = Milliseconds(reader.Number(QStringLiteral("reconnectMinSeconds"), 1, 0.05, 3600));
    broker.ReconnectMaxMs = Milliseconds(reader.Number(QStringLiteral("reconnectMaxSeconds"), 60, 0.05, 86400));
    if (broker.ReconnectMaxMs < broker.ReconnectMinMs)
        throw TConfigError{reader.PathOf(QStringLiteral("reconnectMaxSeconds")),
                           QStringLiteral("must not be below reconnectMinSeconds")};
}

QList<QRegularExpression> ReadPatterns(const TObjectReader &reader, const QString &key)
{
    QList<QRegularExpression> patterns;
    if (!reader.Has(key))
        return patterns;
    const QJsonValue value = reader.Value(key);
    const QJsonArray array = value.isString() ? QJsonArray{value} : value.toArray();
    if ((!value.isString() && !value.isArray()) || array.size() > 1000)
        throw TConfigError{reader.PathOf(key), QStringLiteral("must be a name pattern or a list of them "
                                                              "(\"nvo*\", \"*Temp*\")")};
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array.at(i).isString() || array.at(i).toString().isEmpty())
            throw TConfigError{Indexed(reader.PathOf(key), i), QStringLiteral("must be a name pattern")};
        patterns.append(QRegularExpression(
            QRegularExpression::wildcardToRegularExpression(array.at(i).toString()),
            QRegularExpression::CaseInsensitiveOption));
    }
    return patterns;
}

// The eight whole-number fields of a point address, each within the bounds POINTVERIFY
// checks (field 8's by the variable type of field 7).
void CheckAddress(const QString &path, const QString &address)
{
    if (address.split(u':').size() != 8 || address.contains(u'{') || address.contains(u'}')
        || address.contains(u','))
        throw TConfigError{path, QStringLiteral("\"%1\" is not a point address: expected "
                                                "domain:subnet:node:index:snvt:offset:type:parameter "
                                                "(e.g. 0:1:10:1:105:0:3:105); scale and object have "
                                                "settings of their own").arg(address)};
    const QString problem = VerifyPointAddress(address);
    if (!problem.isEmpty())
        throw TConfigError{path, QStringLiteral("\"%1\": %2").arg(address, problem)};
}

TConfiguredPoint ReadPoint(const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        throw TConfigError{path, QStringLiteral("must be an object with an address")};
    const TObjectReader reader(value.toObject(), path,
                               {QStringLiteral("address"), QStringLiteral("name"),
                                QStringLiteral("scale"), QStringLiteral("object"),
                                QStringLiteral("units"), QStringLiteral("kind"),
                                QStringLiteral("writable"), QStringLiteral("deviceClass")});
    TConfiguredPoint point;
    const QString address = reader.Text(QStringLiteral("address"), QString(), true).trimmed();
    CheckAddress(reader.PathOf(QStringLiteral("address")), address);
    point.Address = address;
    const double scale = reader.Number(QStringLiteral("scale"), 0, -1e12, 1e12);
    const QString object = reader.Text(QStringLiteral("object"));
    if (object.contains(u'{') || object.contains(u'}') || object.contains(u',') || object.size() > 31)
        throw TConfigError{reader.PathOf(QStringLiteral("object")),
                           QStringLiteral("must be a device object name of at most 31 characters "
                                          "without braces or commas (V1, P3, X1)")};
    if (scale != 0 || !object.isEmpty())
        point.Address += u',' + (scale != 0 ? QString::number(scale, 'g', 15) : QStringLiteral("0"));
    if (!object.isEmpty())
        point.Address += QStringLiteral(",D-") + object;
    point.Name = reader.Text(QStringLiteral("name"), address);
    if (point.Name.contains(u'{') || point.Name.contains(u'}'))
        throw TConfigError{reader.PathOf(QStringLiteral("name")), QStringLiteral("must not contain braces")};
    point.Units = reader.Text(QStringLiteral("units"));
    point.Kind = reader.Text(QStringLiteral("kind"));
    static const QStringList kinds{QStringLiteral("Analog"), QStringLiteral("Digital"),
                                   QStringLiteral("String"), QStringLiteral("DateTime")};
    if (!point.Kind.isEmpty() && !kinds.contains(point.Kind))
        throw TConfigError{reader.PathOf(QStringLiteral("kind")),
                           QStringLiteral("must be one of %1").arg(kinds.join(QStringLiteral(", ")))};
    point.Writable = reader.Flag(QStringLiteral("writable"), false);
    point.DeviceClass = IdText(reader.Text(QStringLiteral("deviceClass")));
    return point;
}

void ReadDomains(const TObjectReader &reader, TSiteSettings &settings)
{
    const QString key = QStringLiteral("domains");
    if (!reader.Has(key))
        return;
    const QJsonArray domains = reader.Value(key).toArray();
    if (!reader.Value(key).isArray() || domains.size() > 2)
        throw TConfigError{reader.PathOf(key), QStringLiteral("must be a list of at most two domains")};
    for (qsizetype d = 0; d < domains.size(); ++d) {
        const QString path = Indexed(reader.PathOf(key), d);
        if (!domains.at(d).isObject())
            throw TConfigError{path, QStringLiteral("must be an object (id, subnet, node)")};
        const TObjectReader domain(domains.at(d).toObject(), path,
                                   {QStringLiteral("id"), QStringLiteral("subnet"), QStringLiteral("node")});
        const QString id = domain.Text(QStringLiteral("id"));
        if (!id.isEmpty() && !IsDomainIdText(id))
            throw TConfigError{domain.PathOf(QStringLiteral("id")),
                               QStringLiteral("must be 1, 3 or 6 hex bytes separated by \":\" (4C, 12:34:56)")};
        settings.DomainId[d] = id;
        settings.DomainSubnet[d] = domain.Whole(QStringLiteral("subnet"), 0, 1, 255);
        settings.DomainNode[d] = domain.Whole(QStringLiteral("node"), 0, 1, 127);
        if ((settings.DomainSubnet[d] == 0) != (settings.DomainNode[d] == 0))
            throw TConfigError{path, QStringLiteral("subnet and node go together: give both or neither")};
    }
}

// The poll settings of Connect (docs/polling.md): numbers within the driver's ranges.
void ReadPolling(const TObjectReader &reader, TSiteSettings &settings)
{
    const std::tuple<const char *, double, QString *> numbers[] = {
        {"pollBudget", 1000, &settings.PollBudget},
        {"pollShare", 100, &settings.PollShare},
        {"pollRetrySeconds", 86400, &settings.PollRetry}};
    for (const auto &[name, high, target] : numbers) {
        const QString key = QLatin1String(name);
        if (!reader.Has(key))
            continue;
        const QJsonValue value = reader.Value(key);
        if (!value.isDouble() || value.toDouble() <= 0 || value.toDouble() > high)
            throw TConfigError{reader.PathOf(key), QStringLiteral("must be a number above 0 and at most %1").arg(high)};
        *target = QString::number(value.toDouble());
    }
    settings.Channel = reader.Text(QStringLiteral("channel"));
    if (!settings.PollShare.isEmpty() && settings.Channel.isEmpty())
        throw TConfigError{reader.PathOf(QStringLiteral("pollShare")), QStringLiteral("needs \"channel\": TP/FT-10 or PL-20")};
}

TSiteConfig ReadSite(const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        throw TConfigError{path, QStringLiteral("must be an object with a description")};
    const TObjectReader reader(value.toObject(), path,
                               {QStringLiteral("description"), QStringLiteral("topic"),
                                QStringLiteral("interface"), QStringLiteral("offline"),
                                QStringLiteral("fahrenheit"), QStringLiteral("domains"),
                                QStringLiteral("points"), QStringLiteral("include"),
                                QStringLiteral("exclude"), QStringLiteral("pollBudget"),
                                QStringLiteral("pollShare"), QStringLiteral("channel"),
                                QStringLiteral("pollRetrySeconds")});
    TSiteConfig site;
    site.Settings.Description = reader.Text(QStringLiteral("description"), QString(), true);
    site.Settings.Interface = reader.Text(QStringLiteral("interface"), QStringLiteral("LON1"));
    if (site.Settings.Interface.trimmed().isEmpty())
        throw TConfigError{reader.PathOf(QStringLiteral("interface")), QStringLiteral("must not be empty")};
    for (const QString &key : {QStringLiteral("description"), QStringLiteral("interface")}) {
        if (reader.Text(key).size() > kMaxSiteSetting)
            throw TConfigError{reader.PathOf(key), QStringLiteral("is longer than the driver's %1 characters")
                                                       .arg(kMaxSiteSetting)};
    }
    site.Settings.Offline = reader.Flag(QStringLiteral("offline"), false);
    site.Settings.Fahrenheit = reader.Flag(QStringLiteral("fahrenheit"), false);
    ReadDomains(reader, site.Settings);
    ReadPolling(reader, site.Settings);
    site.Topic = TopicLevel(reader.Text(QStringLiteral("topic"), site.Settings.Description));
    if (site.Topic.isEmpty())
        throw TConfigError{reader.PathOf(reader.Has(QStringLiteral("topic")) ? QStringLiteral("topic")
                                                                             : QStringLiteral("description")),
                           QStringLiteral("leaves no letters or digits for the site's topic")};
    if (site.Topic == QLatin1String("gateway"))
        throw TConfigError{reader.PathOf(QStringLiteral("topic")),
                           QStringLiteral("\"gateway\" is taken by the gateways' own status topics")};
    site.Include = ReadPatterns(reader, QStringLiteral("include"));
    site.Exclude = ReadPatterns(reader, QStringLiteral("exclude"));

    const QString key = QStringLiteral("points");
    const QJsonValue points = reader.Value(key);
    if (points.isUndefined() || points.toString() == QLatin1String("discover")) {
        site.Discover = true;
    } else if (points.isArray()) {
        site.Discover = false;
        const QJsonArray array = points.toArray();
        if (array.isEmpty() || array.size() > kMaxPoints)
            throw TConfigError{reader.PathOf(key), QStringLiteral("must list 1 to %1 points").arg(kMaxPoints)};
        QSet<QString> addresses;
        for (qsizetype i = 0; i < array.size(); ++i) {
            const TConfiguredPoint point = ReadPoint(array.at(i), Indexed(reader.PathOf(key), i));
            if (addresses.contains(point.Address))
                throw TConfigError{Indexed(reader.PathOf(key), i),
                                   QStringLiteral("the address %1 is listed twice").arg(point.Address)};
            addresses.insert(point.Address);
            site.Points.append(point);
        }
    } else {
        throw TConfigError{reader.PathOf(key),
                           QStringLiteral("must be \"discover\" or a list of points ({\"address\": ...})")};
    }
    return site;
}

void ReadRoot(const QJsonObject &root, const QString &folder, TGatewayConfig &config)
{
    const TObjectReader reader(root, QString(),
                               {QStringLiteral("broker"), QStringLiteral("gatewayId"),
                                QStringLiteral("topicPrefix"), QStringLiteral("homeAssistant"),
                                QStringLiteral("collectSeconds"), QStringLiteral("siteRetryMinSeconds"),
                                QStringLiteral("siteRetryMaxSeconds"),
                                QStringLiteral("commandTimeoutSeconds"), QStringLiteral("sites"),
                                QStringLiteral("bus")});
    ReadBroker(reader.Object(QStringLiteral("broker")), folder, config);
    // The driver's bus: "session" or "system"; without the key, LONWORKS_BUS or the session bus.
    const QJsonValue bus = reader.Value(QStringLiteral("bus"));
    QString busProblem;
    if (bus.isUndefined() ? !DefaultDriverBus(config.Bus, busProblem)
                          : !ParseDriverBus(bus.toString(), config.Bus))
        throw TConfigError{QStringLiteral("bus"),
                           busProblem.isEmpty() ? QStringLiteral("must be \"session\" or \"system\"")
                                                : busProblem};
    config.GatewayId = IdText(reader.Text(QStringLiteral("gatewayId"), config.Broker.ClientId));
    if (config.GatewayId.isEmpty())
        throw TConfigError{QStringLiteral("gatewayId"), QStringLiteral("needs letters or digits")};

    const QString prefix = reader.Text(QStringLiteral("topicPrefix"), config.Prefix);
    QStringList levels;
    for (const QString &level : prefix.split(u'/'))
        levels.append(TopicLevel(level));
    if (levels.contains(QString()) || prefix.contains(u'+') || prefix.contains(u'#'))
        throw TConfigError{QStringLiteral("topicPrefix"),
                           QStringLiteral("\"%1\" is not a topic prefix: use levels of letters, digits, "
                                          "\"_\", \"-\" and \".\" separated by \"/\" (lonworks, "
                                          "site/building-2)").arg(prefix)};
    config.Prefix = levels.join(u'/');

    const QJsonValue ha = reader.Value(QStringLiteral("homeAssistant"));
    if (ha.isBool()) {
        config.HomeAssistant = ha.toBool();
    } else if (ha.isObject()) {
        const TObjectReader haReader(ha.toObject(), QStringLiteral("homeAssistant"),
                                     {QStringLiteral("enabled"), QStringLiteral("discoveryPrefix")});
        config.HomeAssistant = haReader.Flag(QStringLiteral("enabled"), true);
        config.DiscoveryPrefix = TopicLevel(haReader.Text(QStringLiteral("discoveryPrefix"), config.DiscoveryPrefix));
        if (config.DiscoveryPrefix.isEmpty())
            throw TConfigError{haReader.PathOf(QStringLiteral("discoveryPrefix")), QStringLiteral("must not be empty")};
    } else if (!ha.isUndefined()) {
        throw TConfigError{QStringLiteral("homeAssistant"),
                           QStringLiteral("must be true, false or an object (enabled, discoveryPrefix)")};
    }

    config.CollectIntervalMs = Milliseconds(reader.Number(QStringLiteral("collectSeconds"), 1, 0.05, 3600));
    config.RetryMinMs = Milliseconds(reader.Number(QStringLiteral("siteRetryMinSeconds"), 1, 0.05, 3600));
    config.RetryMaxMs = Milliseconds(reader.Number(QStringLiteral("siteRetryMaxSeconds"), 60, 0.05, 86400));
    if (config.RetryMaxMs < config.RetryMinMs)
        throw TConfigError{QStringLiteral("siteRetryMaxSeconds"), QStringLiteral("must not be below siteRetryMinSeconds")};
    config.CommandTimeoutMs = Milliseconds(reader.Number(QStringLiteral("commandTimeoutSeconds"), 60, 1, 3600));

    const QJsonValue sites = reader.Value(QStringLiteral("sites"));
    if (!sites.isArray() || sites.toArray().isEmpty() || sites.toArray().size() > kMaxSites)
        throw TConfigError{QStringLiteral("sites"),
                           QStringLiteral("must list 1 to %1 sites ({\"description\": \"Plant\", ...})").arg(kMaxSites)};
    QSet<QString> topics;
    QSet<QString> descriptions;
    const QJsonArray array = sites.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString path = Indexed(QStringLiteral("sites"), i);
        TSiteConfig site = ReadSite(array.at(i), path);
        if (topics.contains(site.Topic))
            throw TConfigError{path, QStringLiteral("its topic \"%1\" is already another site's: give "
                                                    "one of them a \"topic\" of its own").arg(site.Topic)};
        if (descriptions.contains(site.Settings.Description.toUpper()))
            throw TConfigError{Item(path, QStringLiteral("description")),
                               QStringLiteral("\"%1\" is listed twice (the driver matches descriptions "
                                              "without regard to case)").arg(site.Settings.Description)};
        topics.insert(site.Topic);
        descriptions.insert(site.Settings.Description.toUpper());
        config.Sites.append(site);
    }
}

} // namespace

QString DefaultConfigPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("lonworks/gateway.json"));
}

bool ReadGatewayConfig(const QByteArray &json, const QString &folder, TGatewayConfig &config,
                       QString &problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        const qsizetype line = json.left(error.offset).count('\n') + 1;
        problem = QStringLiteral("line %1: not valid JSON (%2)").arg(line).arg(error.errorString());
        return false;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("the file must hold one JSON object ({...})");
        return false;
    }
    config = TGatewayConfig();
    try {
        ReadRoot(document.object(), folder, config);
    } catch (const TConfigError &bad) {
        problem = bad.Path.isEmpty() ? bad.Message : bad.Path + QStringLiteral(": ") + bad.Message;
        return false;
    }
    config.Broker.WillTopic = config.Prefix + QStringLiteral("/gateway/") + config.GatewayId
        + QStringLiteral("/status");
    config.Broker.WillPayload = QByteArrayLiteral("offline");
    return true;
}

bool LoadGatewayConfig(const QString &path, TGatewayConfig &config, QString &problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1: cannot read the configuration: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxConfigBytes) {
        problem = QStringLiteral("%1: the configuration is larger than %2 bytes").arg(path).arg(kMaxConfigBytes);
        return false;
    }
    const QByteArray json = file.read(kMaxConfigBytes);
    if (!ReadGatewayConfig(json, QFileInfo(path).absolutePath(), config, problem)) {
        problem = path + QStringLiteral(": ") + problem;
        return false;
    }
    return true;
}
