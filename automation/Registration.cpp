#include "automation/Registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

bool TRegistration::Register(QString &error) const
{
    const QString service = QStringLiteral("[D-BUS Service]\nName=") + QLatin1String(kBusName)
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
    bool ok = RemoveFile(DataHome, ServiceFile(), error);
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
    return registration;
}
