#pragma once
// The driver's registration with the session bus: the D-Bus service file that lets the
// bus start the driver on demand, and the introspection XML of its interfaces, both
// under $XDG_DATA_HOME/dbus-1 (default ~/.local/share/dbus-1).
//
// The service file the driver writes carries a marker line; a file without it is the
// user's own (a wrapper, an environment setting) and is never overwritten or removed. A
// start refreshes only the driver's own file, and writes none when the package's
// system-wide activation file serves every user already.

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

    QStringList DataDirs;   // $XDG_DATA_DIRS or /usr/local/share:/usr/share

    // Who wrote the service file there is.
    enum class TOwner { Nobody, Driver, User };
    TOwner ServiceFileOwner() const;
    // The system-wide activation file of the bus name (in a folder of DataDirs), if any.
    QString SystemWideServiceFile() const;

    // -regserver and -unregserver. False with a reason in error when a file could not be
    // written or removed, or is the user's own.
    bool Register(QString &error) const;
    bool Unregister(QString &error) const;
    // At a start: the driver's own registration brought up to date, nothing written where
    // the user's own file or the system-wide one serves. False with error as Register;
    // note says what was left alone and why (empty when nothing was).
    bool Refresh(QString &error, QString &note) const;
};

// The line that marks a service file as the driver's own (recognised by its first words).
inline constexpr char kRegistrationMarker[] =
    "# Written by lonworks-driver; refreshed when it starts. Delete this line to keep the "
    "file as your own: the driver then leaves it alone.";

// The registration of this process, from the environment and the program's own path.
TRegistration DefaultRegistration(const QString &programPath);
// The introspection XML of one interface, as installed.
QString InterfaceXml(const QString &interfaceName);
