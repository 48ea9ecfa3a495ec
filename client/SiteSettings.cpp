#include "client/SiteSettings.h"

#include <QRegularExpression>

QStringList TSiteSettings::ConnectRequest() const
{
    QStringList request{QStringLiteral("DESCRIPTION=") + Description,
                        QStringLiteral("SP1=") + Interface};
    if (Offline)
        request.append(QStringLiteral("OFFLINE=TRUE"));
    if (Fahrenheit)
        request.append(QStringLiteral("BP1=TRUE"));
    static const char *const idKeys[2] = {"SP2", "SP3"};
    static const char *const subnetKeys[2] = {"FP1", "FP2"};
    static const char *const nodeKeys[2] = {"IP1", "IP2"};
    for (int d = 0; d < 2; ++d) {
        if (!DomainId[d].isEmpty())
            request.append(QLatin1String(idKeys[d]) + u'=' + DomainId[d]);
        if (DomainSubnet[d] != 0)
            request.append(QLatin1String(subnetKeys[d]) + u'=' + QString::number(DomainSubnet[d]));
        if (DomainNode[d] != 0)
            request.append(QLatin1String(nodeKeys[d]) + u'=' + QString::number(DomainNode[d]));
    }
    const std::pair<const char *, const QString *> poll[] = {
        {"POLLBUDGET", &PollBudget}, {"POLLSHARE", &PollShare}, {"CHANNEL", &Channel}, {"POLLRETRY", &PollRetry}};
    for (const auto &[key, value] : poll)
        if (!value->isEmpty())
            request.append(QLatin1String(key) + u'=' + *value);
    return request;
}

bool IsDomainIdText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){0,5}$"));
    const int bytes = int(text.count(u':')) + 1;
    return pattern.match(text).hasMatch() && (bytes == 1 || bytes == 3 || bytes == 6);
}
