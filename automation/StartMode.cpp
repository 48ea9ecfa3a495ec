#include "automation/StartMode.h"

#include <QCommandLineParser>

namespace {

// The switch name after its "-", "--" or "/"; empty for anything else.
QString SwitchName(const QString &argument)
{
    if (argument.startsWith(QLatin1String("--")))
        return argument.mid(2).toLower();
    if (argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1Char('/')))
        return argument.mid(1).toLower();
    return {};
}

} // namespace

TStartOptions ParseStartOptions(const QStringList &arguments)
{
    TStartOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const QString name = i == 0 ? QString() : SwitchName(argument);
        if (name == QLatin1String("regserver"))
            options.Mode = TStartMode::RegServer;
        else if (name == QLatin1String("unregserver"))
            options.Mode = TStartMode::UnregServer;
        else if (name == QLatin1String("automation"))
            options.Mode = TStartMode::Automation;
        else if (name == QLatin1String("embedding"))
            options.Mode = TStartMode::Embedding;
        else if (name == QLatin1String("system"))
            options.Bus = TServeBus::System;
        else if (name == QLatin1String("session"))
            options.Bus = TServeBus::Session;
        else if (name == QLatin1String("help") || name == QLatin1String("h")
                 || argument == QLatin1String("-?"))
            options.ShowHelp = true;
        else if (name == QLatin1String("version") || name == QLatin1String("v"))
            options.ShowVersion = true;
        else
            options.QtArguments.append(argument);
    }
    return options;
}

bool EndsWithLastObject(TStartMode mode)
{
    return mode == TStartMode::Automation || mode == TStartMode::Embedding;
}

TServeBus ChooseServeBus(const TStartOptions &options, std::optional<TServeBus> configured)
{
    if (options.Bus)
        return *options.Bus;
    if (EndsWithLastObject(options.Mode)) {
        const QByteArray starter = qgetenv("DBUS_STARTER_BUS_TYPE");
        if (starter == "system")
            return TServeBus::System;
        if (starter == "session")
            return TServeBus::Session;
    }
    return configured.value_or(TServeBus::Session);
}

QString ServeBusName(TServeBus bus)
{
    return bus == TServeBus::System ? QStringLiteral("system") : QStringLiteral("session");
}

QString StartHelpText()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("LonWorks Network Driver: serves driver objects on the D-Bus session bus "
                       "(or the system bus) under the name QelLonWorks.QelLonWorksCom.\n"
                       "Switches are matched without regard to case, after \"-\" or \"/\"; "
                       "without one the driver runs standalone. Other options go to Qt "
                       "(for instance -platform offscreen).\n"
                       "Settings: /etc/lonworks/driver.json (\"bus\": \"session\" or \"system\", "
                       "\"library\": the driver library), or the file LONWORKS_DRIVER_CONFIG names. "
                       "The environment: LDV32_LIBRARY (the driver library, before the file's), "
                       "LDV_INTERFACES, LONSIM_PATH, QT_LOGGING_RULES (what is logged)."));
    parser.addOption({QStringLiteral("regserver"),
                      QStringLiteral("Write the D-Bus service file and the interface "
                                     "descriptions under $XDG_DATA_HOME/dbus-1, then exit.")});
    parser.addOption({QStringLiteral("unregserver"),
                      QStringLiteral("Remove what -regserver wrote, then exit.")});
    parser.addOption({QStringLiteral("embedding"),
                      QStringLiteral("Started by D-Bus activation: exit when the last driver "
                                     "object is released.")});
    parser.addOption({QStringLiteral("automation"), QStringLiteral("The same as -embedding.")});
    parser.addOption({QStringLiteral("system"),
                      QStringLiteral("Serve on the system bus (the system service; the bus's policy "
                                     "lets root and the group lonworks call the driver).")});
    parser.addOption({QStringLiteral("session"),
                      QStringLiteral("Serve on the session bus (the default; also over a "
                                     "\"bus\" setting of the configuration file).")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                      QStringLiteral("Show this help and exit.")});
    parser.addOption({{QStringLiteral("v"), QStringLiteral("version")},
                      QStringLiteral("Show the version and exit.")});
    return parser.helpText();
}

void ChooseHeadlessPlatform(const QStringList &arguments)
{
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    for (const QString &argument : arguments)
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform")
            || argument.startsWith(QLatin1String("-platform=")))
            return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
}
