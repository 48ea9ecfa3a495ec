#pragma once
// The settings that name a site and its network interface, and the Connect request built
// from them. lonctl fills them from its command line, the gateway from its configuration.

#include <QString>
#include <QStringList>

struct TSiteSettings
{
    QString Description;
    QString Interface = QStringLiteral("LON1");
    bool Offline = false;
    bool Fahrenheit = false;
    QString DomainId[2];
    int DomainSubnet[2] = {0, 0};   // 0: keep the interface's own
    int DomainNode[2] = {0, 0};
    // The poller's settings as Connect takes them (docs/polling.md); empty: not given.
    QString PollBudget;     // POLLBUDGET, fetches per second
    QString PollShare;      // POLLSHARE, percent of the channel
    QString Channel;        // CHANNEL, TP/FT-10 or PL-20
    QString PollRetry;      // POLLRETRY, seconds

    // DESCRIPTION, SP1, OFFLINE, BP1, SP2/SP3, FP1/FP2, IP1/IP2, the poll settings.
    QStringList ConnectRequest() const;
};

// A domain ID as the driver takes it: 1, 3 or 6 hex bytes separated by ":" (4C, 12:34:56).
bool IsDomainIdText(const QString &text);
