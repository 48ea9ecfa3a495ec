#include "client/DriverBus.h"

bool ParseDriverBus(const QString &text, TDriverBus &bus)
{
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("session"))
        bus = TDriverBus::Session;
    else if (name == QLatin1String("system"))
        bus = TDriverBus::System;
    else
        return false;
    return true;
}

QString DriverBusName(TDriverBus bus)
{
    return bus == TDriverBus::System ? QStringLiteral("system") : QStringLiteral("session");
}

bool DefaultDriverBus(TDriverBus &bus, QString &problem)
{
    bus = TDriverBus::Session;
    const QString chosen = qEnvironmentVariable("LONWORKS_BUS");
    if (chosen.isEmpty() || ParseDriverBus(chosen, bus))
        return true;
    problem = QStringLiteral("LONWORKS_BUS must be \"session\" or \"system\", not \"%1\"").arg(chosen);
    return false;
}

QDBusConnection DriverBusConnection(TDriverBus bus)
{
    return bus == TDriverBus::System ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
}
