#include "tools/ActivationEnvironment.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QHash>
#include <QStringList>

namespace {

// The settings of the driver and its library that a user gives through the environment.
const char *const kSettings[] = {"LONSIM_PATH", "LDV_INTERFACES", "LDV32_LIBRARY"};
// /proc files are small; a bound keeps a strange one from being read whole.
constexpr qint64 kMaxProcBytes = 1 << 20;

QList<QByteArray> ProcStrings(qint64 pid, const char *file, bool &readable)
{
    QFile proc(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    readable = proc.open(QIODevice::ReadOnly);
    return readable ? proc.read(kMaxProcBytes).split('\0') : QList<QByteArray>();
}

// Started by the bus: the bus gives the driver -embedding (or -automation).
bool StartedByBus(const QList<QByteArray> &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QByteArray name = arguments.at(i).toLower();
        while (name.startsWith('-') || name.startsWith('/'))
            name.remove(0, 1);
        if (name == "embedding" || name == "automation")
            return true;
    }
    return false;
}

} // namespace

QString ActivationEnvironmentNote(const QDBusConnection &bus, TDriverBus kind,
                                  const QString &driverName)
{
    QStringList set;
    for (const char *name : kSettings)
        if (qEnvironmentVariableIsSet(name))
            set.append(QLatin1String(name));
    if (set.isEmpty() || driverName.isEmpty() || !bus.interface())
        return {};
    const auto pid = bus.interface()->servicePid(driverName);
    if (!pid.isValid() || pid.value() == 0)
        return {};
    bool readable = false;
    if (!StartedByBus(ProcStrings(pid.value(), "cmdline", readable)) && readable)
        return {};
    // The driver's environment, when this user may read it (not a system service's).
    QHash<QByteArray, QByteArray> environment;
    for (const QByteArray &entry : ProcStrings(pid.value(), "environ", readable)) {
        const qsizetype equals = entry.indexOf('=');
        if (equals > 0)
            environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    QStringList missing;
    for (const QString &name : set)
        if (!readable || environment.value(name.toLatin1()) != qgetenv(name.toLatin1().constData()))
            missing.append(name);
    if (missing.isEmpty())
        return {};
    const QString names = missing.join(QLatin1Char(' '));
    QString note = QStringLiteral("note: %1 %2 set here, but the driver (pid %3) was started by "
                                  "the %4 bus and %5: a driver the bus starts has the bus's "
                                  "environment, not lonctl's.\n")
                       .arg(names, missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"))
                       .arg(pid.value())
                       .arg(DriverBusName(kind),
                            readable ? QStringLiteral("does not have the same value")
                                     : QStringLiteral("may not have it"));
    if (kind == TDriverBus::System)
        note += QStringLiteral("  Set it for the system service instead: `systemctl edit "
                               "lonworks-driver` (an Environment= line).\n");
    else
        note += QStringLiteral("  Hand it to the bus with `dbus-update-activation-environment %1`; "
                               "the driver ends with its last client, and the bus starts the next "
                               "one with it.\n").arg(names);
    return note;
}
