#pragma once
// The command-line options that name a site and its network interface, checked before the
// driver is contacted.

#include "client/DriverBus.h"
#include "client/SiteSettings.h"

#include <QCommandLineParser>
#include <QStringList>

#include <functional>

// An option's value as it was typed (lonctl hides value-like arguments such as -1 from
// the parser; this puts them back).
using TOptionValue = std::function<QString(const QString &name)>;

void AddSiteOptions(QCommandLineParser &parser, int defaultTimeoutSeconds);
// Throws a usage error for a missing --site or a malformed domain setting.
TSiteSettings ReadSiteOptions(const QCommandLineParser &parser, const TOptionValue &value);
// --timeout in seconds (a positive number), else the command's default.
int ReadTimeoutMs(const QCommandLineParser &parser, const TOptionValue &value, int defaultSeconds);
// --system or --session, else $LONWORKS_BUS, else the session bus.
TDriverBus ReadBusOptions(const QCommandLineParser &parser);
