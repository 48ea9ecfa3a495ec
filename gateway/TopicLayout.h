#pragma once
// Where everything goes on the broker:
//   <prefix>/gateway/<id>/status            online / offline (the will), retained
//   <prefix>/<site>/status                  online / offline, retained
//   <prefix>/<site>/<point>/state           the value, retained
//   <prefix>/<site>/<point>/attributes      JSON, retained
//   <prefix>/<site>/<point>/set             written by others: a value to write
//   <prefix>/<site>/<point>/result          the outcome of each set
//   <discovery>/<component>/<gateway id>/<object id>/config   Home Assistant discovery

#include <QString>

struct TTopicLayout
{
    QString Prefix;
    QString GatewayId;
    QString DiscoveryPrefix;

    QString GatewayStatus() const { return Prefix + QStringLiteral("/gateway/") + GatewayId + QStringLiteral("/status"); }
    QString SiteStatus(const QString &site) const { return Prefix + u'/' + site + QStringLiteral("/status"); }
    QString Point(const QString &site, const QString &point, const char *leaf) const
    {
        return Prefix + u'/' + site + u'/' + point + u'/' + QLatin1String(leaf);
    }
    // The set topics of one site, for the subscription.
    QString SetPattern(const QString &site) const { return Prefix + u'/' + site + QStringLiteral("/+/set"); }
    QString Discovery(const QString &component, const QString &objectId) const
    {
        return DiscoveryPrefix + u'/' + component + u'/' + GatewayId + u'/' + objectId + QStringLiteral("/config");
    }
    // Home Assistant announces itself here after a start; discovery is then sent again.
    QString HomeAssistantStatus() const { return DiscoveryPrefix + QStringLiteral("/status"); }
};
