#pragma once
// The options that name a site and its network interface, checked before the driver is
// contacted, and the Connect request built from them.

#include <QCommandLineParser>
#include <QStringList>

struct TSiteOptions
{
    QString Description;
    QString Interface = QStringLiteral("LON1");
    bool Offline = false;
    bool Fahrenheit = false;
    QString DomainId[2];
    int DomainSubnet[2] = {0, 0};   // 0: keep the interface's own
    int DomainNode[2] = {0, 0};

    // DESCRIPTION, SP1, OFFLINE, BP1, SP2/SP3, FP1/FP2, IP1/IP2.
    QStringList ConnectRequest() const;
};

void AddSiteOptions(QCommandLineParser &parser, int defaultTimeoutSeconds);
// Throws a usage error for a missing --site or a malformed domain setting.
TSiteOptions ReadSiteOptions(const QCommandLineParser &parser);
// --timeout in seconds (a positive number), else the command's default.
int ReadTimeoutMs(const QCommandLineParser &parser, int defaultSeconds);
