#pragma once
// The driver's registration with the session bus: the D-Bus service file that lets the
// bus start the driver on demand, and the introspection XML of its interfaces, both
// under $XDG_DATA_HOME/dbus-1 (default ~/.local/share/dbus-1).

#include <QString>
#include <QStringList>

inline constexpr char kBusName[] = "QelLonWorks.QelLonWorksCom";

struct TRegistration
{
    QString DataHome;       // $XDG_DATA_HOME or ~/.local/share
    QString ProgramPath;    // absolute path written to the service file's Exec line

    QString ServiceFile() const;
    QString InterfaceFolder() const;
    static QStringList InterfaceNames();

    // False with a reason in error when a file could not be written or removed.
    bool Register(QString &error) const;
    bool Unregister(QString &error) const;
};

// The registration of this process, from the environment and the program's own path.
TRegistration DefaultRegistration(const QString &programPath);
// The introspection XML of one interface, as installed.
QString InterfaceXml(const QString &interfaceName);
