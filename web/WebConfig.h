#pragma once
// The console's configuration file (JSON): where it listens, TLS, the users file, the
// sites it shows and how long it keeps trends. Read and checked at start; a problem is
// reported with the item's path ("sites[1].interface: ..."), unknown keys are refused.

#include "client/SiteSettings.h"

#include <QHostAddress>
#include <QList>
#include <QString>

struct TWebSiteConfig
{
    TSiteSettings Settings;
};

struct TWebConfig
{
    QHostAddress Address = QHostAddress(QHostAddress::LocalHost);
    quint16 Port = 8080;
    QString CertificateFile;         // TLS when both are given
    QString KeyFile;
    QString UsersFile;               // empty: no logins, read-only for everyone (loopback only)
    bool SystemBus = false;          // the driver on the system bus instead of the session bus
    int CollectIntervalMs = 500;     // how often the polled values are collected
    int StatusIntervalMs = 30000;    // SITESTATUS and SITETIME
    int CommandTimeoutMs = 60000;
    int DiscoveryTimeoutMs = 600000;
    int RetryMinMs = 1000;
    int RetryMaxMs = 60000;
    int TrendSamples = 240;          // kept per point, in memory
    int TrendMinSpacingMs = 1000;    // a point's samples at most this often
    QString TrendCsvFolder;          // empty: no files
    QList<TWebSiteConfig> Sites;

    bool Tls() const { return !CertificateFile.isEmpty(); }
    bool Loopback() const { return Address.isLoopback(); }
};

// $XDG_CONFIG_HOME/lonworks/web.json.
QString DefaultWebConfigPath();

bool LoadWebConfig(const QString &path, TWebConfig &config, QString &problem);
// The same for a JSON text; relative file names are taken from `folder`.
bool ReadWebConfig(const QByteArray &json, const QString &folder, TWebConfig &config, QString &problem);

// Listening beyond the loopback needs TLS and a users file unless `insecure`: false with
// the reason otherwise.
bool ExposureAllowed(const TWebConfig &config, bool insecure, QString &problem);
