#include "ldv/tids/TidStateFile.h"

#include "support/SafeFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>

namespace ldv {

namespace {

constexpr qint64 MaxFileBytes = 1 << 20;       // 4096 destinations take about a third of it
constexpr int MaxDestinationBytes = 64;
constexpr int MaxNameCharacters = 80;
const QLatin1String FormatName("lonworks-tids/1");

// A destination key as written: hex digits, an even number of them, at most 64 bytes.
std::optional<QByteArray> destinationOf(const QJsonValue &value)
{
    const QString text = value.toString();
    if (text.isEmpty() || text.size() % 2 || text.size() > 2 * MaxDestinationBytes)
        return std::nullopt;
    for (QChar c : text)
        if (!c.isDigit() && !(c.toLower() >= u'a' && c.toLower() <= u'f'))
            return std::nullopt;
    return QByteArray::fromHex(text.toLatin1());
}

} // namespace

QString tidStatePath(const QString &name)
{
    return interfaceStatePath(QStringLiteral("tids"), name);
}

QString interfaceStatePath(const QString &kind, const QString &name)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isDir())
        return {};
    QString key = QString::fromLatin1(QUrl::toPercentEncoding(name.toLower()));
    if (key.isEmpty() || key.size() > MaxNameCharacters)
        key = QString::fromLatin1(QCryptographicHash::hash(name.toLower().toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
    return runtime + QStringLiteral("/lonworks/") + kind + QLatin1Char('-') + key + QStringLiteral(".json");
}

std::optional<ip852::TidTable::Snapshot> readTidState(const QString &path, int64_t now, int holdMs)
{
    if (path.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, MaxFileBytes);
    if (!bytes)
        return std::nullopt;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    const qint64 written = o.value(QLatin1String("writtenMs")).toInteger(-1);
    if (o.value(QLatin1String("format")).toString() != FormatName || written < 0)
        return std::nullopt;
    // A clock set back since the file was written makes no time pass (held for the full time).
    const qint64 elapsed = std::max<qint64>(0, QDateTime::currentMSecsSinceEpoch() - written);

    ip852::TidTable::Snapshot s;
    const QJsonArray last = o.value(QLatin1String("last")).toArray();
    for (int p = 0; p < 2 && p < last.size(); ++p)
        s.last[p] = uint8_t(std::clamp<qint64>(last.at(p).toInteger(0), 0, 15));
    const QJsonArray held = o.value(QLatin1String("held")).toArray();
    for (qsizetype i = 0; i < held.size() && s.entries.size() < ip852::TidTable::MaxDestinations; ++i) {
        const QJsonObject e = held.at(i).toObject();
        const std::optional<QByteArray> destination = destinationOf(e.value(QLatin1String("destination")));
        const QJsonValue priority = e.value(QLatin1String("priority"));
        const qint64 tid = e.value(QLatin1String("tid")).toInteger(-1);
        const qint64 remaining = e.value(QLatin1String("remainingMs")).toInteger(-1);
        if (!destination || !priority.isBool() || tid < 0 || tid > 15 || remaining < 0)
            continue;
        const qint64 left = std::min<qint64>(remaining, holdMs) - elapsed;
        if (left > 0)
            s.entries.append(ip852::TidTable::Entry{*destination, priority.toBool(), uint8_t(tid), now + left});
    }
    return s;
}

bool writeTidState(const QString &path, const ip852::TidTable::Snapshot &snapshot, int64_t now, QString &error)
{
    QJsonArray held;
    for (const ip852::TidTable::Entry &e : snapshot.entries) {
        const qint64 remaining = e.until - now;
        if (remaining > 0)
            held.append(QJsonObject{{QStringLiteral("destination"), QString::fromLatin1(e.destination.toHex())},
                                    {QStringLiteral("priority"), e.priority},
                                    {QStringLiteral("tid"), int(e.tid)},
                                    {QStringLiteral("remainingMs"), remaining}});
    }
    const QJsonObject o{{QStringLiteral("format"), FormatName},
                        {QStringLiteral("writtenMs"), QDateTime::currentMSecsSinceEpoch()},
                        {QStringLiteral("last"), QJsonArray{int(snapshot.last[0]), int(snapshot.last[1])}},
                        {QStringLiteral("held"), held}};
    return ReplaceFile(path, QJsonDocument(o).toJson(QJsonDocument::Compact), error);
}

} // namespace ldv
