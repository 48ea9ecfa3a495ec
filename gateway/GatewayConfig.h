#pragma once
// The gateway's configuration file (JSON): the broker, the topic layout, Home Assistant
// discovery and the sites with their points. Read and checked at start; every problem is
// reported with the path of the item in the file ("sites[1].points[3].address: ...").

#include "client/DriverBus.h"
#include "client/SiteSettings.h"
#include "gateway/MqttConnection.h"

#include <QList>
#include <QRegularExpression>
#include <QString>

// One point of an explicit list.
struct TConfiguredPoint
{
    QString Address;        // the eight fields, with ",scale" and ",D-object" when given
    QString Name;
    QString Units;          // empty: from the SNVT catalogue
    QString Kind;           // empty: from the address's variable type
    bool Writable = false;  // writes are allowed only for points marked writable
    QString DeviceClass;    // Home Assistant device class; empty: from the units
};

struct TSiteConfig
{
    TSiteSettings Settings;     // DESCRIPTION, interface and the other Connect settings
    QString Topic;              // the site's topic level (sanitised description by default)
    bool Discover = true;       // every point discovery finds, filtered by name
    QList<QRegularExpression> Include;   // empty: all
    QList<QRegularExpression> Exclude;
    QList<TConfiguredPoint> Points;      // the explicit list when Discover is false
};

struct TGatewayConfig
{
    TMqttSettings Broker;
    TDriverBus Bus = TDriverBus::Session;   // where the driver is reached
    QString GatewayId;          // topic level of <prefix>/gateway/<id>/status and HA's node id
    QString Prefix = QStringLiteral("lonworks");
    bool HomeAssistant = true;
    QString DiscoveryPrefix = QStringLiteral("homeassistant");
    int CollectIntervalMs = 1000;     // how often the polled values are collected
    int RetryMinMs = 1000;            // reconnecting a site: the first pause, doubled up to
    int RetryMaxMs = 60000;           // this
    int CommandTimeoutMs = 60000;     // a driver command that takes longer counts as lost
    int DiscoveryTimeoutMs = 600000;
    QList<TSiteConfig> Sites;
};

// The default path: $XDG_CONFIG_HOME/lonworks/gateway.json.
QString DefaultConfigPath();

// Reads and checks the file. False with a message naming the file and the bad item.
bool LoadGatewayConfig(const QString &path, TGatewayConfig &config, QString &problem);
// The same for a JSON text (the file's folder resolves relative paths).
bool ReadGatewayConfig(const QByteArray &json, const QString &folder, TGatewayConfig &config,
                       QString &problem);
