#include "tools/SiteOptions.h"

#include "tools/ExitCodes.h"

namespace {

QString DomainOption(int domain, const char *what)
{
    return QStringLiteral("domain%1-%2").arg(domain).arg(QLatin1String(what));
}

int ReadBoundedInteger(const QCommandLineParser &parser, const TOptionValue &value,
                       const QString &name, int low, int high)
{
    if (!parser.isSet(name))
        return 0;
    bool ok = false;
    const int number = value(name).toInt(&ok);
    if (!ok || number < low || number > high)
        throw UsageError(QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\".")
                             .arg(name).arg(low).arg(high).arg(value(name)));
    return number;
}

} // namespace

void AddSiteOptions(QCommandLineParser &parser, int defaultTimeoutSeconds)
{
    parser.addOptions({
        {QStringLiteral("site"),
         QStringLiteral("The site's name (required). Clients that give the same name share one "
                        "site and its network interface."),
         QStringLiteral("DESCRIPTION")},
        {QStringLiteral("interface"),
         QStringLiteral("Network interface to open (default LON1, the built-in simulated network)."),
         QStringLiteral("NAME"), QStringLiteral("LON1")},
        {QStringLiteral("offline"), QStringLiteral("Connect the site in offline mode (no network traffic).")},
    });
    for (int d = 0; d < 2; ++d) {
        parser.addOptions({
            {DomainOption(d, "id"),
             QStringLiteral("Domain %1 ID of the interface: 1, 3 or 6 hex bytes separated by "
                            "\":\" (e.g. 4C or 12:34:56).").arg(d),
             QStringLiteral("ID")},
            {DomainOption(d, "subnet"),
             QStringLiteral("Subnet (1-255) of the interface in domain %1; used together with "
                            "--%2.").arg(d).arg(DomainOption(d, "node")),
             QStringLiteral("N")},
            {DomainOption(d, "node"),
             QStringLiteral("Node (1-127) of the interface in domain %1.").arg(d),
             QStringLiteral("N")},
        });
    }
    parser.addOptions({
        {QStringLiteral("poll-budget"),
         QStringLiteral("Poll the site's points at N fetches per second, several at once "
                        "(0.1-1000), instead of one per 100 ms tick. Taken from the site's first "
                        "client only."),
         QStringLiteral("N")},
        {QStringLiteral("poll-share"),
         QStringLiteral("Poll within PERCENT (1-100) of the channel's time; needs --channel."),
         QStringLiteral("PERCENT")},
        {QStringLiteral("channel"),
         QStringLiteral("The site's channel for --poll-share: TP/FT-10 or PL-20."), QStringLiteral("KIND")},
        {QStringLiteral("poll-retry"),
         QStringLiteral("Fetch a point stopped by three failures again every SECONDS (1-86400)."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("system"),
         QStringLiteral("Reach the driver on the system bus, where it runs as a system service "
                        "(for root and the members of the group lonworks).")},
        {QStringLiteral("session"),
         QStringLiteral("Reach the driver on your session bus (the default, unless LONWORKS_BUS "
                        "says system).")},
    });
    parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Give up when the driver has not finished within SECONDS "
                                     "(default %1).").arg(defaultTimeoutSeconds),
                      QStringLiteral("SECONDS")});
}

TSiteSettings ReadSiteOptions(const QCommandLineParser &parser, const TOptionValue &value)
{
    TSiteSettings site;
    site.Description = value(QStringLiteral("site"));
    if (site.Description.trimmed().isEmpty())
        throw UsageError(QStringLiteral("--site DESCRIPTION is required: the name of the site "
                                        "(any text; clients giving the same name share the site)."));
    // "--site -1" is far more often a forgotten name than a site called "-1".
    if (site.Description.startsWith(u'-'))
        throw UsageError(QStringLiteral("--site needs a name, and \"%1\" looks like an option: a "
                                        "site name given to lonctl does not begin with \"-\".")
                             .arg(site.Description));
    site.Interface = value(QStringLiteral("interface"));
    if (site.Interface.trimmed().isEmpty())
        throw UsageError(QStringLiteral("--interface needs a name, such as LON1."));
    site.Offline = parser.isSet(QStringLiteral("offline"));
    site.Fahrenheit = parser.isSet(QStringLiteral("fahrenheit"));
    const std::pair<const char *, double> numbers[] = {{"poll-budget", 1000}, {"poll-share", 100}, {"poll-retry", 86400}};
    for (const auto &[name, high] : numbers) {
        const QString option = QLatin1String(name);
        if (!parser.isSet(option))
            continue;
        bool ok = false;
        const double number = value(option).toDouble(&ok);
        if (!ok || number <= 0 || number > high)
            throw UsageError(QStringLiteral("--%1 must be a number above 0 and at most %2, not \"%3\".")
                                 .arg(option).arg(high).arg(value(option)));
    }
    site.PollBudget = value(QStringLiteral("poll-budget"));
    site.PollShare = value(QStringLiteral("poll-share"));
    site.PollRetry = value(QStringLiteral("poll-retry"));
    site.Channel = value(QStringLiteral("channel"));
    if (!site.PollShare.isEmpty() && site.Channel.isEmpty())
        throw UsageError(QStringLiteral("--poll-share needs --channel TP/FT-10 or PL-20."));

    for (int d = 0; d < 2; ++d) {
        const QString idName = DomainOption(d, "id");
        if (parser.isSet(idName)) {
            const QString id = value(idName);
            if (!IsDomainIdText(id))
                throw UsageError(QStringLiteral("--%1 must be 1, 3 or 6 hex bytes separated by "
                                                "\":\" (e.g. 4C or 12:34:56), not \"%2\".")
                                     .arg(idName, id));
            site.DomainId[d] = id;
        }
        site.DomainSubnet[d] = ReadBoundedInteger(parser, value, DomainOption(d, "subnet"), 1, 255);
        site.DomainNode[d] = ReadBoundedInteger(parser, value, DomainOption(d, "node"), 1, 127);
        if ((site.DomainSubnet[d] == 0) != (site.DomainNode[d] == 0))
            throw UsageError(QStringLiteral("--%1 and --%2 go together: give both or neither.")
                                 .arg(DomainOption(d, "subnet"), DomainOption(d, "node")));
    }
    return site;
}

int ReadTimeoutMs(const QCommandLineParser &parser, const TOptionValue &value, int defaultSeconds)
{
    if (!parser.isSet(QStringLiteral("timeout")))
        return defaultSeconds * 1000;
    bool ok = false;
    const QString text = value(QStringLiteral("timeout"));
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 86400)
        throw UsageError(QStringLiteral("--timeout must be a number of seconds above 0 (at most "
                                        "86400), not \"%1\".").arg(text));
    return int(seconds * 1000);
}

TDriverBus ReadBusOptions(const QCommandLineParser &parser)
{
    const bool system = parser.isSet(QStringLiteral("system"));
    if (system && parser.isSet(QStringLiteral("session")))
        throw UsageError(QStringLiteral("--system and --session exclude each other."));
    if (system)
        return TDriverBus::System;
    if (parser.isSet(QStringLiteral("session")))
        return TDriverBus::Session;
    TDriverBus bus = TDriverBus::Session;
    QString problem;
    if (!DefaultDriverBus(bus, problem))
        throw UsageError(problem + QStringLiteral("; or give --system or --session."));
    return bus;
}
