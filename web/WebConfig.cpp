#include "web/WebConfig.h"

#include "client/SiteSettings.h"
#include "support/JsonRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>

namespace {

constexpr qint64 kMaxConfigBytes = 1024 * 1024;
// One driver object per site on the console's connection; the driver allows 64 per
// connection, and a site's object is replaced while the old one is given back.
constexpr int kMaxSites = 32;
constexpr int kMaxSiteSetting = 255;   // the longest DESCRIPTION and SP1 the driver takes
constexpr int kMaxTrendSamples = 100000;

using jsonrules::refuse;

QString Item(const QString &parent, const QString &key)
{
    return parent.isEmpty() ? key : parent + u'.' + key;
}

QString Text(const QJsonObject &o, const QString &key, const QString &where, const QString &fallback = QString())
{
    if (!o.contains(key))
        return fallback;
    if (!o.value(key).isString())
        refuse(Item(where, key) + QStringLiteral(": a text expected"));
    return o.value(key).toString();
}

bool Flag(const QJsonObject &o, const QString &key, const QString &where, bool fallback)
{
    if (!o.contains(key))
        return fallback;
    if (!o.value(key).isBool())
        refuse(Item(where, key) + QStringLiteral(": true or false expected"));
    return o.value(key).toBool();
}

// Seconds in the file, milliseconds in the program.
int Milliseconds(const QJsonObject &o, const QString &key, const QString &where, int fallbackMs,
                 double low, double high)
{
    if (!o.contains(key))
        return fallbackMs;
    const double seconds = o.value(key).toDouble(-1);
    if (!o.value(key).isDouble() || seconds < low || seconds > high)
        refuse(Item(where, key) + QStringLiteral(": a number of seconds %1..%2 expected").arg(low).arg(high));
    return int(seconds * 1000.0 + 0.5);
}

QString FilePath(const QJsonObject &o, const QString &key, const QString &where, const QString &folder)
{
    const QString path = Text(o, key, where);
    if (path.isEmpty())
        return path;
    const QString resolved = QDir::isAbsolutePath(path) ? path : QDir(folder).filePath(path);
    if (!QFileInfo(resolved).isReadable())
        refuse(Item(where, key) + QStringLiteral(": cannot read \"%1\"").arg(resolved));
    return resolved;
}

TWebSiteConfig ReadSite(const QJsonValue &value, const QString &where)
{
    if (!value.isObject())
        refuse(where + QStringLiteral(": an object with a description expected"));
    const QJsonObject o = value.toObject();
    jsonrules::onlyKeys(o, {QStringLiteral("description"), QStringLiteral("interface"),
                            QStringLiteral("offline"), QStringLiteral("fahrenheit")}, where);
    TWebSiteConfig site;
    site.Settings.Description = Text(o, QStringLiteral("description"), where).trimmed();
    if (site.Settings.Description.isEmpty())
        refuse(Item(where, QStringLiteral("description")) + QStringLiteral(": required, not empty"));
    site.Settings.Interface = Text(o, QStringLiteral("interface"), where, QStringLiteral("LON1")).trimmed();
    if (site.Settings.Interface.isEmpty())
        refuse(Item(where, QStringLiteral("interface")) + QStringLiteral(": must not be empty"));
    if (site.Settings.Description.size() > kMaxSiteSetting)
        refuse(Item(where, QStringLiteral("description")) + QStringLiteral(": longer than the driver's %1 characters").arg(kMaxSiteSetting));
    if (site.Settings.Interface.size() > kMaxSiteSetting)
        refuse(Item(where, QStringLiteral("interface")) + QStringLiteral(": longer than the driver's %1 characters").arg(kMaxSiteSetting));
    site.Settings.Offline = Flag(o, QStringLiteral("offline"), where, false);
    site.Settings.Fahrenheit = Flag(o, QStringLiteral("fahrenheit"), where, false);
    return site;
}

void ReadRoot(const QJsonObject &root, const QString &folder, TWebConfig &config)
{
    jsonrules::onlyKeys(root, {QStringLiteral("listen"), QStringLiteral("tls"), QStringLiteral("users"),
                               QStringLiteral("bus"), QStringLiteral("collectSeconds"),
                               QStringLiteral("statusSeconds"), QStringLiteral("commandTimeoutSeconds"),
                               QStringLiteral("discoveryTimeoutSeconds"), QStringLiteral("siteRetryMinSeconds"),
                               QStringLiteral("siteRetryMaxSeconds"), QStringLiteral("trend"),
                               QStringLiteral("sites")}, QStringLiteral("(top)"));
    if (root.contains(QStringLiteral("listen"))) {
        const QJsonObject listen = root.value(QStringLiteral("listen")).toObject();
        if (!root.value(QStringLiteral("listen")).isObject())
            refuse(QStringLiteral("listen: an object {\"address\", \"port\"} expected"));
        jsonrules::onlyKeys(listen, {QStringLiteral("address"), QStringLiteral("port")}, QStringLiteral("listen"));
        const QString address = Text(listen, QStringLiteral("address"), QStringLiteral("listen"), QStringLiteral("127.0.0.1"));
        if (!config.Address.setAddress(address))
            refuse(QStringLiteral("listen.address: \"%1\" is not an IP address (127.0.0.1, ::1, 0.0.0.0)").arg(address));
        if (listen.contains(QStringLiteral("port")))
            config.Port = quint16(jsonrules::number(listen.value(QStringLiteral("port")), 0, 65535, QStringLiteral("listen.port")));
    }
    if (root.contains(QStringLiteral("tls"))) {
        const QJsonObject tls = root.value(QStringLiteral("tls")).toObject();
        jsonrules::onlyKeys(tls, {QStringLiteral("certificate"), QStringLiteral("key")}, QStringLiteral("tls"));
        config.CertificateFile = FilePath(tls, QStringLiteral("certificate"), QStringLiteral("tls"), folder);
        config.KeyFile = FilePath(tls, QStringLiteral("key"), QStringLiteral("tls"), folder);
        if (config.CertificateFile.isEmpty() != config.KeyFile.isEmpty())
            refuse(QStringLiteral("tls: both a certificate and a key file are needed"));
    }
    config.UsersFile = FilePath(root, QStringLiteral("users"), QString(), folder);
    const QString bus = Text(root, QStringLiteral("bus"), QString(), QStringLiteral("session"));
    if (bus != QLatin1String("session") && bus != QLatin1String("system"))
        refuse(QStringLiteral("bus: \"session\" or \"system\" expected"));
    config.SystemBus = bus == QLatin1String("system");
    config.CollectIntervalMs = Milliseconds(root, QStringLiteral("collectSeconds"), QString(), config.CollectIntervalMs, 0.1, 3600);
    config.StatusIntervalMs = Milliseconds(root, QStringLiteral("statusSeconds"), QString(), config.StatusIntervalMs, 1, 86400);
    config.CommandTimeoutMs = Milliseconds(root, QStringLiteral("commandTimeoutSeconds"), QString(), config.CommandTimeoutMs, 1, 3600);
    config.DiscoveryTimeoutMs = Milliseconds(root, QStringLiteral("discoveryTimeoutSeconds"), QString(), config.DiscoveryTimeoutMs, 1, 86400);
    config.RetryMinMs = Milliseconds(root, QStringLiteral("siteRetryMinSeconds"), QString(), config.RetryMinMs, 0.05, 3600);
    config.RetryMaxMs = Milliseconds(root, QStringLiteral("siteRetryMaxSeconds"), QString(), config.RetryMaxMs, 0.05, 86400);
    if (config.RetryMaxMs < config.RetryMinMs)
        refuse(QStringLiteral("siteRetryMaxSeconds: must not be below siteRetryMinSeconds"));
    if (root.contains(QStringLiteral("trend"))) {
        const QJsonObject trend = root.value(QStringLiteral("trend")).toObject();
        jsonrules::onlyKeys(trend, {QStringLiteral("samples"), QStringLiteral("minSpacingSeconds"),
                                    QStringLiteral("csvFolder")}, QStringLiteral("trend"));
        if (trend.contains(QStringLiteral("samples")))
            config.TrendSamples = jsonrules::number(trend.value(QStringLiteral("samples")), 0, kMaxTrendSamples,
                                                    QStringLiteral("trend.samples"));
        config.TrendMinSpacingMs = Milliseconds(trend, QStringLiteral("minSpacingSeconds"), QStringLiteral("trend"),
                                                config.TrendMinSpacingMs, 0, 3600);
        const QString csv = Text(trend, QStringLiteral("csvFolder"), QStringLiteral("trend"));
        config.TrendCsvFolder = csv.isEmpty() || QDir::isAbsolutePath(csv) ? csv : QDir(folder).filePath(csv);
    }
    const QJsonValue sites = root.value(QStringLiteral("sites"));
    if (!sites.isArray() || sites.toArray().isEmpty() || sites.toArray().size() > kMaxSites)
        refuse(QStringLiteral("sites: a list of 1 to %1 sites expected ({\"description\": \"Plant\"})").arg(kMaxSites));
    QSet<QString> names;
    const QJsonArray array = sites.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("sites[%1]").arg(i);
        const TWebSiteConfig site = ReadSite(array.at(i), where);
        // The driver matches descriptions without regard to case.
        if (names.contains(site.Settings.Description.toUpper()))
            refuse(Item(where, QStringLiteral("description")) + QStringLiteral(": \"%1\" is listed twice").arg(site.Settings.Description));
        names.insert(site.Settings.Description.toUpper());
        config.Sites.append(site);
    }
}

} // namespace

