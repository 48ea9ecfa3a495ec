#include "xif/DeviceNames.h"

#include "support/JsonRules.h"
#include "xif/BoundedFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace xif {

QString deviceNameProblem(const QString &name)
{
    if (name.trimmed().isEmpty() || name.size() > MaxDeviceNameLength)
        return QStringLiteral("a device name is 1 to %1 characters, not only blanks").arg(MaxDeviceNameLength);
    for (QChar c : name)
        if (c == u'{' || c == u'}' || c == u'/' || c == u':' || c.category() == QChar::Other_Control)
            return QStringLiteral("a device name has no braces, \"/\", \":\" or control characters");
    return QString();
}

QString normalDeviceAddress(const QString &text)
{
    const QStringList parts = text.trimmed().split(u':');
    if (parts.size() != 3)
        return QString();
    const int high[] = {1, 255, 127};
    const int low[] = {0, 1, 1};
    QStringList normal;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int n = parts.at(i).toInt(&ok, 10);
        if (!ok || n < low[i] || n > high[i] || parts.at(i).size() > 3)
            return QString();
        normal.append(QString::number(n));
    }
    return normal.join(u':');
}

QString DeviceNames::defaultPath()
{
    const QString explicitPath = qEnvironmentVariable("LONWORKS_DEVICE_NAMES");
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/lonworks/device-names.json");
    if (QFileInfo::exists(user))
        return user;
    return QStringLiteral("/etc/lonworks/device-names.json");
}

DeviceNames DeviceNames::parse(QByteArrayView json, const QString &sourceName, QString &error)
{
    using jsonrules::refuse;
    DeviceNames names;
    try {
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &parseError);
        if (parseError.error != QJsonParseError::NoError)
            refuse(QStringLiteral("not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString()));
        if (!doc.isObject())
            refuse(QStringLiteral("the names file must be a JSON object"));
        jsonrules::onlyKeys(doc.object(), {QStringLiteral("sites")}, QStringLiteral("top level"));
        const QJsonObject sites = doc.object().value(QStringLiteral("sites")).toObject();
        int count = 0;
        for (auto site = sites.begin(); site != sites.end(); ++site) {
            const QString where = QStringLiteral("sites.") + site.key();
            if (!site.value().isObject())
                refuse(where + QStringLiteral(": the site's names must be an object of \"d:s:n\": \"name\""));
            const QString siteKey = site.key().toUpper();
            if (names.m_sites.contains(siteKey))
                refuse(where + QStringLiteral(": the site is named twice (letter case aside)"));
            QHash<QString, QString> &byAddress = names.m_sites[siteKey];
            QHash<QString, QString> byName;
            const QJsonObject entries = site.value().toObject();
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                const QString at = where + u'.' + it.key();
                if (++count > MaxNamedDevices)
                    refuse(QStringLiteral("more than %1 device names").arg(MaxNamedDevices));
                const QString address = normalDeviceAddress(it.key());
                if (address.isEmpty())
                    refuse(at + QStringLiteral(": the key must be a device address domain:subnet:node (0-1:1-255:1-127)"));
                if (!it.value().isString())
                    refuse(at + QStringLiteral(": the name must be a text"));
                const QString name = it.value().toString().trimmed();
                const QString problem = deviceNameProblem(name);
                if (!problem.isEmpty())
                    refuse(at + QStringLiteral(": ") + problem);
                if (byAddress.contains(address))
                    refuse(at + QStringLiteral(": the address is named twice"));
                if (byName.contains(name.toUpper()))
                    refuse(QStringLiteral("%1: \"%2\" also names %3").arg(at, name, byName.value(name.toUpper())));
                byName.insert(name.toUpper(), address);
                byAddress.insert(address, name);
            }
        }
    } catch (const jsonrules::Refusal &refusal) {
        error = sourceName + QStringLiteral(": ") + refusal.why;
        return DeviceNames();
    }
    return names;
}

DeviceNames DeviceNames::load(const QString &path, QString &error)
{
    if (!QFileInfo::exists(path))
        return DeviceNames();
    const std::optional<QByteArray> bytes = readBoundedFile(path, MaxNamesFileBytes, error);
    if (!bytes) {
        error = path + QStringLiteral(": ") + error;
        return DeviceNames();
    }
    return parse(*bytes, path, error);
}

QHash<QString, QString> DeviceNames::forSite(const QString &description) const
{
    return m_sites.value(description.toUpper());
}

} // namespace xif
