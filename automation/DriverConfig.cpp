#include "automation/DriverConfig.h"

#include "support/JsonRules.h"
#include "support/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A configuration of two keys; anything larger is not one.
constexpr qint64 kMaxConfigBytes = 64 * 1024;

} // namespace

QString DriverConfigPath()
{
    const QString chosen = qEnvironmentVariable("LONWORKS_DRIVER_CONFIG");
    return chosen.isEmpty() ? QStringLiteral("/etc/lonworks/driver.json") : chosen;
}

bool LoadDriverConfig(const QString &path, TDriverConfig &config, QString &problem)
{
    config = TDriverConfig();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    // The file is root's to write; a link to it (as /etc keeps them) is read where it points.
    const std::optional<QByteArray> bytes = ReadRegularFile(info.canonicalFilePath(), kMaxConfigBytes);
    if (!bytes) {
        problem = QStringLiteral("%1: not a readable file of at most %2 bytes").arg(path).arg(kMaxConfigBytes);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        problem = QStringLiteral("%1: not a JSON object (%2)").arg(path, parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    try {
        jsonrules::onlyKeys(root, {QStringLiteral("bus"), QStringLiteral("library")}, QStringLiteral("settings"));
        const QJsonValue bus = root.value(QLatin1String("bus"));
        if (bus == QLatin1String("session"))
            config.Bus = TServeBus::Session;
        else if (bus == QLatin1String("system"))
            config.Bus = TServeBus::System;
        else if (!bus.isUndefined())
            jsonrules::refuse(QStringLiteral("bus: must be \"session\" or \"system\""));
        const QJsonValue library = root.value(QLatin1String("library"));
        if (!library.isUndefined() && (!library.isString() || QDir::isRelativePath(library.toString())))
            jsonrules::refuse(QStringLiteral("library: must be the absolute path of a driver library"));
        config.Library = library.toString();
    } catch (const jsonrules::Refusal &refusal) {
        problem = path + QStringLiteral(": ") + refusal.why;
        return false;
    }
    return true;
}