QString DefaultWebConfigPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("lonworks/web.json"));
}

bool ReadWebConfig(const QByteArray &json, const QString &folder, TWebConfig &config, QString &problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        problem = QStringLiteral("line %1: not valid JSON (%2)")
                      .arg(json.left(error.offset).count('\n') + 1).arg(error.errorString());
        return false;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("the file must hold one JSON object ({...})");
        return false;
    }
    config = TWebConfig();
    try {
        ReadRoot(document.object(), folder, config);
    } catch (const jsonrules::Refusal &refusal) {
        problem = refusal.why;
        return false;
    }
    return true;
}

bool LoadWebConfig(const QString &path, TWebConfig &config, QString &problem)
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
    if (!ReadWebConfig(file.read(kMaxConfigBytes), QFileInfo(path).absolutePath(), config, problem)) {
        problem = path + QStringLiteral(": ") + problem;
        return false;
    }
    return true;
}

bool ExposureAllowed(const TWebConfig &config, bool insecure, QString &problem)
{
    if (config.Loopback() || insecure)
        return true;
    if (!config.Tls() || config.UsersFile.isEmpty()) {
        problem = QStringLiteral("listening on %1 reaches beyond this machine: that needs \"tls\" (a certificate "
                                 "and key) and a \"users\" file, or --insecure to do without")
                      .arg(config.Address.toString());
        return false;
    }
    return true;
}
