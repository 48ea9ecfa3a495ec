#pragma once
// The start modes of the driver program, read from its command line: registration,
// unregistration, started by the bus (-embedding, -automation) or standalone.

#include <QString>
#include <QStringList>

enum class TStartMode { Standalone, Automation, Embedding, RegServer, UnregServer };

struct TStartOptions
{
    TStartMode Mode = TStartMode::Standalone;
    bool ShowHelp = false;
    bool ShowVersion = false;
    QStringList QtArguments;   // everything that is not one of our switches, program name first
};

// Switches are matched without regard to case after one "-", "--" or "/".
TStartOptions ParseStartOptions(const QStringList &arguments);
// True when the process was started by the bus and ends with its last driver object.
bool EndsWithLastObject(TStartMode mode);
QString StartHelpText();
// Picks the offscreen platform when there is no display and none was asked for.
void ChooseHeadlessPlatform(const QStringList &arguments);
