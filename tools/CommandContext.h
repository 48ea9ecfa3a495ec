#pragma once
// TCommandContext: one command's parsed command line (options, positional arguments,
// --json, the site options of site commands) as the command's run function sees it.

#include "tools/CommandTable.h"
#include "tools/SiteOptions.h"

#include <QCommandLineParser>
#include <QStringList>

class TCommandContext
{
public:
    explicit TCommandContext(const TCommandInfo &info);

    // Parses the arguments after the command name. False when --help was asked for (the
    // caller prints HelpText()); throws a usage error for anything malformed.
    bool Parse(const QStringList &arguments);
    QString HelpText() const;

    const TCommandInfo &Info;
    QCommandLineParser Parser;
    QStringList Arguments;      // positional
    bool Json = false;
    bool Fahrenheit = false;
    TSiteSettings Site;          // site commands only
    int TimeoutMs = 60000;      // site commands only
    TDriverBus Bus = TDriverBus::Session;   // site commands only

    QString Option(const QString &name) const { return Restored(Parser.value(name)); }
    bool IsSet(const QString &name) const { return Parser.isSet(name); }

private:
    QString Restored(const QString &text) const;
    QStringList FHidden;   // the value-like arguments hidden from the parser
};
