// lonworks-web: a web console for LonWorks sites. A client of lonworks-driver over D-Bus (as
// any front end) that serves one page and its JSON API: sites, devices, live points, writes,
// trends and diagnostics.

#include "support/StopSignals.h"
#include "web/UserStore.h"
#include "web/WebConfig.h"
#include "web/WebConsole.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

enum WebExit {
    ExitOk = 0,
    ExitFailed = 1,       // could not listen, or the users file could not be written
    ExitUsage = 64,       // bad command line or configuration
};

void PrintErr(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

void PrintSummary(const TWebConfig &config, const TUserStore &users)
{
    QString text = QStringLiteral("Configuration is valid.\nListening on %1://%2:%3/%4\n")
                       .arg(config.Tls() ? QStringLiteral("https") : QStringLiteral("http"),
                            config.Address.toString())
                       .arg(config.Port)
                       .arg(config.Tls() ? QString() : QStringLiteral(" (no TLS)"));
    text += config.UsersFile.isEmpty()
        ? QStringLiteral("No users file: everyone may look, nobody may write.\n")
        : QStringLiteral("Users: %1 in %2\n").arg(users.Count()).arg(config.UsersFile);
    text += QStringLiteral("Driver on the %1 bus; values collected every %2 s\n")
                .arg(config.SystemBus ? QStringLiteral("system") : QStringLiteral("session"))
                .arg(config.CollectIntervalMs / 1000.0);
    text += QStringLiteral("Trends: %1 samples per point in memory%2\n")
                .arg(config.TrendSamples)
                .arg(config.TrendCsvFolder.isEmpty() ? QString() : QStringLiteral(", CSV files in ") + config.TrendCsvFolder);
    for (const TWebSiteConfig &site : config.Sites)
        text += QStringLiteral("Site \"%1\" on %2\n").arg(site.Settings.Description, site.Settings.Interface);
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

// --add-user: the password is the first line of standard input.
int AddUser(const QCommandLineParser &parser)
{
    const QString file = parser.value(QStringLiteral("users-file"));
    if (file.isEmpty()) {
        PrintErr(QStringLiteral("lonworks-web: --add-user needs --users-file FILE.\n"));
        return ExitUsage;
    }
    const TWebRole role = RoleFromName(parser.value(QStringLiteral("role")));
    if (role == TWebRole::None) {
        PrintErr(QStringLiteral("lonworks-web: --role is admin or viewer.\n"));
        return ExitUsage;
    }
    QTextStream input(stdin);
    const QString password = input.readLine(TUserStore::MaxPasswordLength + 1);
    QString problem;
    if (!TUserStore::AddUser(file, parser.value(QStringLiteral("add-user")), role, password, problem)) {
        PrintErr(QStringLiteral("lonworks-web: %1\n").arg(problem));
        return ExitFailed;
    }
    std::printf("User %s (%s) written to %s\n", qPrintable(parser.value(QStringLiteral("add-user"))),
                qPrintable(RoleName(role)), qPrintable(file));
    return ExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonworks-web"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.80"));
    qSetMessagePattern(QStringLiteral("lonworks-web: %{if-warning}warning: %{endif}"
                                      "%{if-critical}error: %{endif}%{message}"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves a web console for LonWorks sites: their status, devices and points with live values,\n"
        "writes, trends and diagnostics, and the JSON API the page uses. It is a client of\n"
        "lonworks-driver on D-Bus (started by D-Bus activation when registered). It listens on\n"
        "127.0.0.1:8080 unless configured; beyond this machine only with TLS and a users file.\n\n"
        "Exit status: 0 done, 1 it could not listen (or write the users file), 64 bad usage or\n"
        "configuration. See docs/web.md for the file format and the API."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {{QStringLiteral("c"), QStringLiteral("config")},
         QStringLiteral("The configuration file (default $XDG_CONFIG_HOME/lonworks/web.json, that is "
                        "~/.config/lonworks/web.json)."),
         QStringLiteral("FILE")},
        {QStringLiteral("check"), QStringLiteral("Check the configuration, show what it says and exit.")},
        {QStringLiteral("insecure"),
         QStringLiteral("Listen beyond the loopback without TLS or without a users file.")},
        {QStringLiteral("add-user"),
         QStringLiteral("Add (or replace) a user in the users file, with the password read from the first "
                        "line of standard input, and exit."),
         QStringLiteral("NAME")},
        {QStringLiteral("role"), QStringLiteral("With --add-user: admin (reads and writes) or viewer (reads)."),
         QStringLiteral("ROLE"), QStringLiteral("viewer")},
        {QStringLiteral("users-file"), QStringLiteral("With --add-user: the users file to write."),
         QStringLiteral("FILE")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        PrintErr(QStringLiteral("lonworks-web: %1\nRun lonworks-web --help for usage.\n").arg(parser.errorText()));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return ExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::fputs("lonworks-web 1.80\n", stdout);
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        PrintErr(QStringLiteral("lonworks-web: unexpected argument \"%1\"; run with --help for usage.\n")
                     .arg(parser.positionalArguments().constFirst()));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("add-user")))
        return AddUser(parser);

    const QString path = parser.isSet(QStringLiteral("config")) ? parser.value(QStringLiteral("config"))
                                                                : DefaultWebConfigPath();
    TWebConfig config;
    QString problem;
    if (!LoadWebConfig(path, config, problem)) {
        PrintErr(QStringLiteral("lonworks-web: %1\n").arg(problem));
        return ExitUsage;
    }
    TUserStore users;
    if (!config.UsersFile.isEmpty() && !users.Load(config.UsersFile, problem)) {
        PrintErr(QStringLiteral("lonworks-web: %1\n").arg(problem));
        return ExitUsage;
    }
    if (!ExposureAllowed(config, parser.isSet(QStringLiteral("insecure")), problem)) {
        PrintErr(QStringLiteral("lonworks-web: %1\n").arg(problem));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("check"))) {
        PrintSummary(config, users);
        return ExitOk;
    }

    TWebConsole console(config, users);
    QObject::connect(&console, &TWebConsole::Finished, &app, [](int code) { QCoreApplication::exit(code); });
    TStopSignals stopSignals;
    QObject::connect(&stopSignals, &TStopSignals::Received, &app, [&console](int count) {
        if (count > 1)
            QCoreApplication::exit(ExitOk);   // a second signal: do not wait any longer
        else
            console.Stop(ExitOk);
    });
    if (!console.Start(problem)) {
        PrintErr(QStringLiteral("lonworks-web: %1\n").arg(problem));
        return ExitFailed;
    }
    // The address on standard output, for scripts and tests that chose port 0.
    std::printf("lonworks-web: serving %s\n", qPrintable(console.Url()));
    std::fflush(stdout);
    return app.exec();
}
