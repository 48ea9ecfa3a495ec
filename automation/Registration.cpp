#include "automation/Registration.h"

#include "support/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

// A link where a registration file or folder belongs is refused: following it would
// write or remove whatever it points at. Checks every folder below the data folder down
// to path itself.
bool RefuseLinks(const QString &dataHome, const QString &path, QString &error)
{
    QString walked = dataHome;
    for (const QString &part : QDir(dataHome).relativeFilePath(path).split(u'/', Qt::SkipEmptyParts)) {
        walked += u'/' + part;
        if (QFileInfo(walked).isSymLink()) {
            error = QStringLiteral("%1 is a symbolic link; not following it (remove it and try again)")
                        .arg(walked);
            return true;
        }
    }
    return false;
}

bool WriteFile(const QString &dataHome, const QString &path, const QByteArray &contents,
               QString &error)
{
    if (RefuseLinks(dataHome, path, error))
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    // Written to a new file and renamed into place: never half written, never through a link.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()
        || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool RemoveFile(const QString &dataHome, const QString &path, QString &error)
{
    if (RefuseLinks(dataHome, path, error))
        return false;
    QFile file(path);
    if (file.exists() && !file.remove()) {
        error = QStringLiteral("cannot remove %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// The Exec value: the path, quoted when it holds characters the bus would split on.
QString ExecLine(const QString &programPath)
{
    static const QString special = QStringLiteral(" \t'\"\\$`");
    bool needsQuotes = false;
    for (QChar c : programPath)
        needsQuotes = needsQuotes || special.contains(c);
    QString path = programPath;
    if (needsQuotes)
        path = QLatin1Char('\'') + path.replace(QLatin1Char('\''), QLatin1String("'\\''"))
               + QLatin1Char('\'');
    return path + QLatin1String(" -embedding");
}

} // namespace

QStringList TRegistration::InterfaceNames()
{
    return {QStringLiteral("QelLonWorks.ClassFactory"), QStringLiteral("QelDevice.IQelDeviceDriver"),
            QStringLiteral("QelLonWorks.IQelLonWorksCom"), QStringLiteral("QelLonWorks.Object")};
}

QString InterfaceXml(const QString &interfaceName)
{
    QFile file(QStringLiteral(":/dbus/") + interfaceName + QStringLiteral(".xml"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString TRegistration::ServiceFile() const
{
    return DataHome + QStringLiteral("/dbus-1/services/") + QLatin1String(kBusName)
           + QStringLiteral(".service");
}

QString TRegistration::InterfaceFolder() const
{
    return DataHome + QStringLiteral("/dbus-1/interfaces");
}

TRegistration::TOwner TRegistration::ServiceFileOwner() const
{
    // A service file is a few lines; anything larger is nobody's registration of ours.
    constexpr qint64 kMaxServiceFileBytes = 64 * 1024;
    if (!QFileInfo::exists(ServiceFile()) && !QFileInfo(ServiceFile()).isSymLink())
        return TOwner::Nobody;
    const std::optional<QByteArray> bytes = ReadRegularFile(ServiceFile(), kMaxServiceFileBytes);
    if (!bytes)
        return TOwner::User;
    // The marker's first words: a later driver may say the rest otherwise.
    static const QRegularExpression marker(QStringLiteral("^# Written by lonworks-driver;"),
                                           QRegularExpression::MultilineOption);
    if (marker.match(QString::fromUtf8(*bytes)).hasMatch())
        return TOwner::Driver;
    // What drivers wrote before the marker existed: exactly these three lines, the program
    // a lonworks-driver (a user's wrapper has a name of its own).
    static const QRegularExpression earlier(
        QStringLiteral("^\\[D-BUS Service\\]\nName=%1\nExec=(/[^\n ]*/lonworks-driver|'/[^\n']*/lonworks-driver') -embedding\n$")
            .arg(QRegularExpression::escape(QLatin1String(kBusName))));
    return earlier.match(QString::fromUtf8(*bytes)).hasMatch() ? TOwner::Driver : TOwner::User;
}

QString TRegistration::SystemWideServiceFile() const
{
    for (const QString &folder : DataDirs) {
        const QString path = folder + QStringLiteral("/dbus-1/services/") + QLatin1String(kBusName)
                             + QStringLiteral(".service");
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool TRegistration::Refresh(QString &error, QString &note) const
{
    switch (ServiceFileOwner()) {
    case TOwner::User:
        note = QStringLiteral("%1 is the user's own activation file; left as it is").arg(ServiceFile());
        return true;
    case TOwner::Nobody:
        if (const QString systemWide = SystemWideServiceFile(); !systemWide.isEmpty()) {
            note = QStringLiteral("no activation file written for the user: %1 serves every user").arg(systemWide);
            return true;
        }
        break;
    case TOwner::Driver:
        break;
    }
    return Register(error);
}

bool TRegistration::Register(QString &error) const
{
    // A link is refused as a link, before whose file it is matters.
    if (RefuseLinks(DataHome, ServiceFile(), error))
        return false;
    if (ServiceFileOwner() == TOwner::User) {
        error = QStringLiteral("%1 is your own activation file (it lacks the driver's marker line); "
                               "not overwriting it. Remove it first to register the driver.")
                    .arg(ServiceFile());
        return false;
    }
    const QString service = QStringLiteral("[D-BUS Service]\n") + QLatin1String(kRegistrationMarker)
                            + QStringLiteral("\nName=") + QLatin1String(kBusName)
                            + QStringLiteral("\nExec=") + ExecLine(ProgramPath)
                            + QLatin1Char('\n');
    if (!WriteFile(DataHome, ServiceFile(), service.toUtf8(), error))
        return false;
    for (const QString &name : InterfaceNames()) {
        const QString xml = InterfaceXml(name);
        if (xml.isEmpty()) {
            error = QStringLiteral("the description of %1 is missing from the program").arg(name);
            return false;
        }
        if (!WriteFile(DataHome, InterfaceFolder() + QLatin1Char('/') + name + QStringLiteral(".xml"),
                       xml.toUtf8(), error))
            return false;
    }
    return true;
}

bool TRegistration::Unregister(QString &error) const
{
    bool ok = true;
    if (RefuseLinks(DataHome, ServiceFile(), error)) {
        ok = false;
    } else if (ServiceFileOwner() == TOwner::User) {
        error = QStringLiteral("%1 is your own activation file (it lacks the driver's marker line); "
                               "not removing it.").arg(ServiceFile());
        ok = false;
    } else {
        ok = RemoveFile(DataHome, ServiceFile(), error);
    }
    for (const QString &name : InterfaceNames())
        ok = RemoveFile(DataHome, InterfaceFolder() + QLatin1Char('/') + name + QStringLiteral(".xml"), error)
             && ok;
    return ok;
}

TRegistration DefaultRegistration(const QString &programPath)
{
    TRegistration registration;
    registration.DataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (registration.DataHome.isEmpty() || QDir::isRelativePath(registration.DataHome))
        registration.DataHome = QDir::homePath() + QStringLiteral("/.local/share");
    registration.ProgramPath = QFileInfo(programPath).absoluteFilePath();
    const QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    for (const QString &folder : dataDirs.split(u':', Qt::SkipEmptyParts))
        if (!QDir::isRelativePath(folder))
            registration.DataDirs.append(folder);
    if (registration.DataDirs.isEmpty())
        registration.DataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    return registration;
}
