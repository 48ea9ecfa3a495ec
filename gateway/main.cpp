// lonworks-gateway: LonWorks points on MQTT. A client of the driver over D-Bus (as any front
// end) and of an MQTT broker: it publishes the points of the configured sites, with Home
// Assistant discovery, and writes what arrives on their set topics.

#include "gateway/Gateway.h"
#include "gateway/GatewayConfig.h"
#include "support/StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

enum GatewayExit {
    ExitOk = 0,
    ExitSiteFailed = TGateway::SiteFailed,                   // --once: a site could not be read
    ExitUnreachable = TGateway::BrokerUnreachable,           // --once: the broker could not be reached
    ExitPointsWithoutValue = TGateway::PointsWithoutValue,   // --once: points still had no value
    ExitUsage = 64,                                          // bad command line or configuration
};

void PrintErr(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

void PrintSummary(const TGatewayConfig &config)
{
    QString text = QStringLiteral("Configuration is valid.\nBroker: %1://%2:%3, client id %4%5\n")
                       .arg(config.Broker.Tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"),
                            config.Broker.Host)
                       .arg(config.Broker.Port)
                       .arg(config.Broker.ClientId,
                            config.Broker.User.isEmpty() ? QString()
                                                         : QStringLiteral(", user %1").arg(config.Broker.User));
    text += QStringLiteral("Driver: on the %1 bus\n").arg(DriverBusName(config.Bus));
    text += QStringLiteral("Topics: %1/<site>/<point>/state, gateway status %1/gateway/%2/status\n")
                .arg(config.Prefix, config.GatewayId);
    text += config.HomeAssistant ? QStringLiteral("Home Assistant discovery under %1/\n").arg(config.DiscoveryPrefix)
                                 : QStringLiteral("Home Assistant discovery off\n");
    for (const TSiteConfig &site : config.Sites)
        text += QStringLiteral("Site \"%1\" on %2 -> %3/%4/: %5\n")
                    .arg(site.Settings.Description, site.Settings.Interface, config.Prefix, site.Topic,
                         site.Discover ? QStringLiteral("every point discovery finds%1")
                                             .arg(site.Include.isEmpty() && site.Exclude.isEmpty()
                                                      ? QString() : QStringLiteral(", filtered by name"))
                                       : QStringLiteral("%1 listed point%2").arg(site.Points.size())
                                             .arg(site.Points.size() == 1 ? "" : "s"));
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonworks-gateway"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.80"));
    qSetMessagePattern(QStringLiteral("lonworks-gateway: %{if-warning}warning: %{endif}"
                                      "%{if-critical}error: %{endif}%{message}"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Publishes the points of LonWorks sites to an MQTT broker, with Home Assistant discovery,\n"
        "and writes the values that arrive on their set topics. It is a client of lonworks-driver\n"
        "on the session bus (started by D-Bus activation when registered), or on the system bus\n"
        "with \"bus\": \"system\" in the configuration (or LONWORKS_BUS=system).\n\n"
        "Exit status: 0 done, 1 a site could not be read (--once), 2 the broker could not be\n"
        "reached (--once), 3 points still had no value when the time was up (--once), 64 bad\n"
        "usage or configuration. See docs/mqtt.md for the file format; a sample configuration\n"
        "is installed as /usr/share/doc/lonworks-driver/examples/gateway.json."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {{QStringLiteral("c"), QStringLiteral("config")},
         QStringLiteral("The configuration file (default $XDG_CONFIG_HOME/lonworks/gateway.json, "
                        "that is ~/.config/lonworks/gateway.json)."),
         QStringLiteral("FILE")},
        {QStringLiteral("once"),
         QStringLiteral("Publish one snapshot (every point with a value) and exit.")},
        {QStringLiteral("once-timeout"),
         QStringLiteral("With --once: give up waiting for values after SECONDS (default 60)."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("check"), QStringLiteral("Check the configuration, show what it says and exit.")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        PrintErr(QStringLiteral("lonworks-gateway: %1\nRun lonworks-gateway --help for usage.\n")
                     .arg(parser.errorText()));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return ExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::fputs("lonworks-gateway 1.80\n", stdout);
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        PrintErr(QStringLiteral("lonworks-gateway: unexpected argument \"%1\"; run with --help for usage.\n")
                     .arg(parser.positionalArguments().constFirst()));
        return ExitUsage;
    }

    int onceTimeoutMs = 0;
    if (parser.isSet(QStringLiteral("once"))) {
        onceTimeoutMs = 60000;
        if (parser.isSet(QStringLiteral("once-timeout"))) {
            bool ok = false;
            const double seconds = parser.value(QStringLiteral("once-timeout")).toDouble(&ok);
            if (!ok || !(seconds > 0) || seconds > 86400) {
                PrintErr(QStringLiteral("lonworks-gateway: --once-timeout must be a number of seconds "
                                        "above 0, not \"%1\".\n").arg(parser.value(QStringLiteral("once-timeout"))));
                return ExitUsage;
            }
            onceTimeoutMs = int(seconds * 1000);
        }
    } else if (parser.isSet(QStringLiteral("once-timeout"))) {
        PrintErr(QStringLiteral("lonworks-gateway: --once-timeout goes with --once.\n"));
        return ExitUsage;
    }

    const QString path = parser.isSet(QStringLiteral("config")) ? parser.value(QStringLiteral("config"))
                                                                : DefaultConfigPath();
    TGatewayConfig config;
    QString problem;
    if (!LoadGatewayConfig(path, config, problem)) {
        PrintErr(QStringLiteral("lonworks-gateway: %1\n").arg(problem));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("check"))) {
        PrintSummary(config);
        return ExitOk;
    }

    TGateway gateway(config, onceTimeoutMs);
    QObject::connect(&gateway, &TGateway::Finished, &app, [](int code) { QCoreApplication::exit(code); });
    TStopSignals stopSignals;
    QObject::connect(&stopSignals, &TStopSignals::Received, &app, [&gateway](int count) {
        if (count > 1)
            QCoreApplication::exit(ExitOk);   // a second signal: do not wait any longer
        else
            gateway.Stop(ExitOk);
    });
    gateway.Start();
    return app.exec();
}
