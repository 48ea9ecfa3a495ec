#pragma once
// The start modes of the driver program, read from its command line: registration,
// unregistration, started by the bus (-embedding, -automation) or standalone.

#include <QString>
#include <QStringList>

#include <optional>

enum class TStartMode { Standalone, Automation, Embedding, RegServer, UnregServer };
// The bus the driver serves on: the user's session bus, or the system bus as a system service.
enum class TServeBus { Session, System };

struct TStartOptions
{
    TStartMode Mode = TStartMode::Standalone;
    bool ShowHelp = false;
    bool ShowVersion = false;
    std::optional<TServeBus> Bus;   // -system or -session
    QStringList QtArguments;   // everything that is not one of our switches, program name first
};

// Switches are matched without regard to case after one "-", "--" or "/".
TStartOptions ParseStartOptions(const QStringList &arguments);
// True when the process was started by the bus and ends with its last driver object.
bool EndsWithLastObject(TStartMode mode);
// The bus to serve: the switch; else, started by the bus, the bus that started it
// (DBUS_STARTER_BUS_TYPE); else the configured one; else the session bus.
TServeBus ChooseServeBus(const TStartOptions &options, std::optional<TServeBus> configured);
QString ServeBusName(TServeBus bus);
QString StartHelpText();
// Picks the offscreen platform when there is no display and none was asked for.
void ChooseHeadlessPlatform(const QStringList &arguments);
