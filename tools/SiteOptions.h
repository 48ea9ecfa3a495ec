#pragma once
// The command-line options that name a site and its network interface, checked before the
// driver is contacted.

#include "client/SiteSettings.h"

#include <QCommandLineParser>
#include <QStringList>


void AddSiteOptions(QCommandLineParser &parser, int defaultTimeoutSeconds);
// Throws a usage error for a missing --site or a malformed domain setting.
TSiteSettings ReadSiteOptions(const QCommandLineParser &parser);
// --timeout in seconds (a positive number), else the command's default.
int ReadTimeoutMs(const QCommandLineParser &parser, int defaultSeconds);
