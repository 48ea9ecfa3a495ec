#include "site/PollSettings.h"

#include "site/DriverLimits.h"
#include "support/ParamList.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <cmath>
#include <stdexcept>

namespace {

// A number of the request, or nullopt when the key is absent; a text that is no number
// throws.
std::optional<double> NumberOf(const QVariant &request, const QString &key)
{
    QString text;
    if (!FindParam(request, key, text) || text.trimmed().isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw std::invalid_argument(qPrintable(key + QStringLiteral(" is not a number")));
    return value;
}

void CheckRange(double value, double min, double max, const char *limit)
{
    if (value < min || value > max)
        throw TLimitExceeded(limit, qint64(max));
}

} // namespace

QString TPollSettings::Describe() const
{
    if (Share > 0)
        return QStringLiteral("%1 % of %2").arg(Share).arg(Channel.describe());
    if (Budget > 0)
        return QStringLiteral("%1 fetches/s").arg(Budget);
    return QStringLiteral("one fetch per tick");
}

TPollSettings ReadPollSettings(const QVariant &request)
{
    TPollSettings settings;
    QString channel;
    if (FindParam(request, QStringLiteral("CHANNEL"), channel) && !channel.trimmed().isEmpty()) {
        const auto parsed = lontalk::channel::parseChannel(channel);
        if (!parsed)
            throw std::invalid_argument("CHANNEL is not TP/FT-10, PL-20 or IP");
        settings.Channel = *parsed;
    }
    if (const auto rate = NumberOf(request, QStringLiteral("CHANNELBITRATE")); rate && settings.Channel.timed()) {
        CheckRange(*rate, lontalk::channel::MinBitRate, lontalk::channel::MaxBitRate, "CHANNELBITRATE (bit/s)");
        settings.Channel.bitRate = int(*rate);
    }
    if (const auto budget = NumberOf(request, QStringLiteral("POLLBUDGET"))) {
        CheckRange(*budget, TPollSettings::MinBudget, TPollSettings::MaxBudget, "POLLBUDGET (fetches per second, from 0.1)");
        settings.Budget = *budget;
    }
    if (const auto share = NumberOf(request, QStringLiteral("POLLSHARE"))) {
        CheckRange(*share, TPollSettings::MinShare, TPollSettings::MaxShare, "POLLSHARE (percent of the channel, from 1)");
        if (!settings.Channel.timed())
            throw std::invalid_argument("POLLSHARE needs CHANNEL=TP/FT-10 or PL-20");
        settings.Share = *share;
    }
    if (const auto retry = NumberOf(request, QStringLiteral("POLLRETRY"))) {
        CheckRange(*retry, 1, TPollSettings::MaxRetrySeconds, "POLLRETRY (seconds, from 1)");
        settings.RetrySeconds = int(*retry);
    }
    return settings;
}

qint64 MonotonicMicroseconds()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

TPollClass PollClassOfEntry(const QString &entry)
{
    if (!entry.contains(QLatin1String("POLL"), Qt::CaseInsensitive))
        return TPollClass::Normal;
    static const QRegularExpression group(QStringLiteral("\\{\\s*POLL\\s*=\\s*(FAST|NORMAL|SLOW)\\s*\\}"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = group.match(entry);
    if (!match.hasMatch())
        return TPollClass::Normal;
    const QString word = match.captured(1).toUpper();
    return word == QLatin1String("FAST") ? TPollClass::Fast
         : word == QLatin1String("SLOW") ? TPollClass::Slow
                                         : TPollClass::Normal;
}
